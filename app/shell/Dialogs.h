#pragma once
// Every message box and file dialog of the program goes through one small interface, so that
// tests can answer them. The real implementation (QtDialogs) shows Qt's boxes with the captions
// and buttons of the program's conventions.

#include <QString>

namespace parvell {

// The settings of an open-style file dialog and the choice it keeps between uses. Filter is in
// the "Caption|pattern|Caption|pattern" form; FilterIndex counts its entries from 1.
struct TOpenDialog {
    QString Filter;
    int FilterIndex = 1;
    QString InitialDir;
    QString FileName;

    // Shows the dialog through AppDialogs(). On OK the chosen name and filter entry are kept for
    // the next use and true is returned; on cancel nothing changes.
    bool Execute();
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Caption "Confirm", question icon, "&Yes" and "&No". True only for Yes.
    virtual bool Confirm(const QString& text) = 0;
    // Caption "Information", information icon, "OK".
    virtual void Information(const QString& text) = 0;
    // Caption the application title, no icon, "OK".
    virtual void Message(const QString& text) = 0;
    // The error box: caption the application title, error icon, "OK". `text` is shown as given
    // (the full-stop rule has been applied by the caller).
    virtual void Error(const QString& text) = 0;
    // An open-style file dialog for `dialog`: a name that does not exist is accepted. Returns
    // false on cancel, leaving `dialog` unchanged; on OK stores the name and filter entry.
    virtual bool OpenFileName(TOpenDialog& dialog) = 0;
};

// The dialogs in force: the Qt ones unless a test has put others in place.
Dialogs& AppDialogs();

// Puts `dialogs` in force (not owned; it must outlive its use); nullptr restores the Qt ones.
// Returns the dialogs that were in force before (nullptr for the Qt ones).
Dialogs* SetAppDialogs(Dialogs* dialogs);

}  // namespace parvell
