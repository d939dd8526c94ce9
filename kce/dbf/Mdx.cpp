#include "kce/dbf/DbfError.h"
#include "kce/dbf/IndexFormats.h"

namespace kce::dbf {

IndexFile ParseMdx(const std::string&, const std::string& path, const std::vector<Column>&,
                   CodePage) {
    throw DbfError(path, -1, "this program does not read dBase IV multiple indexes yet");
}
std::string BuildMdx(const IndexFile&, const std::string& path) {
    throw DbfError(path, -1, "this program does not write dBase IV multiple indexes yet");
}

}  // namespace kce::dbf
