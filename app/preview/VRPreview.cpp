#include "app/preview/VRPreview.h"

#include <QPainter>
#include <QScrollBar>

namespace parvell {
namespace {

constexpr int kBorder = 4;

// The page image: the picture scaled to the zoom, on white, inside a grey border.
class PageImageWidget : public QWidget {
public:
    explicit PageImageWidget(QWidget* parent) : QWidget(parent) {}
    void Set(const QPicture* picture, QSize pageSize, int zoom) {
        picture_ = picture;
        pageSize_ = pageSize;
        zoom_ = zoom;
        const QSize size(qRound(pageSize.width() * zoom / 100.0) + 2 * kBorder,
                         qRound(pageSize.height() * zoom / 100.0) + 2 * kBorder);
        setFixedSize(size);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::gray);
        const QRect paper = rect().adjusted(kBorder, kBorder, -kBorder, -kBorder);
        painter.fillRect(paper, Qt::white);
        if (!picture_ || pageSize_.isEmpty()) return;
        painter.setClipRect(paper);
        painter.translate(paper.topLeft());
        painter.scale(zoom_ / 100.0, zoom_ / 100.0);
        painter.drawPicture(0, 0, *picture_);
    }

private:
    const QPicture* picture_ = nullptr;
    QSize pageSize_;
    int zoom_ = 100;
};

}  // namespace

TVRPreview::TVRPreview(QWidget* parent) : QScrollArea(parent) {
    setWidget(new PageImageWidget(this));
    setAlignment(Qt::AlignCenter);
    setWidgetResizable(false);
    setBackgroundRole(QPalette::Dark);
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    setFocusPolicy(Qt::NoFocus);
}

void TVRPreview::ShowPage(const QPicture* picture, QSize pageSize, int zoom) {
    static_cast<PageImageWidget*>(widget())->Set(picture, pageSize, zoom);
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

}  // namespace parvell
