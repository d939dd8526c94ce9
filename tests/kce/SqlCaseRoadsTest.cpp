// The SQL dialect's case files through the engine library's C interface, on both storages: a data
// dictionary, and a folder of dBase-format tables that the road makes from the same CREATE TABLE
// statements and fills through the folder connection. Values are read from the native records
// (KdbGetRecord) and written in the case files' stored text form (tests/kce/sql/SqlCaseFile.h), so
// a case gives the same types, rows and errors on every road unless it names its roads.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "kce/Cp1252.h"
#include "kce/DateTime.h"
#include "kce/FolderNames.h"
#include "kce/dbf/Writer.h"
#include "kce/sql/Compiler.h"
#include "kce/sql/Numbers.h"
#include "tests/kce/FolderSupport.h"
#include "tests/kce/sql/SqlCaseFile.h"

namespace kcetest {
namespace {

using kce::sql::test::Result;
using kce::sql::test::Road;

template <typename T>
T At(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

std::string Digits(int64_t value, int width) {
    std::string text = std::to_string(value);
    return std::string(text.size() < static_cast<size_t>(width) ? width - text.size() : 0, '0') +
           text;
}

std::string DayText(int32_t julian) {
    int year = 0, month = 0, day = 0;
    kce::YmdFromJulian(julian, year, month, day);
    return Digits(year, 4) + "-" + Digits(month, 2) + "-" + Digits(day, 2);
}

std::string TimeText(uint32_t millis) {
    return Digits(millis / 3600000, 2) + ":" + Digits(millis / 60000 % 60, 2) + ":" +
           Digits(millis / 1000 % 60, 2) + "." + Digits(millis % 1000, 3);
}

std::string HexText(const uint8_t* bytes, size_t size) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "X'";
    for (size_t i = 0; i < size; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 15];
    }
    return text + "'";
}

bool AllZero(const uint8_t* p, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

std::string TextValue(const uint8_t* p, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(p), size);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    return kce::ToUtf8(text);
}

struct FieldInfo {
    uint16_t type = 0;
    uint32_t length = 0;
    uint16_t decimals = 0;
    uint32_t offset = 0;
};

// One field of the current record in the stored text form.
std::string FieldValue(uint32_t cursor, uint16_t number, const FieldInfo& f,
                       const uint8_t* record) {
    const uint8_t* p = record + f.offset;
    switch (f.type) {
        case 1:
            return p[0] == 'T' ? "1" : p[0] == 'F' ? "0" : "NULL";
        case 2: {
            if (AllZero(p, f.length)) return "NULL";
            return kce::sql::test::RealText(
                std::stod(std::string(reinterpret_cast<const char*>(p), f.length)));
        }
        case 3:
            return At<int32_t>(p) == 0 ? "NULL" : DayText(At<int32_t>(p));
        case 4:
        case 20:
            return AllZero(p, f.length) ? "NULL" : TextValue(p, f.length);
        case 5:
        case 6:
        case 7: {
            if (At<int32_t>(p) == 0) return "NULL";
            uint32_t size = 0;
            EXPECT_EQ(KdbGetBinaryLength(cursor, number, &size), 0u) << LastError();
            std::vector<uint8_t> bytes(size + 1);
            uint32_t got = size;
            EXPECT_EQ(KdbGetBinary(cursor, number, 0, bytes.data(), &got), 0u) << LastError();
            if (f.type == 5)
                return kce::ToUtf8(
                    std::string_view(reinterpret_cast<const char*>(bytes.data()), got));
            return HexText(bytes.data(), got);
        }
        case 10:
            return At<uint64_t>(p) == 0x8000000000000020ull
                       ? "NULL"
                       : kce::sql::test::RealText(At<double>(p));
        case 17: {
            // CURRENCY travels as a double: the amount its shortest decimal form gives.
            if (At<uint64_t>(p) == 0x8000000000000020ull) return "NULL";
            const kce::sql::ScaledDecimal amount = kce::sql::ScaleDouble(At<double>(p));
            if (amount.status != kce::sql::ScaledDecimal::Status::Ok)
                return kce::sql::test::RealText(At<double>(p));
            return kce::sql::MoneyText(amount.count);
        }
        case 11:
            return At<uint32_t>(p) == 0x80000000u ? "NULL" : std::to_string(At<int32_t>(p));
        case 12:
            return At<uint16_t>(p) == 0x8000u ? "NULL" : std::to_string(At<int16_t>(p));
        case 13:
            return At<uint32_t>(p) == 0xFFFFFFFFu ? "NULL" : TimeText(At<uint32_t>(p));
        case 14:
        case 22:
            return At<int32_t>(p) == 0
                       ? "NULL"
                       : DayText(At<int32_t>(p)) + " " + TimeText(At<uint32_t>(p + 4));
        case 15:
            return At<uint32_t>(p) == 0xFFFFFFFFu ? "NULL" : std::to_string(At<int32_t>(p));
        case 16:
            return AllZero(p, f.length) ? "NULL" : HexText(p, f.length);
        case 18:
            return At<uint64_t>(p) == 0x8000000000000000ull ? "NULL"
                                                            : kce::sql::MoneyText(At<int64_t>(p));
        case 21:
            return At<uint64_t>(p) == 0x8000000000000000ull ? "NULL"
                                                            : std::to_string(At<int64_t>(p));
        case 23:
        case 24: {
            const uint16_t size = At<uint16_t>(p + f.length);
            if (size == 0xFFFF) return "NULL";
            if (f.type == 23)
                return kce::ToUtf8(std::string_view(reinterpret_cast<const char*>(p), size));
            return HexText(p, size);
        }
        default:
            return "type" + std::to_string(f.type) + "?";
    }
}

// "Error 7200: NativeError = N; message" as the native number and the message; other engine
// errors keep their code as the number.
void TakeLastError(Result& result) {
    uint32_t code = 0;
    char text[4000];
    uint16_t len = sizeof text;
    KdbGetLastError(&code, text, &len);
    std::string message(text);
    result.failed = true;
    result.nativeError = static_cast<int>(code);
    const std::string prefix = "Error 7200: NativeError = ";
    if (message.rfind(prefix, 0) == 0) {
        const size_t semicolon = message.find("; ", prefix.size());
        if (semicolon != std::string::npos) {
            result.nativeError =
                std::stoi(message.substr(prefix.size(), semicolon - prefix.size()));
            message = message.substr(semicolon + 2);
        }
    }
    result.message = kce::ToUtf8(message);
}

// Binds case-file parameter texts by position.
bool BindParams(uint32_t statement, const std::vector<std::string>& params) {
    for (size_t i = 0; i < params.size(); ++i) {
        const std::string text = kce::sql::test::Trim(params[i]);
        const auto position = static_cast<uint16_t>(i + 1);
        uint32_t rc;
        if (text == "NULL") {
            rc = KdbSetNull(statement, position);
        } else if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
            const std::string value = kce::FromUtf8(text.substr(1, text.size() - 2));
            rc = KdbSetString(statement, position, value.data(),
                              static_cast<uint32_t>(value.size()));
        } else if (text.find_first_of(".e") != std::string::npos) {
            rc = KdbSetDouble(statement, position, std::stod(text));
        } else {
            rc = KdbSetLongLong(statement, position, std::stoll(text));
        }
        if (rc != 0) return false;
    }
    return true;
}

// Runs one statement on a connection through the C interface.
Result RunOn(uint32_t connection, const std::string& sql, const std::vector<std::string>& params) {
    Result result;
    uint32_t statement = 0;
    if (KdbCreateSQLStatement(connection, &statement) != 0) {
        TakeLastError(result);
        return result;
    }
    const std::string text = kce::FromUtf8(sql);
    uint32_t cursor = 0;
    if (KdbPrepareSQL(statement, text.c_str()) != 0 || !BindParams(statement, params) ||
        KdbExecuteSQL(statement, &cursor) != 0) {
        TakeLastError(result);
        KdbCloseSQLStatement(statement);
        return result;
    }
    if (cursor == 0) {
        uint32_t changed = 0;
        KdbGetRecordCount(statement, 2, &changed);
        result.changes = static_cast<int>(changed);
        KdbCloseSQLStatement(statement);
        return result;
    }
    uint16_t count = 0;
    KdbGetNumFields(cursor, &count);
    std::vector<FieldInfo> fields(count);
    for (uint16_t f = 1; f <= count; ++f) {
        FieldInfo& info = fields[f - 1];
        char name[300];
        uint16_t nameLength = sizeof name;
        KdbGetFieldName(cursor, f, name, &nameLength);
        KdbGetFieldType(cursor, f, &info.type);
        KdbGetFieldLength(cursor, f, &info.length);
        KdbGetFieldDecimals(cursor, f, &info.decimals);
        KdbGetFieldOffset(cursor, f, &info.offset);
        result.columns.push_back(
            kce::sql::test::DescribeColumn(kce::ToUtf8(std::string_view(name, nameLength)),
                                           info.type, info.length, info.decimals));
    }
    uint32_t recordLength = 0;
    KdbGetRecordLength(cursor, &recordLength);
    std::vector<uint8_t> record(recordLength + 1);
    KdbGotoBOF(cursor);
    uint16_t eof = 0;
    while (KdbSkip(cursor, 1) == 0 && KdbAtEOF(cursor, &eof) == 0 && !eof) {
        uint32_t length = recordLength;
        EXPECT_EQ(KdbGetRecord(cursor, record.data(), &length), 0u) << LastError();
        std::vector<std::string> row;
        for (uint16_t f = 1; f <= count; ++f)
            row.push_back(FieldValue(cursor, f, fields[f - 1], record.data()));
        result.rows.push_back(std::move(row));
    }
    KdbCloseTable(cursor);
    KdbCloseSQLStatement(statement);
    return result;
}

class DictionaryRoad : public Road {
public:
    explicit DictionaryRoad(const std::string& folder) {
        uint32_t admin = CreateDictionary(folder + "/cases.kdd");
        KdbDisconnect(admin);
        connection_ = ConnectUser(folder + "/cases.kdd");
    }
    ~DictionaryRoad() override { KdbDisconnect(connection_); }
    std::string Name() const override { return "dictionary"; }
    Result Run(const std::string& sql, const std::vector<std::string>& params) override {
        return RunOn(connection_, sql, params);
    }

private:
    uint32_t connection_ = 0;
};

// A folder of Visual FoxPro tables in a database container, which holds the long column names.
// CREATE TABLE is run on a dictionary of the same tables (so it is checked and fails alike) and
// then made as an empty table file; DROP TABLE removes the file. Everything else goes to the
// folder connection. Its cursors are filled as the command line's are, on the engine's second
// thread while they are read (the dictionary road fills them before the query returns).
class FolderRoad : public Road {
public:
    explicit FolderRoad(const std::string& folder)
        : folder_(folder + "/tables"), schema_(folder + "/schema") {
        std::filesystem::create_directories(folder_);
        std::filesystem::create_directories(schema_.Path());
        connection_ = ConnectFolder(folder_);
        KdbFillCursorsInBackground(1);
    }
    ~FolderRoad() override {
        KdbDisconnect(connection_);
        KdbFillCursorsInBackground(0);
    }
    std::string Name() const override { return "folder"; }

    Result Run(const std::string& sql, const std::vector<std::string>& params) override {
        kce::sql::CompiledStatement compiled;
        try {
            compiled =
                kce::sql::Compile(kce::FromUtf8(sql), schema_.Catalogue(), kce::sql::Settings{});
        } catch (const kce::sql::SqlError&) {
            return RunOn(connection_, sql, params);  // the folder connection reports it
        }
        if (compiled.kind == kce::sql::StatementKind::CreateTable) {
            Result result = schema_.Run(sql);
            if (!result.failed) MakeTable(compiled.created, result);
            return result;
        }
        if (compiled.kind == kce::sql::StatementKind::DropTable) {
            Result result = schema_.Run(sql);
            if (!result.failed) DropTable(compiled.targetTable);
            return result;
        }
        return RunOn(connection_, sql, params);
    }

private:
    // The CREATE TABLE statements so far, compiled against each other.
    class Schema : public kce::sql::Catalogue {
    public:
        explicit Schema(const std::string& path) : path_(path) {}
        void Open() {
            if (connection_ != 0) return;
            uint32_t admin = CreateDictionary(path_ + "/schema.kdd");
            KdbDisconnect(admin);
            connection_ = ConnectUser(path_ + "/schema.kdd");
        }
        ~Schema() override {
            if (connection_ != 0) KdbDisconnect(connection_);
        }
        const std::string& Path() const { return path_; }
        const kce::sql::Catalogue& Catalogue() const { return *this; }
        const kce::sql::Table* FindTable(std::string_view name) const override {
            for (const kce::sql::Table& table : tables_) {
                if (Upper(table.name) == Upper(name)) return &table;
            }
            return nullptr;
        }
        Result Run(const std::string& sql) {
            Open();
            return RunOn(connection_, sql, {});
        }
        std::vector<kce::sql::Table> tables_;

    private:
        static std::string Upper(std::string_view text) {
            std::string out(text);
            for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return out;
        }
        std::string path_;
        uint32_t connection_ = 0;
    };

    void MakeTable(const kce::sql::Table& table, Result& result) {
        std::vector<kce::dbf::ColumnLayout> columns;
        std::vector<std::string> longNames;
        for (const kce::sql::Column& column : table.columns) longNames.push_back(column.name);
        const std::vector<std::string> shortNames = kce::ShortColumnNames(longNames);
        for (size_t i = 0; i < table.columns.size(); ++i) {
            const kce::sql::Column& column = table.columns[i];
            kce::dbf::ColumnLayout field;
            field.name = shortNames[i];
            field.length = column.length;
            field.decimals = column.decimals;
            field.nullable = !column.notNull;
            switch (column.type) {
                case kce::sql::kLogical:
                    field.dbfType = 'L';
                    break;
                case kce::sql::kNumeric:
                    field.dbfType = 'N';
                    break;
                case kce::sql::kDate:
                    field.dbfType = 'D';
                    break;
                case kce::sql::kChar:
                    field.dbfType = 'C';
                    break;
                case kce::sql::kMemo:
                    field.dbfType = 'M';
                    break;
                case kce::sql::kImage:
                    field.dbfType = 'G';
                    break;
                case kce::sql::kDouble:
                    field.dbfType = 'B';
                    break;
                case kce::sql::kInteger:
                    field.dbfType = 'I';
                    break;
                case kce::sql::kAutoInc:
                    field.dbfType = 'I';
                    field.autoIncrement = true;
                    field.nullable = false;
                    break;
                case kce::sql::kTimestamp:
                    field.dbfType = 'T';
                    break;
                case kce::sql::kMoney:
                    field.dbfType = 'Y';
                    break;
                case kce::sql::kVarChar:
                    field.dbfType = 'V';
                    break;
                case kce::sql::kVarBinary:
                    field.dbfType = 'Q';
                    break;
                default:
                    result.failed = true;
                    result.message = "the folder road has no dBase column for " + column.name +
                                     " of type " + kce::sql::test::TypeName(column.type) +
                                     " (give the case its roads)";
                    return;
            }
            columns.push_back(field);
        }
        kce::dbf::TableLayout layout;
        layout.variant = kce::dbf::Variant::VisualFoxPro;
        layout.columns = columns;
        kce::dbf::CreateTable(FileOf(table.name), layout, {});
        schema_.tables_.push_back(table);
        WriteContainer();
    }

    void DropTable(const std::string& name) {
        for (auto it = schema_.tables_.begin(); it != schema_.tables_.end(); ++it) {
            if (schema_.FindTable(name) == &*it) {
                std::filesystem::remove(FileOf(it->name));
                std::filesystem::remove(folder_ + "/" + it->name + ".fpt");
                schema_.tables_.erase(it);
                break;
            }
        }
        WriteContainer();
    }

    void WriteContainer() {
        const std::string container = folder_ + "/cases.dbc";
        std::filesystem::remove(container);
        std::vector<kce::ContainerTable> tables;
        for (const kce::sql::Table& table : schema_.tables_) {
            kce::ContainerTable entry{FileOf(table.name), table.name, {}};
            for (const kce::sql::Column& column : table.columns)
                entry.longNames.push_back(column.name);
            tables.push_back(std::move(entry));
        }
        if (!tables.empty()) kce::WriteContainer(container, tables);
    }

    std::string FileOf(const std::string& table) const { return folder_ + "/" + table + ".dbf"; }

    std::string folder_;
    Schema schema_;
    uint32_t connection_ = 0;
};

std::string CaseFolder() {
    return KCE_SQL_CASE_DIR;
}

struct RoadCase {
    std::string road;
    std::string file;
};

void PrintTo(const RoadCase& c, std::ostream* out) {
    *out << c.file << " on the " << c.road << " road";
}

std::vector<RoadCase> RoadCases() {
    std::vector<RoadCase> cases;
    for (const std::string& file : kce::sql::test::CaseFileNames(CaseFolder())) {
        cases.push_back({"dictionary", file});
        cases.push_back({"folder", file});
    }
    return cases;
}

class SqlCaseRoad : public testing::TestWithParam<RoadCase> {};

TEST_P(SqlCaseRoad, AllCasesPass) {
    TempDir dir;
    std::unique_ptr<Road> road;
    if (GetParam().road == "dictionary") {
        road = std::make_unique<DictionaryRoad>(dir.Path());
    } else {
        road = std::make_unique<FolderRoad>(dir.Path());
    }
    for (const std::string& failure :
         kce::sql::test::RunCaseFile(CaseFolder() + "/" + GetParam().file, *road)) {
        ADD_FAILURE() << failure;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SqlCaseRoad, testing::ValuesIn(RoadCases()),
                         [](const testing::TestParamInfo<RoadCase>& info) {
                             std::string name =
                                 info.param.road + "_" +
                                 info.param.file.substr(0, info.param.file.find('.'));
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace kcetest
