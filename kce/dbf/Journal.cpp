#include "kce/dbf/Journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "kce/dbf/Bytes.h"
#include "kce/dbf/DbfError.h"

namespace kce::dbf {

namespace {

constexpr char kMagic[] = "KDBFJRN1";         // table and memo file
constexpr char kIndexMagic[] = "KDBFJRN2";    // table, memo and one index file (older form, read)
constexpr char kIndexesMagic[] = "KDBFJRN3";  // table, memo and a count of index files
constexpr char kEndMagic[] = "KDBFEND1";
constexpr size_t kTrailerSize = 24;

uint64_t Checksum(std::string_view bytes) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

// Fault-hook step names by file kind: the table, the memo, any index file.
const char* const kWriteStep[3] = {"table write", "memo write", "index write"};
const char* const kTruncateStep[3] = {"table truncate", "memo truncate", "index truncate"};
const char* const kSyncStep[3] = {"table sync", "memo sync", "index sync"};

size_t Kind(size_t file) {
    return std::min<size_t>(file, 2);
}

void Step(const FaultHook& hook, std::string_view step) {
    if (hook) hook(step);
}

struct Original {
    size_t file;
    uint64_t offset;
    std::string bytes;
};

struct JournalBody {
    std::vector<uint64_t> oldSize;  // table, memo, then each index file
    std::string memoName;
    std::vector<std::string> indexNames;  // empty: the change touches no index file
    std::vector<Original> originals;
};

void AppendU16(std::string& s, uint16_t v) {
    char b[2];
    PutLe16(b, v);
    s.append(b, 2);
}
void AppendU32(std::string& s, uint32_t v) {
    char b[4];
    PutLe32(b, v);
    s.append(b, 4);
}
void AppendU64(std::string& s, uint64_t v) {
    char b[8];
    PutLe64(b, v);
    s.append(b, 8);
}

// The first form when no index file is touched, else the third: after the magic, the number of
// index files (2 bytes), the old lengths of table, memo and each index file, the memo file's name
// and each index file's name (each a 2-byte length and the bytes), then the original bytes.
std::string EncodeJournal(const JournalBody& body) {
    const bool index = !body.indexNames.empty();
    std::string s(index ? kIndexesMagic : kMagic, 8);
    if (index) AppendU16(s, static_cast<uint16_t>(body.indexNames.size()));
    for (uint64_t size : body.oldSize) AppendU64(s, size);
    AppendU16(s, static_cast<uint16_t>(body.memoName.size()));
    s += body.memoName;
    for (const std::string& name : body.indexNames) {
        AppendU16(s, static_cast<uint16_t>(name.size()));
        s += name;
    }
    AppendU32(s, static_cast<uint32_t>(body.originals.size()));
    for (const Original& o : body.originals) {
        s.push_back(static_cast<char>(o.file));
        AppendU64(s, o.offset);
        AppendU64(s, o.bytes.size());
        s += o.bytes;
    }
    const uint64_t bodyLength = s.size();
    const uint64_t sum = Checksum(s);
    AppendU64(s, bodyLength);
    AppendU64(s, sum);
    s.append(kEndMagic, 8);
    return s;
}

// Parses a journal of any of the three forms; false when it is incomplete or damaged (it was cut
// short while being written).
bool DecodeJournal(const std::string& s, JournalBody& body) {
    if (s.size() < 8 + kTrailerSize) return false;
    size_t indexes = 0;
    size_t pos = 8;
    const char* trailer = s.data() + s.size() - kTrailerSize;
    if (std::memcmp(trailer + 16, kEndMagic, 8) != 0) return false;
    uint64_t bodyLength = GetLe64(trailer);
    if (bodyLength != s.size() - kTrailerSize) return false;
    if (GetLe64(trailer + 8) != Checksum(std::string_view(s.data(), bodyLength))) return false;
    auto need = [&](size_t n) { return pos + n <= bodyLength; };
    if (std::memcmp(s.data(), kIndexMagic, 8) == 0) {
        indexes = 1;
    } else if (std::memcmp(s.data(), kIndexesMagic, 8) == 0) {
        if (!need(2)) return false;
        indexes = GetLe16(s.data() + pos);
        pos += 2;
        if (indexes == 0) return false;
    } else if (std::memcmp(s.data(), kMagic, 8) != 0) {
        return false;
    }
    const size_t files = 2 + indexes;
    if (!need(files * 8u + 2)) return false;
    body.oldSize.resize(files);
    for (size_t i = 0; i < files; ++i) body.oldSize[i] = GetLe64(s.data() + pos + 8 * i);
    pos += files * 8u;
    auto name = [&](std::string& out) {
        if (!need(2)) return false;
        const uint16_t length = GetLe16(s.data() + pos);
        pos += 2;
        if (!need(length)) return false;
        out.assign(s.data() + pos, length);
        pos += length;
        return true;
    };
    if (!name(body.memoName)) return false;
    body.indexNames.resize(indexes);
    for (std::string& index : body.indexNames) {
        if (!name(index) || index.empty()) return false;
    }
    if (!need(4)) return false;
    uint32_t count = GetLe32(s.data() + pos);
    pos += 4;
    for (uint32_t i = 0; i < count; ++i) {
        if (!need(17)) return false;
        Original o;
        o.file = static_cast<unsigned char>(s[pos]);
        o.offset = GetLe64(s.data() + pos + 1);
        uint64_t length = GetLe64(s.data() + pos + 9);
        pos += 17;
        if (o.file >= files || !need(length)) return false;
        o.bytes.assign(s.data() + pos, length);
        pos += length;
        body.originals.push_back(std::move(o));
    }
    return pos == bodyLength;
}

void PlayBack(const JournalBody& body, const std::vector<JournalTarget>& files,
              const FaultHook& hook) {
    for (const Original& o : body.originals) {
        const JournalTarget& f = files[o.file];
        if (f.fd < 0) continue;
        Step(hook, "rollback write");
        WriteAt(f.fd, o.offset, o.bytes, f.path);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].fd < 0) continue;
        Step(hook, "rollback truncate");
        Truncate(files[i].fd, body.oldSize[i], files[i].path);
        Step(hook, "rollback sync");
        Sync(files[i].fd, files[i].path);
    }
}

void RemoveJournal(const std::string& journalPath, const FaultHook& hook) {
    Step(hook, "journal remove");
    if (::unlink(journalPath.c_str()) != 0 && errno != ENOENT) {
        throw DbfError(journalPath, -1,
                       std::string("cannot remove the journal: ") + std::strerror(errno));
    }
    Step(hook, "folder sync");
    SyncFolderOf(journalPath);
}

}  // namespace

std::string JournalPathFor(const std::string& tablePath) {
    return tablePath + ".journal";
}

void CommitWithJournal(const std::string& journalPath, std::vector<JournalTarget> files,
                       const std::vector<Patch>& patches, const FaultHook& hook) {
    files.resize(std::max<size_t>(files.size(), 2));
    JournalBody body;
    for (const JournalTarget& f : files) body.oldSize.push_back(f.size);
    body.memoName = files[1].path.empty() ? std::string() : FileNameOf(files[1].path);
    for (size_t i = 2; i < files.size(); ++i) {
        if (files[i].fd < 0) {
            throw DbfError(files[i].path, -1, "an index file of the change is not open");
        }
        body.indexNames.push_back(FileNameOf(files[i].path));
    }
    for (const Patch& p : patches) {
        if (p.file >= files.size() || (files[p.file].fd < 0 && !p.bytes.empty())) {
            throw DbfError(files[0].path, -1, "a change names a file that is not open");
        }
        const JournalTarget& f = files[p.file];
        if (p.offset >= f.size || p.bytes.empty()) continue;
        Original o;
        o.file = p.file;
        o.offset = p.offset;
        o.bytes.resize(std::min<uint64_t>(p.bytes.size(), f.size - p.offset));
        ReadAt(f.fd, p.offset, o.bytes.data(), o.bytes.size(), f.path);
        body.originals.push_back(std::move(o));
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const JournalTarget& f = files[i];
        if (f.fd >= 0 && f.newSize < f.size) {
            Original o;
            o.file = i;
            o.offset = f.newSize;
            o.bytes.resize(f.size - f.newSize);
            ReadAt(f.fd, o.offset, o.bytes.data(), o.bytes.size(), f.path);
            body.originals.push_back(std::move(o));
        }
    }

    // Step 1: the journal.
    {
        Step(hook, "journal create");
        Fd journal = OpenFile(journalPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        try {
            std::string image = EncodeJournal(body);
            Step(hook, "journal write");
            WriteAt(journal.Get(), 0, image, journalPath);
            Step(hook, "journal sync");
            Sync(journal.Get(), journalPath);
            Step(hook, "folder sync");
            SyncFolderOf(journalPath);
        } catch (...) {
            ::unlink(journalPath.c_str());
            throw;
        }
    }

    // Steps 2 and 3: the files in place, then the commit. A failure anywhere here (even in
    // removing the journal) restores the old bytes, so that a reported failure always means an
    // unchanged table.
    try {
        for (const Patch& p : patches) {
            const JournalTarget& f = files[p.file];
            Step(hook, kWriteStep[Kind(p.file)]);
            WriteAt(f.fd, p.offset, p.bytes, f.path);
        }
        for (size_t i = 0; i < files.size(); ++i) {
            if (files[i].fd < 0) continue;
            if (files[i].newSize != files[i].size) {
                Step(hook, kTruncateStep[Kind(i)]);
                Truncate(files[i].fd, files[i].newSize, files[i].path);
            }
            Step(hook, kSyncStep[Kind(i)]);
            Sync(files[i].fd, files[i].path);
        }
        RemoveJournal(journalPath, hook);
    } catch (...) {
        try {
            PlayBack(body, files, {});
            RemoveJournal(journalPath, {});
        } catch (...) {
            // The journal stays; the next open of the table plays it back.
        }
        throw;
    }
}

bool RecoverJournal(const std::string& journalPath, const std::string& tablePath, int tableFd) {
    if (!FileExists(journalPath)) return false;
    std::string image;
    {
        Fd journal = OpenFile(journalPath, O_RDONLY);
        image.resize(FileSize(journal.Get(), journalPath));
        image.resize(ReadAt(journal.Get(), 0, image.data(), image.size(), journalPath));
    }
    JournalBody body;
    if (!DecodeJournal(image, body)) {
        // Cut short while being written: neither file had been touched yet.
        RemoveJournal(journalPath, {});
        return true;
    }
    std::vector<JournalTarget> files(2 + body.indexNames.size());
    files[0].path = tablePath;
    files[0].fd = tableFd;
    std::vector<Fd> open;
    auto reopen = [&](JournalTarget& f, const std::string& name) {
        f.path = FolderOf(tablePath) + "/" + name;
        open.push_back(OpenFile(f.path, O_RDWR | O_CREAT, 0644));
        f.fd = open.back().Get();
    };
    if (!body.memoName.empty()) reopen(files[1], body.memoName);
    for (size_t i = 0; i < body.indexNames.size(); ++i) reopen(files[2 + i], body.indexNames[i]);
    PlayBack(body, files, {});
    RemoveJournal(journalPath, {});
    return true;
}

}  // namespace kce::dbf
