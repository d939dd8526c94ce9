#include "kce/dbf/CodePage.h"

#include <array>

namespace kce::dbf {

namespace {

// Unicode of bytes 0x80-0x9F in Windows-1252 (0xA0-0xFF equal Latin-1).
constexpr std::array<uint16_t, 32> kAnsiHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Unicode of bytes 0x80-0xFF in the OEM code pages.
constexpr std::array<uint16_t, 128> kOem437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};
constexpr std::array<uint16_t, 128> kOem850 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

uint16_t AnsiUnicode(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kAnsiHigh[c - 0x80];
    return c;
}

// The Windows-1252 byte of a code point, or -1.
int UnicodeToAnsi(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (size_t i = 0; i < kAnsiHigh.size(); ++i) {
        if (kAnsiHigh[i] == cp) return static_cast<int>(0x80 + i);
    }
    return -1;
}

struct Tables {
    std::array<char, 256> toAnsi{};
    std::array<char, 256> fromAnsi{};
};

Tables MakeTables(const std::array<uint16_t, 128>& oem) {
    Tables t;
    for (int b = 0; b < 256; ++b) {
        t.toAnsi[b] = static_cast<char>(b);
        t.fromAnsi[b] = b < 0x80 ? static_cast<char>(b) : '?';
    }
    for (int b = 0x80; b < 0x100; ++b) {
        int ansi = UnicodeToAnsi(oem[b - 0x80]);
        t.toAnsi[b] = ansi < 0 ? '?' : static_cast<char>(ansi);
        if (ansi >= 0x80) t.fromAnsi[ansi] = static_cast<char>(b);
    }
    return t;
}

const Tables* TablesFor(CodePage page) {
    static const Tables k437 = MakeTables(kOem437);
    static const Tables k850 = MakeTables(kOem850);
    switch (page) {
        case CodePage::Oem437: return &k437;
        case CodePage::Oem850: return &k850;
        case CodePage::Windows1252: break;
    }
    return nullptr;
}

}  // namespace

std::optional<CodePage> CodePageFromMark(uint8_t mark) {
    switch (mark) {
        case 0x00:  // no mark
        case 0x03:  // Windows ANSI
        case 0x57:
        case 0x58:  // Western European ANSI
        case 0x59:  // Spanish ANSI
            return CodePage::Windows1252;
        // OEM 437 marks (US and the national variants that share it)
        case 0x01: case 0x09: case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x15: case 0x18:
        case 0x19: case 0x1B:
            return CodePage::Oem437;
        // OEM 850 marks
        case 0x02: case 0x0A: case 0x0E: case 0x10: case 0x12: case 0x14: case 0x16: case 0x1A:
        case 0x1D: case 0x25: case 0x37:
            return CodePage::Oem850;
        default:
            return std::nullopt;
    }
}

uint8_t CodePageMark(CodePage page) {
    switch (page) {
        case CodePage::Oem437: return 0x01;
        case CodePage::Oem850: return 0x02;
        case CodePage::Windows1252: break;
    }
    return 0x03;
}

const char* CodePageName(CodePage page) {
    switch (page) {
        case CodePage::Oem437: return "OEM 437";
        case CodePage::Oem850: return "OEM 850";
        case CodePage::Windows1252: break;
    }
    return "Windows-1252";
}

char TableToAnsiChar(CodePage page, unsigned char c) {
    const Tables* t = TablesFor(page);
    return t ? t->toAnsi[c] : static_cast<char>(c);
}

void TableToAnsi(CodePage page, std::string_view in, std::string& out) {
    out.assign(in);
    if (const Tables* t = TablesFor(page)) {
        for (char& c : out) c = t->toAnsi[static_cast<unsigned char>(c)];
    }
}

void AnsiToTable(CodePage page, std::string_view in, std::string& out) {
    out.assign(in);
    if (const Tables* t = TablesFor(page)) {
        for (char& c : out) c = t->fromAnsi[static_cast<unsigned char>(c)];
    }
}

void AnsiToUtf8(std::string_view in, std::string& out) {
    for (char ch : in) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
            continue;
        }
        uint16_t cp = AnsiUnicode(c);
        if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
}

void Utf8ToAnsi(std::string_view in, std::string& out) {
    out.clear();
    size_t i = 0;
    while (i < in.size()) {
        auto c = static_cast<unsigned char>(in[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        uint32_t cp = extra == 3 ? (c & 0x07) : extra == 2 ? (c & 0x0F) : (c & 0x1F);
        bool ok = extra > 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + k >= in.size()) {
                ok = false;
                break;
            }
            auto cc = static_cast<unsigned char>(in[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out.push_back('?');
            ++i;
            continue;
        }
        int ansi = UnicodeToAnsi(cp);
        out.push_back(ansi < 0 ? '?' : static_cast<char>(ansi));
        i += static_cast<size_t>(extra) + 1;
    }
}

}  // namespace kce::dbf
