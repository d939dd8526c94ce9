// Fuzz target: the readers of single indexes (.idx, both forms), Clipper's .ntx, dBase III's .ndx
// and dBase IV's .mdx. The input's first byte picks the format (its value modulo 4: .idx, .ntx,
// .ndx, .mdx); the rest is the file, for a fixed table (NAME C(12), AGE N(4), BAL N(9,2), BORN D,
// ACTIVE L). A damaged or not understood file must raise DbfError. A file that is read has every
// tag's entries worked out from three fixed records, as the index checker does, and is written
// again: the written file must read back with the same tags.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kce/dbf/DbfError.h"
#include "kce/dbf/Index.h"
#include "tests/fuzz/IndexColumns.h"

namespace {

using kce::dbf::Column;
using kce::dbf::IndexFormat;
using kce::dbf::fuzz::IndexColumns;

bool SameTags(const kce::dbf::IndexFile& a, const kce::dbf::IndexFile& b) {
    if (a.tags.size() != b.tags.size()) return false;
    for (size_t i = 0; i < a.tags.size(); ++i) {
        const kce::dbf::IndexTag &x = a.tags[i], &y = b.tags[i];
        if (x.keyExpression != y.keyExpression || x.forExpression != y.forExpression ||
            x.keyLength != y.keyLength || x.unique != y.unique || x.entries != y.entries) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<Column> columns = IndexColumns();
    static const std::vector<std::string> records = {
        " Smith         42  -12.5019800229T",
        "*jones          7     0.00        F",
        " O'Neil       100 1234.5620001231T",
    };
    static const IndexFormat kFormats[] = {IndexFormat::Idx, IndexFormat::Ntx, IndexFormat::Ndx,
                                           IndexFormat::Mdx};
    static const char* const kNames[] = {"fuzz.idx", "fuzz.ntx", "fuzz.ndx", "fuzz.mdx"};
    if (size == 0) return 0;
    const size_t which = data[0] % 4;
    const std::string path = kNames[which];
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto cp = kce::dbf::CodePage::Windows1252;
    kce::dbf::IndexFile index;
    try {
        index = kce::dbf::ParseIndex(kFormats[which], bytes, path, columns, cp);
    } catch (const kce::dbf::DbfError&) {
        return 0;
    }
    std::string again;
    try {
        for (kce::dbf::IndexTag& tag : index.tags)
            (void)kce::dbf::TagEntries(tag, records, columns, cp, path);
        again = kce::dbf::BuildIndex(index, path);
    } catch (const kce::dbf::DbfError&) {
        return 0;  // a key the writer cannot hold, a candidate key taken twice
    }
    // What was read is written so that it reads back the same.
    kce::dbf::IndexFile reread;
    try {
        reread = kce::dbf::ParseIndex(kFormats[which], again, path, columns, cp);
    } catch (const kce::dbf::DbfError&) {
        std::abort();
    }
    if (!SameTags(index, reread)) std::abort();
    return 0;
}
