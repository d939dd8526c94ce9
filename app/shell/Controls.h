#pragma once
// Small controls that give Qt widgets the behaviour the windows are designed with: a panel with a
// raised outer and a lowered inner bevel, a label that sizes itself to its caption, and a radio
// group with an item index.

#include <QButtonGroup>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace parvell {

// Makes Enter and Return press the focused push button among window's children, as Space does:
// the buttons are not default buttons, and Qt leaves Enter to those.
void PressButtonsOnEnter(QWidget* window);

// Font heights are given in pixels at 96 dots per inch, as the designs state them (8 point is
// 11 pixels, 10 point is 13).
QFont DesignFont(const QString& family, int pixelHeight, bool bold = false);

class TPanel : public QFrame {
public:
    explicit TPanel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A label whose size follows its caption when it has no fixed size of its own. The caption is
// plain text: a path that holds "<" or "&" shows as typed.
class TLabel : public QLabel {
public:
    TLabel(const QString& caption, QWidget* parent);

    // Sets the caption and, for an auto-sized label, its size.
    void SetCaption(const QString& caption);
    QString Caption() const { return text(); }

    // Fixes the label's size (it no longer follows the caption).
    void SetFixedGeometry(int left, int top, int width, int height);
    // Places the label; its size follows the caption.
    void SetAutoGeometry(int left, int top);

private:
    bool autoSize_ = true;
};

// A framed group of radio buttons in one column; ItemIndex is the chosen item (-1 for none).
class TRadioGroup : public QGroupBox {
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent);

    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const { return buttons_.at(static_cast<size_t>(index)); }
    int Count() const { return static_cast<int>(buttons_.size()); }

    // Called after a click has changed or confirmed the chosen item.
    std::function<void()> OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceItems();

    QButtonGroup group_;
    std::vector<QRadioButton*> buttons_;
};

}  // namespace parvell
