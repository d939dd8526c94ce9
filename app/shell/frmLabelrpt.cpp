#include "app/shell/frmLabelrpt.h"

#include "app/preview/VRPreviewHost.h"
#include "app/shell/Forms.h"
#include "app/shell/frmMainfrm.h"
#include "report/LabelReport.h"

namespace parvell {

TForm4::TForm4(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Form4"));
    resize(916, 562);
    InstallPreviewWindows();
    labels_ = std::make_unique<TLabelReport>(Form1 ? Form1->KdbTable1.get() : nullptr);
}

TForm4::~TForm4() = default;

void TForm4::Preview() {
    labels_->VellRep1.Preview();
}

}  // namespace parvell
