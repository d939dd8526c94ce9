#include "kce/dbf/DbfError.h"
#include "kce/dbf/IndexFormats.h"

namespace kce::dbf {

IndexTag ParseNtx(const std::string&, const std::string& path, const std::vector<Column>&, CodePage,
                  const std::string&, uint32_t&) {
    throw DbfError(path, -1, "this program does not read Clipper indexes yet");
}
std::string BuildNtx(const IndexTag&, uint32_t, const std::string& path) {
    throw DbfError(path, -1, "this program does not write Clipper indexes yet");
}

}  // namespace kce::dbf
