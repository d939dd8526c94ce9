#include "tests/kce/dbf/CdxChecker.h"

#include <gtest/gtest.h>

#include "kce/dbf/Table.h"
#include "tests/kce/dbf/TestFiles.h"

namespace kce::dbf::test {

std::vector<std::string> RawRecords(const std::string& tablePath) {
    auto table = Table::Open(tablePath);
    std::vector<std::string> records;
    auto cursor = table->Records();
    while (cursor.Next()) records.emplace_back(cursor.RawRecord());
    return records;
}

std::vector<CdxTag> TagsFor(const std::string& tablePath, const std::vector<TagSpec>& specs) {
    auto table = Table::Open(tablePath);
    const std::vector<std::string> records = RawRecords(tablePath);
    std::vector<CdxTag> tags;
    for (const TagSpec& spec : specs) {
        CdxTag tag;
        tag.name = spec.name;
        tag.keyExpression = spec.key;
        tag.forExpression = spec.filter;
        tag.unique = spec.unique;
        tag.candidate = spec.candidate;
        tag.descending = spec.descending;
        Expression key =
            Expression::Parse(spec.key, table->Columns(), table->GetCodePage(), tablePath);
        tag.keyType = key.Type();
        tag.keyLength = CdxKeyLength(key, table->GetHeader().recordLength);
        tag.entries =
            CdxTagEntries(tag, records, table->Columns(), table->GetCodePage(), tablePath);
        tags.push_back(std::move(tag));
    }
    return tags;
}

void MakeCdx(const std::string& tablePath, const std::string& cdxPath,
             const std::vector<TagSpec>& specs) {
    WriteFile(cdxPath, BuildCdx(TagsFor(tablePath, specs)));
}

std::vector<CdxTag> CheckCdx(const std::string& tablePath, const std::string& cdxPath) {
    auto table = Table::Open(tablePath);
    const std::vector<std::string> records = RawRecords(tablePath);
    std::vector<CdxTag> tags = ReadCdx(cdxPath, table->Columns(), table->GetCodePage());
    for (const CdxTag& tag : tags) {
        SCOPED_TRACE("tag " + tag.name);
        const std::vector<CdxEntry> expected =
            CdxTagEntries(tag, records, table->Columns(), table->GetCodePage(), cdxPath);
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
    return tags;
}

}  // namespace kce::dbf::test
