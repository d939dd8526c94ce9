#pragma once
// The store file's content: the text of a registry export file ("Windows Registry Editor Version
// 5.00", or the older "REGEDIT4"), kept line by line so that a write changes only the one value it
// sets and leaves comments, other keys and value types as they were. STORE.md describes the format.
// No file access here: the caller hands in the file's bytes and writes out what Serialize returns.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace parvell::store {

// Value types by their registry numbers, as the hex(N) notation gives them.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

struct RegValue {
    uint32_t type = kRegSz;
    // True for the "text" notation: `text` holds the text (UTF-8). Otherwise `bytes` holds the data
    // (a dword as four bytes, least significant first).
    bool quoted = false;
    std::string text;
    std::vector<uint8_t> bytes;
};

// A store text that cannot be parsed: the 1-based line number and what is wrong there.
struct RegParseError {
    int line;
    std::string what;
};

// What reading a value as a string found.
enum class StringRead { Missing, Found, NotAString, Unreadable };

class RegistryFile {
public:
    // Parses the bytes of a store file: UTF-16LE with a byte-order mark, or UTF-8 (with or without
    // one); "REGEDIT4" files are single-byte Windows-1252. An empty file is an empty store.
    // Throws RegParseError.
    static RegistryFile Parse(std::string_view fileBytes);

    // Key paths are full ("HKEY_CURRENT_USER\Software\..."), names and texts UTF-8; the empty name
    // is the key's default value ("@"). Paths and names compare as the registry compares them:
    // ASCII letters without regard to case, a run of backslashes as one, "HKCU" for
    // "HKEY_CURRENT_USER". When a value is given twice the later line counts.
    const RegValue* FindValue(std::string_view keyPath, std::string_view name) const;
    bool HasKey(std::string_view keyPath) const;

    // Reads a plain or expandable string value (as stored, without expanding anything), up to its
    // first zero character. Any other type is NotAString; UTF-16 data of an odd length is
    // Unreadable.
    StringRead ReadString(std::string_view keyPath, std::string_view name,
                          std::string& utf8Text) const;

    // Stores `utf8Text` as a plain string value, replacing the value's line in place, or adding it
    // at the end of the key's last section, or adding the key at the end of the file.
    void SetString(std::string_view keyPath, std::string_view name, std::string_view utf8Text);

    // The file's bytes: UTF-8 (Windows-1252 for a "REGEDIT4" file), every line ended by CR LF.
    std::string Serialize() const;

private:
    enum class LineKind { Header, Other, Key, Value };
    struct Line {
        LineKind kind;
        std::string raw;   // the line as written, continuation lines joined by CR LF
        std::string key;   // Key and Value lines: the key path, separators collapsed
        std::string name;  // Value lines
        RegValue value;    // Value lines
    };

    const Line* FindLine(std::string_view keyPath, std::string_view name) const;
    std::string FormatValueLine(std::string_view name, std::string_view utf8Text) const;

    std::vector<Line> lines_;
    bool regedit4_ = false;
};

// A key path with each run of backslashes made one and none at either end; case is kept.
std::string CollapseKeyPath(std::string_view path);

}  // namespace parvell::store
