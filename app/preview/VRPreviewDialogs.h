#pragma once
// The dialogs of the label preview behind one small interface, so tests can answer them: the
// go-to-page input box, the save and open dialogs of page files, a plain message, the error box
// and the printer-setup dialog. The Qt implementation is in force unless a test puts another.

#include <QString>
#include <optional>

class QPrinter;
class QWidget;

namespace parvell {

class TVRPreviewDialogs {
public:
    virtual ~TVRPreviewDialogs() = default;
    // An input box; nullopt when cancelled.
    virtual std::optional<QString> InputText(QWidget* parent, const QString& title,
                                             const QString& prompt, const QString& initial) = 0;
    // Save dialog that asks before overwriting; empty when cancelled. filter is "Caption (*.X)".
    virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& defaultSuffix) = 0;
    virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& filter) = 0;
    virtual void Message(QWidget* parent, const QString& text) = 0;
    virtual void Error(QWidget* parent, const QString& text) = 0;
    // The system print dialog on printer, page numbers enabled from minPage to maxPage, with the
    // given range pre-set (0, 0: all pages); true on OK, the choices then being in printer.
    virtual bool PrintSetup(QWidget* parent, QPrinter& printer, int minPage, int maxPage) = 0;
};

TVRPreviewDialogs& PreviewDialogs();
// Puts dialogs in force (not owned); nullptr restores the Qt ones. Returns the previous ones.
TVRPreviewDialogs* SetPreviewDialogs(TVRPreviewDialogs* dialogs);

}  // namespace parvell
