// parvell-cli dump: every table of a practice (or those named) written into one folder, each by
// the extract command's own road for "SELECT * FROM <table>", with a manifest that describes and
// checks each file. The manifest is rewritten after each table, so a dump that stops part-way
// (killed, a full disk, a damaged table) can be resumed: finished files are checked against
// their manifest rows and only what does not match is written again.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "app/cli/ExtractRun.h"
#include "app/cli/QueryCommands.h"
#include "common/Exceptions.h"
#include "data/FieldTypes.h"
#include "extract/ExtractFile.h"
#include "settings/CodePage.h"

namespace parvell::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: parvell-cli dump --data PATH [--user U --password P] --out FOLDER\n"
    "           [--layout comma|fixed|tab] [--no-header] [--record-number]\n"
    "           [--tables T1,T2,...] [--resume] [--keep-going]\n";

constexpr const char* kManifestJson = "manifest.json";
constexpr const char* kManifestCsv = "manifest.csv";

// A failure that refuses the dump before anything is written: its message, exit status 1.
class TBadInput : public TCommandError {
public:
    using TCommandError::TCommandError;
};

struct TDumpArgs {
    TStatementArgs statement;
    TExtractOptions options;
    bool recordNumber = false;
    std::string folder;
    std::vector<std::string> tables;  // as given (UTF-8); empty: every table
    bool resume = false;
    bool keepGoing = false;
};

// The engine's name of a column type code (kce/TYPES.md).
std::string EngineTypeName(uint16_t code) {
    switch (code) {
        case 1:
            return "LOGICAL";
        case 2:
            return "NUMERIC";
        case 3:
            return "DATE";
        case 4:
            return "CHAR";
        case 5:
            return "MEMO";
        case 6:
            return "BINARY";
        case 7:
            return "IMAGE";
        case 9:
            return "COMPACTDATE";
        case 10:
            return "DOUBLE";
        case 11:
            return "INTEGER";
        case 12:
            return "SMALLINT";
        case 13:
            return "TIME";
        case 14:
            return "TIMESTAMP";
        case 15:
            return "AUTOINC";
        case 16:
            return "RAW";
        case 17:
            return "CURRENCY";
        case 18:
            return "MONEY";
        case 20:
            return "CHAR_CI";
        case 21:
            return "BIGINT";
        case 22:
            return "MODSTAMP";
        case 23:
            return "VARCHAR";
        case 24:
            return "VARBINARY";
        default:
            return "TYPE" + std::to_string(code);
    }
}

struct TColumnInfo {
    std::string name;  // UTF-8
    uint16_t engineType = 0;
    uint32_t length = 0;
    uint16_t decimals = 0;
};

struct TLeftOut {
    std::string name;  // UTF-8
    std::string reason;
};

// One row of the manifest: a table and what became of it.
struct TTableRow {
    std::string table;   // UTF-8, the practice's spelling
    std::string file;    // the file's name inside the folder
    std::string status;  // "complete", "failed" or "skipped"
    std::string reason;  // why it failed or was skipped
    int64_t rows = 0;
    int64_t bytes = 0;
    std::string sha256;  // lower-case hexadecimal
    std::vector<TColumnInfo> columns;
    std::vector<TLeftOut> leftOut;
    std::string started, finished;  // UTC, ISO 8601
};

struct TManifest {
    std::string data;
    std::string layout;
    bool header = true;
    bool recordNumber = false;
    std::string started, finished;
    std::vector<TTableRow> rows;
};

std::string Now() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

QString Q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string S(const QJsonValue& value) {
    return value.toString().toStdString();
}

QByteArray ManifestJson(const TManifest& manifest) {
    QJsonArray tables;
    for (const TTableRow& row : manifest.rows) {
        QJsonArray columns;
        for (const TColumnInfo& column : row.columns) {
            columns.append(QJsonObject{{"name", Q(column.name)},
                                       {"engineType", Q(EngineTypeName(column.engineType))},
                                       {"engineTypeCode", column.engineType},
                                       {"length", static_cast<qint64>(column.length)},
                                       {"decimals", column.decimals}});
        }
        QJsonArray leftOut;
        for (const TLeftOut& column : row.leftOut) {
            leftOut.append(QJsonObject{{"name", Q(column.name)}, {"reason", Q(column.reason)}});
        }
        QJsonObject object{{"table", Q(row.table)},
                           {"file", Q(row.file)},
                           {"status", Q(row.status)},
                           {"rows", static_cast<qint64>(row.rows)},
                           {"bytes", static_cast<qint64>(row.bytes)},
                           {"sha256", Q(row.sha256)},
                           {"columns", columns},
                           {"leftOut", leftOut},
                           {"started", Q(row.started)},
                           {"finished", Q(row.finished)}};
        if (!row.reason.empty()) object.insert("reason", Q(row.reason));
        tables.append(object);
    }
    const QJsonObject root{{"data", Q(manifest.data)},
                           {"layout", Q(manifest.layout)},
                           {"header", manifest.header},
                           {"recordNumber", manifest.recordNumber},
                           {"started", Q(manifest.started)},
                           {"finished", Q(manifest.finished)},
                           {"tables", tables}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

// One line per table; the columns and the left-out columns are lists inside one field each:
// "NAME TYPE(LENGTH,DECIMALS)" and "NAME: reason", separated by "; ".
QByteArray ManifestCsv(const TManifest& manifest) {
    std::string text =
        "table,file,status,rows,bytes,sha256,columns,left_out,started,finished,reason\n";
    for (const TTableRow& row : manifest.rows) {
        std::string columns, leftOut;
        for (const TColumnInfo& column : row.columns) {
            if (!columns.empty()) columns += "; ";
            columns += column.name + ' ' + EngineTypeName(column.engineType) + '(' +
                       std::to_string(column.length) + ',' + std::to_string(column.decimals) + ')';
        }
        for (const TLeftOut& column : row.leftOut) {
            if (!leftOut.empty()) leftOut += "; ";
            leftOut += column.name + ": " + column.reason;
        }
        const std::string fields[] = {row.table,
                                      row.file,
                                      row.status,
                                      std::to_string(row.rows),
                                      std::to_string(row.bytes),
                                      row.sha256,
                                      columns,
                                      leftOut,
                                      row.started,
                                      row.finished,
                                      row.reason};
        bool first = true;
        for (const std::string& field : fields) {
            if (!first) text += ',';
            text += DoubleQuoted(field);
            first = false;
        }
        text += '\n';
    }
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// Raises EInOutError with the in/out code of errno.
[[noreturn]] void RaiseErrno() {
    throw EInOutError(InOutCodeForErrno(errno));
}

// Replaces the file `name` in `folder` with bytes: a temporary file, synced, renamed over the
// name and the folder synced, so a reader (or a resumed dump) sees the old file or the new one,
// never a part.
void WriteAtomically(const std::string& folder, const std::string& name, const QByteArray& bytes) {
    const std::string target = folder + '/' + name;
    const std::string temporary = folder + "/." + name + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) RaiseErrno();
    const char* data = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(temporary.c_str());
            errno = error;
            RaiseErrno();
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
        RaiseErrno();
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
        RaiseErrno();
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void WriteManifest(const std::string& folder, const TManifest& manifest) {
    WriteAtomically(folder, kManifestCsv, ManifestCsv(manifest));
    WriteAtomically(folder, kManifestJson, ManifestJson(manifest));
}

// The manifest of an earlier dump into the folder; nullopt when there is none. A manifest that
// cannot be read is refused by name.
std::optional<TManifest> ReadManifest(const std::string& folder) {
    QFile file(Q(folder + '/' + kManifestJson));
    if (!file.exists()) return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        throw TBadInput("cannot read " + folder + '/' + kManifestJson);
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        throw TBadInput(folder + '/' + kManifestJson + " is not a dump manifest");
    }
    const QJsonObject root = document.object();
    TManifest manifest;
    manifest.data = S(root["data"]);
    manifest.layout = S(root["layout"]);
    manifest.header = root["header"].toBool(true);
    manifest.recordNumber = root["recordNumber"].toBool(false);
    manifest.started = S(root["started"]);
    for (const QJsonValue& value : root["tables"].toArray()) {
        const QJsonObject object = value.toObject();
        TTableRow row;
        row.table = S(object["table"]);
        row.file = S(object["file"]);
        row.status = S(object["status"]);
        row.reason = S(object["reason"]);
        row.rows = object["rows"].toInteger();
        row.bytes = object["bytes"].toInteger();
        row.sha256 = S(object["sha256"]);
        for (const QJsonValue& c : object["columns"].toArray()) {
            const QJsonObject column = c.toObject();
            row.columns.push_back({S(column["name"]),
                                   static_cast<uint16_t>(column["engineTypeCode"].toInt()),
                                   static_cast<uint32_t>(column["length"].toInteger()),
                                   static_cast<uint16_t>(column["decimals"].toInt())});
        }
        for (const QJsonValue& c : object["leftOut"].toArray()) {
            const QJsonObject column = c.toObject();
            row.leftOut.push_back({S(column["name"]), S(column["reason"])});
        }
        row.started = S(object["started"]);
        row.finished = S(object["finished"]);
        manifest.rows.push_back(std::move(row));
    }
    return manifest;
}

// The SHA-256 of a file (lower-case hexadecimal) and its size; nullopt when it cannot be read.
std::optional<std::pair<std::string, int64_t>> HashFile(const std::string& path) {
    QFile file(Q(path));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return std::nullopt;
    return std::make_pair(hash.result().toHex().toStdString(), static_cast<int64_t>(file.size()));
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Why a table name cannot be a file name in the output folder; empty when it can.
std::string UnsafeName(const std::string& name) {
    if (name.empty()) return "is empty";
    if (name == "." || name == ".." || name.find("..") != std::string::npos)
        return "would climb out of the output folder";
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos)
        return "holds a folder separator";
    if (name.find('\0') != std::string::npos) return "holds a zero byte";
    return {};
}

// The columns a layout leaves out, with the reason, as the writers decide (Extract.h).
std::vector<TLeftOut> LeftOutColumns(const TDataSet& data, TExtractLayout layout) {
    std::vector<TLeftOut> leftOut;
    if (layout == TExtractLayout::CommaDelimited) return leftOut;
    const char* name = LayoutName(layout);
    for (int i = 0; i < data.FieldDefs().NumDefs(); ++i) {
        const TFieldDef& def = data.FieldDefs().DefAt(i);
        if (GetFieldTypeLength(def.DataType()) >= 0) continue;
        leftOut.push_back({store::Utf8FromCp1252(def.Name()),
                           def.DataType() == ftMemo
                               ? std::string("the ") + name + " layout writes no memo columns"
                               : std::string("the ") + name + " layout does not write " +
                                     std::string(FieldTypeName(def.DataType())) + " columns"});
    }
    return leftOut;
}

std::vector<TColumnInfo> ColumnsOf(const TKdbQuery& query) {
    std::vector<TColumnInfo> columns;
    const TKCEFieldDefs& defs = query.KCEFieldDefs();
    for (int i = 0; i < defs.Count(); ++i) {
        const TKCEFieldDef& def = defs.At(i);
        columns.push_back(
            {store::Utf8FromCp1252(def.Name), def.EngineType, def.Length, def.Decimals});
    }
    return columns;
}

TDumpArgs ParseArgs(CommandArgs args) {
    TDumpArgs dump;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (TakeConnectionArg(args, i, dump.statement)) continue;
        if (auto layout = OptionValue(args, i, "--layout")) {
            dump.options.layout = LayoutNamed(*layout);
        } else if (auto folder = OptionValue(args, i, "--out")) {
            dump.folder = *folder;
        } else if (auto tables = OptionValue(args, i, "--tables")) {
            std::size_t start = 0;
            while (true) {
                const std::size_t comma = tables->find(',', start);
                std::string name = tables->substr(start, comma - start);
                // "A, B" names A and B: blanks around a name are not part of it.
                const std::size_t first = name.find_first_not_of(' ');
                name = first == std::string::npos
                           ? std::string()
                           : name.substr(first, name.find_last_not_of(' ') - first + 1);
                dump.tables.push_back(std::move(name));
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else if (args[i] == "--no-header") {
            dump.options.createHeader = false;
        } else if (args[i] == "--record-number") {
            dump.recordNumber = true;
        } else if (args[i] == "--resume") {
            dump.resume = true;
        } else if (args[i] == "--keep-going") {
            dump.keepGoing = true;
        } else {
            throw TUsageError("unknown argument \"" + args[i] + "\"");
        }
    }
    if (dump.statement.dataPath.empty()) throw TUsageError("--data PATH is required");
    if (dump.folder.empty()) throw TUsageError("--out FOLDER is required");
    return dump;
}

// The output folder: an existing folder this process can write into, or a new name in one.
// Returns whether the folder must still be made.
bool CheckFolder(const std::string& folder) {
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    std::string probeIn = folder;
    bool make = false;
    if (fs::exists(status)) {
        if (!fs::is_directory(status)) throw TBadInput(folder + " is a file, not a folder");
    } else {
        fs::path parent = fs::path(folder).parent_path();
        if (parent.empty()) parent = ".";
        if (!fs::is_directory(parent, ec)) {
            throw TBadInput("cannot make the folder " + folder + ": " + parent.string() +
                            " is not a folder");
        }
        probeIn = parent.string();
        make = true;
    }
    // A real probe rather than access(): it also sees a read-only file system, and the
    // superuser's rights.
    std::string probe = probeIn + "/.parvell-dump-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        throw TBadInput((make ? "cannot make the folder " + folder + ": " + probeIn : folder) +
                        " is not writable (" + std::strerror(errno) + ")");
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return make;
}

class TDump {
public:
    TDump(const TDumpArgs& args, std::ostream& out, std::ostream& err)
        : args_(args),
          out_(out),
          err_(err),
          components_(args.statement.username, args.statement.password, err) {}

    int Run();

private:
    std::vector<std::string> PracticeTables();
    std::vector<std::string> ChosenTables(const std::vector<std::string>& practice);
    void CheckLayout(const std::vector<std::string>& tables);
    std::string FileName(const std::string& table) const {
        return store::Utf8FromCp1252(table) +
               (args_.options.layout == TExtractLayout::CommaDelimited ? ".csv" : ".txt");
    }
    // A finished row of an earlier run whose file still matches it.
    bool StillComplete(const TTableRow& row) const;

    // Gives the query `sql`: on the connection already made (one login for the whole dump), or
    // on a new one after a table failed.
    void UseStatement(const std::string& sql) {
        if (connected_) {
            components_.SetStatement({sql});
        } else {
            components_.Prepare(args_.statement.dataPath, {sql});
            connected_ = true;
        }
    }

    const TDumpArgs& args_;
    std::ostream& out_;
    std::ostream& err_;
    TQueryComponents components_;
    bool connected_ = false;
};

std::vector<std::string> TDump::PracticeTables() {
    components_.Prepare(args_.statement.dataPath, {});
    TKdbConnection& connection = components_.Connection();
    connection.Connect();
    connected_ = true;
    std::vector<std::string> names;
    if (connection.IsDictionaryConnection()) {
        connection.GetDictionaryTableNames(names);
    } else {
        connection.GetTableNames(names);
    }
    return names;
}

std::vector<std::string> TDump::ChosenTables(const std::vector<std::string>& practice) {
    std::vector<std::string> chosen;
    if (args_.tables.empty()) {
        chosen = practice;
    } else {
        for (const std::string& given : args_.tables) {
            const std::string name = store::Cp1252FromUtf8(given);
            if (const std::string why = UnsafeName(name); !why.empty()) {
                throw TBadInput("the table name \"" + given + "\" " + why);
            }
            const auto found =
                std::find_if(practice.begin(), practice.end(),
                             [&](const std::string& t) { return SameName(t, name); });
            if (found == practice.end()) {
                throw TBadInput("the practice has no table \"" + given + "\"");
            }
            if (std::find(chosen.begin(), chosen.end(), *found) != chosen.end()) {
                throw TBadInput("the table \"" + given + "\" is named twice");
            }
            chosen.push_back(*found);
        }
    }
    if (chosen.empty()) throw TBadInput("the practice has no tables");
    for (const std::string& table : chosen) {
        if (const std::string why = UnsafeName(table); !why.empty()) {
            throw TBadInput("the table name \"" + store::Utf8FromCp1252(table) + "\" " + why);
        }
        const std::string file = FileName(table);
        if (SameName(file, kManifestCsv) || SameName(file, kManifestJson)) {
            throw TBadInput("the table \"" + store::Utf8FromCp1252(table) +
                            "\" would be written over the manifest");
        }
    }
    return chosen;
}

// The fixed-length and tab layouts write only some column types: a table with none of them
// would give a file of empty lines. Refused for every such table before anything is written.
void TDump::CheckLayout(const std::vector<std::string>& tables) {
    if (args_.options.layout == TExtractLayout::CommaDelimited) return;
    for (const std::string& table : tables) {
        UseStatement(SelectAll(table) + " WHERE 1 = 0");
        TKdbQuery& query = components_.Query();
        std::vector<TLeftOut> leftOut;
        int count = 0;
        try {
            query.SetActive(true);
            leftOut = LeftOutColumns(query, args_.options.layout);
            count = query.FieldDefs().NumDefs();
            query.SetActive(false);
        } catch (const Exception&) {
            // A table the engine cannot read fails in its own turn, where --keep-going may
            // skip it.
            query.SetActive(false);
            continue;
        }
        if (static_cast<int>(leftOut.size()) == count) {
            throw TBadInput("the " + std::string(LayoutName(args_.options.layout)) +
                            " layout can write none of the columns of the table \"" +
                            store::Utf8FromCp1252(table) + "\"");
        }
    }
}

bool TDump::StillComplete(const TTableRow& row) const {
    if (row.status != "complete") return false;
    const auto hashed = HashFile(args_.folder + '/' + row.file);
    return hashed && hashed->first == row.sha256 && hashed->second == row.bytes;
}

int TDump::Run() {
    const bool makeFolder = CheckFolder(args_.folder);
    const std::vector<std::string> tables = ChosenTables(PracticeTables());
    CheckLayout(tables);

    // The practice as an absolute path: a resume from another working folder names the same
    // practice, and a resume over the dump of another practice is refused (its files would
    // match their rows and be kept).
    const std::string data =
        fs::absolute(FileNameOnDisk(store::Utf8FromCp1252(args_.statement.dataPath)))
            .lexically_normal()
            .string();
    TManifest earlier;
    if (args_.resume && !makeFolder) {
        if (std::optional<TManifest> read = ReadManifest(args_.folder)) {
            if (!read->data.empty() && read->data != data) {
                throw TBadInput("the dump in " + args_.folder + " is of another practice (" +
                                read->data + "); resume it with that --data");
            }
            if (read->layout != LayoutName(args_.options.layout) ||
                read->header != args_.options.createHeader ||
                read->recordNumber != args_.recordNumber) {
                throw TBadInput("the dump in " + args_.folder +
                                " was written with other layout options; give the same to "
                                "resume it");
            }
            earlier = std::move(*read);
        }
    }
    if (makeFolder && ::mkdir(args_.folder.c_str(), 0777) != 0) {
        throw TBadInput("cannot make the folder " + args_.folder + ": " + std::strerror(errno));
    }

    TManifest manifest;
    manifest.data = data;
    manifest.layout = LayoutName(args_.options.layout);
    manifest.header = args_.options.createHeader;
    manifest.recordNumber = args_.recordNumber;
    manifest.started = earlier.started.empty() ? Now() : earlier.started;

    int kept = 0, failed = 0;
    int64_t records = 0;
    int status = 0;
    for (std::size_t index = 0; index < tables.size(); ++index) {
        const std::string& table = tables[index];
        const std::string tableUtf8 = store::Utf8FromCp1252(table);
        const auto before = std::find_if(earlier.rows.begin(), earlier.rows.end(),
                                         [&](const TTableRow& r) { return r.table == tableUtf8; });
        if (before != earlier.rows.end() && before->file == FileName(table) &&
            StillComplete(*before)) {
            manifest.rows.push_back(*before);
            records += before->rows;
            ++kept;
            WriteManifest(args_.folder, manifest);
            continue;
        }

        TTableRow row;
        row.table = tableUtf8;
        row.file = FileName(table);
        row.started = Now();
        const std::string path = args_.folder + '/' + row.file;

        TExtractRequest request;
        request.options = args_.options;
        request.recordNumber = args_.recordNumber;
        request.outFile = path;
        request.force = true;
        request.reportLeftOut = false;
        request.opened = [&](TKdbQuery& query) {
            row.columns = ColumnsOf(query);
            row.leftOut = LeftOutColumns(query, args_.options.layout);
        };
        request.progressLabel = tableUtf8 + ' ';
        const std::size_t count = tables.size();
        request.progressTail = [index, count](int64_t position, int64_t maximum) {
            const double share =
                (static_cast<double>(index) +
                 (maximum > 0 ? static_cast<double>(position) / static_cast<double>(maximum)
                              : 1.0)) /
                static_cast<double>(count);
            return ", table " + std::to_string(index + 1) + " of " + std::to_string(count) + ", " +
                   std::to_string(static_cast<int>(share * 100)) + "% of the dump";
        };

        std::string failure;
        try {
            UseStatement(SelectAll(table));
            const TExtractRunResult run = RunExtract(components_, request, err_);
            if (run.status == 130) {
                // Not complete: the name does not keep the part written.
                ::unlink(FileNameOnDisk(path).c_str());
                err_ << "parvell-cli: dump: interrupted in the table \"" << tableUtf8
                     << "\"; the manifest lists the tables finished before it\n";
                WriteManifest(args_.folder, manifest);
                return 130;
            }
            if (run.status != 0) throw TBadInput("the table \"" + tableUtf8 + "\" was not written");
            row.rows = run.result.records;
            const auto hashed = HashFile(FileNameOnDisk(path));
            if (!hashed) throw EInOutError(kIoFileNotFound);
            row.sha256 = hashed->first;
            row.bytes = hashed->second;
            row.status = "complete";
        } catch (const Exception& e) {
            failure = store::Utf8FromCp1252(e.Message());
        } catch (const std::exception& e) {
            failure = e.what();
        }
        row.finished = Now();
        if (!failure.empty()) {
            // A table file appears under its name only when it is complete.
            ::unlink(FileNameOnDisk(path).c_str());
            components_.Query().SetActive(false);
            connected_ = false;  // the next table starts on a new connection
            ++failed;
            row.status = args_.keepGoing ? "skipped" : "failed";
            row.reason = failure;
            row.columns.clear();
            row.leftOut.clear();
            err_ << "parvell-cli: dump: the table \"" << tableUtf8 << "\" "
                 << (args_.keepGoing ? "is skipped: " : "failed: ") << failure << '\n';
            manifest.rows.push_back(std::move(row));
            WriteManifest(args_.folder, manifest);
            status = 1;
            if (!args_.keepGoing) break;
            continue;
        }
        records += row.rows;
        manifest.rows.push_back(std::move(row));
        try {
            WriteManifest(args_.folder, manifest);
        } catch (const Exception& e) {
            // A table file without its row would be taken for a finished table by a reader of
            // the folder; a resume writes it again.
            ::unlink(FileNameOnDisk(path).c_str());
            err_ << "parvell-cli: dump: the manifest cannot be written after the table \""
                 << tableUtf8 << "\": " << store::Utf8FromCp1252(e.Message()) << '\n';
            return 1;
        }
    }
    manifest.finished = Now();
    WriteManifest(args_.folder, manifest);

    const int written = static_cast<int>(manifest.rows.size()) - failed - kept;
    out_ << written << (written == 1 ? " table" : " tables") << " written";
    if (kept > 0) out_ << ", " << kept << " kept from the earlier run";
    if (failed > 0) out_ << ", " << failed << (args_.keepGoing ? " skipped" : " failed");
    out_ << "; " << records << " records in " << args_.folder << '\n';
    return status;
}

}  // namespace

int DumpCommand(CommandArgs args, std::ostream& out, std::ostream& err) {
    TDumpArgs dump;
    try {
        dump = ParseArgs(args);
    } catch (const TUsageError& error) {
        err << "parvell-cli: dump: " << error.what() << '\n' << kUsage;
        return 2;
    }
    // As extract: the engine fills each table's cursor on a second thread while its file is
    // written.
    FillQueryCursorsInBackground(true);
    try {
        TDump run(dump, out, err);
        return run.Run();
    } catch (const TBadInput& error) {
        err << "parvell-cli: dump: " << error.what() << '\n';
        return 1;
    }
}

}  // namespace parvell::cli
