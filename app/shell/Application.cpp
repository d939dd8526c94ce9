#include "app/shell/Application.h"

#include <QFileInfo>
#include <QFont>
#include <new>

#include "app/preview/AppTitle.h"
#include "app/shell/Dialogs.h"
#include "app/text/Cp1252Text.h"
#include "common/Exceptions.h"

namespace parvell {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The windows are designed in "MS Sans Serif"; Liberation Sans has its metrics here.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    // The program ends through the main window's close path or File > Exit, not because a
    // window closed.
    setQuitOnLastWindowClosed(false);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

void TApplication::Terminate() {
    terminated_ = true;
    QCoreApplication::exit(0);
}

TApplication* Application() {
    return dynamic_cast<TApplication*>(QCoreApplication::instance());
}

QString ApplicationTitle() {
    QString path =
        QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    if (path.isEmpty() && QCoreApplication::instance()) {
        QStringList args = QCoreApplication::arguments();
        if (!args.isEmpty()) path = args.first();
    }
    return ApplicationTitleFor(path);
}

std::string ExceptionMessage(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::bad_alloc&) {
        return "Out of memory";
    } catch (const std::exception& e) {
        // Library exceptions carry UTF-8 text.
        return Cp1252FromQString(QString::fromUtf8(e.what()));
    } catch (...) {
        return "Unknown exception";
    }
}

void HandleException(std::exception_ptr error) noexcept {
    try {
        AppDialogs().Error(QStringFromCp1252(ErrorBoxText(ExceptionMessage(error))));
    } catch (...) {
        // The error box itself failed (no memory, a test double that throws): nothing more can
        // be shown, and nothing may leave this handler.
    }
}

}  // namespace parvell
