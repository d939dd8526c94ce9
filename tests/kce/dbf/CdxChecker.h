#pragma once
// Builds index files of every format for test tables and checks that an index file holds, in
// every tag, exactly the entries the tag's expressions give for the table's records.

#include <string>
#include <vector>

#include "kce/dbf/Cdx.h"
#include "kce/dbf/Index.h"
#include "tests/kce/dbf/TestFiles.h"

namespace kce::dbf::test {

struct TagLayout {
    const char* name;
    const char* key;
    const char* filter = "";  // FOR expression, "" for none
    bool unique = false;
    bool candidate = false;
    bool descending = false;
};

// A Visual FoxPro table "patients.dbf" in `dir` of `count` patients with names, ages, balances
// (some negative), birth dates (some empty), an active flag and a visit count (some negative);
// every seventh record is marked deleted. Returns its path.
std::string MakePatients(const TempFolder& dir, size_t count);

// Every record of the table at `tablePath`, raw (deletion flag first).
std::vector<std::string> RawRecords(const std::string& tablePath);

// The tags of `wanted` with the entries the records of `tablePath` give.
std::vector<CdxTag> TagsFor(const std::string& tablePath, const std::vector<TagLayout>& wanted);

// Writes `cdxPath` holding the tags of `wanted` for the table at `tablePath`.
void MakeCdx(const std::string& tablePath, const std::string& cdxPath,
             const std::vector<TagLayout>& wanted);

// Reads `cdxPath` and fails the test unless each tag holds one entry per record that passes its
// FOR filter (one per key for a unique tag), with the key its expression gives, in order. Returns
// the tags read.
std::vector<CdxTag> CheckCdx(const std::string& tablePath, const std::string& cdxPath);

// The tags of `wanted` in `format`, with the entries the records of `tablePath` give. Key lengths
// as the format has them: Clipper's numeric keys take a numeric field's length and decimals (10
// and 0 for another expression), its date keys 8.
std::vector<IndexTag> TagsFor(const std::string& tablePath, IndexFormat format,
                              const std::vector<TagLayout>& wanted);
// Writes `path` (its format by its extension; `compact` for the form of a .idx) holding the tags
// of `wanted` for the table at `tablePath`.
void MakeIndex(const std::string& tablePath, const std::string& path,
               const std::vector<TagLayout>& wanted, bool compact = true);
// CheckCdx for an index file of any format.
IndexFile CheckIndex(const std::string& tablePath, const std::string& path);

}  // namespace kce::dbf::test
