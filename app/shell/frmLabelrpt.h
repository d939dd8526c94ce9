#pragma once
// The holder of the mailing-label report. The window itself is never shown.

#include <QWidget>
#include <memory>

namespace parvell {

class TLabelReport;

class TForm4 : public QWidget {
public:
    // Builds the label report over the main window's query KdbTable1 (Form1 exists by then).
    explicit TForm4(QWidget* parent = nullptr);
    ~TForm4() override;

    // The Labels action: previews the label report over the main window's open query and
    // returns when the preview has been closed.
    void Preview();

    // The report definition: VellRep1, VRSubDetail1 and its four items.
    TLabelReport& Labels() { return *labels_; }

private:
    std::unique_ptr<TLabelReport> labels_;
};

}  // namespace parvell
