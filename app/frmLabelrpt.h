#pragma once
// The holder of the mailing-label report. The window itself is never shown.

#include <QWidget>

namespace parvell {

class TForm4 : public QWidget {
public:
    explicit TForm4(QWidget* parent = nullptr);

    // The Labels action: previews the label report over the main window's open query and
    // returns when the preview has been closed. Stands in until the report is built: it shows
    // nothing and returns at once.
    void Preview();
};

}  // namespace parvell
