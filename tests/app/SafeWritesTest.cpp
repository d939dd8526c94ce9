// Writes of the window that must not go astray: an extract file name cannot lead out of the
// Export folder, and saving an SQL file over an old one leaves the old one whole when the disk
// is full or the program is killed.

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "app/shell/Application.h"
#include "app/shell/Forms.h"
#include "app/shell/QtDialogs.h"
#include "app/shell/SqlEditor.h"
#include "app/shell/frmMainfrm.h"
#include "common/Exceptions.h"
#include "settings/Kestrane.h"
#include "tests/support/PracticeFixture.h"
#include "tests/support/ShellTestSupport.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/WriteFaults.h"

namespace parvell {
namespace {

using test::ScriptedDialogs;

using ExportPathTest = test::PracticeFormsTest;

TEST_F(ExportPathTest, NamesThatClimbOutOfTheExportFolderAreRefused) {
    const QString practice = QString::fromStdString(practice_);
    // A file next to the Export folder that a climbing name would reach, and would delete after
    // a Yes to the overwrite question.
    sandbox_.WriteFile("prac/keep.txt", "precious");
    Form1->Memo1->SetLines({QStringLiteral("SELECT n FROM nums")});
    for (const QString& name : {QStringLiteral("../keep.txt"), QStringLiteral("..\\keep.txt"),
                                QStringLiteral("sub/../../keep.txt"), QStringLiteral("../new.txt"),
                                QStringLiteral("..")}) {
        SCOPED_TRACE(name.toStdString());
        dialogs_.shown.clear();
        dialogs_.confirmAnswers = {true};
        Form1->DataExtract->setText(name);
        RunGuarded([] { Form1->ExtractSQL(); });
        EXPECT_EQ(dialogs_.Texts("Confirm"), QStringList{});
        EXPECT_EQ(dialogs_.Texts("Error"), QStringList{"Invalid filename."});
        EXPECT_EQ(test::ReadBytes(practice + "/keep.txt"), "precious");
        EXPECT_FALSE(QFile::exists(practice + "/new.txt"));
        EXPECT_FALSE(Form1->KdbTable1->Active());
        dialogs_.confirmAnswers.clear();
    }
    EXPECT_EQ(QDir(practice + "/Export").entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{});

    // Names with dots that stay inside the folder are written as before.
    for (const QString& name : {QStringLiteral("..name.csv"), QStringLiteral("a..b.csv")}) {
        dialogs_.shown.clear();
        Form1->DataExtract->setText(name);
        RunGuarded([] { Form1->ExtractSQL(); });
        EXPECT_EQ(dialogs_.Texts("Error"), QStringList{}) << name.toStdString();
        EXPECT_TRUE(QFile::exists(practice + "/Export/" + name)) << name.toStdString();
    }
}

// The message Save SQL raises for `path`, "" when it succeeds.
std::string SaveError(const TSqlEditor& editor, const QString& path) {
    try {
        editor.SaveToFile(path);
    } catch (const Exception& error) {
        return error.Message();
    }
    return "";
}

TEST(SqlFileFaultTest, FullDiskKeepsTheOldFileWhole) {
    faults::SmallDisk disk(64 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    test::EnsureApplication();
    const QString path = QString::fromStdString(disk.File("query.sql"));
    TSqlEditor editor;
    editor.setPlainText(QStringLiteral("SELECT 1"));
    ASSERT_EQ(SaveError(editor, path), "");
    const QByteArray before = test::ReadBytes(path);
    ASSERT_TRUE(before.startsWith("{\\rtf"));

    editor.setPlainText(QString(100000, QLatin1Char('x')));
    EXPECT_EQ(SaveError(editor, path), "Failed to Save Stream");
    EXPECT_EQ(test::ReadBytes(path), before);
    // Nothing else is left in the folder.
    EXPECT_EQ(QDir(QString::fromStdString(disk.Path()))
                  .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
              QStringList{"query.sql"});
}

// A save failing at every point: each failed run says "Failed to Save Stream" and leaves the old
// file byte for byte, with nothing else in the folder; the run that gets through holds the new one.
TEST(SqlFileFaultTest, ASaveFailingAnywhereKeepsTheOldFile) {
    test::EnsureApplication();
    test::Sandbox sandbox;
    QDir().mkpath(sandbox.Path("sql"));
    const QString path = sandbox.Path("sql/q.sql");
    TSqlEditor first;
    TSqlEditor second;
    first.setPlainText(QStringLiteral("SELECT 1"));
    second.setPlainText(QString(4000, QLatin1Char('b')));
    QByteArray before;
    const int failed = faults::ForEachFailedWrite({
        .prepare =
            [&] {
                QFile::remove(path);
                ASSERT_EQ(SaveError(first, path), "");
                before = test::ReadBytes(path);
            },
        .write = [&] { second.SaveToFile(path); },
        .check =
            [&](faults::WriteOutcome outcome, off_t limit) {
                const QByteArray now = test::ReadBytes(path);
                if (outcome == faults::WriteOutcome::Failed) {
                    EXPECT_EQ(now, before) << limit;
                } else {
                    EXPECT_TRUE(now.startsWith("{\\rtf") && now.contains("bbbb")) << limit;
                }
                EXPECT_EQ(QDir(sandbox.Path("sql"))
                              .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                          QStringList{"q.sql"})
                    << limit;
            },
        .step = 61,
    });
    EXPECT_GT(failed, 10);
}

TEST(SqlFileFaultTest, SaveKeepsPermissionsAndLinks) {
    test::EnsureApplication();
    test::Sandbox sandbox;
    sandbox.WriteFile("real.sql", "old");
    QFile::setPermissions(sandbox.Path("real.sql"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    ASSERT_TRUE(QFile::link(sandbox.Path("real.sql"), sandbox.Path("link.sql")));
    TSqlEditor editor;
    editor.setPlainText(QStringLiteral("SELECT 2"));
    EXPECT_EQ(SaveError(editor, sandbox.Path("link.sql")), "");
    EXPECT_TRUE(QFileInfo(sandbox.Path("link.sql")).isSymLink());
    EXPECT_TRUE(test::ReadBytes(sandbox.Path("real.sql")).startsWith("{\\rtf"));
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(sandbox.Path("real.sql").toStdString()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// A child saves two different texts over and over and is killed at several moments: the file is
// always one of the two documents whole.
TEST(SqlFileFaultTest, KilledSaveLeavesOneWholeDocument) {
    test::EnsureApplication();
    test::Sandbox sandbox;
    const QString path = sandbox.Path("q.sql");
    TSqlEditor first;
    TSqlEditor second;
    first.setPlainText(QString(200000, QLatin1Char('a')));
    second.setPlainText(QString(150000, QLatin1Char('b')));
    ASSERT_EQ(SaveError(first, path), "");
    const QByteArray a = test::ReadBytes(path);
    ASSERT_EQ(SaveError(second, path), "");
    const QByteArray b = test::ReadBytes(path);
    for (const int delayMs : {1, 5, 15, 40}) {
        const bool killed = faults::RunAndKill(
            [&] {
                for (int k = 0;; ++k) (k % 2 == 0 ? first : second).SaveToFile(path);
            },
            [&] { std::this_thread::sleep_for(std::chrono::milliseconds(delayMs)); });
        EXPECT_TRUE(killed);
        const QByteArray now = test::ReadBytes(path);
        EXPECT_TRUE(now == a || now == b) << delayMs << ": " << now.size() << " bytes";
    }
}

// Message boxes show their text as plain text: a column name or value that looks like markup is
// not rendered (nor can it load anything).
TEST(PlainTextTest, MessageBoxesNeverReadTheirTextAsMarkup) {
    test::EnsureApplication();
    const QString text = QStringLiteral("<b>x</b><img src=\"file:///etc/passwd\">");
    QtDialogs dialogs;
    const std::function<void()> shows[] = {
        [&] { dialogs.Message(text); }, [&] { dialogs.Error(text); },
        [&] { dialogs.Information(text); }, [&] { dialogs.Confirm(text); }};
    for (const auto& show : shows) {
        Qt::TextFormat seen = Qt::AutoText;
        QString shownText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = box->textFormat();
            shownText = box->text();
            box->buttons().last()->click();
        });
        show();
        EXPECT_EQ(seen, Qt::PlainText);
        EXPECT_EQ(shownText, text);
    }
}

}  // namespace
}  // namespace parvell
