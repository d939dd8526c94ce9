#pragma once
// Creating new dBase-format tables: the tests and the demo generator write tables through this.
// The table and memo files are written under temporary names (".creating" appended), flushed, and
// then renamed into place, the memo file first, so that a table file never appears without its
// memo file.

#include <memory>
#include <string>
#include <vector>

#include "kce/dbf/FileIo.h"
#include "kce/dbf/Header.h"
#include "kce/dbf/Types.h"
#include "kce/dbf/Values.h"

namespace kce::dbf {

class TableCreator {
public:
    // Starts the table file `path` (it must not exist yet). Throws DbfError for a layout no table
    // can hold or when the files cannot be created.
    TableCreator(std::string path, const TableLayout& layout);
    // Without Finish, the temporary files are removed and nothing appears.
    ~TableCreator();
    TableCreator(const TableCreator&) = delete;
    TableCreator& operator=(const TableCreator&) = delete;

    const Header& Layout() const { return header_; }
    // Appends one record (values in the engine's stored form, one per column); `deleted` writes it
    // marked deleted.
    void Add(const Record& values, bool deleted = false);
    // Completes the files and puts them in place.
    void Finish();

private:
    class MemoWriter;
    void Flush();

    std::string path_;
    std::string memoPath_;
    Header header_;
    FieldCodec codec_;
    Fd table_;
    std::unique_ptr<MemoWriter> memo_;
    std::string buffer_;
    std::string record_;
    uint64_t written_ = 0;  // bytes of the table file written so far
    uint32_t count_ = 0;
    bool finished_ = false;
};

// Creates a table with the given records in one call.
void CreateTable(const std::string& path, const TableLayout& layout,
                 const std::vector<Record>& records);

}  // namespace kce::dbf
