#include "app/SqlEditor.h"

#include <QFile>
#include <QFileInfo>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/Cp1252Text.h"
#include "app/Rtf.h"
#include "common/Exceptions.h"
#include "common/Text.h"

namespace parvell {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string FullPath(const QString& path) {
    return Cp1252FromQString(QFileInfo(FileSystemPath(path)).absoluteFilePath());
}

std::string ReasonFor(int error) {
    return Cp1252FromQString(QString::fromLocal8Bit(std::strerror(error)));
}

// The editor's text from program text: CR LF, and any lone CR, become the editor's line breaks;
// zero bytes (a binary file read as text) are dropped, as an edit control cannot hold them.
QString EditorText(const std::string& text) {
    QString out = QStringFromCp1252(text);
    out.remove(QChar(0));
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

}  // namespace

TSqlEditor::TSqlEditor(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Tab moves the focus, as in the other controls.
    setTabChangesFocus(true);
}

QStringList TSqlEditor::Lines() const {
    QStringList rows;
    QTextDocument* doc = document();
    auto* layout = qobject_cast<QPlainTextDocumentLayout*>(doc->documentLayout());
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        if (layout) layout->ensureBlockLayout(block);
        QTextLayout* textLayout = block.layout();
        const int count = textLayout ? textLayout->lineCount() : 0;
        if (count <= 1) {
            rows << text;
            continue;
        }
        for (int i = 0; i < count; ++i) {
            QTextLine line = textLayout->lineAt(i);
            rows << text.mid(line.textStart(), line.textLength());
        }
    }
    if (!rows.isEmpty() && rows.last().isEmpty()) rows.removeLast();
    return rows;
}

int TSqlEditor::LineCount() const {
    return static_cast<int>(Lines().size());
}

std::string TSqlEditor::LinesText() const {
    std::string out;
    for (const QString& row : Lines()) {
        out += Cp1252FromQString(row);
        out += "\r\n";
    }
    return out;
}

QString TSqlEditor::SelText() const {
    QString text = textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    text.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return text;
}

void TSqlEditor::SetLines(const QStringList& lines) {
    setPlainText(lines.join(QLatin1Char('\n')));
}

void TSqlEditor::Clear() {
    clear();
}

std::string ReadWholeFile(const QString& path) {
    const QString fsPath = FileSystemPath(path);
    FilePtr file(std::fopen(QFile::encodeName(fsPath).constData(), "rb"));
    if (!file) {
        int error = errno;
        throw Exception(FormatMessage("Cannot open file \"%s\". %s", {FullPath(path), ReasonFor(error)}));
    }
    std::string data;
    char buffer[1 << 16];
    for (;;) {
        size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        data.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    if (std::ferror(file.get())) throw Exception("Failed to Load Stream");
    return data;
}

void TSqlEditor::LoadFromFile(const QString& path) {
    const std::string data = ReadWholeFile(path);
    setPlainText(EditorText(SqlFileText(data)));
}

void TSqlEditor::SaveToFile(const QString& path) const {
    // The raw text keeps no-break spaces, which the plain-text view would turn into spaces.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    const std::string document = TextToRtf(Cp1252FromQString(text));

    const QString fsPath = FileSystemPath(path);
    FilePtr file(std::fopen(QFile::encodeName(fsPath).constData(), "wb"));
    if (!file) {
        int error = errno;
        throw Exception(FormatMessage("Cannot create file \"%s\". %s", {FullPath(path), ReasonFor(error)}));
    }
    bool written = std::fwrite(document.data(), 1, document.size(), file.get()) == document.size();
    written = std::fflush(file.get()) == 0 && written;
    written = std::fclose(file.release()) == 0 && written;
    if (!written) throw Exception("Failed to Save Stream");
}

}  // namespace parvell
