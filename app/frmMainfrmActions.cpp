// The main window's query actions and its engine components. The buttons and menu items are
// wired to these handlers; the actions themselves and the engine components are filled in by the
// query-action and engine work, here.

#include "app/frmMainfrm.h"

namespace parvell {

void TForm1::CreateEngineComponents() {
    // Hook point: create KdbCPath (server types remote and local, no login prompt, user "user",
    // password "qzmvtrlk", not connected), KdbSettings1 (date format "MM/DD/CCYY", server types
    // remote and local), KdbTable1 (database name "KdbCPath", bound to KdbCPath, empty SQL,
    // closed) and DataSource1 (bound to KdbTable1).
}

void TForm1::DestroyEngineComponents() {
    // Hook point: release the components created above, query first.
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
    // Hook point: the label action.
}

void TForm1::Button5Click() {
    // Hook point: once ExSQL runs statements, the count it returns becomes the caption:
    // setWindowTitle(QString::number(ExSQL()));
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
    // Hook point: the preview action.
}

int32_t TForm1::ExSQL() {
    // Hook point: the statement execution. Until it exists nothing runs, and nothing changes.
    return 0;
}

void TForm1::ExtractSQL() {
    // Hook point: the extraction run.
}

}  // namespace parvell
