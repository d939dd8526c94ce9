#include "app/shell/frmMainfrm.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>

#include "app/preview/VRStandardPreview.h"
#include "app/shell/Application.h"
#include "app/text/BuiltinSql.h"
#include "app/text/Cp1252Text.h"
#include "settings/Kestrane.h"

namespace parvell {

namespace {

constexpr int kClientWidth = 631;
constexpr int kClientHeight = 443;

void SetTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

TLabel* CaptionLabel(const QString& caption, QWidget* parent, const QColor& color, int left,
                     int top, int width) {
    auto* label = new TLabel(caption, parent);
    label->setFont(DesignFont(QStringLiteral("MS Sans Serif"), 13, true));
    SetTextColor(label, color);
    label->SetFixedGeometry(left, top, width, 16);
    return label;
}

QPushButton* Button(const QString& caption, QWidget* parent, int left, int top) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(left, top, 75, 25);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

template <class Sender, class Signal>
void TForm1::Wire(Sender* sender, Signal signal, void (TForm1::*handler)()) {
    QObject::connect(sender, signal, this,
                     [this, handler] { RunGuarded([&] { (this->*handler)(); }); });
}

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent),
      mmoPatDemo(PatDemoLines()),
      mmoPatInsDemo(PatInsDemoLines()),
      mmoGuarantorLables(GuarantorLablesLines()),
      mmoDemoExportv15(DemoExportv15Lines()),
      mmoDemoExportv8(DemoExportv8Lines()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("MainForm"));
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    BuildControls();
    BuildMenus();
    SetTabOrder();
    PressButtonsOnEnter(this);

    dlgSaveSQL.Filter = QStringLiteral("Text Files|*.txt|All Files|*.*");
    dlgSaveSQL.FilterIndex = 2;

    // The border is fixed: the window keeps the client size plus the menu bar.
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    CenterOnScreen();

    CreateEngineComponents();
    RunGuarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
    DestroyEngineComponents();
}

void TForm1::BuildControls() {
    client_ = new QWidget(this);
    client_->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client_);

    Panel1 = new TPanel(client_);
    Panel1->setGeometry(0, 0, 497, 417);

    Memo1 = new TSqlEditor(Panel1);
    Memo1->setGeometry(9, 8, 480, 330);
    Memo1->SetLines({QStringLiteral("Memo1")});

    Label5 = CaptionLabel(QStringLiteral("Datapath"), Panel1, Qt::red, 8, 344, 64);
    Edit1 = new QLineEdit(QStringLiteral("Datapath"), Panel1);
    Edit1->setGeometry(88, 344, 401, 21);

    Label1 = CaptionLabel(QStringLiteral("Output Filename"), Panel1, Qt::blue, 8, 368, 113);
    DataExtract = new QLineEdit(QStringLiteral("DataExtract.csv"), Panel1);
    DataExtract->setGeometry(128, 368, 361, 21);

    Label2 = CaptionLabel(QStringLiteral("Output Directory"), Panel1, Qt::blue, 8, 392, 112);
    Label4 = new TLabel(QStringLiteral("Label4"), Panel1);
    Label4->SetAutoGeometry(128, 396);
    // Carries the current extract file's path from the extraction run to the writers.
    Label3 = new TLabel(QStringLiteral("Label3"), Panel1);
    Label3->SetAutoGeometry(16, 424);
    Label3->setVisible(false);

    Button1 = Button(QStringLiteral("&Preview SQL"), client_, 504, 8);
    Button3 = Button(QStringLiteral("&Extract"), client_, 504, 40);
    Button4 = Button(QStringLiteral("Labels"), client_, 504, 72);

    CheckBox2 = new QCheckBox(QStringLiteral("Add Record Number"), client_);
    CheckBox2->setGeometry(504, 112, 121, 17);
    CheckBox1 = new QCheckBox(QStringLiteral("Create File Header"), client_);
    CheckBox1->setGeometry(504, 128, 113, 17);
    CheckBox1->setChecked(true);

    RadioGroup1 = new TRadioGroup(QStringLiteral("Extracted File Type"),
                                  {QStringLiteral("Comma Delimited"),
                                   QStringLiteral("Fixed Length"), QStringLiteral("Tab Delimited")},
                                  client_);
    RadioGroup1->setGeometry(504, 160, 121, 81);
    RadioGroup1->SetItemIndex(0);
    RadioGroup1->OnClick = [this] { RunGuarded([this] { RadioGroup1Click(); }); };

    Label7 = new TLabel(QStringLiteral("Status: "), client_);
    Label7->SetAutoGeometry(504, 248);

    Button5 = Button(QStringLiteral("Exec SQL"), client_, 504, 272);
    Button2 = Button(QStringLiteral("E&xit"), client_, 520, 368);

    Wire(Button1, &QPushButton::clicked, &TForm1::Button1Click);
    Wire(Button2, &QPushButton::clicked, &TForm1::Button2Click);
    Wire(Button3, &QPushButton::clicked, &TForm1::Button3Click);
    Wire(Button4, &QPushButton::clicked, &TForm1::Button4Click);
    Wire(Button5, &QPushButton::clicked, &TForm1::Button5Click);

    const std::pair<QWidget*, const char*> names[] = {
        {Panel1, "Panel1"},       {Memo1, "Memo1"},         {Label5, "Label5"},
        {Edit1, "Edit1"},         {Label1, "Label1"},       {DataExtract, "DataExtract"},
        {Label2, "Label2"},       {Label4, "Label4"},       {Label3, "Label3"},
        {Button1, "Button1"},     {Button3, "Button3"},     {Button4, "Button4"},
        {CheckBox2, "CheckBox2"}, {CheckBox1, "CheckBox1"}, {RadioGroup1, "RadioGroup1"},
        {Label7, "Label7"},       {Button5, "Button5"},     {Button2, "Button2"}};
    for (const auto& [widget, name] : names) widget->setObjectName(QString::fromLatin1(name));
}

void TForm1::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto item = [this](QMenu* menu, const QString& caption, const char* name,
                       void (TForm1::*handler)()) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        Wire(action, &QAction::triggered, handler);
        return action;
    };

    File1 = bar->addMenu(QStringLiteral("File"));
    OpenSQL1 = item(File1, QStringLiteral("&Open SQL"), "OpenSQL1", &TForm1::OpenSQL1Click);
    SaveSQL1 = item(File1, QStringLiteral("&Save SQL"), "SaveSQL1", &TForm1::SaveSQL1Click);
    Exit1 = item(File1, QStringLiteral("E&xit"), "Exit1", &TForm1::Exit1Click);

    Actions1 = bar->addMenu(QStringLiteral("Actions"));
    PreviewResults1 = item(Actions1, QStringLiteral("Preview Results"), "PreviewResults1",
                           &TForm1::PreviewResults1Click);
    ExtractData1 =
        item(Actions1, QStringLiteral("Extract Data"), "ExtractData1", &TForm1::ExtractData1Click);

    SQLStatements1 = bar->addMenu(QStringLiteral("SQL Statements"));
    GuarantorsbyTransactionDate1 =
        item(SQLStatements1, QStringLiteral("Guarantors by Transaction Date"),
             "GuarantorsbyTransactionDate1", &TForm1::GuarantorsbyTransactionDate1Click);
    PatientByTransactionDate1 =
        item(SQLStatements1, QStringLiteral("Patient By Transaction Date"),
             "PatientByTransactionDate1", &TForm1::PatientByTransactionDate1Click);
    PatientDemographics1 = item(SQLStatements1, QStringLiteral("Patient Demographics"),
                                "PatientDemographics1", &TForm1::PatientDemographics1Click);
    PatientInsuranceDemographics1 =
        item(SQLStatements1, QStringLiteral("Demographics for EMDEON"),
             "PatientInsuranceDemographics1", &TForm1::PatientInsuranceDemographics1Click);
    DemographicsExport1 = item(SQLStatements1, QStringLiteral("Demographics Export v15"),
                               "DemographicsExport1", &TForm1::DemographicsExport1Click);
    DemographicsExportv81 = item(SQLStatements1, QStringLiteral("Demographics Export v8"),
                                 "DemographicsExportv81", &TForm1::DemographicsExportv81Click);
    FixPostConversionICD10issue1 =
        item(SQLStatements1, QStringLiteral("Fix Post Conversion ICD10 issue"),
             "FixPostConversionICD10issue1", &TForm1::FixPostConversionICD10issue1Click);
}

// Tab order as designed, within each parent: on the window Button1, Button2, Button3, CheckBox1,
// RadioGroup1, CheckBox2, Panel1 (inside it Edit1, DataExtract, Memo1), Button4, Button5.
void TForm1::SetTabOrder() {
    QWidget* const chain[] = {Button1,
                              Button2,
                              Button3,
                              CheckBox1,
                              RadioGroup1->Item(0),
                              RadioGroup1->Item(1),
                              RadioGroup1->Item(2),
                              CheckBox2,
                              Edit1,
                              DataExtract,
                              Memo1,
                              Button4,
                              Button5};
    for (size_t i = 0; i + 1 < std::size(chain); ++i) QWidget::setTabOrder(chain[i], chain[i + 1]);
    Button1->setFocus();
}

void TForm1::CenterOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    move(available.center() - QPoint(width() / 2, height() / 2));
}

void TForm1::FormCreate() {
    const std::string folder = NormalizeFolder(ReadCurrentPractice());
    PracticeFolder = folder;
    setWindowTitle(QStringLiteral("Parvell"));
    const QString exportFolder = QStringFromCp1252(PracticeFolder + "Export");
    dlgSaveSQL.InitialDir = exportFolder;
    Label4->SetCaption(exportFolder);
    const QString dictionary = QStringFromCp1252(PracticeFolder + "mwddf.kdd");
    Edit1->setText(FileExists(dictionary) ? dictionary : QStringFromCp1252(PracticeFolder));
    Memo1->Clear();
}

void TForm1::FormShow() {
    const QString lastOpen = QString::fromStdString(ReadSettingUtf8("\\Parvell", "LastOpen"));
    if (FileExists(lastOpen)) Memo1->LoadFromFile(lastOpen);
}

void TForm1::FormClose() {
    if (Memo1->LineCount() > 0 &&
        AppDialogs().Confirm(QStringLiteral("Do you want to save the SQL file?"))) {
        SaveSQL();
    }
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) RunGuarded([this] { FormShow(); });
}

// The close path (Exit button, close box, system menu): FormClose, then the window closes and the
// application ends. A failure inside FormClose (saving) abandons the closing.
void TForm1::closeEvent(QCloseEvent* event) {
    if (!RunGuarded([this] { FormClose(); })) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::exit(0);
}

void TForm1::Button2Click() {
    close();
}

void TForm1::Exit1Click() {
    // The label previews close first: a generation in progress is cancelled and the Labels
    // action waiting for its window returns, so nothing keeps the message loop from ending.
    ClosePreviewWindows();
    if (TApplication* app = Application()) {
        app->Terminate();
    } else {
        QCoreApplication::exit(0);
    }
}

}  // namespace parvell
