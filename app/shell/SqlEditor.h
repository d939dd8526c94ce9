#pragma once
// The SQL editor (Memo1): a plain-text editor with word wrap on. Other parts read it through its
// displayed rows, as the editor's lines, and through the selection with CR LF line breaks. It
// loads and saves SQL files by the load rule (Rich Text Format, else plain text).

#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <string>

namespace parvell {

class TSqlEditor : public QPlainTextEdit {
public:
    explicit TSqlEditor(QWidget* parent = nullptr);

    // The displayed rows: a line wider than the editor gives several rows, split where the text
    // layout breaks it (a space at the break stays at the end of the upper row). A last row that
    // is empty is left out, so an empty editor has none. Before the editor has been laid out at
    // its width, rows are the logical lines.
    QStringList Lines() const;
    int LineCount() const;

    // The rows in the program's single-byte text, each followed by CR LF.
    std::string LinesText() const;

    // The selected characters, line breaks as CR LF; wrapping adds none.
    QString SelText() const;

    // Replaces the whole content with `lines`, one logical line each.
    void SetLines(const QStringList& lines);
    void Clear();

    // The load rule: the file as Rich Text Format, else as plain text, replacing the content.
    // Raises "Cannot open file "<full path>". <reason>" when it cannot be opened for reading,
    // "Failed to Load Stream" when reading it fails; the content is kept then.
    void LoadFromFile(const QString& path);

    // Writes the whole content as a Rich Text Format document to `path`, used as given.
    // Raises "Cannot create file "<full path>". <reason>" or "Failed to Save Stream".
    void SaveToFile(const QString& path) const;
};

// The whole content of a file, or the load rule's errors.
std::string ReadWholeFile(const QString& path);

}  // namespace parvell
