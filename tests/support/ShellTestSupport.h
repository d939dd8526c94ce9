#pragma once
// Helpers for the window tests: the application object, dialogs answered from a script, a
// private settings store and working folder per test, the main window over a practice, and small
// file helpers.

#include <gtest/gtest.h>

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/shell/Dialogs.h"

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '{';
    for (const QString& text : list) *out << " \"" << text.toStdString() << '"';
    *out << " }";
}

namespace parvell::test {

// The one application object of the test process (offscreen unless a platform is set).
void EnsureApplication();

// An end request (File > Exit) stays with the thread's event loops, so every later modal dialog
// or wait would return at once; a test that makes one clears it with this before it ends.
void ClearEndRequest();

// Answers the program's dialogs from a script and records what was shown. Installed while alive.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        std::string kind;  // "Confirm", "Information", "Message", "Error", "File"
        QString text;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;

    bool Confirm(const QString& text) override;
    void Information(const QString& text) override;
    void Message(const QString& text) override;
    void Error(const QString& text) override;
    bool OpenFileName(TOpenDialog& dialog) override;

    // Answers, taken in order. A box without a scripted answer fails the test (and answers No
    // or Cancel).
    std::deque<bool> confirmAnswers;
    std::deque<std::optional<QString>> fileAnswers;  // nullopt: Cancel

    std::vector<Shown> shown;
    std::vector<TOpenDialog> fileDialogs;  // the dialog's settings as each use found them

    QStringList Texts(const std::string& kind) const;

private:
    Dialogs* previous_;
};

// A fresh settings store (XDG_CONFIG_HOME) and working folder for one test; both are put back
// afterwards.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();

    QString Path(const QString& relative = QString()) const;
    QString StoreFile() const;
    bool StoreExists() const;
    // Writes the store file with the given lines (CR LF line ends, header first).
    void WriteStore(const QStringList& lines) const;
    void WriteFile(const QString& relative, const QByteArray& bytes) const;

private:
    QTemporaryDir dir_;
    QString oldCurrent_;
    QByteArray oldConfig_;
    bool hadConfig_;
};

QByteArray ReadBytes(const QString& path);

// A test of the main window over a practice holding the fixture tables (FixtureStatements), in a
// sandbox, with the dialogs answered from a script; the windows are made for each test.
class PracticeFormsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Sandbox sandbox_;
    ScriptedDialogs dialogs_;
    std::string practice_;
};

}  // namespace parvell::test
