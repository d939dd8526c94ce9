// The texts of times, dates and amounts on every road under the locales a Linux user has: the
// window's result grid and extract file, and the parvell-cli query and extract commands run as
// their own processes (the locale is read once per process), under C.UTF-8, under a real
// en_US.UTF-8 made by localedef, and under a locale that cannot be loaded.

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTimer>

#include <clocale>
#include <string>
#include <vector>

#include "app/shell/Application.h"
#include "app/shell/Forms.h"
#include "app/shell/Unit2.h"
#include "app/shell/frmMainfrm.h"
#include "settings/Kestrane.h"
#include "tests/common/GeneratedLocales.h"
#include "tests/support/PracticeFixture.h"
#include "tests/support/ShellTestSupport.h"

namespace parvell {
namespace {

const QString kSql = QStringLiteral("SELECT seen, stamp, born, owed, cost, amount FROM t");

// The one row under the United States items, with the engine's date format imposed.
const QStringList kUnitedStatesTexts = {
    "9:05:07 AM", "01/15/2008 2:30:00 PM", "01/15/2008", "($1,234.50)", "$27.91", "1234.5"};

struct TProcessRun {
    int code = -1;
    QString out;
    QString err;
};

TProcessRun RunCli(const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process.start(QStringLiteral(PARVELL_CLI), args);
    TProcessRun run;
    if (!process.waitForFinished(60000)) {
        ADD_FAILURE() << "parvell-cli did not finish: " << process.errorString().toStdString();
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The record lines of the query command's table, cut into cells at the columns its rule shows.
std::vector<QStringList> TableRows(const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    std::vector<QStringList> rows;
    if (lines.size() < 2) return rows;
    const QString& rule = lines[1];
    std::vector<std::pair<int, int>> columns;  // start, width
    for (int at = 0; at < rule.size();) {
        const int end = rule.indexOf(QLatin1Char(' '), at);
        const int width = (end < 0 ? rule.size() : end) - at;
        columns.emplace_back(at, width);
        if (end < 0) break;
        at = end + 2;
    }
    for (int i = 2; i < lines.size(); ++i) {
        QStringList cells;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const bool last = c + 1 == columns.size();
            cells << lines[i].mid(columns[c].first, last ? -1 : columns[c].second).trimmed();
        }
        rows.push_back(cells);
    }
    return rows;
}

// The result grid's texts of the first row, read while the window's Preview shows it.
QStringList PreviewTexts() {
    QStringList texts;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!Form2 || !Form2->isVisible()) return;
        timer.stop();
        TDataSetTableModel& model = Form2->DBGrid1->Model();
        for (int c = 0; c < model.columnCount(); ++c)
            texts << model.data(model.index(0, c)).toString();
        Form2->Button1->click();
    });
    timer.start(5);
    RunGuarded([] { Form1->PreviewSQL(); });
    return texts;
}

// The practice of these tests: one row with a time, a date-time, a date, two amounts, a number
// and a number written as text.
void MakeLocalePractice(const test::Sandbox& sandbox) {
    const std::string practice = sandbox.Path(QStringLiteral("prac")).toStdString();
    QDir().mkpath(QString::fromStdString(practice));
    test::MakePractice(
        practice,
        {
            "CREATE TABLE t (seen TIME, stamp TIMESTAMP, born DATE, owed MONEY, cost MONEY, "
            "amount NUMERIC(10,2), txt CHAR(8))",
            "INSERT INTO t VALUES ('09:05:07', '2008-01-15 14:30:00', '2008-01-15', -1234.5, "
            "27.91, "
            "1234.50, '2.25')",
        });
    WriteCurrentPractice(practice);
    sandbox.WriteFile(QStringLiteral("t.sql"), kSql.toUtf8());
}

TEST(LocaleTextsTest, EveryRoadWritesTheUnitedStatesTextsUnderCAndEnUs) {
    const test::TGeneratedLocales locales({"en_US.UTF-8"});
    if (!locales.Available()) GTEST_SKIP() << "localedef is not installed";
    test::EnsureApplication();
    test::Sandbox sandbox;
    MakeLocalePractice(sandbox);

    const struct {
        const char* locale;
        QString cliErr;  // what the commands print on standard error before their own output
    } cases[] = {
        {"C.UTF-8", {}},
        {"en_US.UTF-8", {}},
        {"xx_NOWHERE.UTF-8",
         QStringLiteral("parvell-cli: the locale \"xx_NOWHERE.UTF-8\" cannot be loaded; the "
                        "United States texts are used\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        const test::TScopedLocaleEnv env({{"LOCPATH", locales.Path()}, {"LC_ALL", c.locale}});

        // The window: its components load the locale when it is created.
        test::ScriptedDialogs dialogs;
        CreateForms();
        const QString data = Form1->Edit1->text();
        Form1->Memo1->SetLines({kSql});
        const QStringList grid = PreviewTexts();
        const QString fileName = QStringLiteral("w-%1.csv").arg(c.locale);
        Form1->DataExtract->setText(fileName);
        RunGuarded([] { Form1->ExtractSQL(); });
        const QString windowFile =
            QString::fromStdString(Form1->PracticeFolder) + QStringLiteral("Export/") + fileName;
        DestroyForms();
        EXPECT_EQ(dialogs.Texts("Information"), QStringList{"Done."})
            << "the window says nothing else";
        EXPECT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(grid, kUnitedStatesTexts);

        // The command line, as the user runs it.
        const TProcessRun query =
            RunCli({"query", "--data", data, "--sql", sandbox.Path(QStringLiteral("t.sql"))});
        EXPECT_EQ(query.code, 0) << query.err.toStdString();
        EXPECT_EQ(query.err, c.cliErr);
        const std::vector<QStringList> rows = TableRows(query.out);
        ASSERT_EQ(rows.size(), 1u) << query.out.toStdString();
        EXPECT_EQ(rows[0], grid);

        const QString cliFile = sandbox.Path(QStringLiteral("cli-%1.csv").arg(c.locale));
        const TProcessRun extract =
            RunCli({"extract", "--data", data, "--sql", sandbox.Path(QStringLiteral("t.sql")),
                    "--out", cliFile});
        EXPECT_EQ(extract.code, 0) << extract.err.toStdString();
        EXPECT_EQ(extract.err, c.cliErr);
        const QByteArray windowBytes = test::ReadBytes(windowFile);
        EXPECT_EQ(test::ReadBytes(cliFile).toStdString(), windowBytes.toStdString());
        EXPECT_TRUE(windowBytes.contains("\"9:05:07 AM\",\"01/15/2008 2:30:00 PM\",\"01/15/2008\""))
            << windowBytes.toStdString();
    }
}

// A decimal-comma locale: the texts are the locale's on every road, and the window, whose
// application object puts the C library's own number conversions under the user's locale,
// still reads the text "2.25" as a number when a statement stores it, as the command line does.
TEST(LocaleTextsTest, DecimalCommaLocaleOnEveryRoad) {
    const test::TGeneratedLocales locales({"de_DE.UTF-8"});
    if (!locales.Available()) GTEST_SKIP() << "localedef is not installed";
    test::EnsureApplication();
    test::Sandbox sandbox;
    MakeLocalePractice(sandbox);
    const test::TScopedLocaleEnv env({{"LOCPATH", locales.Path()}, {"LC_ALL", "de_DE.UTF-8"}});
    // As at the program's start under this locale: the application object sets the C library's
    // locale from the environment.
    struct TProcessLocale {
        std::string old = std::setlocale(LC_ALL, nullptr);
        ~TProcessLocale() { std::setlocale(LC_ALL, old.c_str()); }
    } processLocale;
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);

    test::ScriptedDialogs dialogs;
    CreateForms();
    const QString data = Form1->Edit1->text();
    Form1->Memo1->SetLines({QStringLiteral("UPDATE t SET amount = txt")});
    RunGuarded([] { Form1->Button5Click(); });
    EXPECT_EQ(Form1->windowTitle(), QStringLiteral("1"));
    Form1->Memo1->SetLines({kSql});
    const QStringList grid = PreviewTexts();
    DestroyForms();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().text.toStdString();
    EXPECT_EQ(grid, (QStringList{"09:05:07", "01/15/2008 14:30:00", "01/15/2008",
                                 QStringLiteral("-1.234,50 \u20AC"), QStringLiteral("27,91 \u20AC"),
                                 "2,25"}));

    const TProcessRun query =
        RunCli({"query", "--data", data, "--sql", sandbox.Path(QStringLiteral("t.sql"))});
    EXPECT_EQ(query.code, 0) << query.err.toStdString();
    const std::vector<QStringList> rows = TableRows(query.out);
    ASSERT_EQ(rows.size(), 1u) << query.out.toStdString();
    EXPECT_EQ(rows[0], grid);
}

}  // namespace
}  // namespace parvell
