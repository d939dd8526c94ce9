#pragma once
// All-or-nothing changes to a table file, its memo file and its index files, by a rollback
// journal.
//
// A change is a list of patches (bytes to write at an offset of the table, memo or an index file)
// and the new length of each file. Committing it:
//   1. writes the journal "<table file>.journal" beside the table: the old length of the files,
//      the memo file's name (and the name of every index file the change touches; the journal then
//      starts "KDBFJRN3" instead of "KDBFJRN1"; the older "KDBFJRN2" form, naming one index file,
//      is still played back), and the original bytes under every patch (and
//      under any part that the new length cuts off), closed by a trailer with the body's length and
//      checksum; then flushes the journal and the folder to disk. From here on a complete journal
//      exists;
//   2. writes the patches into both files in place, sets their lengths, flushes both;
//   3. removes the journal and flushes the folder. This removal is the commit point.
// Recovery (when a table is opened and a journal is found, under the exclusive lock): a journal
// whose trailer and checksum are right is played back (original bytes written back, old lengths
// restored, files flushed) and then removed, so the pair is wholly as before the change; a journal
// cut short was being written in step 1, before either file was touched, and is simply removed.
// A change that fails in step 2 or 3 (a full disk, for example) is rolled back the same way at
// once, so a reported failure always leaves both files as they were.

#include <cstdint>
#include <string>
#include <vector>

#include "kce/dbf/FileIo.h"

namespace kce::dbf {

struct Patch {
    size_t file = 0;  // 0 the table file, 1 the memo file, 2 and up the index files in order
    uint64_t offset = 0;
    std::string bytes;
};

struct JournalTarget {
    std::string path;  // empty: no such file (a table without memo)
    int fd = -1;
    uint64_t size = 0;     // current length
    uint64_t newSize = 0;  // length after the change
};

std::string JournalPathFor(const std::string& tablePath);

// Commits `patches` to `files` (the table, the memo, then each index file) as described above. A
// table or memo file whose fd is negative is not touched; every index file must be open. On failure
// the files are as before and the error is rethrown; if even the rollback fails the journal stays
// for the next open.
void CommitWithJournal(const std::string& journalPath, std::vector<JournalTarget> files,
                       const std::vector<Patch>& patches, const FaultHook& hook);

// Recovers from a journal left by an interrupted change. `tableFd` is the table file open for
// writing; the memo and index files are opened by the names the journal records. Returns true when
// a journal was found. Throws DbfError when the journal cannot be played back (it is then kept).
bool RecoverJournal(const std::string& journalPath, const std::string& tablePath, int tableFd);

}  // namespace kce::dbf
