#include "app/Unit2.h"

#include "app/BuiltinSql.h"
#include "app/Controls.h"

namespace parvell {

TForm2::TForm2(QWidget* parent) : QDialog(parent), mmoPatXTrnDate(PatXTrnDateLines()) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Result Table"));
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    resize(708, 435);
}

}  // namespace parvell
