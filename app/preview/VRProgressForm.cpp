#include "app/preview/VRProgressForm.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace parvell {

TVRProgressForm::TVRProgressForm(TVRPrinter& output, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Printing progress"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint);
    auto* layout = new QVBoxLayout(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    text_ = new QLabel(this);
    text_->setAlignment(Qt::AlignCenter);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    layout->addWidget(bar_);
    layout->addWidget(text_);
    layout->addWidget(cancel_, 0, Qt::AlignCenter);
    connect(cancel_, &QPushButton::clicked, this, [&output] { output.Cancel(); });
    resize(300, 110);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TVRProgressForm::ProgressChanged(int percent) {
    if (percent % 5 != 0) return;
    bar_->setValue(percent);
    text_->setText(QString::number(percent) + QStringLiteral("% ") + QStringLiteral(" Completed"));
}

}  // namespace parvell
