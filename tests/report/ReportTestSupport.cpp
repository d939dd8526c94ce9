#include "tests/report/ReportTestSupport.h"

#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QPainter>
#include <QPicture>

namespace parvell::testing {

QImage RenderPage(const TVRPrinter& output, int page) {
    const QByteArray data = output.Pages().Page(page);
    QPicture picture;
    picture.setData(data.constData(), static_cast<uint>(data.size()));
    const QRect bounds = picture.boundingRect();
    QImage image(bounds.size(), QImage::Format_RGB32);
    const int dotsPerMeter = qRound(ScreenPixelsPerInch() / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawPicture(0, 0, picture);
    painter.end();
    return image;
}

QPoint FirstInk(const QImage& image, const QRect& area) {
    int left = -1, top = -1;
    const QRect box = area.intersected(image.rect());
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            if (qGray(image.pixel(x, y)) >= 128) continue;
            if (left < 0 || x < left) left = x;
            if (top < 0) top = y;
        }
    }
    return {left, top};
}

}  // namespace parvell::testing

namespace {

// The report needs a Gui application for fonts and pictures; every test binary of this folder
// gets one, offscreen unless a platform is set.
class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance()) return;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "report_tests";
        static char* argv[] = {name, nullptr};
        new QGuiApplication(argc, argv);
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace
