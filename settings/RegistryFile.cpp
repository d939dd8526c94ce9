#include "settings/RegistryFile.h"

#include <algorithm>
#include <optional>

#include "common/Text.h"
#include "settings/CodePage.h"

namespace parvell::store {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kCurrentUser = "HKEY_CURRENT_USER";
// Hex data is wrapped like an export wraps it: lines of at most this many characters.
constexpr size_t kHexLineWidth = 80;

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r')) --n;
    return s.substr(0, n);
}

// The key path in the form used for comparing: collapsed, upper-case ASCII, "HKCU" spelt out.
std::string ComparableKey(std::string_view path) {
    std::string key = CollapseKeyPath(path);
    if (StartsWithNoCase(key, "HKCU") && (key.size() == 4 || key[4] == '\\')) {
        key = std::string(kCurrentUser) + key.substr(4);
    }
    for (char& c : key) c = AsciiUpper(c);
    return key;
}

// Reads a "quoted" text starting at text[pos] == '"'; \\ and \" are escapes, and a backslash
// before anything else stands for itself (hand-written paths such as "C:\data" then still load).
// Returns false when the closing quote is missing.
bool ReadQuoted(std::string_view text, size_t& pos, std::string& out) {
    ++pos;
    while (pos < text.size()) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < text.size() && (text[pos + 1] == '\\' || text[pos + 1] == '"')) {
            out += text[pos + 1];
            pos += 2;
            continue;
        }
        out += c;
        ++pos;
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void Fail(int line, std::string what) {
    throw RegParseError{line, std::move(what)};
}

// Parses the name part of a value line and the "=" after it; returns the position of the data.
size_t ParseValueName(std::string_view text, int lineNo, std::string& name) {
    size_t pos = 0;
    if (text[0] == '@') {
        pos = 1;
    } else if (!ReadQuoted(text, pos, name)) {
        Fail(lineNo, "the value name has no closing quote");
    }
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos >= text.size() || text[pos] != '=') Fail(lineNo, "expected \"=\" after the value name");
    ++pos;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    return pos;
}

void ParseHexBytes(std::string_view list, int lineNo, std::vector<uint8_t>& bytes) {
    size_t pos = 0;
    while (true) {
        while (pos < list.size() && (list[pos] == ' ' || list[pos] == '\t')) ++pos;
        if (pos >= list.size()) return;
        size_t start = pos;
        int value = 0;
        // A byte has at most two digits; a longer run is refused below, and is not accumulated
        // meanwhile so that it cannot overflow.
        for (; pos < list.size() && HexDigit(list[pos]) >= 0; ++pos)
            if (pos - start < 2) value = value * 16 + HexDigit(list[pos]);
        size_t digits = pos - start;
        while (pos < list.size() && (list[pos] == ' ' || list[pos] == '\t')) ++pos;
        if (digits == 0 || digits > 2 || (pos < list.size() && list[pos] != ',')) {
            size_t end = list.find(',', start);
            Fail(lineNo, FormatMessage(
                             "\"%s\" is not a hexadecimal byte",
                             {list.substr(start, end == std::string_view::npos ? list.size() - start
                                                                               : end - start)}));
        }
        bytes.push_back(static_cast<uint8_t>(value));
        if (pos < list.size()) ++pos;  // the comma
    }
}

RegValue ParseValueData(std::string_view data, int lineNo) {
    RegValue value;
    if (data.empty()) Fail(lineNo, "the value has no data");
    if (data[0] == '"') {
        size_t pos = 0;
        if (!ReadQuoted(data, pos, value.text)) Fail(lineNo, "the text has no closing quote");
        if (!TrimLeft(data.substr(pos)).empty()) Fail(lineNo, "unexpected text after the value");
        value.quoted = true;
        value.type = kRegSz;
        return value;
    }
    if (data[0] == '-') Fail(lineNo, "deleting values is not supported in the settings file");
    if (StartsWithNoCase(data, "dword:")) {
        std::string_view digits = TrimRight(data.substr(6));
        if (digits.empty() || digits.size() > 8 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; })) {
            Fail(lineNo, "a dword needs one to eight hexadecimal digits");
        }
        uint32_t number = 0;
        for (char c : digits) number = number * 16 + static_cast<uint32_t>(HexDigit(c));
        value.type = kRegDword;
        for (int i = 0; i < 4; ++i) value.bytes.push_back(static_cast<uint8_t>(number >> (8 * i)));
        return value;
    }
    if (StartsWithNoCase(data, "hex")) {
        size_t pos = 3;
        value.type = kRegBinary;
        if (pos < data.size() && data[pos] == '(') {
            size_t close = data.find(')', pos);
            std::string_view digits = close == std::string_view::npos
                                          ? std::string_view()
                                          : data.substr(pos + 1, close - pos - 1);
            if (digits.empty() || digits.size() > 8 ||
                !std::all_of(digits.begin(), digits.end(),
                             [](char c) { return HexDigit(c) >= 0; })) {
                Fail(lineNo, "hex(...) needs a hexadecimal type number");
            }
            value.type = 0;
            for (char c : digits) value.type = value.type * 16 + static_cast<uint32_t>(HexDigit(c));
            pos = close + 1;
        }
        if (pos >= data.size() || data[pos] != ':') Fail(lineNo, "expected \":\" after hex");
        ParseHexBytes(data.substr(pos + 1), lineNo, value.bytes);
        return value;
    }
    size_t colon = data.find(':');
    Fail(lineNo,
         FormatMessage("unknown value type \"%s\"",
                       {data.substr(0, colon == std::string_view::npos ? data.size() : colon)}));
    return value;
}

// The file's text as UTF-8 and whether it came as UTF-16.
std::string DecodeFile(std::string_view bytes, bool& utf16) {
    utf16 = bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
            static_cast<uint8_t>(bytes[1]) == 0xFE;
    if (utf16) {
        return Utf8FromUtf16Le(reinterpret_cast<const uint8_t*>(bytes.data()) + 2,
                               bytes.size() - 2);
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return std::string(bytes);
}

std::string EscapeQuoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace

std::string CollapseKeyPath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
        out += c;
    }
    if (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

RegistryFile RegistryFile::Parse(std::string_view fileBytes) {
    RegistryFile file;
    bool utf16 = false;
    std::string text = DecodeFile(fileBytes, utf16);

    // Physical lines, without their ends (CR LF, LF or a lone CR).
    std::vector<std::string_view> physical;
    std::string_view rest = text;
    while (!rest.empty()) {
        size_t end = rest.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            physical.push_back(rest);
            break;
        }
        physical.push_back(rest.substr(0, end));
        size_t next = end + 1;
        if (rest[end] == '\r' && next < rest.size() && rest[next] == '\n') ++next;
        rest.remove_prefix(next);
    }

    bool seenHeader = false;
    std::string currentKey;
    bool inKey = false;
    for (size_t i = 0; i < physical.size(); ++i) {
        int lineNo = static_cast<int>(i) + 1;
        std::string_view raw = physical[i];
        std::string_view content = TrimRight(TrimLeft(raw));
        if (!seenHeader) {
            if (content.empty()) {
                file.lines_.push_back({LineKind::Other, std::string(raw), {}, {}, {}});
                continue;
            }
            if (content == kHeader4 && !utf16) {
                file.regedit4_ = true;
            } else if (content != kHeader5) {
                Fail(lineNo, FormatMessage("the first line must be \"%s\"", {kHeader5}));
            }
            seenHeader = true;
            file.lines_.push_back({LineKind::Header, std::string(raw), {}, {}, {}});
            continue;
        }
        if (!file.regedit4_ && !IsValidUtf8(raw)) Fail(lineNo, "the line is not valid UTF-8 text");
        if (content.empty() || content[0] == ';') {
            file.lines_.push_back({LineKind::Other, std::string(raw), {}, {}, {}});
            continue;
        }
        if (content[0] == '[') {
            if (content.back() != ']') Fail(lineNo, "a key line must end with \"]\"");
            std::string_view path = content.substr(1, content.size() - 2);
            if (!path.empty() && path[0] == '-')
                Fail(lineNo, "deleting keys is not supported in the settings file");
            std::string key =
                CollapseKeyPath(file.regedit4_ ? Utf8FromCp1252(path) : std::string(path));
            if (key.empty()) Fail(lineNo, "the key has no name");
            currentKey = key;
            inKey = true;
            file.lines_.push_back({LineKind::Key, std::string(raw), key, {}, {}});
            continue;
        }
        if (content[0] != '"' && content[0] != '@') {
            Fail(lineNo, "expected a [key], a \"Name\"=value line or a ; comment");
        }
        if (!inKey) Fail(lineNo, "a value before the first [key]");

        std::string name;
        size_t dataPos = ParseValueName(content, lineNo, name);
        std::string logical(content);
        std::string rawText(raw);
        // Hex data continues on the next line after a trailing backslash.
        if (StartsWithNoCase(content.substr(dataPos), "hex")) {
            while (!logical.empty() && logical.back() == '\\') {
                logical.pop_back();
                if (i + 1 >= physical.size())
                    Fail(lineNo, "the value continues past the end of the file");
                ++i;
                if (!file.regedit4_ && !IsValidUtf8(physical[i])) {
                    Fail(static_cast<int>(i) + 1, "the line is not valid UTF-8 text");
                }
                logical += TrimRight(TrimLeft(physical[i]));
                rawText += "\r\n";
                rawText += physical[i];
            }
        }
        RegValue value = ParseValueData(std::string_view(logical).substr(dataPos), lineNo);
        if (file.regedit4_) {
            name = Utf8FromCp1252(name);
            value.text = Utf8FromCp1252(value.text);
        }
        file.lines_.push_back(
            {LineKind::Value, std::move(rawText), currentKey, std::move(name), std::move(value)});
    }
    return file;
}

const RegistryFile::Line* RegistryFile::FindLine(std::string_view keyPath,
                                                 std::string_view name) const {
    std::string key = ComparableKey(keyPath);
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->kind == LineKind::Value && EqualNoCase(it->name, name) &&
            ComparableKey(it->key) == key) {
            return &*it;
        }
    }
    return nullptr;
}

const RegValue* RegistryFile::FindValue(std::string_view keyPath, std::string_view name) const {
    const Line* line = FindLine(keyPath, name);
    return line ? &line->value : nullptr;
}

bool RegistryFile::HasKey(std::string_view keyPath) const {
    std::string key = ComparableKey(keyPath);
    for (const Line& line : lines_) {
        if (line.kind != LineKind::Key) continue;
        // A key section also brings every key above it into being.
        std::string other = ComparableKey(line.key);
        if (other == key || (other.size() > key.size() && other.compare(0, key.size(), key) == 0 &&
                             other[key.size()] == '\\')) {
            return true;
        }
    }
    return false;
}

StringRead RegistryFile::ReadString(std::string_view keyPath, std::string_view name,
                                    std::string& utf8Text) const {
    utf8Text.clear();
    const RegValue* value = FindValue(keyPath, name);
    if (!value) return StringRead::Missing;
    if (value->type != kRegSz && value->type != kRegExpandSz) return StringRead::NotAString;
    if (value->quoted) {
        utf8Text = value->text;
    } else if (regedit4_) {
        const auto& b = value->bytes;
        auto zero = std::find(b.begin(), b.end(), uint8_t{0});
        utf8Text = Utf8FromCp1252(std::string(b.begin(), zero));
    } else {
        const auto& b = value->bytes;
        if (b.size() % 2 != 0) return StringRead::Unreadable;
        size_t units = 0;
        while (units * 2 < b.size() && (b[units * 2] | b[units * 2 + 1]) != 0) ++units;
        utf8Text = Utf8FromUtf16Le(b.data(), units * 2);
    }
    size_t zero = utf8Text.find('\0');
    if (zero != std::string::npos) utf8Text.resize(zero);
    return StringRead::Found;
}

std::string RegistryFile::FormatValueLine(std::string_view name, std::string_view utf8Text) const {
    std::string line = name.empty() ? std::string("@") : EscapeQuoted(name);
    line += '=';
    if (utf8Text.find_first_of("\r\n") == std::string_view::npos) {
        line += EscapeQuoted(utf8Text);
        return regedit4_ ? Cp1252FromUtf8(line) : line;
    }
    // A line break cannot stand inside "text": such a string is written in the hex(1) notation
    // of a plain string, with its terminating zero.
    std::vector<uint8_t> bytes;
    if (regedit4_) {
        std::string ansi = Cp1252FromUtf8(utf8Text);
        bytes.assign(ansi.begin(), ansi.end());
        bytes.push_back(0);
    } else {
        bytes = Utf16LeFromUtf8(utf8Text);
        bytes.push_back(0);
        bytes.push_back(0);
    }
    line += "hex(1):";
    size_t lineStart = 0;
    static constexpr char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < bytes.size(); ++i) {
        line += kDigits[bytes[i] >> 4];
        line += kDigits[bytes[i] & 15];
        if (i + 1 < bytes.size()) {
            line += ',';
            if (line.size() - lineStart > kHexLineWidth - 4) {
                line += "\\\r\n  ";
                lineStart = line.size() - 2;
            }
        }
    }
    return regedit4_ ? Cp1252FromUtf8(line) : line;
}

void RegistryFile::SetString(std::string_view keyPath, std::string_view name,
                             std::string_view utf8Text) {
    size_t zero = utf8Text.find('\0');
    if (zero != std::string_view::npos) utf8Text = utf8Text.substr(0, zero);
    std::string key = CollapseKeyPath(keyPath);
    RegValue value;
    value.quoted = true;
    value.text = std::string(utf8Text);

    if (const Line* found = FindLine(key, name)) {
        Line& line = lines_[static_cast<size_t>(found - lines_.data())];
        line.raw = FormatValueLine(line.name, utf8Text);
        line.value = std::move(value);
        return;
    }
    Line newLine{LineKind::Value, FormatValueLine(name, utf8Text), key, std::string(name), value};

    // After the last value (or the key line) of the key's last section.
    std::string comparable = ComparableKey(key);
    std::optional<size_t> insertAt;
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == LineKind::Key) {
            inSection = ComparableKey(line.key) == comparable;
            if (inSection) insertAt = i + 1;
        } else if (line.kind == LineKind::Value && inSection) {
            insertAt = i + 1;
        }
    }
    if (insertAt) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*insertAt), std::move(newLine));
        return;
    }

    if (std::none_of(lines_.begin(), lines_.end(),
                     [](const Line& l) { return l.kind == LineKind::Header; })) {
        lines_.clear();  // only blank lines before the header: nothing to keep
        lines_.push_back({LineKind::Header, std::string(kHeader5), {}, {}, {}});
    }
    // A key section is preceded by one empty line, as in an export.
    while (!lines_.empty() && lines_.back().kind == LineKind::Other &&
           TrimRight(TrimLeft(lines_.back().raw)).empty()) {
        lines_.pop_back();
    }
    lines_.push_back({LineKind::Other, {}, {}, {}, {}});
    std::string keyLine = "[" + key + "]";
    lines_.push_back({LineKind::Key, regedit4_ ? Cp1252FromUtf8(keyLine) : keyLine, key, {}, {}});
    lines_.push_back(std::move(newLine));
    lines_.push_back({LineKind::Other, {}, {}, {}, {}});
}

std::string RegistryFile::Serialize() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.raw;
        out += "\r\n";
    }
    return out;
}

}  // namespace parvell::store
