#pragma once
// The real dialogs: QMessageBox and QFileDialog, modal, parented to the active window.

#include "app/Dialogs.h"

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

}  // namespace parvell
