#include "kce/DateTime.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "kce/Error.h"
#include "kce/kce.h"

namespace kce {
namespace {

int Digits(const char* text, size_t count, bool& ok) {
    int value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            ok = false;
            return 0;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

void Pad(std::string& out, int value, int width) {
    char digits[16];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (int i = n; i < width; ++i) out.push_back('0');
    while (n > 0) out.push_back(digits[--n]);
}

}  // namespace

std::optional<int32_t> ParseStoredDate(const char* text, size_t length) {
    if (length != 10) return std::nullopt;
    // The date read last on this thread: the dates of one row are often the same day (a
    // transaction's first and last date, the day it was entered), and comparing ten bytes is
    // cheaper than reading and checking them again.
    thread_local char lastText[10] = {};
    thread_local int32_t lastJulian = 0;  // 0: no date read yet (no valid date has day 0)
    if (lastJulian != 0 && std::memcmp(text, lastText, 10) == 0) return lastJulian;
    if (text[4] != '-' || text[7] != '-') return std::nullopt;
    bool ok = true;
    int y = Digits(text, 4, ok);
    int m = Digits(text + 5, 2, ok);
    int d = Digits(text + 8, 2, ok);
    if (!ok || !IsValidYmd(y, m, d)) return std::nullopt;
    const int32_t julian = JulianFromYmd(y, m, d);
    std::memcpy(lastText, text, 10);
    lastJulian = julian;
    return julian;
}

std::optional<int32_t> ParseStoredTime(const char* text, size_t length) {
    if (length != 5 && length != 8 && length != 12) return std::nullopt;
    bool ok = text[2] == ':';
    int h = Digits(text, 2, ok);
    int mi = Digits(text + 3, 2, ok);
    int s = 0;
    int ms = 0;
    if (length >= 8) {
        ok = ok && text[5] == ':';
        s = Digits(text + 6, 2, ok);
    }
    if (length == 12) {
        ok = ok && text[8] == '.';
        ms = Digits(text + 9, 3, ok);
    }
    if (!ok || h > 23 || mi > 59 || s > 59) return std::nullopt;
    return ((h * 60 + mi) * 60 + s) * 1000 + ms;
}

bool ParseStoredTimestamp(const char* text, size_t length, int32_t& julian, int32_t& milliseconds) {
    if (length < 10) return false;
    auto day = ParseStoredDate(text, 10);
    if (!day) return false;
    julian = *day;
    milliseconds = 0;
    if (length == 10) return true;
    if (text[10] != ' ' && text[10] != 'T') return false;
    auto time = ParseStoredTime(text + 11, length - 11);
    if (!time) return false;
    milliseconds = *time;
    return true;
}

std::string StoredDate(int32_t julian) {
    int y, m, d;
    YmdFromJulian(julian, y, m, d);
    std::string out;
    Pad(out, y, 4);
    out.push_back('-');
    Pad(out, m, 2);
    out.push_back('-');
    Pad(out, d, 2);
    return out;
}

void WriteTime(int32_t ms, char* out) {
    if (ms < 0) ms = 0;
    int h = ms / 3600000 % 100;
    int mi = ms / 60000 % 60;
    int s = ms / 1000 % 60;
    int f = ms % 1000;
    out[0] = static_cast<char>('0' + h / 10);
    out[1] = static_cast<char>('0' + h % 10);
    out[2] = ':';
    out[3] = static_cast<char>('0' + mi / 10);
    out[4] = static_cast<char>('0' + mi % 10);
    out[5] = ':';
    out[6] = static_cast<char>('0' + s / 10);
    out[7] = static_cast<char>('0' + s % 10);
    out[8] = '.';
    out[9] = static_cast<char>('0' + f / 100);
    out[10] = static_cast<char>('0' + f / 10 % 10);
    out[11] = static_cast<char>('0' + f % 10);
}

std::string StoredTime(int32_t milliseconds) {
    char text[12];
    WriteTime(milliseconds, text);
    return std::string(text, 12);
}

DateFormat::DateFormat(std::string_view pattern) : pattern_(pattern) {
    auto refuse = [&](const char* why) {
        Fail(KDB_ERR_DATE_FORMAT,
             std::string("The date format \"") + std::string(pattern) + "\" is refused: " + why);
    };
    if (pattern.empty() || pattern.size() > 11) refuse("it must have 1 to 11 characters.");
    bool seen[3] = {false, false, false};
    size_t i = 0;
    while (i < pattern.size()) {
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(pattern[i])));
        Part part{};
        if (c == 'M' || c == 'D' || c == 'Y' || c == 'C') {
            char kind = c == 'C' ? 'Y' : c;
            size_t j = i;
            while (j < pattern.size()) {
                char u = static_cast<char>(std::toupper(static_cast<unsigned char>(pattern[j])));
                char k = u == 'C' ? 'Y' : u;
                if (k != kind) break;
                ++j;
            }
            std::string run(pattern.substr(i, j - i));
            int width = static_cast<int>(j - i);
            int slot = kind == 'M' ? 0 : kind == 'D' ? 1 : 2;
            if (seen[slot]) refuse("month, day and year must each appear once.");
            seen[slot] = true;
            if (kind == 'Y') {
                std::string upper;
                for (char r : run)
                    upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(r))));
                if (upper != "YY" && upper != "CCYY" && upper != "YYYY")
                    refuse("the year must be YY, CCYY or YYYY.");
            } else if (width > 2) {
                refuse("month and day take one or two letters.");
            }
            part.kind = kind;
            part.width = width;
            i = j;
        } else if (std::isalnum(static_cast<unsigned char>(c))) {
            refuse("only the letters M, D, C and Y may appear.");
        } else {
            size_t j = i;
            while (j < pattern.size()) {
                unsigned char u = static_cast<unsigned char>(pattern[j]);
                if (std::isalnum(u)) break;
                ++j;
            }
            part.kind = 0;
            part.literal = std::string(pattern.substr(i, j - i));
            i = j;
        }
        if (partCount_ == 5) refuse("too many separators.");
        parts_[partCount_++] = part;
    }
    if (!seen[0] || !seen[1] || !seen[2]) refuse("month, day and year must each appear once.");
    for (int p = 1; p < partCount_; ++p) {
        if (parts_[p].kind != 0 && parts_[p - 1].kind != 0 &&
            (parts_[p].width < 2 || parts_[p - 1].width < 2)) {
            refuse("a one-letter month or day needs a separator.");
        }
    }
}

std::string DateFormat::Format(int32_t julian) const {
    int y, m, d;
    YmdFromJulian(julian, y, m, d);
    std::string out;
    for (int p = 0; p < partCount_; ++p) {
        const Part& part = parts_[p];
        switch (part.kind) {
            case 'M':
                Pad(out, m, part.width);
                break;
            case 'D':
                Pad(out, d, part.width);
                break;
            case 'Y':
                Pad(out, part.width == 2 ? y % 100 : y, part.width);
                break;
            default:
                out += part.literal;
        }
    }
    return out;
}

std::optional<int32_t> DateFormat::Parse(std::string_view text) const {
    size_t i = 0;
    int y = -1, m = -1, d = -1;
    for (int p = 0; p < partCount_; ++p) {
        const Part& part = parts_[p];
        if (part.kind == 0) {
            if (text.substr(i, part.literal.size()) != part.literal) return std::nullopt;
            i += part.literal.size();
            continue;
        }
        // Adjacent numbers (as in "CCYYMMDD") take exactly their width; otherwise 1 to width
        // digits, or up to 4 for a year.
        bool adjacent =
            (p + 1 < partCount_ && parts_[p + 1].kind != 0) || (p > 0 && parts_[p - 1].kind != 0);
        size_t maxDigits = adjacent ? part.width : (part.kind == 'Y' ? 4 : 2);
        size_t minDigits = adjacent ? part.width : 1;
        size_t j = i;
        while (j < text.size() && j - i < maxDigits && text[j] >= '0' && text[j] <= '9') ++j;
        if (j - i < minDigits) return std::nullopt;
        bool ok = true;
        int value = Digits(text.data() + i, j - i, ok);
        if (part.kind == 'Y') {
            if (j - i <= 2) value += value < 50 ? 2000 : 1900;
            y = value;
        } else if (part.kind == 'M') {
            m = value;
        } else {
            d = value;
        }
        i = j;
    }
    if (i != text.size() || !IsValidYmd(y, m, d)) return std::nullopt;
    return JulianFromYmd(y, m, d);
}

}  // namespace kce
