#pragma once
// The holder of the mailing-label report. The window itself is never shown.

#include <QWidget>

namespace parvell {

class TForm4 : public QWidget {
public:
    explicit TForm4(QWidget* parent = nullptr);
};

}  // namespace parvell
