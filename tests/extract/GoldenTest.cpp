// Whole files compared byte for byte with the files in golden/. Run with
// PARVELL_UPDATE_GOLDEN=1 to write the files afresh after a deliberate change, then read them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "extract/Extract.h"
#include "tests/extract/ExtractFixture.h"

namespace parvell {
namespace {

using namespace parvell::testing;

std::filesystem::path GoldenFolder() {
    const char* root = std::getenv("PARVELL_SOURCE_DIR");
    return std::filesystem::path(root ? root : ".") / "tests" / "extract" / "golden";
}

struct GoldenCase {
    const char* file;
    TExtractLayout layout;
    bool header;
    bool recordNumber;
    bool empty;  // the result has no rows
};

class GoldenTest : public ::testing::TestWithParam<GoldenCase> {};

// The command line's reading of the record-number choice: a fixed choice, applying to the tab
// layout only.
class FixedChoices : public TExtractCallbacks {
public:
    FixedChoices(bool recordNumber, TExtractLayout layout)
        : recordNumber_(recordNumber && layout == TExtractLayout::TabDelimited) {}
    bool HeaderRecordNumber() override { return recordNumber_; }
    bool LineRecordNumber() override { return recordNumber_; }

private:
    bool recordNumber_;
};

TEST_P(GoldenTest, FileMatchesGolden) {
    const GoldenCase& c = GetParam();
    ProgramLocale locale;
    ScratchFolder folder;
    MemoryDataSet ds("KdbTable1");
    FillPatients(ds);
    if (c.empty) ds.rows.clear();
    ds.Open();
    FixedChoices callbacks(c.recordNumber, c.layout);
    const std::string out = folder.File("out.txt");
    ExtractToFile(ds, out, {c.layout, c.header}, callbacks);
    const std::string actual = ReadBytes(out);

    const std::filesystem::path golden = GoldenFolder() / c.file;
    if (std::getenv("PARVELL_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary) << actual;
    }
    ASSERT_TRUE(std::filesystem::exists(golden)) << golden;
    EXPECT_EQ(actual, ReadBytes(golden.string())) << c.file;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, GoldenTest,
    ::testing::Values(
        GoldenCase{"comma_header.txt", TExtractLayout::CommaDelimited, true, false, false},
        GoldenCase{"comma_noheader.txt", TExtractLayout::CommaDelimited, false, false, false},
        // The comma layout has no record number: the option leaves the file as it is.
        GoldenCase{"comma_header.txt", TExtractLayout::CommaDelimited, true, true, false},
        GoldenCase{"fixed_header.txt", TExtractLayout::FixedLength, true, false, false},
        GoldenCase{"fixed_noheader.txt", TExtractLayout::FixedLength, false, false, false},
        GoldenCase{"tab_header.txt", TExtractLayout::TabDelimited, true, false, false},
        GoldenCase{"tab_noheader.txt", TExtractLayout::TabDelimited, false, false, false},
        GoldenCase{"tab_header_recno.txt", TExtractLayout::TabDelimited, true, true, false},
        GoldenCase{"tab_noheader_recno.txt", TExtractLayout::TabDelimited, false, true, false},
        GoldenCase{"comma_empty_header.txt", TExtractLayout::CommaDelimited, true, false, true},
        GoldenCase{"fixed_empty_header.txt", TExtractLayout::FixedLength, true, false, true},
        GoldenCase{"tab_empty_header_recno.txt", TExtractLayout::TabDelimited, true, true, true},
        GoldenCase{"empty.txt", TExtractLayout::CommaDelimited, false, false, true},
        GoldenCase{"empty.txt", TExtractLayout::FixedLength, false, false, true},
        GoldenCase{"empty.txt", TExtractLayout::TabDelimited, false, true, true}),
    [](const ::testing::TestParamInfo<GoldenCase>& info) {
        std::string name = info.param.file;
        name = name.substr(0, name.find('.'));
        return name + (info.param.recordNumber ? "_option" : "") + "_" + std::to_string(info.index);
    });

}  // namespace
}  // namespace parvell
