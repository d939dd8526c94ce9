#include "tests/support/ShellTestSupport.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cstdlib>

#include "app/shell/Application.h"
#include "app/shell/Forms.h"
#include "settings/Kestrane.h"
#include "tests/support/PracticeFixture.h"

namespace parvell::test {

void ClearEndRequest() {
    // The message loop forgets the request when it ends.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "parvell";
    static char* argv[] = {name, nullptr};
    new TApplication(argc, argv);
}

ScriptedDialogs::ScriptedDialogs() : previous_(SetAppDialogs(this)) {}

ScriptedDialogs::~ScriptedDialogs() {
    SetAppDialogs(previous_);
    EXPECT_TRUE(confirmAnswers.empty()) << "confirmations scripted but not asked";
    EXPECT_TRUE(fileAnswers.empty()) << "file dialog answers scripted but not asked";
}

bool ScriptedDialogs::Confirm(const QString& text) {
    shown.push_back({"Confirm", text});
    if (confirmAnswers.empty()) {
        ADD_FAILURE() << "unexpected confirmation: " << text.toStdString();
        return false;
    }
    bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
}

void ScriptedDialogs::Information(const QString& text) {
    shown.push_back({"Information", text});
}

void ScriptedDialogs::Message(const QString& text) {
    shown.push_back({"Message", text});
}

void ScriptedDialogs::Error(const QString& text) {
    shown.push_back({"Error", text});
}

bool ScriptedDialogs::OpenFileName(TOpenDialog& dialog) {
    shown.push_back({"File", dialog.FileName});
    fileDialogs.push_back(dialog);
    if (fileAnswers.empty()) {
        ADD_FAILURE() << "unexpected file dialog";
        return false;
    }
    std::optional<QString> answer = fileAnswers.front();
    fileAnswers.pop_front();
    if (!answer) return false;
    dialog.FileName = *answer;
    return true;
}

QStringList ScriptedDialogs::Texts(const std::string& kind) const {
    QStringList texts;
    for (const Shown& box : shown) {
        if (box.kind == kind) texts << box.text;
    }
    return texts;
}

Sandbox::Sandbox() : oldCurrent_(QDir::currentPath()) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    hadConfig_ = config != nullptr;
    if (config) oldConfig_ = config;
    QDir(dir_.path()).mkpath(QStringLiteral("config"));
    QDir(dir_.path()).mkpath(QStringLiteral("work"));
    setenv("XDG_CONFIG_HOME", QFile::encodeName(Path(QStringLiteral("config"))).constData(), 1);
    QDir::setCurrent(Path(QStringLiteral("work")));
}

Sandbox::~Sandbox() {
    QDir::setCurrent(oldCurrent_);
    if (hadConfig_) {
        setenv("XDG_CONFIG_HOME", oldConfig_.constData(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

QString Sandbox::Path(const QString& relative) const {
    return relative.isEmpty() ? dir_.path() : dir_.path() + QLatin1Char('/') + relative;
}

QString Sandbox::StoreFile() const {
    return Path(QStringLiteral("config/parvell/registry.reg"));
}

bool Sandbox::StoreExists() const {
    return QFileInfo::exists(StoreFile());
}

void Sandbox::WriteStore(const QStringList& lines) const {
    QByteArray bytes = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (const QString& line : lines) bytes += line.toUtf8() + "\r\n";
    QDir().mkpath(QFileInfo(StoreFile()).path());
    QFile file(StoreFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void Sandbox::WriteFile(const QString& relative, const QByteArray& bytes) const {
    const QString path = Path(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

void PracticeFormsTest::SetUp() {
    EnsureApplication();
    practice_ = sandbox_.Path(QStringLiteral("prac")).toStdString();
    QDir().mkpath(QString::fromStdString(practice_));
    MakePractice(practice_, FixtureStatements());
    WriteCurrentPractice(practice_);
    CreateForms();
}

void PracticeFormsTest::TearDown() {
    DestroyForms();
}

}  // namespace parvell::test
