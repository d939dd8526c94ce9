#include "common/SqlParameters.h"

namespace parvell {
namespace {

bool IsNameChar(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '#' || c == '$' || c >= 0x80;
}

unsigned char Upper1252(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    switch (c) {
        case 0x9A:
            return 0x8A;
        case 0x9C:
            return 0x8C;
        case 0x9E:
            return 0x8E;
        case 0xFF:
            return 0x9F;
        default:
            return c;
    }
}

// The offset just past the text that starts at `i` and is no statement text (quoted text, a
// bracketed name or a comment), or `i` itself when none starts there.
size_t SkipQuotedOrComment(std::string_view sql, size_t i) {
    const char c = sql[i];
    const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
    size_t end = std::string_view::npos;
    if (c == '\'' || c == '"' || c == '`') {
        end = sql.find(c, i + 1);
        if (end != std::string_view::npos) ++end;
    } else if (c == '[') {
        end = sql.find(']', i + 1);
        if (end != std::string_view::npos) ++end;
    } else if (c == '-' && next == '-') {
        end = sql.find('\n', i + 2);
    } else if (c == '/' && next == '*') {
        end = sql.find("*/", i + 2);
        if (end != std::string_view::npos) end += 2;
    } else {
        return i;
    }
    return end == std::string_view::npos ? sql.size() : end;
}

}  // namespace

bool SameSqlParameterName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper1252(static_cast<unsigned char>(a[i])) !=
            Upper1252(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

TSqlParameters ScanSqlParameters(std::string_view sql) {
    TSqlParameters found;
    auto use = [&](size_t offset, size_t length, std::string_view name) {
        size_t index = found.Names.size();
        if (!name.empty()) {
            for (size_t k = 0; k < found.Names.size(); ++k) {
                if (SameSqlParameterName(found.Names[k], name)) {
                    index = k;
                    break;
                }
            }
        }
        if (index == found.Names.size()) found.Names.emplace_back(name);
        found.Uses.push_back(TSqlParameterUse{offset, length, index});
    };
    size_t i = 0;
    while (i < sql.size()) {
        const size_t skipped = SkipQuotedOrComment(sql, i);
        if (skipped != i) {
            i = skipped;
            continue;
        }
        if (sql[i] == '?') {
            use(i, 1, {});
            ++i;
        } else if (sql[i] == ':') {
            if (i + 1 < sql.size() && sql[i + 1] == ':') {
                i += 2;
                continue;
            }
            size_t end = i + 1;
            while (end < sql.size() && IsNameChar(static_cast<unsigned char>(sql[end]))) ++end;
            if (end > i + 1) use(i, end - i, sql.substr(i + 1, end - i - 1));
            i = end;
        } else {
            ++i;
        }
    }
    return found;
}

std::vector<std::string> SqlParameterNames(std::string_view sql) {
    return ScanSqlParameters(sql).Names;
}

}  // namespace parvell
