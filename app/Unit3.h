#pragma once
// The extraction progress window.

#include <QDialog>

namespace parvell {

class TForm3 : public QDialog {
public:
    explicit TForm3(QWidget* parent = nullptr);
};

}  // namespace parvell
