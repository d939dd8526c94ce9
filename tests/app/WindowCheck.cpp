// The real main window on an X server (run under xvfb-run): its controls' places on screen
// against the designed layout, and a screenshot for people to look at (form1.png in the working
// folder, or the path in PARVELL_SCREENSHOT).

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "app/preview/VRPreviewHost.h"
#include "app/preview/VRStandardPreview.h"
#include "app/shell/Application.h"
#include "app/shell/Forms.h"
#include "app/shell/QtDialogs.h"
#include "app/shell/frmMainfrm.h"
#include "common/Exceptions.h"
#include "report/LabelReport.h"
#include "settings/Kestrane.h"
#include "tests/app/Form1Layout.h"
#include "tests/data/MemoryDataSet.h"
#include "tests/support/LetterOnlyPrinter.h"
#include "tests/support/ShellTestSupport.h"

namespace parvell {
namespace {

// True when the image holds, inside `area`, a pixel close to `color`.
bool HasColor(const QImage& image, const QRect& area, QColor color) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - color.red()) < 40 &&
                std::abs(pixel.green() - color.green()) < 40 &&
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
    const QString shotFile =
        shotPath ? QString::fromUtf8(shotPath) : QDir::currentPath() + "/form1.png";
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
        const QPoint origin =
            QString::fromLatin1(c.parent) == "Panel1" ? panelOrigin : clientOrigin;
        EXPECT_EQ(widget->mapToGlobal(QPoint(0, 0)) - origin, QPoint(c.left, c.top));
        if (c.width >= 0) {
            EXPECT_EQ(widget->size(), QSize(c.width, c.height));
        }
    }
    const QRect screen = Form1->screen()->geometry();
    EXPECT_LE(std::abs(Form1->frameGeometry().center().x() - screen.center().x()), 1) << "centred";

    const QImage shot = Form1->screen()->grabWindow(0).toImage();
    EXPECT_TRUE(shot.copy(Form1->frameGeometry()).save(shotFile)) << shotFile.toStdString();
    auto onScreen = [&](QWidget* widget) {
        return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    };
    EXPECT_TRUE(HasColor(shot, onScreen(Form1->Label5), Qt::red)) << "Datapath is drawn in red";
    EXPECT_TRUE(HasColor(shot, onScreen(Form1->Label1), Qt::blue))
        << "Output Filename is drawn in blue";
    EXPECT_TRUE(HasColor(shot, onScreen(Form1->Memo1), Qt::black)) << "the editor shows its text";

    // The radio group's caption sits on its frame's top line: the line's row lies between the
    // caption's top and bottom ink rows.
    {
        const QRect group = onScreen(Form1->RadioGroup1);
        const QColor background = shot.pixelColor(group.right() - 4, group.top());
        auto differs = [&](int x, int y, int by) {
            const QColor p = shot.pixelColor(x, y);
            return std::abs(p.red() - background.red()) + std::abs(p.green() - background.green()) +
                       std::abs(p.blue() - background.blue()) >
                   by;
        };
        int lineY = -1;
        for (int y = group.top(); y <= group.bottom() && lineY < 0; ++y) {
            if (differs(group.right() - 4, y, 30)) lineY = y;
        }
        // The caption's rows: one line of the group's font from its top, above the items.
        const int captionRows = QFontMetrics(Form1->RadioGroup1->font()).height();
        int inkTop = -1, inkBottom = -1;
        for (int y = group.top(); y < group.top() + captionRows; ++y) {
            for (int x = group.left() + 8; x <= group.left() + 60; ++x) {
                if (differs(x, y, 300)) {
                    if (inkTop < 0) inkTop = y;
                    inkBottom = y;
                }
            }
        }
        ASSERT_GE(lineY, 0) << "no frame line";
        ASSERT_GE(inkTop, 0) << "no caption";
        EXPECT_LT(inkTop, lineY) << "caption above the frame line";
        EXPECT_GT(inkBottom, lineY) << "caption below the frame line";
    }

    // The menus, one picture each, for people to look at.
    const QString folder = QFileInfo(shotFile).absolutePath();
    for (QMenu* menu : {Form1->File1, Form1->Actions1, Form1->SQLStatements1}) {
        menu->popup(Form1->mapToGlobal(QPoint(0, 0)));
        QTest::qWait(100);
        EXPECT_TRUE(
            menu->grab().save(folder + "/menu-" + menu->title().replace(' ', '-') + ".png"));
        menu->hide();
    }
    DestroyForms();
}

struct BoxSeen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

// Shows one real box through QtDialogs, reads it while it is up, saves a picture of it and
// presses the button with `press` as its caption.
template <class Show>
BoxSeen ShowRealBox(Show show, const QString& press, const QString& pictureFile) {
    BoxSeen seen;
    QTimer::singleShot(300, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton* button : box->buttons()) seen.buttons << button->text();
        box->grab().save(pictureFile);
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == press) button->click();
        }
    });
    show();
    return seen;
}

TEST(WindowCheck, RealMessageBoxesHaveTheConventionalCaptionsAndButtons) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    test::EnsureApplication();
    QtDialogs dialogs;
    bool answer = true;
    BoxSeen confirm =
        ShowRealBox([&] { answer = dialogs.Confirm("Do you want to save the SQL file?"); }, "&No",
                    QDir::currentPath() + "/confirm.png");
    EXPECT_FALSE(answer);
    EXPECT_EQ(confirm.title, "Confirm");
    EXPECT_EQ(confirm.icon, QMessageBox::Question);
    EXPECT_EQ(confirm.buttons, (QStringList{"&Yes", "&No"}));

    answer = false;
    ShowRealBox([&] { answer = dialogs.Confirm("again"); }, "&Yes",
                QDir::currentPath() + "/confirm-yes.png");
    EXPECT_TRUE(answer);

    BoxSeen info = ShowRealBox([&] { dialogs.Information("Done."); }, "OK",
                               QDir::currentPath() + "/information.png");
    EXPECT_EQ(info.title, "Information");
    EXPECT_EQ(info.icon, QMessageBox::Information);
    EXPECT_EQ(info.buttons, QStringList{"OK"});

    BoxSeen message =
        ShowRealBox([&] { dialogs.Message("Hello"); }, "OK", QDir::currentPath() + "/message.png");
    EXPECT_EQ(message.title, ApplicationTitle());
    EXPECT_EQ(message.icon, QMessageBox::NoIcon);

    BoxSeen error = ShowRealBox(
        [&] {
            HandleException(std::make_exception_ptr(
                ERegistryException("Failed to create key Corvantic\\Parvell")));
        },
        "OK", QDir::currentPath() + "/error.png");
    EXPECT_EQ(error.title, ApplicationTitle());
    EXPECT_EQ(error.text, "Failed to create key Corvantic\\Parvell.");
    EXPECT_EQ(error.icon, QMessageBox::Critical);
    EXPECT_EQ(error.buttons, QStringList{"OK"});
}

// The label preview on a real screen: an empty preview after a failed run and a 31-label one,
// one picture each (preview-empty.png, preview-labels.png), the page image, and Alt+C closing
// the window.
TEST(WindowCheck, RealPreviewWindows) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    test::EnsureApplication();
    InstallPreviewWindows();
    const QString folder = QDir::currentPath();
    struct Case {
        const char* picture;
        std::vector<std::string> columns;
        int records;
        const char* pagePanel;
    };
    for (const Case& c :
         {Case{"preview-empty.png", {"Name", "Street 1", "CityLine"}, 3, "Page 0 of 0"},
          Case{"preview-labels.png",
               {"Name", "Street 1", "Street 2", "CityLine"},
               31,
               "Page 1 of 2"}}) {
        SCOPED_TRACE(c.picture);
        testing::MemoryDataSet data;
        for (const std::string& column : c.columns) data.columns.push_back({column, ftString, 40});
        for (int i = 1; i <= c.records; ++i) {
            std::vector<testing::MemValue> row;
            for (const std::string& column : c.columns) {
                row.push_back(testing::Str(
                    column == "Street 2"   ? (i % 2 ? "" : "Suite " + std::to_string(i))
                    : column == "Name"     ? "Margaret and Benjamin Richardson"
                    : column == "CityLine" ? "SAN FRANCISCO, CA 94110-1234"
                                           : std::to_string(i) + " North Riverside Boulevard"));
            }
            data.rows.push_back(std::move(row));
        }
        data.Open();
        TLabelReport labels(&data);
        labels.VellRep1.PrinterProbe = test::LetterOnlyPrinter;
        bool checked = false;
        auto check = [&](TVRStandardPreview& window) {
            checked = true;
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
            QTest::qWait(300);
            EXPECT_EQ(window.PagePanelText(), c.pagePanel);
            QWidget* image = window.PageView()->PageImage();
            if (c.records == 0 || c.columns.size() < 4) {
                EXPECT_FALSE(image->isVisible()) << "no page, no page image";
            } else {
                // Zoom to fit on a 1280 by 1024 screen: a page most of the window high.
                EXPECT_GT(image->height(), window.PageView()->viewport()->height() * 8 / 10);
            }
            EXPECT_TRUE(window.screen()
                            ->grabWindow(0)
                            .toImage()
                            .copy(window.frameGeometry())
                            .save(folder + "/" + c.picture));
            // Closing deletes the window (its deletion may run inside processEvents), so it is
            // only looked at through a guard afterwards.
            const QPointer<TVRStandardPreview> alive(&window);
            QTest::keyClick(&window, Qt::Key_C, Qt::AltModifier);
            QApplication::processEvents();
            EXPECT_TRUE(!alive || !alive->isVisible()) << "Alt+C closes the preview";
            if (alive && alive->isVisible()) alive->close();
        };
        std::function<void()> poll = [&] {
            TVRStandardPreview* window =
                PreviewWindows().empty() ? nullptr : PreviewWindows().back();
            if (!window || !window->ActionNamed("Print")->isEnabled()) {
                QTimer::singleShot(10, poll);
                return;
            }
            check(*window);
        };
        if (c.columns.size() == 4) QTimer::singleShot(0, poll);
        try {
            labels.VellRep1.Preview();
        } catch (const Exception& error) {
            // The failed run: its window stays open with no page.
            EXPECT_EQ(error.Message(), "MemData: Field 'Street 2' not found");
            ASSERT_EQ(PreviewWindows().size(), 1u);
            check(*PreviewWindows().back());
        }
        EXPECT_TRUE(checked);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(PreviewWindows().empty());
    }
}

}  // namespace
}  // namespace parvell
