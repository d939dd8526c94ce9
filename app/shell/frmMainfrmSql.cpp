// The SQL workspace of the main window: Open SQL, Save SQL and the built-in statements.

#include "app/shell/frmMainfrm.h"

#include "app/shell/Forms.h"
#include "app/shell/Unit2.h"
#include "app/text/BuiltinSql.h"
#include "app/text/Cp1252Text.h"
#include "settings/Kestrane.h"

namespace parvell {

namespace {

// Kept in UTF-8, so a file name that Windows-1252 cannot hold is still found at the next start.
void RememberFile(const QString& path) {
    WriteSettingUtf8("\\Parvell", "LastOpen", path.toUtf8().toStdString());
}

}  // namespace

void TForm1::OpenSQL1Click() {
    if (!dlgSaveSQL.Execute()) return;
    // A name that does not exist (or names a folder) is ignored without a word.
    if (!FileExists(dlgSaveSQL.FileName)) return;
    Memo1->LoadFromFile(dlgSaveSQL.FileName);
    RememberFile(dlgSaveSQL.FileName);
}

void TForm1::SaveSQL1Click() {
    SaveSQL();
}

// The dialog is the open-style one, so saving over an existing file asks nothing.
void TForm1::SaveSQL() {
    if (!dlgSaveSQL.Execute()) return;
    if (dlgSaveSQL.FileName.isEmpty()) return;
    Memo1->SaveToFile(dlgSaveSQL.FileName);
    if (FileExists(dlgSaveSQL.FileName)) RememberFile(dlgSaveSQL.FileName);
}

void TForm1::GuarantorsbyTransactionDate1Click() {
    Memo1->SetLines(mmoGuarantorLables);
}

void TForm1::PatientByTransactionDate1Click() {
    Memo1->SetLines(Form2 ? Form2->mmoPatXTrnDate : PatXTrnDateLines());
}

void TForm1::PatientDemographics1Click() {
    Memo1->SetLines(mmoPatDemo);
}

void TForm1::PatientInsuranceDemographics1Click() {
    Memo1->SetLines(mmoPatInsDemo);
}

void TForm1::DemographicsExport1Click() {
    Memo1->SetLines(mmoDemoExportv15);
}

void TForm1::DemographicsExportv81Click() {
    Memo1->SetLines(mmoDemoExportv8);
}

void TForm1::FixPostConversionICD10issue1Click() {
    Memo1->Clear();
    Memo1->SetLines({FixPostConversionICD10Line()});
}

}  // namespace parvell
