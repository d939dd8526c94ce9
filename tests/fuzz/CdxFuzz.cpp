// Fuzz target: the compound index reader. The input is a .cdx file for a fixed table (NAME C(12),
// AGE N(4), BAL N(9,2), BORN D, ACTIVE L); it is read from memory, and every tag's entries are
// worked out from three fixed records as the index checker does. A damaged or not understood file
// must raise DbfError; nothing else may happen.
#include <cstdint>
#include <string>

#include "kce/dbf/Cdx.h"
#include "kce/dbf/DbfError.h"
#include "tests/fuzz/IndexColumns.h"

namespace {

using kce::dbf::Column;
using kce::dbf::fuzz::IndexColumns;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<Column> columns = IndexColumns();
    static const std::vector<std::string> records = {
        " Smith         42  -12.5019800229T",
        "*jones          7     0.00        F",
        " O'Neil       100 1234.5620001231T",
    };
    const std::string path = "fuzz.cdx";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        for (const kce::dbf::CdxTag& tag :
             kce::dbf::ParseCdx(bytes, path, columns, kce::dbf::CodePage::Windows1252)) {
            (void)kce::dbf::CdxTagEntries(tag, records, columns, kce::dbf::CodePage::Windows1252,
                                          path);
        }
    } catch (const kce::dbf::DbfError&) {
    }
    return 0;
}
