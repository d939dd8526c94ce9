// TKdbConnection: the operations beyond connecting (transactions, table lists, statements run on
// the connection, application id, server time).
#include <algorithm>
#include <functional>

#include "data/TextCase.h"
#include "data/TextToValue.h"
#include "data/ValueConvert.h"
#include "engine/kdbcnnct.h"
#include "engine/kdbdata.h"
#include "kce/kce.h"

namespace parvell {
namespace {

// A direct engine call of the connection: failures become KdbError with the engine's text.
void Check(uint32_t result) {
    if (result != 0) throw ConnectionKdbError();
}

std::vector<std::string> Split(std::string_view text, std::string_view separators) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find_first_of(separators, start);
        const std::string part(text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (!part.empty()) parts.push_back(part);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

size_t HashText(std::string_view sql) {
    return std::hash<std::string>{}(AnsiUpperCase(sql));
}

}  // namespace

std::string TKdbConnection::ConnectionType() const {
    if (!connected_) return {};
    uint16_t type = 0;
    Check(KdbGetConnectionType(handle_, &type));
    switch (type) {
        case 1:
            return "Local";
        case 2:
            return "Remote";
        case 4:
            return "Internet";
        default:
            return {};
    }
}

bool TKdbConnection::IsAlive() const {
    if (!connected_) return false;
    uint16_t alive = 0;
    Check(KdbIsConnectionAlive(handle_, &alive));
    return alive != 0;
}

bool TKdbConnection::InTransaction() const {
    CheckConnected();
    uint16_t inTransaction = 0;
    Check(KdbInTransaction(handle_, &inTransaction));
    return inTransaction == 1;
}

uint32_t TKdbConnection::TransactionCount() const {
    CheckConnected();
    uint32_t count = 0;
    Check(KdbGetTransactionCount(handle_, &count));
    return count;
}

void TKdbConnection::BeginTransaction() {
    CheckConnected();
    Check(KdbBeginTransaction(handle_));
}

void TKdbConnection::Commit() {
    CheckConnected();
    Fire(BeforeCommit);
    CloseCachedStatements();
    Check(KdbCommitTransaction(handle_));
    Fire(AfterCommit);
}

void TKdbConnection::Rollback() {
    CheckConnected();
    Fire(BeforeRollback);
    CloseCachedStatements();
    // Datasets here are read-only: there are no pending edits to cancel and the static cursors
    // keep their rows, so nothing needs refreshing.
    Check(KdbRollbackTransaction(handle_));
    Fire(AfterRollback);
}

void TKdbConnection::RollbackToSavepoint(const std::string& name) {
    CheckConnected();
    if (name.empty()) {
        Rollback();
        return;
    }
    Check(KdbRollbackTransaction80(handle_, name.c_str(), 0));
}

void TKdbConnection::CreateSavepoint(const std::string& name) {
    CheckConnected();
    Check(KdbCreateSavepoint(handle_, name.c_str(), 0));
}

std::string TKdbConnection::TableSearchText(const std::string& mask) const {
    if (isDictionary_) return {};
    std::string search = DataPath();
    while (!search.empty() && (search.back() == '/' || search.back() == '\\')) search.pop_back();
    search += '\\';
    if (aliasName_.empty() || aliasTableType_ == TKdbAliasTableType::None) {
        search += mask;
    } else {
        search += aliasTableType_ == TKdbAliasTableType::KDT ? "*.kdt" : "*.dbf";
    }
    return search;
}

void TKdbConnection::GetTableNames(std::vector<std::string>& names, const std::string& mask) {
    CheckConnected();
    const std::string search = TableSearchText(mask);
    char name[261] = {};
    uint16_t length = 260;
    uint32_t searchHandle = 0;
    uint32_t result = KdbFindFirstTable(handle_, search.c_str(), name, &length, &searchHandle);
    if (result == KDB_ERR_NO_MORE_TABLES) return;
    Check(result);
    while (result == 0) {
        names.emplace_back(name, std::min<uint16_t>(length, 260));
        length = 260;
        result = KdbFindNextTable(searchHandle, name, &length);
    }
    KdbFindClose(handle_, searchHandle);
    if (result != KDB_ERR_NO_MORE_TABLES) Check(result);
}

void TKdbConnection::GetTableNames(std::vector<std::string>& names,
                                   std::vector<std::string>& paths) {
    CheckConnected();
    const std::string search = TableSearchText("*.*");
    char name[261] = {};
    char path[261] = {};
    uint16_t nameLength = 260;
    uint16_t pathLength = 260;
    uint32_t searchHandle = 0;
    uint32_t result = KdbFindFirstTable62(handle_, search.c_str(), name, &nameLength, path,
                                          &pathLength, &searchHandle);
    if (result == KDB_ERR_NO_MORE_TABLES) return;
    Check(result);
    while (result == 0) {
        names.emplace_back(name, std::min<uint16_t>(nameLength, 260));
        paths.emplace_back(path, std::min<uint16_t>(pathLength, 260));
        nameLength = pathLength = 260;
        result = KdbFindNextTable62(searchHandle, name, &nameLength, path, &pathLength);
    }
    KdbFindClose(handle_, searchHandle);
    if (result != KDB_ERR_NO_MORE_TABLES) Check(result);
}

void TKdbConnection::GetDictionaryTableNames(std::vector<std::string>& names) {
    if (!connected_) SetIsConnected(true);
    if (!isDictionary_) return;
    char name[201] = {};
    uint16_t length = 200;
    uint32_t search = 0;
    uint32_t result =
        KdbDDFindFirstObject(handle_, KDB_DD_TABLE_OBJECT, nullptr, name, &length, &search);
    if (result == KDB_ERR_NO_MORE_OBJECTS) return;
    Check(result);
    while (result == 0) {
        names.emplace_back(name, std::min<uint16_t>(length, 200));
        length = 200;
        result = KdbDDFindNextObject(handle_, search, name, &length);
    }
    KdbDDFindClose(handle_, search);
    if (result != KDB_ERR_NO_MORE_OBJECTS) Check(result);
}

const std::vector<std::string>& TKdbConnection::UserGroups() {
    if (groupsRead_) return groups_;
    groups_.clear();
    if (!connected_ || !isDictionary_) return groups_;
    uint16_t length = 0;
    uint32_t result =
        KdbDDGetUserProperty(handle_, Username.c_str(), KDB_DD_USER_GROUPS, nullptr, &length);
    if (result != 0 && result != KDB_ERR_BUFFER_TOO_SMALL && result != KDB_ERR_PROPERTY_EMPTY)
        Check(result);
    if (length > 0) {
        std::string text(static_cast<size_t>(length) + 1, '\0');
        uint16_t size = static_cast<uint16_t>(text.size());
        Check(KdbDDGetUserProperty(handle_, Username.c_str(), KDB_DD_USER_GROUPS, text.data(),
                                   &size));
        text.resize(std::min<size_t>(size, text.size()));
        groups_ = Split(text, ";,\r\n");
    }
    groupsRead_ = true;
    return groups_;
}

int32_t TKdbConnection::Execute(const std::string& sql, const TParams* params, uint32_t* cursor,
                                bool keepPrepared) {
    if (!connected_) SetIsConnected(true);
    const size_t hash = HashText(sql);
    auto cached = std::find_if(
        statementCache_.begin(), statementCache_.end(),
        [&](const CachedStatement& s) { return s.Hash == hash && AnsiSameText(s.Sql, sql); });
    uint32_t statement = 0;
    const bool fromCache = cached != statementCache_.end();
    if (fromCache) {
        statement = cached->Handle;
    } else {
        CheckEngineResult(nullptr, KdbCreateSQLStatement(handle_, &statement));
        try {
            if (!KdbCollation.empty()) {
                CheckEngineResult(nullptr,
                                  KdbStmtSetTableCollation(statement, KdbCollation.c_str()));
            }
            CheckEngineResult(nullptr, KdbPrepareSQL(statement, sql.c_str()));
        } catch (...) {
            KdbCloseSQLStatement(statement);
            throw;
        }
    }
    auto release = [&] {
        if (keepPrepared) {
            if (!fromCache) statementCache_.push_back({hash, sql, statement});
            return;
        }
        if (fromCache) {
            statementCache_.erase(
                std::find_if(statementCache_.begin(), statementCache_.end(),
                             [&](const CachedStatement& s) { return s.Handle == statement; }));
        }
        KdbCloseSQLStatement(statement);
    };
    int32_t rows = 0;
    try {
        uint32_t produced = 0;
        if (params && params->Count() > 0) {
            BindParams(statement, *params, nullptr);
            CheckEngineResult(nullptr, KdbExecuteSQL(statement, &produced));
        } else {
            CheckEngineResult(nullptr, KdbExecuteSQLDirect(statement, sql.c_str(), &produced));
        }
        if (cursor) {
            *cursor = produced;
        } else {
            if (produced != 0) KdbCloseTable(produced);
            uint32_t count = 0;
            const uint32_t result = KdbGetRecordCount(statement, 2, &count);
            if (result != KDB_ERR_NOT_AN_UPDATE) CheckEngineResult(nullptr, result);
            rows = result == 0 ? static_cast<int32_t>(count) : 0;
        }
    } catch (...) {
        release();
        throw;
    }
    release();
    return rows;
}

void TKdbConnection::SendApplicationID() {
    TParams params;
    params.Add("FAppID").SetAsString(applicationId_);
    Execute("execute procedure sp_setapplicationid(:FAppID)", &params);
}

void TKdbConnection::SetApplicationID(const std::string& id) {
    if (id == applicationId_) return;
    applicationId_ = id;
    if (connected_) SendApplicationID();
}

std::string TKdbConnection::ApplicationID() {
    if (!connected_) return applicationId_;
    uint32_t cursor = 0;
    Execute("execute procedure sp_getapplicationid( )", nullptr, &cursor);
    if (cursor == 0) return {};
    std::string id;
    try {
        uint16_t count = 0;
        CheckEngineResult(nullptr, KdbGetNumFields(cursor, &count));
        for (uint16_t field = 1; field <= count; ++field) {
            char name[130] = {};
            uint16_t length = 129;
            CheckEngineResult(nullptr, KdbGetFieldName(cursor, field, name, &length));
            if (!AnsiSameText(name, "ApplicationID")) continue;
            char text[301] = {};
            uint32_t textLength = 300;
            CheckEngineResult(nullptr, KdbGetField(cursor, field, text, &textLength, 2));
            id.assign(text, std::min<uint32_t>(textLength, 300));
        }
    } catch (...) {
        KdbCloseTable(cursor);
        throw;
    }
    KdbCloseTable(cursor);
    return id;
}

TDateTime TKdbConnection::GetServerTime() {
    if (!connected_) SetIsConnected(true);
    char date[64] = {};
    uint16_t dateLength = 63;
    int32_t milliseconds = 0;
    Check(KdbGetServerTime(handle_, date, &dateLength, &milliseconds));
    double julian = 0;
    Check(KdbConvertDateToJulian(handle_, date, dateLength, &julian));
    char text[32] = {};
    uint16_t textLength = 31;
    Check(KdbConvertJulianToString(julian, text, &textLength));
    const std::string digits(text, std::min<uint16_t>(textLength, 31));
    if (digits.size() < 8) throw KdbError("The server's date could not be read.");
    TDateTime day = 0;
    if (!EncodeDate(std::stoi(digits.substr(0, 4)), std::stoi(digits.substr(4, 2)),
                    std::stoi(digits.substr(6, 2)), &day)) {
        throw KdbError("The server's date could not be read.");
    }
    return day + static_cast<double>(milliseconds) / static_cast<double>(kMSecsPerDay);
}

int TKdbConnection::ActiveLinkCount() const {
    uint16_t count = 0;
    Check(KdbGetNumActiveLinks(handle_, &count));
    return count;
}

std::vector<std::string> TKdbConnection::GetActiveLinkNames() const {
    std::vector<std::string> names;
    const int count = ActiveLinkCount();
    for (int link = 1; link <= count; ++link) {
        char info[665] = {};
        uint16_t length = 664;
        Check(KdbGetActiveLinkInfo(handle_, static_cast<uint16_t>(link), info, &length));
        for (std::string& part :
             Split(std::string_view(info, std::min<uint16_t>(length, 664)), ";")) {
            names.push_back(std::move(part));
        }
    }
    return names;
}

void TKdbConnection::CloseCachedTables() {
    if (connected_) Check(KdbCloseCachedTables(handle_));
}

void TKdbConnection::CloseCachedStatements() {
    for (const CachedStatement& statement : statementCache_) KdbCloseSQLStatement(statement.Handle);
    statementCache_.clear();
}

}  // namespace parvell
