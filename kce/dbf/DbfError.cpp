#include "kce/dbf/DbfError.h"

#include <utility>

namespace kce::dbf {

namespace {

std::string Compose(const std::string& file, int64_t offset, const std::string& message) {
    std::string text = file;
    if (offset >= 0) {
        text += " at offset ";
        text += std::to_string(offset);
    }
    text += ": ";
    text += message;
    return text;
}

}  // namespace

DbfError::DbfError(std::string file, int64_t offset, std::string message)
    : std::runtime_error(Compose(file, offset, message)),
      file_(std::move(file)),
      offset_(offset),
      detail_(std::move(message)) {}

}  // namespace kce::dbf
