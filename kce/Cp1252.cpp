#include "kce/Cp1252.h"

#include "common/Cp1252.h"

namespace kce {

void AppendUtf8(std::string_view cp1252, std::string& out) {
    parvell::cp1252::AppendUtf8FromCp1252(cp1252, out);
}

std::string ToUtf8(std::string_view cp1252) {
    return parvell::cp1252::Utf8FromCp1252(cp1252);
}

size_t FromUtf8(const char* utf8, size_t length, char* out, size_t capacity) {
    return parvell::cp1252::Cp1252FromUtf8(utf8, length, out, capacity);
}

std::string FromUtf8(std::string_view utf8) {
    return parvell::cp1252::Cp1252FromUtf8(utf8);
}

}  // namespace kce
