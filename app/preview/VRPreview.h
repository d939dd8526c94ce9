#pragma once
// The page view of the label preview window: one page's picture drawn at a zoom in a scrolling box.

#include <QPicture>
#include <QScrollArea>

namespace parvell {

// The page view: a scrolling box holding one page image, the page's picture drawn at a zoom
// inside a 4-pixel border.
class TVRPreview : public QScrollArea {
public:
    explicit TVRPreview(QWidget* parent = nullptr);
    // Shows a picture (or none) at zoom percent; scroll bars return to 0.
    void ShowPage(const QPicture* picture, QSize pageSize, int zoom);
    QWidget* PageImage() const { return widget(); }
};

}  // namespace parvell
