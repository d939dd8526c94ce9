#pragma once
// Builds compound indexes for test tables and checks that an index file holds, in every tag,
// exactly the entries the tag's expressions give for the table's records.

#include <string>
#include <vector>

#include "kce/dbf/Cdx.h"

namespace kce::dbf::test {

struct TagSpec {
    const char* name;
    const char* key;
    const char* filter = "";  // FOR expression, "" for none
    bool unique = false;
    bool candidate = false;
    bool descending = false;
};

// Every record of the table at `tablePath`, raw (deletion flag first).
std::vector<std::string> RawRecords(const std::string& tablePath);

// The tags of `specs` with the entries the records of `tablePath` give.
std::vector<CdxTag> TagsFor(const std::string& tablePath, const std::vector<TagSpec>& specs);

// Writes `cdxPath` holding the tags of `specs` for the table at `tablePath`.
void MakeCdx(const std::string& tablePath, const std::string& cdxPath,
             const std::vector<TagSpec>& specs);

// Reads `cdxPath` and fails the test unless each tag holds one entry per record that passes its
// FOR filter (one per key for a unique tag), with the key its expression gives, in order. Returns
// the tags read.
std::vector<CdxTag> CheckCdx(const std::string& tablePath, const std::string& cdxPath);

}  // namespace kce::dbf::test
