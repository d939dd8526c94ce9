#include "app/text/Cp1252Text.h"

#include <QFileInfo>

#include "settings/CodePage.h"

namespace parvell {

QString QStringFromCp1252(std::string_view text) {
    return QString::fromStdString(store::Utf8FromCp1252(text));
}

std::string Cp1252FromQString(const QString& text) {
    return store::Cp1252FromUtf8(text.toStdString());
}

QString FileSystemPath(const QString& path) {
    QString out = path;
    out.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return out;
}

QString FileSystemPath(std::string_view cp1252Path) {
    return FileSystemPath(QStringFromCp1252(cp1252Path));
}

bool FileExists(const QString& path) {
    if (path.isEmpty()) return false;
    QFileInfo info(FileSystemPath(path));
    return info.exists() && !info.isDir();
}

}  // namespace parvell
