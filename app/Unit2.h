#pragma once
// The result window of Preview SQL. It also carries the store of the built-in statement
// "Patient By Transaction Date".

#include <QDialog>
#include <QStringList>

namespace parvell {

class TForm2 : public QDialog {
public:
    explicit TForm2(QWidget* parent = nullptr);

    const QStringList& mmoPatXTrnDate;
};

}  // namespace parvell
