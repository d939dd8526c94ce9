// Program entry: the application object, the four windows in their order, the message loop.

#include "app/Application.h"
#include "app/Forms.h"
#include "app/frmMainfrm.h"

int main(int argc, char** argv) {
    parvell::TApplication application(argc, argv);
    parvell::CreateForms();
    parvell::Form1->show();
    const int result = application.exec();
    parvell::DestroyForms();
    return result;
}
