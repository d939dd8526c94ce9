#include "tests/support/ForeignTables.h"

#include <cstdint>
#include <limits>
#include <stdexcept>

#include "tests/support/RawFiles.h"
#include "tests/support/TempDir.h"

namespace kce::dbf::test {
namespace {

// Field text padded with blanks to its width (text fields left-aligned, numbers right-aligned).
std::string Left(const std::string& text, size_t width) {
    return text + std::string(width - text.size(), ' ');
}
std::string Right(const std::string& text, size_t width) {
    return std::string(width - text.size(), ' ') + text;
}

// A FoxPro memo file with 64-byte blocks; the 512-byte header fills blocks 0 to 7, so memo k is in
// block 7 + k.
std::string FoxMemo(const std::vector<std::string>& memos) {
    std::string s(512, '\0');
    PutBe(s, 0, 8 + memos.size(), 4);
    PutBe(s, 6, 64, 2);
    for (const std::string& m : memos) {
        std::string block(8, '\0');
        PutBe(block, 0, 1, 4);  // text
        PutBe(block, 4, m.size(), 4);
        block += m;
        block.resize(64, '\0');
        s += block;
    }
    return s;
}

void WriteDbase3(const std::string& folder) {
    const std::vector<RawField> fields = {{"NAME", 'C', 8},
                                          {"AMOUNT", 'N', 8, 2},
                                          {"BORN", 'D', 8},
                                          {"ACTIVE", 'L', 1},
                                          {"NOTES", 'M', 10}};
    const std::string blankMemo(10, ' ');
    const std::vector<std::string> records = {
        " " + Left("M\x81ller", 8) + Right("123.45", 8) + "19991231" + "T" + Right("1", 10),
        "*" + Left("GONE", 8) + Right("1.00", 8) + "20000101" + "F" + blankMemo,
        " " + std::string(8 + 8 + 8 + 1, ' ') + blankMemo,
        " " + Left("?-FLAG", 8) + Right("-0.50", 8) + "20000229" + "?" + "0000000000",
        " " + Left("F-FLAG", 8) + "********" + "00000000" + "F" + blankMemo,
    };
    parvell::test::WriteFile(folder + "/DB3OEM.DBF", RawTable(0x83, 0x01, fields, records));
    parvell::test::WriteFile(folder + "/DB3OEM.DBT", Dbase3Memo({"Gr\x81\xE1"
                                                                 "e"}));
}

void WriteFoxPro2(const std::string& folder) {
    const std::vector<RawField> fields = {
        {"CODE", 'C', 4}, {"FLAG", 'L', 1}, {"QTY", 'N', 5}, {"NOTE", 'M', 10}};
    const std::string blankMemo(10, ' ');
    const std::vector<std::string> records = {
        " " + Left("\x9DL", 4) + "y" + Right("42", 5) + Right("8", 10),
        "*" + Left("DEL", 4) + "T" + Right("1", 5) + blankMemo,
        " " + Left("UNK", 4) + "?" + std::string(5, ' ') + blankMemo,
        " " + Left("NO", 4) + "n" + Right("-7", 5) + blankMemo,
    };
    parvell::test::WriteFile(folder + "/FOX2.DBF", RawTable(0xF5, 0x02, fields, records));
    parvell::test::WriteFile(folder + "/FOX2.FPT", FoxMemo({"fox \x82t\x82"}));
}

void WriteVisualFoxPro(const std::string& folder) {
    // Null bits in field order: FEE 0, PAID 1, NAME 2.
    const std::vector<RawField> fields = {
        {"ID", 'I', 4},   {"FEE", 'Y', 8, 4, 0x02},   {"PAID", 'L', 1, 0, 0x02},
        {"SEEN", 'T', 8}, {"NAME", 'C', 10, 0, 0x02}, {"_NullFlags", '0', 1, 0, 0x05}};
    auto record = [](char flag, int32_t id, int64_t fee, char paid, uint32_t day, uint32_t ms,
                     const std::string& name, uint8_t nulls) {
        return std::string(1, flag) + Le(static_cast<uint32_t>(id), 4) +
               Le(static_cast<uint64_t>(fee), 8) + std::string(1, paid) + Le(day, 4) + Le(ms, 4) +
               Left(name, 10) + std::string(1, static_cast<char>(nulls));
    };
    const std::vector<std::string> records = {
        record(' ', 1, std::numeric_limits<int64_t>::max(), 'T', 2451545, 43200000, "max", 0),
        record(' ', 2, std::numeric_limits<int64_t>::min(), 'F', 0, 0, "min", 0),
        record('*', 3, 12345, 'T', 0, 0, "gone", 0),
        record(' ', 4, 0, ' ', 0, 0, "", 0x07),
        record(' ', 5, 0, '?', 0, 0, "", 0),
    };
    parvell::test::WriteFile(folder + "/VFP.DBF", RawTable(0x30, 0x03, fields, records, true));
}

}  // namespace

void WriteForeignTables(const std::string& folder) {
    WriteDbase3(folder);
    WriteFoxPro2(folder);
    WriteVisualFoxPro(folder);
}

}  // namespace kce::dbf::test
