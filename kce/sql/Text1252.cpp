#include "kce/sql/Text1252.h"

#include "common/Cp1252.h"

namespace kce::sql {
namespace {

namespace cp = parvell::cp1252;

// Re-encodes UTF-8 text with each Windows-1252 character mapped; characters outside the code page
// stay as they are, ill-formed subparts become '?'.
template <typename Map>
std::string MapUtf8(std::string_view text, Map map) {
    std::string out;
    out.reserve(text.size());
    char32_t codePoint;
    for (size_t i = 0; i < text.size();) {
        if (!cp::NextUtf8(text, i, codePoint)) {
            out += '?';
            continue;
        }
        const int byte = cp::Encode(codePoint);
        cp::AppendUtf8(out,
                       byte < 0 ? codePoint : cp::Decode(map(static_cast<unsigned char>(byte))));
    }
    return out;
}

}  // namespace

std::string Utf8FromCp1252(std::string_view text) {
    return cp::Utf8FromCp1252(text);
}

std::string Cp1252FromUtf8(std::string_view text) {
    return cp::Cp1252FromUtf8(text);
}

unsigned char UpperCp1252(unsigned char c) {
    return cp::Upper(c);
}
unsigned char LowerCp1252(unsigned char c) {
    return cp::Lower(c);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (cp::Upper(a[i]) != cp::Upper(b[i])) return false;
    }
    return true;
}

std::string UpperUtf8(std::string_view text) {
    return MapUtf8(text, cp::Upper);
}
std::string LowerUtf8(std::string_view text) {
    return MapUtf8(text, cp::Lower);
}

size_t Utf8Length(std::string_view text) {
    size_t count = 0;
    char32_t codePoint;
    for (size_t i = 0; i < text.size();) {
        cp::NextUtf8(text, i, codePoint);
        ++count;
    }
    return count;
}

}  // namespace kce::sql
