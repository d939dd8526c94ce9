#pragma once
// The extraction progress window: a progress bar and a caption that the writers advance once per
// record. It is shown without being modal and has no border icons, so the user cannot close it;
// only the extraction run hides it.

#include <QDialog>
#include <QElapsedTimer>
#include <QProgressBar>
#include <cstdint>

namespace parvell {

class TForm3 : public QDialog {
public:
    explicit TForm3(QWidget* parent = nullptr);

    QProgressBar* PBar;

    // The bar's figures. A position set beyond the maximum stays at the maximum, one set below 0
    // at 0; a maximum below 0 counts as 0.
    int Position() const { return position_; }
    void SetPosition(int position);
    int Max() const { return maximum_; }
    void SetMax(int maximum);

    // The progress step run after every written record: one more on the bar, the caption
    // "Extraction Progress %" with the whole percentage, then the pending window messages.
    void ProgressStep();

    // Milliseconds between two looks for window messages while records stream in.
    static constexpr int kPumpIntervalMs = 4;

protected:
    // The user cannot close the window (it has no close box; Escape and Alt+F4 do nothing).
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}

private:
    int position_ = 0;
    int maximum_ = 100;
    int captionPercent_ = -1;  // the percentage the caption shows; -1: not set by a step
    QElapsedTimer pumpClock_;  // since the last look for window messages
};

// Hides the window at the end of a run (the run's "close"; the window is not destroyed).
void HideProgressWindow(TForm3& form);

}  // namespace parvell
