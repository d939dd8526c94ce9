#include "tests/kce/dbf/CdxChecker.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "kce/dbf/Table.h"
#include "kce/dbf/Writer.h"
#include "tests/kce/dbf/TestFiles.h"

namespace kce::dbf::test {

// `count` patients with names, ages, balances (some negative), birth dates (some empty) and an
// active flag; every seventh record is marked deleted.
std::string MakePatients(const TempFolder& dir, size_t count) {
    TableLayout layout;
    layout.variant = Variant::VisualFoxPro;
    layout.columns = {{"NAME", 'C', 12}, {"AGE", 'N', 4}, {"BAL", 'N', 9, 2},
                      {"BORN", 'D'},     {"ACTIVE", 'L'}, {"VISITS", 'I'}};
    static const char* const kNames[] = {"smith", "Jones", "brown",    "O'Neil",
                                         "Zed",   "adams", "Smithers", "  lee"};
    std::vector<Record> records;
    uint32_t seed = 12345;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFF; };
    for (size_t i = 0; i < count; ++i) {
        std::string name = std::string(kNames[next() % 8]) + std::to_string(next() % 50);
        char born[16];
        std::snprintf(born, sizeof born, "%04u-%02u-%02u", 1920 + next() % 90, 1 + next() % 12,
                      1 + next() % 28);
        records.push_back({StoredValue::Text(name), I(next() % 100),
                           R((static_cast<int>(next() % 20000) - 5000) / 100.0),
                           next() % 10 == 0 ? N() : StoredValue::Text(born), I(next() % 2),
                           I(static_cast<int64_t>(next() % 300) - 100)});
    }
    const std::string path = dir.File("patients.dbf");
    CreateTable(path, layout, records);
    const Header header = Table::Open(path)->GetHeader();
    for (uint32_t r = 6; r < count; r += 7) SetByte(path, header.RecordOffset(r), '*');
    return path;
}

std::vector<std::string> RawRecords(const std::string& tablePath) {
    auto table = Table::Open(tablePath);
    std::vector<std::string> records;
    auto cursor = table->Records();
    while (cursor.Next()) records.emplace_back(cursor.RawRecord());
    return records;
}

std::vector<IndexTag> TagsFor(const std::string& tablePath, IndexFormat format,
                              const std::vector<TagLayout>& wanted) {
    auto table = Table::Open(tablePath);
    const std::vector<std::string> records = RawRecords(tablePath);
    std::vector<IndexTag> tags;
    for (const TagLayout& want : wanted) {
        IndexTag tag;
        tag.name = want.name;
        tag.format = format;
        tag.keyExpression = want.key;
        tag.forExpression = want.filter;
        tag.unique = want.unique;
        tag.candidate = want.candidate;
        tag.descending = want.descending;
        Expression key =
            Expression::Parse(want.key, table->Columns(), table->GetCodePage(), tablePath);
        tag.keyType = key.Type();
        tag.keyLength = CdxKeyLength(key, table->GetHeader().recordLength);
        if (format == IndexFormat::Ntx && key.Type() == ExprType::Date) tag.keyLength = 8;
        if (format == IndexFormat::Ntx && key.Type() == ExprType::Numeric) {
            tag.keyLength = 10;
            for (const Column& c : table->Columns()) {
                if (c.name == want.key) {
                    tag.keyLength = static_cast<uint16_t>(c.length);
                    tag.keyDecimals = c.decimals;
                }
            }
        }
        tag.entries = TagEntries(tag, records, table->Columns(), table->GetCodePage(), tablePath);
        tags.push_back(std::move(tag));
    }
    return tags;
}

std::vector<CdxTag> TagsFor(const std::string& tablePath, const std::vector<TagLayout>& wanted) {
    return TagsFor(tablePath, IndexFormat::Cdx, wanted);
}

void MakeIndex(const std::string& tablePath, const std::string& path,
               const std::vector<TagLayout>& wanted, bool compact) {
    IndexFile index;
    index.format = *IndexFormatOf(path);
    index.compact = compact;
    index.tags = TagsFor(tablePath, index.format, wanted);
    WriteFile(path, BuildIndex(index, path));
}

IndexFile CheckIndex(const std::string& tablePath, const std::string& path) {
    auto table = Table::Open(tablePath);
    const std::vector<std::string> records = RawRecords(tablePath);
    IndexFile index = ReadIndex(path, table->Columns(), table->GetCodePage());
    for (const IndexTag& tag : index.tags) {
        SCOPED_TRACE("tag " + tag.name);
        const std::vector<IndexEntry> expected =
            TagEntries(tag, records, table->Columns(), table->GetCodePage(), path);
        EXPECT_EQ(tag.entries.size(), expected.size());
        for (size_t i = 0; i < std::min(expected.size(), tag.entries.size()); ++i) {
            if (!(tag.entries[i] == expected[i])) {
                ADD_FAILURE() << "entry " << i + 1 << " holds record "
                              << tag.entries[i].recordNumber << " where record "
                              << expected[i].recordNumber << " belongs";
                break;
            }
        }
    }
    return index;
}

void MakeCdx(const std::string& tablePath, const std::string& cdxPath,
             const std::vector<TagLayout>& wanted) {
    WriteFile(cdxPath, BuildCdx(TagsFor(tablePath, wanted)));
}

std::vector<CdxTag> CheckCdx(const std::string& tablePath, const std::string& cdxPath) {
    return CheckIndex(tablePath, cdxPath).tags;
}

}  // namespace kce::dbf::test
