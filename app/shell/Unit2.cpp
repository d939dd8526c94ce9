#include "app/shell/Unit2.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QResizeEvent>
#include <QScreen>

#include "app/shell/Application.h"
#include "app/shell/Forms.h"
#include "app/shell/frmMainfrm.h"
#include "app/text/BuiltinSql.h"

namespace parvell {
namespace {

constexpr int kPanelHeight = 401;

}  // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent), mmoPatXTrnDate(PatXTrnDateLines()) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Result Table"));
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    setSizeGripEnabled(false);

    Panel1 = new TPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    DBGrid1 = new TDBGrid(Panel1);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->horizontalHeader()->setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    // The grid reads the main window's query through its data source.
    if (Form1 && Form1->DataSource1) DBGrid1->SetDataSource(Form1->DataSource1.get());

    Button1 = new QPushButton(QStringLiteral("&Close"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(320, 408, 75, 25);
    Button1->setAutoDefault(false);
    QObject::connect(Button1, &QPushButton::clicked, this,
                     [this] { RunGuarded([this] { Button1Click(); }); });
    PressButtonsOnEnter(this);

    resize(708, 435);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

void TForm2::Button1Click() {
    close();
}

void TForm2::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // The panel and its grid follow the window's width; the button keeps its place.
    Panel1->setGeometry(0, 0, width(), kPanelHeight);
    DBGrid1->setGeometry(2, 2, width() - 4, kPanelHeight - 4);
}

}  // namespace parvell
