#include "app/shell/Dialogs.h"

#include "app/shell/QtDialogs.h"

namespace parvell {

namespace {

Dialogs* current = nullptr;

}  // namespace

bool TOpenDialog::Execute() {
    return AppDialogs().OpenFileName(*this);
}

Dialogs& AppDialogs() {
    if (current) return *current;
    static QtDialogs qtDialogs;
    return qtDialogs;
}

Dialogs* SetAppDialogs(Dialogs* dialogs) {
    Dialogs* previous = current;
    current = dialogs;
    return previous;
}

}  // namespace parvell
