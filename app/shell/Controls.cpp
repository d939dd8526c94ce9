#include "app/shell/Controls.h"

#include <qdrawutil.h>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

namespace parvell {

namespace {

class EnterPresses : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            return false;
        }
        auto* button = static_cast<QPushButton*>(watched);
        if (!button->isEnabled()) return false;
        button->click();
        return true;
    }
};

}  // namespace

void PressButtonsOnEnter(QWidget* window) {
    auto* filter = new EnterPresses(window);
    for (QPushButton* button : window->findChildren<QPushButton*>())
        button->installEventFilter(filter);
}

QFont DesignFont(const QString& family, int pixelHeight, bool bold) {
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
    // Children start 2 pixels in, inside both bevels.
    setContentsMargins(2, 2, 2, 2);
}

void TPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect outer = rect();
    qDrawShadePanel(&painter, outer, palette(), false, 1);
    qDrawShadePanel(&painter, outer.adjusted(1, 1, -1, -1), palette(), true, 1);
}

TLabel::TLabel(const QString& caption, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetCaption(caption);
}

void TLabel::SetCaption(const QString& caption) {
    setText(caption);
    if (autoSize_) resize(sizeHint());
}

void TLabel::SetFixedGeometry(int left, int top, int width, int height) {
    autoSize_ = false;
    setGeometry(left, top, width, height);
}

void TLabel::SetAutoGeometry(int left, int top) {
    autoSize_ = true;
    move(left, top);
    resize(sizeHint());
}

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent) {
    group_.setExclusive(true);
    int id = 0;
    for (const QString& item : items) {
        auto* button = new QRadioButton(item, this);
        group_.addButton(button, id++);
        buttons_.push_back(button);
    }
    QObject::connect(&group_, &QButtonGroup::idClicked, this, [this](int) {
        if (OnClick) OnClick();
    });
}

int TRadioGroup::ItemIndex() const {
    return group_.checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (index >= 0 && index < Count()) buttons_[static_cast<size_t>(index)]->setChecked(true);
}

// The frame as the design has it: an etched rectangle whose top line runs through the middle of
// the caption, which sits 8 pixels in on the window's background.
void TRadioGroup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int lineY = metrics.height() / 2;
    qDrawShadeRect(&painter, QRect(0, lineY, width(), height() - lineY), palette(), true, 1, 0);
    if (title().isEmpty()) return;
    const QRect caption(8, 0, metrics.horizontalAdvance(title()) + 2, metrics.height());
    painter.fillRect(caption, palette().window());
    style()->drawItemText(&painter, caption,
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), title(), QPalette::WindowText);
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    PlaceItems();
}

// The items share the space inside the frame, below the caption, in equal rows, as a one-column
// radio group does.
void TRadioGroup::PlaceItems() {
    if (buttons_.empty()) return;
    const QRect inside = rect().adjusted(2, QFontMetrics(font()).height(), -2, -2);
    const int left = inside.left() + 6;
    const int rowHeight = inside.height() / Count();
    for (int i = 0; i < Count(); ++i) {
        buttons_[static_cast<size_t>(i)]->setGeometry(left, inside.top() + i * rowHeight,
                                                      inside.right() - left, rowHeight);
    }
}

}  // namespace parvell
