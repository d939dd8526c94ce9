#pragma once
// The real dialogs: QMessageBox and QFileDialog, modal, parented to the active window.

#include "app/shell/Dialogs.h"

namespace parvell {

class QtDialogs : public Dialogs {
public:
    bool Confirm(const QString& text) override;
    void Information(const QString& text) override;
    void Message(const QString& text) override;
    void Error(const QString& text) override;
    bool OpenFileName(TOpenDialog& dialog) override;
};

// The name filters of a "Caption|pattern|..." filter string in QFileDialog's form
// ("Caption (pattern)"). The pattern "*.*" of the old platform matches every file, so it becomes
// "*" (on Linux "*.*" would miss names without a dot).
QStringList NameFiltersFor(const QString& filter);

// The file a dialog's choice names. Backslashes separate folders in the paths users type, as in
// the paths the program composes, but the dialog took a typed name with backslashes for one
// name inside its folder: such a choice is read again with "\" as "/", so an absolute path
// stays absolute and a relative one is taken in the dialog's folder.
QString ChosenFilePath(const QString& selected, const QString& folder);

}  // namespace parvell
