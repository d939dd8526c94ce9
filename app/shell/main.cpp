// Program entry: the application object, the four windows in their order, the message loop.

#include "app/shell/Application.h"
#include "app/shell/Forms.h"
#include "app/shell/frmMainfrm.h"

int main(int argc, char** argv) {
    parvell::TApplication application(argc, argv);
    parvell::CreateForms();
    parvell::Form1->show();
    const int result = application.exec();
    parvell::DestroyForms();
    return result;
}
