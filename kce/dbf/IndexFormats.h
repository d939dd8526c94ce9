#pragma once
// The readers and writers of each index format behind Index.h (used by Index.cpp and the tests).

#include <string>
#include <vector>

#include "kce/dbf/Index.h"

namespace kce::dbf {

// FoxBASE's non-compact single index: a 512-byte header, 512-byte pages of fixed-size entries.
IndexTag ParseFoxBaseIdx(const std::string& bytes, const std::string& path,
                         const std::vector<Column>& columns, CodePage codePage,
                         const std::string& name);
std::string BuildFoxBaseIdx(const IndexTag& tag, const std::string& path);

// Clipper's index: a 1024-byte header, a B-tree of 1024-byte pages.
IndexTag ParseNtx(const std::string& bytes, const std::string& path,
                  const std::vector<Column>& columns, CodePage codePage, const std::string& name,
                  uint32_t& changeCounter);
std::string BuildNtx(const IndexTag& tag, uint32_t changeCounter, const std::string& path);

// dBase III's index: 512-byte blocks, the first the header.
IndexTag ParseNdx(const std::string& bytes, const std::string& path,
                  const std::vector<Column>& columns, CodePage codePage, const std::string& name);
std::string BuildNdx(const IndexTag& tag, const std::string& path);

// dBase IV's multiple index: a file header with the tag table, then each tag's header and blocks.
IndexFile ParseMdx(const std::string& bytes, const std::string& path,
                   const std::vector<Column>& columns, CodePage codePage);
std::string BuildMdx(const IndexFile& index, const std::string& path);

// The 12 bytes dBase IV keeps a numeric key in, and back (Mdx.cpp). MdxNumber throws
// std::range_error for a number beyond about 1e202 or below 1e-52 in magnitude.
std::string MdxNumber(double value);
double MdxNumberValue(const char* bytes);

}  // namespace kce::dbf
