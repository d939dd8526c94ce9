#pragma once
// The result window of Preview SQL: a grid over the main window's data source, shown modally
// until "&Close" or the close box. It also carries the store of the built-in statement
// "Patient By Transaction Date".

#include <QDialog>
#include <QPushButton>
#include <QStringList>

#include "app/shell/Controls.h"
#include "app/shell/DataGrid.h"

namespace parvell {

class TForm2 : public QDialog {
public:
    explicit TForm2(QWidget* parent = nullptr);

    TPanel* Panel1;
    TDBGrid* DBGrid1;
    QPushButton* Button1;

    const QStringList& mmoPatXTrnDate;

    void Button1Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace parvell
