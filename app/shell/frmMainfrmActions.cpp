// The main window's query actions and its engine components. Every action that talks to the
// database follows the busy protocol: the four action buttons are disabled, the connection is
// reset to the data-path box, the query gets its SQL text, the status line says the query runs,
// and whatever happens the status line, the query and the buttons are put back at the end.

#include <QCoreApplication>
#include <QStringList>

#include "app/shell/ActionScope.h"
#include "app/shell/Forms.h"
#include "app/shell/Unit2.h"
#include "app/shell/frmLabelrpt.h"
#include "app/shell/frmMainfrm.h"
#include "app/text/Cp1252Text.h"
#include "engine/EngineComponents.h"

namespace parvell {
namespace {

const QString kQueryRunning = QStringLiteral("Status: Query running.");
const QString kQueryFinished = QStringLiteral("Status: Query finished.");

}  // namespace

void TForm1::CreateEngineComponents() {
    // The program's one set-up of its engine components. A locale the C library cannot load
    // gives the United States texts without a word: the window has no place to say it.
    TEngineComponents components = parvell::CreateEngineComponents(&engineOwner_);
    KdbSettings1 = std::move(components.KdbSettings1);
    KdbCPath = std::move(components.KdbCPath);
    KdbTable1 = std::move(components.KdbTable1);
    DataSource1 = std::make_unique<TDataSource>();
    DataSource1->SetDataSet(KdbTable1.get());
}

void TForm1::DestroyEngineComponents() {
    if (Form2) Form2->DBGrid1->SetDataSource(nullptr);
    DataSource1.reset();
    KdbTable1.reset();
    KdbCPath.reset();
    KdbSettings1.reset();
}

void TForm1::EnableActionButtons(bool enabled) {
    for (QPushButton* button : {Button1, Button2, Button3, Button4}) button->setEnabled(enabled);
}

void TForm1::BeginQueryAction() {
    EnableActionButtons(false);
    QCoreApplication::processEvents();
    KdbCPath->SetIsConnected(false);
    KdbCPath->SetConnectPath(Cp1252FromQString(Edit1->text()));
}

void TForm1::AssignEditorLines() {
    std::string text;
    for (const QString& line : Memo1->Lines()) {
        text += Cp1252FromQString(line);
        text += "\r\n";
    }
    KdbTable1->SetSQL(text);
}

// Runs an action's step inside the protected part of the busy protocol.
template <class Step>
static void RunProtected(TForm1& form, Step&& step) {
    form.Label7->SetCaption(kQueryRunning);
    QCoreApplication::processEvents();
    try {
        step();
    } catch (...) {
        form.Label7->SetCaption(kQueryFinished);
        QCoreApplication::processEvents();
        try {
            form.KdbTable1->SetActive(false);
        } catch (...) {
            // The step's failure is the one reported.
        }
        for (QPushButton* button : {form.Button1, form.Button2, form.Button3, form.Button4}) {
            button->setEnabled(true);
        }
        throw;
    }
    form.Label7->SetCaption(kQueryFinished);
    QCoreApplication::processEvents();
    form.KdbTable1->SetActive(false);
    for (QPushButton* button : {form.Button1, form.Button2, form.Button3, form.Button4}) {
        button->setEnabled(true);
    }
}

void TForm1::Button1Click() {
    PreviewSQL();
}

void TForm1::PreviewResults1Click() {
    PreviewSQL();
}

void TForm1::Button3Click() {
    ExtractSQL();
}

void TForm1::ExtractData1Click() {
    ExtractSQL();
}

void TForm1::Button4Click() {
    TActionScope scope(*this);
    if (!scope.Entered()) return;
    BeginQueryAction();
    AssignEditorLines();
    RunProtected(*this, [this] {
        KdbTable1->SetActive(true);
        // Returns when the label preview has been closed; the query stays open until then.
        Form4->Preview();
    });
}

void TForm1::Button5Click() {
    // The caption changes only when ExSQL completed; a refused second action leaves it.
    if (actionRunning_) return;
    setWindowTitle(QString::number(ExSQL()));
}

// Record numbers exist in the comma and tab layouts only.
void TForm1::RadioGroup1Click() {
    switch (RadioGroup1->ItemIndex()) {
        case 0:
        case 2:
            CheckBox2->setEnabled(true);
            break;
        case 1:
            CheckBox2->setChecked(false);
            CheckBox2->setEnabled(false);
            break;
        default:
            break;
    }
}

void TForm1::PreviewSQL() {
    TActionScope scope(*this);
    if (!scope.Entered()) return;
    BeginQueryAction();
    // The selection alone when there is one (its line breaks as CR LF), else the whole editor.
    TKdbSQLStrings& sql = KdbTable1->SQL();
    sql.Clear();
    const QString selected = Memo1->SelText();
    if (!selected.isEmpty()) {
        sql.Add(Cp1252FromQString(selected));
    } else {
        AssignEditorLines();
    }
    RunProtected(*this, [this] {
        KdbTable1->SetActive(true);
        if (Form2) {
            if (Form2->DBGrid1->Model().DataSource() != DataSource1.get()) {
                Form2->DBGrid1->SetDataSource(DataSource1.get());
            }
            Form2->exec();
        }
    });
}

int32_t TForm1::ExSQL() {
    TActionScope scope(*this);
    if (!scope.Entered()) return -1;
    BeginQueryAction();
    AssignEditorLines();
    int32_t count = -1;
    RunProtected(*this, [this, &count] {
        KdbTable1->ExecSQL();
        count = KdbTable1->RowsAffected();
    });
    return count;
}

}  // namespace parvell
