#include "app/shell/Unit3.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "app/shell/Controls.h"
#include "extract/Progress.h"

namespace parvell {

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QString::fromLatin1(kExtractionProgressCaption));
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    setFixedSize(408, 41);
    setModal(false);

    PBar = new QProgressBar(this);
    PBar->setObjectName(QStringLiteral("PBar"));
    PBar->setGeometry(8, 8, 393, 21);
    PBar->setRange(0, 100);
    PBar->setValue(0);
    PBar->setTextVisible(false);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

void TForm3::SetPosition(int position) {
    position_ = std::clamp(position, 0, maximum_);
    PBar->setValue(position_);
    captionPercent_ = -1;
    pumpClock_.invalidate();
}

void TForm3::SetMax(int maximum) {
    maximum_ = std::max(0, maximum);
    PBar->setMaximum(maximum_);
    if (position_ > maximum_) SetPosition(maximum_);
}

void TForm3::ProgressStep() {
    position_ = std::min(position_ + 1, maximum_);
    const int percent = ProgressPercent(position_, maximum_);
    const bool captionChanges = percent != captionPercent_;
    if (captionChanges) {
        captionPercent_ = percent;
        setWindowTitle(QString::fromLatin1(ProgressCaption(percent)));
    }
    // Looking for pending window messages costs a system call, which would dominate a run that
    // writes a million short lines; when records come faster than the screen refreshes they are
    // looked for once per pump interval instead of after every record. The bar follows then.
    if (captionChanges || !pumpClock_.isValid() || pumpClock_.elapsed() >= kPumpIntervalMs) {
        PBar->setValue(position_);
        QCoreApplication::processEvents();
        pumpClock_.restart();
    }
}

void TForm3::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void HideProgressWindow(TForm3& form) {
    form.hide();
}

}  // namespace parvell
