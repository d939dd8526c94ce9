// The SQL workspace: Open SQL, Save SQL, the load rule, the built-in statements and how other
// parts read the editor (displayed rows, selection).

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTextCursor>
#include <QTimer>

#include "app/shell/Forms.h"
#include "app/shell/QtDialogs.h"
#include "app/shell/SqlEditor.h"
#include "app/shell/frmMainfrm.h"
#include "common/Exceptions.h"
#include "settings/Kestrane.h"
#include "tests/support/ShellTestSupport.h"

namespace parvell {
namespace {

using test::ScriptedDialogs;

QString DataFile(const char* name) {
    return QStringLiteral(PARVELL_APP_TEST_DATA "/") + QString::fromUtf8(name);
}

class SqlWorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApplication();
        CreateForms();
        Form1->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override { DestroyForms(); }

    QString LastOpen() const {
        return QString::fromStdString(ReadSettingUtf8("\\Parvell", "LastOpen"));
    }
    void Restart() {
        DestroyForms();
        CreateForms();
        Form1->show();
        QCoreApplication::processEvents();
    }

    test::Sandbox sandbox_;
    ScriptedDialogs dialogs_;
};

TEST_F(SqlWorkspaceTest, OpenLoadsAnExistingFileAndRemembersIt) {
    sandbox_.WriteFile("plain.sql", "select *\nfrom MWPAT\n");
    dialogs_.fileAnswers = {sandbox_.Path("plain.sql")};
    Form1->OpenSQL1->trigger();
    EXPECT_EQ(Form1->Memo1->Lines(), (QStringList{"select *", "from MWPAT"}));
    EXPECT_EQ(LastOpen(), sandbox_.Path("plain.sql"));
    // The dialog started in the output folder with "All Files".
    ASSERT_EQ(dialogs_.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs_.fileDialogs[0].InitialDir, "Export");
    EXPECT_EQ(dialogs_.fileDialogs[0].FilterIndex, 2);
}

TEST_F(SqlWorkspaceTest, OpenThatFindsNoFileChangesNothing) {
    QDir().mkpath(sandbox_.Path("folder"));
    for (const QString& name : {sandbox_.Path("none.sql"), sandbox_.Path("folder")}) {
        SCOPED_TRACE(name.toStdString());
        Form1->Memo1->setPlainText("kept");
        dialogs_.fileAnswers = {name};
        Form1->OpenSQL1->trigger();
        EXPECT_EQ(Form1->Memo1->toPlainText(), "kept");
        EXPECT_FALSE(sandbox_.StoreExists());
    }
    EXPECT_EQ(dialogs_.shown.size(), 2u) << "only the two dialogs, no message";
}

TEST_F(SqlWorkspaceTest, CancelChangesNothingEvenAfterAnEarlierChoice) {
    sandbox_.WriteFile("a.sql", "first");
    dialogs_.fileAnswers = {sandbox_.Path("a.sql"), std::nullopt, std::nullopt};
    Form1->OpenSQL1->trigger();
    Form1->Memo1->setPlainText("edited");
    Form1->OpenSQL1->trigger();
    Form1->SaveSQL1->trigger();
    EXPECT_EQ(Form1->Memo1->toPlainText(), "edited");
    EXPECT_EQ(test::ReadBytes(sandbox_.Path("a.sql")), "first");
    EXPECT_EQ(LastOpen(), sandbox_.Path("a.sql"));
    // The dialog offered the earlier choice again.
    ASSERT_EQ(dialogs_.fileDialogs.size(), 3u);
    EXPECT_EQ(dialogs_.fileDialogs[1].FileName, sandbox_.Path("a.sql"));
}

TEST_F(SqlWorkspaceTest, SaveWritesRtfUnderTheExactNameAndReloadsAtStart) {
    // Characters outside Windows-1252 too: they are kept as RTF's \uN.
    const QString text =
        "select \"a\\b\" {x}\n\tcaf\u00e9 \u20ac,\u00a0no-break, trailing \n\nlast "
        "\u0141\u00f3d\u017a \U0001F600";
    Form1->Memo1->setPlainText(text);
    dialogs_.fileAnswers = {sandbox_.Path("query")};
    Form1->SaveSQL1->trigger();
    EXPECT_TRUE(test::ReadBytes(sandbox_.Path("query")).startsWith("{\\rtf"));
    EXPECT_FALSE(QFileInfo::exists(sandbox_.Path("query.txt")));
    EXPECT_EQ(LastOpen(), sandbox_.Path("query"));

    Restart();
    EXPECT_EQ(Form1->Memo1->document()->toRawText().replace(QChar::ParagraphSeparator, '\n'), text);
    EXPECT_TRUE(dialogs_.Texts("Error").isEmpty());
}

TEST_F(SqlWorkspaceTest, AFileNameOutsideWindows1252IsRememberedAndReloaded) {
    const QString name =
        sandbox_.Path(QString::fromUtf8("\xC5\x81\xC3\xB3"
                                        "d\xC5\xBA \xE6\x9D\xB1.sql"));
    Form1->Memo1->setPlainText("select 1");
    dialogs_.fileAnswers = {name};
    Form1->SaveSQL1->trigger();
    EXPECT_EQ(LastOpen(), name);
    Restart();
    EXPECT_EQ(Form1->Memo1->toPlainText(), "select 1");
}

TEST_F(SqlWorkspaceTest, SaveOverAnExistingFileAsksNothing) {
    sandbox_.WriteFile("old.sql", "old content that is longer than the new one");
    Form1->Memo1->setPlainText("new");
    dialogs_.fileAnswers = {sandbox_.Path("old.sql")};
    Form1->SaveSQL1->trigger();
    Form1->Memo1->setPlainText("");
    dialogs_.fileAnswers = {sandbox_.Path("old.sql")};
    Form1->OpenSQL1->trigger();
    EXPECT_EQ(Form1->Memo1->toPlainText(), "new");
    EXPECT_EQ(dialogs_.Texts("Confirm").size(), 0);
}

TEST_F(SqlWorkspaceTest, SaveFailureIsReportedAndNothingRemembered) {
    Form1->Memo1->setPlainText("select 1");
    const QString path = sandbox_.Path("no/such/dir/q.sql");
    dialogs_.fileAnswers = {path};
    Form1->SaveSQL1->trigger();
    EXPECT_EQ(dialogs_.Texts("Error"),
              QStringList{"Cannot create file \"" + path + "\". No such file or directory."});
    EXPECT_FALSE(sandbox_.StoreExists());
}

TEST_F(SqlWorkspaceTest, LoadFailuresKeepTheEditorAndTheRememberedFile) {
    try {
        ReadWholeFile(sandbox_.Path("missing.sql"));
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"" + sandbox_.Path("missing.sql").toStdString() +
                                   "\". No such file or directory");
    }
    // A file that opens but cannot be read.
    Form1->Memo1->setPlainText("kept");
    dialogs_.fileAnswers = {"/proc/self/mem"};
    Form1->OpenSQL1->trigger();
    EXPECT_EQ(dialogs_.Texts("Error"), QStringList{"Failed to Load Stream."});
    EXPECT_EQ(Form1->Memo1->toPlainText(), "kept");
    EXPECT_FALSE(sandbox_.StoreExists());
}

TEST_F(SqlWorkspaceTest, LoadRuleReadsRtfFromOtherWritersAndPlainTextOtherwise) {
    struct LoadCase {
        const char* name;
        QByteArray bytes;
        QString text;
    };
    QByteArray other = test::ReadBytes(DataFile("otherwriter.rtf"));
    ASSERT_FALSE(other.isEmpty());
    const LoadCase cases[] = {
        {"RTF with font and colour tables, escapes and Unicode", other,
         // Its \uN character outside Windows-1252 (U+F0B7) reaches the editor as it is.
         "Select pat.[Last Name] {x} \\ Name,\n pat.[City] Caf\u00e9 \u20ac price\tx,\n \uf0b7end"},
        {"plain text, CR LF", "a\r\nb\r\n", "a\nb\n"},
        {"plain UTF-8 text", "caf\xc3\xa9", "caf\u00e9"},
        {"plain single-byte text", "caf\xe9", "caf\u00e9"},
        {"starts like RTF but is not", "{\\rtf1 {unclosed group\r\nselect 1",
         "{\\rtf1 {unclosed group\nselect 1"},
        {"binary bytes",
         QByteArray("\x00\x01\x02\xff\xfe{\\rtf", 10) + QByteArray(300, '\0') + "end",
         QString::fromUtf8("\x01\x02\xc3\xbf\xc3\xbe{\\rtfend")},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox_.WriteFile("in.sql", c.bytes);
        dialogs_.fileAnswers = {sandbox_.Path("in.sql")};
        Form1->OpenSQL1->trigger();
        EXPECT_EQ(Form1->Memo1->toPlainText(), c.text);
    }
    EXPECT_TRUE(dialogs_.Texts("Error").isEmpty());
}

TEST_F(SqlWorkspaceTest, HugeFileLoads) {
    QByteArray line = "select \"Chart Number\", \"Last Name\" from MWPAT where x = 1234567890\r\n";
    QByteArray bytes;
    while (bytes.size() < 20 * 1024 * 1024) bytes += line;
    sandbox_.WriteFile("huge.sql", bytes);
    dialogs_.fileAnswers = {sandbox_.Path("huge.sql")};
    Form1->OpenSQL1->trigger();
    EXPECT_EQ(Form1->Memo1->blockCount(), bytes.size() / line.size() + 1);
    EXPECT_TRUE(dialogs_.Texts("Error").isEmpty());
}

struct BuiltinCase {
    QAction* TForm1::*item;
    const char* file;
    int lines;
};

TEST_F(SqlWorkspaceTest, BuiltInStatementsReplaceTheEditorByteForByte) {
    const BuiltinCase cases[] = {
        {&TForm1::GuarantorsbyTransactionDate1, "builtin1.sql", 13},
        {&TForm1::PatientByTransactionDate1, "builtin2.sql", 15},
        {&TForm1::PatientDemographics1, "builtin3.sql", 10},
        {&TForm1::PatientInsuranceDemographics1, "builtin4.sql", 41},
        {&TForm1::DemographicsExport1, "builtin5.sql", 106},
        {&TForm1::DemographicsExportv81, "builtin6.sql", 103},
        {&TForm1::FixPostConversionICD10issue1, "builtin7.sql", 1},
    };
    // Wide enough that no line wraps: the rows are then the stored lines.
    Form1->Memo1->resize(3000, 330);
    QCoreApplication::processEvents();
    for (const BuiltinCase& c : cases) {
        SCOPED_TRACE(c.file);
        Form1->Memo1->setPlainText("unsaved text");
        (Form1->*c.item)->trigger();
        QCoreApplication::processEvents();
        const QByteArray expected = test::ReadBytes(DataFile(c.file));
        ASSERT_FALSE(expected.isEmpty());
        EXPECT_EQ(QByteArray::fromStdString(Form1->Memo1->LinesText()), expected);
        EXPECT_EQ(Form1->Memo1->LineCount(), c.lines);
    }
    EXPECT_TRUE(dialogs_.shown.empty()) << "no question before replacing";
    EXPECT_FALSE(sandbox_.StoreExists()) << "the remembered file does not change";
}

TEST(SqlEditorTest, RowsAreDisplayedRowsWithoutAnEmptyLastRow) {
    test::EnsureApplication();
    TSqlEditor editor;
    editor.resize(200, 200);
    editor.show();
    QCoreApplication::processEvents();
    const std::pair<QString, QStringList> cases[] = {
        {"", {}},
        {"\n", {""}},
        {"a\nb", {"a", "b"}},
        {"a\n\nb\n", {"a", "", "b"}},
    };
    for (const auto& [text, rows] : cases) {
        editor.setPlainText(text);
        EXPECT_EQ(editor.Lines(), rows) << text.toStdString();
        EXPECT_EQ(editor.LineCount(), rows.size());
    }

    // A line wider than the editor gives several rows; the space at each break ends the upper
    // row, and the rows put together give the line back.
    const QString longLine =
        "select alpha, beta, gamma, delta, epsilon, zeta, eta, theta, iota, kappa from t";
    editor.setPlainText(longLine + "\nnext");
    QCoreApplication::processEvents();
    const QStringList rows = editor.Lines();
    ASSERT_GT(rows.size(), 2);
    EXPECT_EQ(rows.last(), "next");
    EXPECT_EQ(rows.mid(0, rows.size() - 1).join(QString()), longLine);
    for (qsizetype i = 0; i + 2 < rows.size(); ++i)
        EXPECT_TRUE(rows[i].endsWith(' ')) << rows[i].toStdString();

    // The selection keeps its own line breaks as CR LF; wrapping adds none.
    editor.selectAll();
    EXPECT_EQ(editor.SelText(), longLine + "\r\nnext");
}

}  // namespace
}  // namespace parvell

namespace parvell {
namespace {

// The real file dialog: a name typed with backslashes is a path, not one name in the folder.
TEST(QtFileDialogTest, APathTypedWithBackslashesIsTakenAsAPath) {
    test::EnsureApplication();
    test::ClearEndRequest();  // the close path of earlier tests asked the program to end
    test::Sandbox sandbox;
    const QString folder = sandbox.Path("Export");
    QDir().mkpath(folder);
    QString elsewhere = sandbox.Path("other");
    elsewhere.replace(QLatin1Char('/'), QLatin1Char('\\'));
    struct Case {
        QString typed;
        QString chosen;
    };
    const Case cases[] = {
        {elsewhere + "\\q.sql", sandbox.Path("other/q.sql")},
        {"sub\\q.sql", folder + "/sub/q.sql"},
        {"plain.sql", folder + "/plain.sql"},
    };
    QtDialogs dialogs;
    for (const Case& c : cases) {
        TOpenDialog dialog;
        dialog.InitialDir = folder;
        QTimer::singleShot(100, [&] {
            auto* fileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(fileDialog, nullptr);
            auto* name = fileDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(c.typed);
            QMetaObject::invokeMethod(fileDialog, "accept");
        });
        ASSERT_TRUE(dialogs.OpenFileName(dialog)) << c.typed.toStdString();
        EXPECT_EQ(dialog.FileName, c.chosen) << c.typed.toStdString();
    }
}

}  // namespace
}  // namespace parvell
