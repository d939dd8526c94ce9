#include "app/frmLabelrpt.h"

namespace parvell {

TForm4::TForm4(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Form4"));
    resize(916, 562);
}

void TForm4::Preview() {}

}  // namespace parvell
