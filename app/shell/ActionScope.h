#pragma once
// Marks a query action of the main window as running for as long as the scope lives. Actions
// process window messages while they run, and a second action started meanwhile would reset the
// connection and close the query under the first one; it is refused instead.

#include "app/shell/frmMainfrm.h"

namespace parvell {

class TActionScope {
public:
    explicit TActionScope(TForm1& form) : form_(form), entered_(!form.actionRunning_) {
        form_.actionRunning_ = true;
    }
    ~TActionScope() {
        if (entered_) form_.actionRunning_ = false;
    }
    TActionScope(const TActionScope&) = delete;
    TActionScope& operator=(const TActionScope&) = delete;

    // False for a second action: it must return at once, touching nothing.
    bool Entered() const { return entered_; }

private:
    TForm1& form_;
    bool entered_;
};

}  // namespace parvell
