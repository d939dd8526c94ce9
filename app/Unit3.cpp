#include "app/Unit3.h"

#include "app/Controls.h"

namespace parvell {

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Extraction Progress"));
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    setFixedSize(408, 41);
}

}  // namespace parvell
