#pragma once
// The application object and its one error handler. Every exception that leaves an event handler
// of the program ends here: the error box shows its message and the program goes on in its
// message loop. Handlers of ours run inside RunGuarded, so no exception unwinds through Qt's own
// frames; the notify override is the backstop for anything that still escapes.

#include <QApplication>
#include <QString>
#include <exception>
#include <string>
#include <utility>

namespace parvell {

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Tells the message loop to end at once; no window is asked to close.
    void Terminate();
    bool Terminated() const { return terminated_; }

private:
    bool terminated_ = false;
};

// The application object, or nullptr before one exists (or when it is a plain QApplication).
TApplication* Application();

// The application title: the rule of ApplicationTitleFor applied to the running program's file.
QString ApplicationTitle();

// The message an exception carries, in the program's single-byte text.
std::string ExceptionMessage(std::exception_ptr error);

// Shows the error box for `error` (message with the full-stop rule, application title, error
// icon, OK) through AppDialogs(). Never throws.
void HandleException(std::exception_ptr error) noexcept;

// Runs `fn`; an exception leaving it is handed to HandleException. Returns true when `fn`
// finished without one.
template <class Fn>
bool RunGuarded(Fn&& fn) noexcept {
    try {
        std::forward<Fn>(fn)();
        return true;
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

}  // namespace parvell
