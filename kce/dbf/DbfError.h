#pragma once
// The one failure type of the dBase-format file layer. It names the file at fault and, when known,
// the byte offset in that file; the message says what was found and what was expected. The engine
// runtime turns it into an engine error code at its C boundary.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kce::dbf {

class DbfError : public std::runtime_error {
public:
    // offset < 0: no particular position (for example a lock conflict or a missing file).
    DbfError(std::string file, int64_t offset, std::string message);

    const std::string& File() const noexcept { return file_; }
    int64_t Offset() const noexcept { return offset_; }
    // The message without the file name and offset.
    const std::string& Detail() const noexcept { return detail_; }

private:
    std::string file_;
    int64_t offset_;
    std::string detail_;
};

// Raised instead of DbfError when another program holds a lock on the table, so that the engine
// can tell "busy" from "damaged".
class DbfLockedError : public DbfError {
public:
    using DbfError::DbfError;
};

// Raised instead of DbfError when an expression names a field the table does not have: the index
// file it came from is not one of that table's.
class DbfUnknownFieldError : public DbfError {
public:
    using DbfError::DbfError;
};

}  // namespace kce::dbf
