#pragma once
// The printing progress window of a report's print run.

#include <QDialog>

#include "report/VellRep.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace parvell {

// The printing progress window: a bar, a text line and Cancel, which cancels the print run.
class TVRProgressForm : public QDialog, public TVRPreviewListener {
public:
    explicit TVRProgressForm(TVRPrinter& output, QWidget* parent = nullptr);
    void PagesAvailable(int count, bool finished) override {}
    void ProgressChanged(int percent) override;
    QProgressBar* Bar() const { return bar_; }
    QLabel* Text() const { return text_; }
    QPushButton* CancelButton() const { return cancel_; }

private:
    QProgressBar* bar_;
    QLabel* text_;
    QPushButton* cancel_;
};

}  // namespace parvell
