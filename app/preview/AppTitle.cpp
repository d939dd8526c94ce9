#include "app/preview/AppTitle.h"

#include <algorithm>

namespace parvell {

QString ApplicationTitleFor(const QString& programPath) {
    qsizetype slash = std::max(programPath.lastIndexOf(QLatin1Char('/')),
                               programPath.lastIndexOf(QLatin1Char('\\')));
    QString name = programPath.mid(slash + 1);
    qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    if (name.size() > 1) name = name.left(1) + name.mid(1).toLower();
    return name;
}

std::string ErrorBoxText(std::string_view message) {
    std::string text(message);
    if (!text.empty() &&
        static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) {
        text += '.';
    }
    return text;
}

}  // namespace parvell
