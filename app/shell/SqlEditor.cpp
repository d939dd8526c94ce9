#include "app/shell/SqlEditor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/core/Rtf.h"
#include "app/text/Cp1252Text.h"
#include "common/Exceptions.h"
#include "common/Text.h"

namespace parvell {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Returned by ReplaceFile when the file could be created but its content not written.
constexpr int kSaveFailed = -1;

// Writes `bytes` as the new content of `target` without ever leaving it half written: the bytes
// go to a temporary file in the same folder, which then takes the target's place by rename. A
// full disk or a killed process leaves the old file whole. An existing file keeps its permission
// bits (and a symbolic link keeps pointing at it); a new one gets those a plain create gives.
// Returns 0, the errno of a target that cannot be created or replaced, or kSaveFailed.
int ReplaceFile(const std::string& path, const std::string& bytes) {
    std::string target = path;
    if (std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                             &std::free);
        resolved) {
        target = resolved.get();
    }
    struct stat info {};
    mode_t mode = 0;
    if (::stat(target.c_str(), &info) == 0) {
        // An existing file (or folder) must be writable as it stands, as a plain create asks.
        const int probe = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        if (probe < 0) return errno;
        ::close(probe);
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const std::size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    bool written = true;
    for (std::size_t done = 0; written && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<std::size_t>(n);
    }
    written = written && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written) {
        ::unlink(temporary.c_str());
        return kSaveFailed;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return error;
    }
    return 0;
}

std::string FullPath(const QString& path) {
    return Cp1252FromQString(QFileInfo(FileSystemPath(path)).absoluteFilePath());
}

std::string ReasonFor(int error) {
    return Cp1252FromQString(QString::fromLocal8Bit(std::strerror(error)));
}

// The editor's text from program text: CR LF, and any lone CR, become the editor's line breaks;
// zero bytes (a binary file read as text) are dropped, as an edit control cannot hold them.
QString EditorText(QString out) {
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
        throw Exception(
            FormatMessage("Cannot open file \"%s\". %s", {FullPath(path), ReasonFor(error)}));
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
    // An RTF document's \uN characters reach the editor as they are; plain text is single-byte.
    if (const std::optional<std::string> text = RtfToUtf8Text(data)) {
        setPlainText(
            EditorText(QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size()))));
    } else {
        setPlainText(EditorText(QStringFromCp1252(PlainFileText(data))));
    }
}

void TSqlEditor::SaveToFile(const QString& path) const {
    // The raw text keeps no-break spaces, which the plain-text view would turn into spaces.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    // Characters outside Windows-1252 are kept as RTF's \uN.
    const QByteArray utf8 = text.toUtf8();
    const std::string document =
        Utf8TextToRtf(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));

    const std::string target = QFile::encodeName(FileSystemPath(path)).toStdString();
    const int error = ReplaceFile(target, document);
    if (error == kSaveFailed) throw Exception("Failed to Save Stream");
    if (error != 0) {
        throw Exception(
            FormatMessage("Cannot create file \"%s\". %s", {FullPath(path), ReasonFor(error)}));
    }
}

}  // namespace parvell
