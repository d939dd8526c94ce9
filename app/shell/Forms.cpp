#include "app/shell/Forms.h"

#include "app/preview/VRStandardPreview.h"
#include "app/shell/Unit2.h"
#include "app/shell/Unit3.h"
#include "app/shell/frmLabelrpt.h"
#include "app/shell/frmMainfrm.h"

namespace parvell {

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;

void CreateForms() {
    Form1 = new TForm1();
    Form2 = new TForm2();
    Form3 = new TForm3();
    Form4 = new TForm4();
}

void DestroyForms() {
    // Preview windows still open hold their own pages; they go before the report they show.
    DeletePreviewWindows();
    delete Form4;
    Form4 = nullptr;
    delete Form3;
    Form3 = nullptr;
    delete Form2;
    Form2 = nullptr;
    delete Form1;
    Form1 = nullptr;
}

}  // namespace parvell
