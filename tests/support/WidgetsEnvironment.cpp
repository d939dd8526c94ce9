#include "tests/support/WidgetsEnvironment.h"

#include <QApplication>
#include <QCoreApplication>

namespace parvell::test {

void WidgetsEnvironment::SetUp() {
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(programName_), nullptr};
    new QApplication(argc, argv);
}

}  // namespace parvell::test
