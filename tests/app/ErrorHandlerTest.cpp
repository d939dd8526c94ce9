// The application title, the error box text and the one error handler.

#include <gtest/gtest.h>
#include <QEvent>
#include <QObject>
#include <stdexcept>

#include "app/preview/AppTitle.h"
#include "app/shell/Application.h"
#include "common/Exceptions.h"
#include "tests/support/ShellTestSupport.h"

namespace parvell {
namespace {

TEST(AppTitleTest, ProgramNameUpToTheFirstDotWithLaterLettersInLowerCase) {
    const std::pair<QString, QString> cases[] = {
        {"C:\\PROGRAMS\\PARVELL.EXE", "Parvell"},
        {"/usr/local/bin/parvell", "parvell"},
        {"build/app/Parvell", "Parvell"},
        {"/opt/my.tool.EXE", "my"},
        {"/opt/x.y/ABC", "Abc"},
        {"\u00c9COLE.EXE", "\u00c9cole"},
        {".hidden", ""},
        {"", ""},
    };
    for (const auto& [path, title] : cases)
        EXPECT_EQ(ApplicationTitleFor(path), title) << path.toStdString();
}

TEST(AppTitleTest, FullStopIsAddedWhenTheLastCharacterSortsAfterIt) {
    const std::pair<std::string, std::string> cases[] = {
        {"Disk full", "Disk full."},
        {"Done.", "Done."},
        {"Invalid data type for 'Current Practice'", "Invalid data type for 'Current Practice'"},
        {"closing (", "closing ("},
        {"a-", "a-"},
        {"a,", "a,"},
        {"path/", "path/."},
        {"count 5", "count 5."},
        {"caf\xe9", "caf\xe9."},
        {"", ""},
    };
    for (const auto& [message, text] : cases) EXPECT_EQ(ErrorBoxText(message), text) << message;
}

// An object whose event handler fails the way program code fails.
class Failing : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) throw EDatabaseError("KdbTable1: Field 'X' not found");
        if (event->type() == QEvent::User + 1) throw std::runtime_error("library failure");
        return QObject::event(event);
    }
};

TEST(ErrorHandlerTest, ExceptionLeavingAHandlerShowsTheErrorBoxAndTheProgramGoesOn) {
    test::EnsureApplication();
    test::ScriptedDialogs dialogs;
    Failing failing;
    QEvent first(QEvent::User);
    QEvent second(static_cast<QEvent::Type>(QEvent::User + 1));
    QCoreApplication::sendEvent(&failing, &first);
    QCoreApplication::sendEvent(&failing, &second);
    EXPECT_EQ(dialogs.Texts("Error"),
              (QStringList{"KdbTable1: Field 'X' not found.", "library failure."}));

    bool finished =
        RunGuarded([] { throw ERegistryException("Failed to set data for 'LastOpen'"); });
    EXPECT_FALSE(finished);
    EXPECT_EQ(dialogs.Texts("Error").last(), "Failed to set data for 'LastOpen'");
    EXPECT_TRUE(RunGuarded([] {}));
}

}  // namespace
}  // namespace parvell
