#pragma once
// Table and memo files assembled byte by byte in the tests, independently of the library's writer,
// so that the reader is checked against the layout itself.

#include <cstdint>
#include <string>
#include <vector>

namespace kce::dbf::test {

struct RawField {
    std::string name;
    char type;
    uint8_t length;
    uint8_t decimals = 0;
    uint8_t flags = 0;  // Visual FoxPro field flags
};

inline void PutLe(std::string& s, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void PutBe(std::string& s, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s[at + i] = static_cast<char>((v >> (8 * (bytes - 1 - i))) & 0xFF);
}
inline std::string Le(uint64_t v, int bytes) {
    std::string s(bytes, '\0');
    PutLe(s, 0, v, bytes);
    return s;
}

// Header and records; `records` are the raw record bytes including the deletion flag.
inline std::string RawTable(uint8_t version, uint8_t codePage, const std::vector<RawField>& fields,
                            const std::vector<std::string>& records, bool vfp = false) {
    size_t recordLength = 1;
    for (const RawField& f : fields) recordLength += f.length;
    size_t headerLength = 32 + 32 * fields.size() + 1 + (vfp ? 263 : 0);
    std::string s(headerLength, '\0');
    s[0] = static_cast<char>(version);
    s[1] = 99;
    s[2] = 1;
    s[3] = 2;
    PutLe(s, 4, records.size(), 4);
    PutLe(s, 8, headerLength, 2);
    PutLe(s, 10, recordLength, 2);
    s[29] = static_cast<char>(codePage);
    size_t pos = 32;
    size_t offset = 1;
    for (const RawField& f : fields) {
        f.name.copy(&s[pos], f.name.size());
        s[pos + 11] = f.type;
        PutLe(s, pos + 12, vfp ? offset : 0, 4);
        s[pos + 16] = static_cast<char>(f.length);
        s[pos + 17] = static_cast<char>(f.decimals);
        s[pos + 18] = static_cast<char>(f.flags);
        offset += f.length;
        pos += 32;
    }
    s[pos] = 0x0D;
    for (const std::string& r : records) s += r;
    s += '\x1A';
    return s;
}

// A dBase III memo file: 512-byte blocks, each memo ended by two 1A bytes; memo k is in block k.
inline std::string Dbase3Memo(const std::vector<std::string>& memos) {
    std::string s(512, '\0');
    PutLe(s, 0, memos.size() + 1, 4);
    for (const std::string& m : memos) {
        std::string block = m + "\x1A\x1A";
        block.resize(512, '\0');
        s += block;
    }
    return s;
}

}  // namespace kce::dbf::test
