// The real main window on an X server (run under xvfb-run): its controls' places on screen
// against the designed layout, and a screenshot for people to look at (form1.png in the working
// folder, or the path in PARVELL_SCREENSHOT).

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/Forms.h"
#include "app/frmMainfrm.h"
#include "settings/Kestrane.h"
#include "tests/app/Form1Layout.h"
#include "tests/app/ShellTestSupport.h"

namespace parvell {
namespace {

// True when the image holds, inside `area`, a pixel close to `color`.
bool HasColor(const QImage& image, const QRect& area, QColor color) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - color.red()) < 40 && std::abs(pixel.green() - color.green()) < 40 &&
                std::abs(pixel.blue() - color.blue()) < 40) {
                return true;
            }
        }
    }
    return false;
}

TEST(WindowCheck, RealWindowMatchesTheDesignedLayout) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    test::EnsureApplication();
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    const char* shotPath = std::getenv("PARVELL_SCREENSHOT");
    const QString shotFile = shotPath ? QString::fromUtf8(shotPath) : QDir::currentPath() + "/form1.png";
    test::Sandbox sandbox;
    WriteCurrentPractice("/srv/practice1");
    test::ScriptedDialogs dialogs;

    CreateForms();
    Form1->GuarantorsbyTransactionDate1->trigger();
    Form1->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
    QTest::qWait(300);

    const QPoint clientOrigin = Form1->Client()->mapToGlobal(QPoint(0, 0));
    const QPoint panelOrigin = Form1->Panel1->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(panelOrigin, clientOrigin);
    for (const test::DesignedControl& c : test::kForm1Layout) {
        SCOPED_TRACE(c.name);
        auto* widget = Form1->findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr);
        const QPoint origin = QString::fromLatin1(c.parent) == "Panel1" ? panelOrigin : clientOrigin;
        EXPECT_EQ(widget->mapToGlobal(QPoint(0, 0)) - origin, QPoint(c.left, c.top));
        if (c.width >= 0) EXPECT_EQ(widget->size(), QSize(c.width, c.height));
    }
    const QRect screen = Form1->screen()->geometry();
    EXPECT_LE(std::abs(Form1->frameGeometry().center().x() - screen.center().x()), 1) << "centred";

    const QImage shot = Form1->screen()->grabWindow(0).toImage();
    EXPECT_TRUE(shot.copy(Form1->frameGeometry()).save(shotFile)) << shotFile.toStdString();
    auto onScreen = [&](QWidget* widget) { return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()); };
    EXPECT_TRUE(HasColor(shot, onScreen(Form1->Label5), Qt::red)) << "Datapath is drawn in red";
    EXPECT_TRUE(HasColor(shot, onScreen(Form1->Label1), Qt::blue)) << "Output Filename is drawn in blue";
    EXPECT_TRUE(HasColor(shot, onScreen(Form1->Memo1), Qt::black)) << "the editor shows its text";
    DestroyForms();
}

}  // namespace
}  // namespace parvell
