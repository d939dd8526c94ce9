// The main window: start-up states, design values after a failed creation, layout, captions,
// menus, tab order and the two ways of ending the program.

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "app/shell/Application.h"
#include "app/shell/Forms.h"
#include "app/shell/Unit2.h"
#include "app/shell/Unit3.h"
#include "app/shell/frmLabelrpt.h"
#include "app/shell/frmMainfrm.h"
#include "settings/Kestrane.h"
#include "tests/app/Form1Layout.h"
#include "tests/support/ShellTestSupport.h"

namespace parvell {
namespace {

using test::ScriptedDialogs;

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureApplication(); }
    void TearDown() override { DestroyForms(); }

    void Start() { CreateForms(); }
    void Show() {
        Form1->show();
        QCoreApplication::processEvents();
    }
    std::string LastOpen() const { return ReadSetting("\\Parvell", "LastOpen"); }

    test::Sandbox sandbox_;
    ScriptedDialogs dialogs_;
};

struct StartCase {
    const char* name;
    const char* practice;  // nullptr: no value; "@" stands for the sandbox folder
    const char* file;      // a file to create below the sandbox, or nullptr
    const char* practiceFolder;
    const char* edit1;
    const char* label4;
};

QString Expand(const char* text, const QString& root) {
    return QString::fromUtf8(text).replace(QLatin1Char('@'), root);
}

TEST_F(MainFormTest, StartUpStateFollowsThePracticeValue) {
    const StartCase cases[] = {
        {"no practice", nullptr, nullptr, "", "", "Export"},
        {"no practice, dictionary in the working folder", nullptr, "work/mwddf.kdd", "",
         "mwddf.kdd", "Export"},
        {"old-style path with dictionary", "c:\\data\\pr1", "work/C:/DATA/PR1/mwddf.kdd",
         "C:\\DATA\\PR1\\", "C:\\DATA\\PR1\\mwddf.kdd", "C:\\DATA\\PR1\\Export"},
        {"folder without dictionary", "@/prac", nullptr, "@/prac/", "@/prac/", "@/prac/Export"},
        {"folder with dictionary", "@/prac/", "prac/mwddf.kdd", "@/prac/", "@/prac/mwddf.kdd",
         "@/prac/Export"},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::Sandbox sandbox;
        const QString root = sandbox.Path();
        if (c.practice) WriteCurrentPractice(Expand(c.practice, root).toStdString());
        if (c.file) sandbox.WriteFile(QString::fromUtf8(c.file), "x");
        const bool storeBefore = sandbox.StoreExists();

        Start();
        EXPECT_EQ(QString::fromStdString(Form1->PracticeFolder), Expand(c.practiceFolder, root));
        EXPECT_EQ(Form1->Edit1->text(), Expand(c.edit1, root));
        EXPECT_EQ(Form1->Label4->Caption(), Expand(c.label4, root));
        EXPECT_EQ(Form1->dlgSaveSQL.InitialDir, Expand(c.label4, root));
        EXPECT_EQ(Form1->windowTitle(), "Parvell");
        EXPECT_EQ(Form1->Memo1->toPlainText(), "");
        EXPECT_EQ(sandbox.StoreExists(), storeBefore) << "reads must not create the store";
        DestroyForms();
    }
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(MainFormTest, StartsWithTheDesignedOptionsAndOnlyTheMainWindow) {
    Start();
    Show();
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_FALSE(Form4->isVisible());
    EXPECT_EQ(Form1->DataExtract->text(), "DataExtract.csv");
    EXPECT_TRUE(Form1->CheckBox1->isChecked());
    EXPECT_FALSE(Form1->CheckBox2->isChecked());
    EXPECT_TRUE(Form1->CheckBox2->isEnabled());
    EXPECT_EQ(Form1->RadioGroup1->ItemIndex(), 0);
    EXPECT_EQ(Form1->Label7->Caption(), "Status: ");
    EXPECT_FALSE(Form1->Label3->isVisible());
    EXPECT_EQ(Form1->dlgSaveSQL.Filter, "Text Files|*.txt|All Files|*.*");
    EXPECT_EQ(Form1->dlgSaveSQL.FilterIndex, 2);
    EXPECT_EQ(QApplication::focusWidget(), Form1->Button1);
}

// A creation step that fails leaves the later steps undone: the window keeps its design values.
TEST_F(MainFormTest, FailedCreationKeepsTheDesignValues) {
    struct FailCase {
        const char* name;
        QStringList store;
        QString error;  // the start of the error box text
    };
    const FailCase cases[] = {
        {"practice value that is a number",
         {"[HKEY_CURRENT_USER\\Software\\Ostrel]", "\"Current Practice\"=dword:00000001"},
         "Invalid data type for 'Current Practice'"},
        {"store file with garbage lines",
         {"[HKEY_CURRENT_USER\\Software\\Ostrel]", "garbage here", "}{"},
         "The settings file \""},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::Sandbox sandbox;
        sandbox.WriteStore(c.store);
        const QByteArray storeBytes = test::ReadBytes(sandbox.StoreFile());
        ScriptedDialogs dialogs;
        Start();
        ASSERT_EQ(dialogs.Texts("Error").size(), 1);
        EXPECT_TRUE(dialogs.Texts("Error").first().startsWith(c.error))
            << dialogs.Texts("Error").first().toStdString();
        EXPECT_EQ(Form1->windowTitle(), "MainForm");
        EXPECT_EQ(Form1->Edit1->text(), "Datapath");
        EXPECT_EQ(Form1->Label4->Caption(), "Label4");
        EXPECT_EQ(Form1->Memo1->Lines(), QStringList{"Memo1"});
        EXPECT_EQ(Form1->dlgSaveSQL.InitialDir, "");
        EXPECT_EQ(Form1->PracticeFolder, "");
        // The program goes on: the window is still there and shows.
        ASSERT_NE(Form2, nullptr);
        Show();
        EXPECT_TRUE(Form1->isVisible());
        EXPECT_EQ(test::ReadBytes(sandbox.StoreFile()), storeBytes)
            << "a damaged store is never rewritten";
        DestroyForms();
    }
}

TEST_F(MainFormTest, DamagedStoreIsReportedWithItsPathAndLine) {
    sandbox_.WriteStore({"[HKEY_CURRENT_USER\\Software\\Corvantic\\Parvell]", "\"LastOpen\"=\"/x\"",
                         "not a value"});
    Start();
    Show();
    // Once at creation (the practice value) and once when shown (the remembered file).
    const QStringList errors = dialogs_.Texts("Error");
    ASSERT_EQ(errors.size(), 2);
    for (const QString& error : errors) {
        EXPECT_TRUE(error.contains(sandbox_.StoreFile())) << error.toStdString();
        EXPECT_TRUE(error.contains("line 5")) << error.toStdString();
    }
    EXPECT_EQ(Form1->Memo1->Lines(), QStringList{"Memo1"});
}

TEST_F(MainFormTest, ShowReloadsTheRememberedFileOnlyWhenItExists) {
    sandbox_.WriteFile("last.sql", "select 1\r\nfrom x\r\n");
    WriteSetting("\\Parvell", "LastOpen", sandbox_.Path("last.sql").toStdString());
    Start();
    EXPECT_EQ(Form1->Memo1->toPlainText(), "") << "the reload waits for the window to show";
    Show();
    EXPECT_EQ(Form1->Memo1->Lines(), (QStringList{"select 1", "from x"}));
    DestroyForms();

    WriteSetting("\\Parvell", "LastOpen", sandbox_.Path("gone.sql").toStdString());
    Start();
    Show();
    EXPECT_EQ(Form1->Memo1->LineCount(), 0);
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(MainFormTest, ControlsSitWhereTheyAreDesigned) {
    Start();
    Show();
    EXPECT_EQ(Form1->Client()->size(), QSize(631, 443));
    EXPECT_EQ(Form1->minimumSize(), Form1->maximumSize()) << "the border is fixed";
    for (const test::DesignedControl& c : test::kForm1Layout) {
        SCOPED_TRACE(c.name);
        auto* widget = Form1->findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr);
        QWidget* parent = QString::fromLatin1(c.parent) == "Panel1"
                              ? static_cast<QWidget*>(Form1->Panel1)
                              : Form1->Client();
        EXPECT_EQ(widget->parentWidget(), parent);
        EXPECT_EQ(widget->pos(), QPoint(c.left, c.top));
        if (c.width >= 0) {
            EXPECT_EQ(widget->size(), QSize(c.width, c.height));
        }
    }
    // "MS Sans Serif" 8 point is drawn with the metric-compatible Liberation Sans.
    EXPECT_EQ(Form1->font().pixelSize(), 11);
    EXPECT_EQ(QFontInfo(Form1->font()).family(), "Liberation Sans");
    EXPECT_TRUE(Form1->Label5->font().bold());
    EXPECT_EQ(Form1->Label5->font().pixelSize(), 13);
    EXPECT_EQ(Form1->Label5->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(Form1->Label1->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_EQ(Form1->Label2->palette().color(QPalette::WindowText), QColor(Qt::blue));
}

TEST_F(MainFormTest, CaptionsAndMenusAreAsDesigned) {
    Start();
    const std::pair<QWidget*, QString> captions[] = {
        {Form1->Button1, "&Preview SQL"},
        {Form1->Button3, "&Extract"},
        {Form1->Button4, "Labels"},
        {Form1->CheckBox2, "Add Record Number"},
        {Form1->CheckBox1, "Create File Header"},
        {Form1->Button5, "Exec SQL"},
        {Form1->Button2, "E&xit"},
        {Form1->Label5, "Datapath"},
        {Form1->Label1, "Output Filename"},
        {Form1->Label2, "Output Directory"},
    };
    for (const auto& [widget, caption] : captions) {
        EXPECT_EQ(widget->property("text").toString(), caption)
            << widget->objectName().toStdString();
    }
    EXPECT_EQ(Form1->RadioGroup1->title(), "Extracted File Type");
    const QStringList items{"Comma Delimited", "Fixed Length", "Tab Delimited"};
    ASSERT_EQ(Form1->RadioGroup1->Count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Form1->RadioGroup1->Item(i)->text(), items[i]);

    const std::vector<std::pair<QString, QStringList>> menus = {
        {"File", {"&Open SQL", "&Save SQL", "E&xit"}},
        {"Actions", {"Preview Results", "Extract Data"}},
        {"SQL Statements",
         {"Guarantors by Transaction Date", "Patient By Transaction Date", "Patient Demographics",
          "Demographics for EMDEON", "Demographics Export v15", "Demographics Export v8",
          "Fix Post Conversion ICD10 issue"}},
    };
    const QList<QAction*> bar = Form1->menuBar()->actions();
    ASSERT_EQ(bar.size(), static_cast<qsizetype>(menus.size()));
    for (size_t m = 0; m < menus.size(); ++m) {
        EXPECT_EQ(bar[m]->text(), menus[m].first);
        QStringList texts;
        for (QAction* action : bar[m]->menu()->actions()) texts << action->text();
        EXPECT_EQ(texts, menus[m].second);
    }
}

TEST_F(MainFormTest, TabOrderFollowsTheDesign) {
    Start();
    Show();
    const std::vector<QWidget*> expected = {Form1->Button1,
                                            Form1->Button2,
                                            Form1->Button3,
                                            Form1->CheckBox1,
                                            Form1->RadioGroup1->Item(0),
                                            Form1->RadioGroup1->Item(1),
                                            Form1->RadioGroup1->Item(2),
                                            Form1->CheckBox2,
                                            Form1->Edit1,
                                            Form1->DataExtract,
                                            Form1->Memo1,
                                            Form1->Button4,
                                            Form1->Button5};
    std::vector<QWidget*> chain;
    QWidget* widget = Form1->Button1;
    do {
        if (std::find(expected.begin(), expected.end(), widget) != expected.end())
            chain.push_back(widget);
        widget = widget->nextInFocusChain();
    } while (widget != Form1->Button1 && chain.size() <= expected.size());
    EXPECT_EQ(chain, expected);
}

TEST_F(MainFormTest, RadioGroupRuleEnablesRecordNumbersOutsideFixedLength) {
    Start();
    Show();
    Form1->CheckBox2->setChecked(true);
    Form1->RadioGroup1->Item(1)->click();
    EXPECT_FALSE(Form1->CheckBox2->isChecked());
    EXPECT_FALSE(Form1->CheckBox2->isEnabled());
    Form1->RadioGroup1->Item(2)->click();
    EXPECT_TRUE(Form1->CheckBox2->isEnabled());
    EXPECT_FALSE(Form1->CheckBox2->isChecked()) << "the checked state stays as it was";
}

struct CloseCase {
    const char* name;
    QString text;
    std::deque<bool> confirm;
    std::deque<std::optional<QString>> files;  // "@" stands for the sandbox folder
    bool prompted;
    bool saved;
};

TEST_F(MainFormTest, EnterPressesTheFocusedButton) {
    Start();
    Show();
    int clicks = 0;
    QObject::connect(Form1->Button5, &QPushButton::clicked, [&] { ++clicks; });
    Form1->Button5->setFocus();
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int clicks;
    };
    for (const Case& c :
         {Case{Qt::Key_Return, Qt::NoModifier, 1}, Case{Qt::Key_Enter, Qt::KeypadModifier, 2},
          Case{Qt::Key_Return, Qt::ControlModifier, 2}}) {
        QTest::keyClick(Form1->Button5, c.key, c.modifiers);
        EXPECT_EQ(clicks, c.clicks) << c.key;
    }
    Form1->Button5->setEnabled(false);
    QTest::keyClick(Form1->Button5, Qt::Key_Return);
    EXPECT_EQ(clicks, 2) << "a disabled button is not pressed";
    // The result window's "&Close" alike.
    Form2->show();
    Form2->Button1->setFocus();
    QTest::keyClick(Form2->Button1, Qt::Key_Return);
    EXPECT_FALSE(Form2->isVisible());
}

TEST_F(MainFormTest, ClosePathAsksToSaveWhenTheEditorHoldsText) {
    const CloseCase cases[] = {
        {"empty editor", "", {}, {}, false, false},
        {"only an empty last row", "\n", {false}, {}, true, false},
        {"answer No", "select 1", {false}, {}, true, false},
        {"answer Yes, cancel the dialog", "select 1", {true}, {std::nullopt}, true, false},
        {"answer Yes, save", "select 1", {true}, {"@/saved.sql"}, true, true},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::Sandbox sandbox;
        ScriptedDialogs dialogs;
        dialogs.confirmAnswers = c.confirm;
        for (const auto& file : c.files) {
            dialogs.fileAnswers.push_back(
                file ? std::optional(QString(*file).replace('@', sandbox.Path())) : std::nullopt);
        }
        Start();
        Show();
        Form1->Memo1->setPlainText(c.text);
        Form1->Button2->click();
        EXPECT_FALSE(Form1->isVisible()) << "closing cannot be cancelled";
        EXPECT_EQ(dialogs.Texts("Confirm"),
                  c.prompted ? QStringList{"Do you want to save the SQL file?"} : QStringList{});
        EXPECT_EQ(QFileInfo::exists(sandbox.Path("saved.sql")), c.saved);
        EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"),
                  c.saved ? sandbox.Path("saved.sql").toStdString() : "");
        EXPECT_TRUE(dialogs.Texts("Error").isEmpty());
        DestroyForms();
    }
}

TEST_F(MainFormTest, FailedSaveAtCloseKeepsTheProgramOpen) {
    Start();
    Show();
    Form1->Memo1->setPlainText("select 1");
    dialogs_.confirmAnswers = {true};
    dialogs_.fileAnswers = {sandbox_.Path("missing/folder/q.sql")};
    Form1->close();
    EXPECT_TRUE(Form1->isVisible());
    ASSERT_EQ(dialogs_.Texts("Error").size(), 1);
    EXPECT_TRUE(dialogs_.Texts("Error").first().startsWith("Cannot create file \"" +
                                                           sandbox_.Path("missing/folder/q.sql")));
}

TEST_F(MainFormTest, FileExitEndsAtOnceWithoutThePrompt) {
    Start();
    Show();
    Form1->Memo1->setPlainText("unsaved text");
    Form1->Exit1->trigger();
    EXPECT_TRUE(Application()->Terminated());
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_TRUE(Form1->isVisible()) << "the close path does not run";
    test::ClearEndRequest();
}

}  // namespace
}  // namespace parvell
