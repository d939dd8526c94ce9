#include "engine/kdbtable.h"

#include <algorithm>

#include "common/SqlParameters.h"
#include "data/TextCase.h"
#include "engine/kdbcnnct.h"
#include "kce/kce.h"

namespace parvell {
namespace {

constexpr const char* kOpenDataSetMessage = "Cannot perform this operation on an open dataset";

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

// The value a master field gives a parameter of the same name.
void TakeMasterValue(TParam& param, const TField& field) {
    if (field.ValueIsNull()) return;
    switch (field.DataType()) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
            param.SetAsInteger(field.ValueAsInteger());
            break;
        case ftFloat:
            param.SetAsFloat(field.ValueAsFloat());
            break;
        case ftCurrency:
        case ftBCD:
            param.SetAsCurrency(field.ValueAsFloat());
            break;
        case ftBoolean:
            param.SetAsBoolean(field.ValueAsBoolean());
            break;
        case ftDate:
            param.SetAsDate(field.ValueAsDateTime());
            break;
        case ftTime:
            param.SetAsTime(field.ValueAsDateTime());
            break;
        case ftDateTime:
            param.SetAsDateTime(field.ValueAsDateTime());
            break;
        case ftBytes:
        case ftVarBytes:
        case ftBlob:
        case ftGraphic:
            param.SetAsBytes(field.ValueAsByteArray());
            break;
        default:
            param.SetAsString(field.ValueAsText());
            break;
    }
}

}  // namespace

void TKdbSQLStrings::Add(std::string line) {
    lines_.push_back(std::move(line));
    Changed();
}

void TKdbSQLStrings::Clear() {
    lines_.clear();
    Changed();
}

void TKdbSQLStrings::SetText(std::string_view text) {
    lines_ = SplitLines(text);
    Changed();
}

std::string TKdbSQLStrings::Text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TKdbSQLStrings::EndUpdate() {
    if (updates_ > 0 && --updates_ == 0 && changedInUpdate_) {
        changedInUpdate_ = false;
        if (OnChange) OnChange();
    }
}

void TKdbSQLStrings::Changed() {
    if (updates_ > 0) {
        changedInUpdate_ = true;
        return;
    }
    if (OnChange) OnChange();
}

TKdbQuery::TKdbQuery(TComponent* owner, std::string name)
    : TKdbExtendedDataSet(owner, std::move(name)) {
    sql_.OnChange = [this] { SQLChanged(); };
}

TKdbQuery::~TKdbQuery() {
    try {
        DestroyingClose();
    } catch (...) {
        // The cursor is released either way; nothing may leave a destructor.
    }
    const bool reachable =
        ownConnection_ != kNoHandle || (KdbConnection() && KdbConnection()->IsConnected());
    if (statement_ != kNoHandle && reachable) KdbCloseSQLStatement(statement_);  // 5106 ignored
}

void TKdbQuery::SetSQL(std::string_view text) {
    const std::vector<std::string> lines = SplitLines(text);
    std::string joined;
    for (const std::string& line : lines) joined += line + "\r\n";
    if (joined == sql_.Text()) return;
    SetActive(false);
    prepared_ = false;
    sql_.BeginUpdate();
    sql_.SetText(text);
    sql_.EndUpdate();
}

void TKdbQuery::SQLChanged() {
    const std::string text = sql_.Text();
    std::string names(text.size() + 16, '\0');
    uint32_t length = static_cast<uint32_t>(names.size());
    uint32_t result = KdbGetSQLStmtParams(text.c_str(), names.data(), &length);
    if (result == KDB_ERR_BUFFER_TOO_SMALL) {
        names.assign(static_cast<size_t>(length) + 1, '\0');
        length = static_cast<uint32_t>(names.size());
        result = KdbGetSQLStmtParams(text.c_str(), names.data(), &length);
    }
    CheckEngineResult(this, result);
    SetActive(false);
    prepared_ = false;
    if (!ParamCheck) return;
    TParams rebuilt;
    for (const std::string& name : SqlParameterNames(text)) {
        TParam& param = rebuilt.Add(name);
        if (name.empty()) continue;
        if (const TParam* old = params_.Find(name)) param.Assign(*old);
    }
    params_ = std::move(rebuilt);
}

void TKdbQuery::SetDataSource(TDataSet* master) {
    if (master == this) RaiseKdbDatabaseError(this, "Circular Data Link");
    dataSource_ = master;
}

void TKdbQuery::SetSQLTimeout(int64_t seconds) {
    if (seconds < 0 || seconds > UINT32_MAX) throw Exception("Range check error");
    sqlTimeout_ = static_cast<uint32_t>(seconds);
    if (statement_ != kNoHandle) CheckEngineResult(this, KdbSetSQLTimeout(statement_, sqlTimeout_));
}

void TKdbQuery::SetDatabaseName(const std::string& name) {
    CheckNotActive(kOpenDataSetMessage);
    const bool changed = !AnsiSameText(name, DatabaseName());
    SetKdbConnection(nullptr);
    TKdbExtendedDataSet::SetDatabaseName(name);
    if (changed && ownConnection_ != kNoHandle) {
        if (statement_ != kNoHandle) KdbCloseSQLStatement(statement_);
        statement_ = kNoHandle;
        ownConnection_ = kNoHandle;
    }
}

void TKdbQuery::SetSourceTableType(TKdbTableTypes type) {
    if (type == TKdbTableTypes::ttKdbNTX &&
        !(KdbConnection() && KdbConnection()->IsDictionaryConnection())) {
        RaiseKdbDatabaseError(this, "The TKdbQuery component does not support the NTX table type");
    }
    TKdbExtendedDataSet::SetSourceTableType(type);
}

void TKdbQuery::Prepare() {
    if (CursorIsOpen()) RaiseKdbDatabaseError(this, kOpenDataSetMessage);
    prepared_ = true;
    rowsAffected_ = -1;
}

void TKdbQuery::Unprepare() {
    if (CursorIsOpen()) RaiseKdbDatabaseError(this, kOpenDataSetMessage);
    prepared_ = false;
}

void TKdbQuery::CloseStatement() {
    if (CursorIsOpen()) RaiseKdbDatabaseError(this, kOpenDataSetMessage);
    if (statement_ != kNoHandle) {
        const uint32_t result = KdbCloseSQLStatement(statement_);
        if (result != KDB_ERR_INVALID_HANDLE) CheckEngineResult(this, result);
    }
    statement_ = kNoHandle;
    ownConnection_ = kNoHandle;
}

uint32_t TKdbQuery::LastAutoIncValue() {
    uint32_t value = 0;
    CheckEngineResult(this,
                      KdbGetLastAutoinc(CursorIsOpen() ? CursorHandle() : statement_, &value));
    return value;
}

void TKdbQuery::ConnectionClosed() {
    prepared_ = false;
    statement_ = kNoHandle;
    ownConnection_ = kNoHandle;
}

void TKdbQuery::EnsureStatement() {
    if (statement_ != kNoHandle) {
        uint16_t type = 0;
        if (KdbGetHandleType(statement_, &type) == 0 && type == KDB_HANDLE_STATEMENT) return;
    }
    statement_ = kNoHandle;
    if (DatabaseName().empty() && !KdbConnection()) {
        RaiseKdbDatabaseError(this, "The DatabaseName property has not been assigned a value.");
    }
    uint32_t connection = kNoHandle;
    if (KdbConnection()) {
        connection = ConnectionHandleForOpen();
    } else {
        if (ownConnection_ == kNoHandle) ownConnection_ = ConnectionHandleForOpen();
        connection = ownConnection_;
    }
    if (connection == 0 || connection == kNoHandle) {
        RaiseKdbDatabaseError(this, "Internal Error: invalid connection handle.");
    }
    uint32_t statement = 0;
    CheckEngineResult(this, KdbCreateSQLStatement(connection, &statement));
    statement_ = statement;
    if (sqlTimeout_ != 0) CheckEngineResult(this, KdbSetSQLTimeout(statement_, sqlTimeout_));
}

uint32_t TKdbQuery::ExecuteStatement() {
    if (Active()) RaiseKdbDatabaseError(this, kOpenDataSetMessage);
    EnsureStatement();
    const TKdbTableOptions& options = KdbTableOptions();
    CheckEngineResult(
        this, KdbStmtSetTableLockType(statement_,
                                      options.KdbLockType() == TKdbLockType::Proprietary ? 1 : 0));
    std::string collation = options.KdbCollation;
    if (collation.empty() && KdbConnection()) collation = KdbConnection()->KdbCollation;
    if (collation.empty()) collation = KdbCharTypeName(options.KdbCharType());
    CheckEngineResult(this, KdbStmtSetTableCollation(statement_, collation.c_str()));
    CheckEngineResult(this, KdbStmtSetTableRights(statement_, options.KdbRightsCheck() ? 1 : 2));
    CheckEngineResult(this, KdbStmtSetTableReadOnly(statement_, RequestLive ? 2 : 1));
    if (KdbConnection() && KdbConnection()->ReadOnly) {
        CheckEngineResult(this, KdbStmtSetTableReadOnly(statement_, 1));
    }
    uint16_t tableType = 1;
    switch (SourceTableType()) {
        case TKdbTableTypes::ttKdbKDT:
            tableType = 3;
            break;
        case TKdbTableTypes::ttKdbCDX:
            tableType = 2;
            break;
        case TKdbTableTypes::ttKdbVFP:
            tableType = 4;
            break;
        default:
            tableType = 1;
            break;
    }
    CheckEngineResult(this, KdbStmtSetTableType(statement_, tableType));
    CheckEngineResult(this, KdbStmtConstrainUpdates(statement_, Constrained ? 1 : 2));
    CheckEngineResult(this, KdbStmtReadAllColumns(statement_, ReadAllColumns ? 1 : 2));

    Prepare();
    CheckEngineResult(this, KdbPrepareSQL(statement_, sql_.Text().c_str()));

    const TParams* bound = &params_;
    TParams withMaster;
    if (dataSource_) {
        withMaster = params_;
        for (int i = 0; i < withMaster.Count(); ++i) {
            TParam& param = withMaster.At(i);
            if (param.HasValue() || param.Name().empty()) continue;
            if (const TField* field =
                    dataSource_->Active() ? dataSource_->TryFieldNamed(param.Name()) : nullptr) {
                TakeMasterValue(param, *field);
            }
        }
        bound = &withMaster;
    }
    BindParams(statement_, *bound, this);

    uint32_t cursor = 0;
    try {
        CheckEngineResult(this, KdbExecuteSQL(statement_, &cursor));
    } catch (const EKDBDatabaseError& error) {
        if (error.Message().find("7209") != std::string::npos) {
            try {
                CloseStatement();
            } catch (...) {
                // The execution's error is the one to report.
            }
        }
        throw;
    }
    try {
        if (cursor != 0) {
            uint16_t live = 0;
            CheckEngineResult(this, KdbSqlPeekStatement(cursor, &live));
            SetReadOnly(live == 0);
            SetCursorCharType(1);
            if (live) {
                uint16_t charType = 1;
                CheckEngineResult(this, KdbGetTableCharType(cursor, &charType));
                SetCursorCharType(charType);
                char name[101] = {};
                uint16_t length = 100;
                const uint32_t result = KdbGetTableCollation(cursor, name, &length);
                if (result != 0 && result != KDB_ERR_PROPERTY_NOT_AVAILABLE)
                    CheckEngineResult(this, result);
                if (result == KDB_ERR_PROPERTY_NOT_AVAILABLE || length == 0) {
                    if (charType == 1) KdbTableOptions().SetCharTypeFromCursor(kKdbCharANSI);
                    if (charType == 2) KdbTableOptions().SetCharTypeFromCursor(kKdbCharOEM);
                }
            }
        }
        uint32_t count = 0;
        const uint32_t result = KdbGetRecordCount(statement_, 2, &count);
        if (result == KDB_ERR_NOT_AN_UPDATE) {
            rowsAffected_ = -1;
        } else {
            CheckEngineResult(this, result);
            rowsAffected_ = static_cast<int32_t>(count);
        }
    } catch (...) {
        if (cursor != 0) KdbCloseTable(cursor);
        throw;
    }
    return cursor == 0 ? kNoHandle : cursor;
}

void TKdbQuery::ExecSQL() {
    const uint32_t cursor = ExecuteStatement();
    if (cursor != kNoHandle) CheckEngineResult(this, KdbCloseTable(cursor));
}

uint32_t TKdbQuery::OpenEngineCursor() {
    const uint32_t cursor = ExecuteStatement();
    if (cursor == kNoHandle) {
        RaiseKdbDatabaseError(this,
                              "The SQL statement did not generate a cursor handle.  Use "
                              "TKdbQuery.ExecSQL to execute SQL statements that are not "
                              "SELECT statements");
    }
    try {
        uint16_t type = 3;
        CheckEngineResult(this, KdbGetTableType(cursor, &type));
        SetEngineTableType(type);
        const std::string path = DataPath();
        for (const std::string& file : IndexFiles) {
            uint32_t indexes[256] = {};
            uint16_t count = 256;
            CheckEngineResult(this,
                              KdbOpenIndex(cursor, (path + "\\" + file).c_str(), indexes, &count));
        }
    } catch (...) {
        KdbCloseTable(cursor);
        throw;
    }
    return cursor;
}

int32_t TKdbQuery::CurrentRecordNumber() {
    uint32_t index = 0;
    if (!IndexName.empty() || !IndexFieldNames.empty()) {
        return TKdbExtendedDataSet::CurrentRecordNumber();
    }
    CheckEngineResult(this, KdbGetIndexHandle(CursorHandle(), nullptr, &index));
    uint32_t record = 0;
    if (!Sequenced || index == 0) {
        CheckEngineResult(this, KdbGetRecordNum(CursorHandle(), 2, &record));
        return static_cast<int32_t>(record);
    }
    if (SequencedLevel == TKdbSequencedLevel::slExact) {
        CheckEngineResult(this, KdbGetKeyNum(index, 1, &record));
        return static_cast<int32_t>(record);
    }
    uint32_t count = 0;
    CheckEngineResult(this, KdbGetRecordCount(CursorHandle(), 2, &count));
    double position = 0;
    const uint32_t result = KdbGetRelKeyPos(index, &position);
    if (result != KDB_ERR_NO_INDEX) CheckEngineResult(this, result);
    return static_cast<int32_t>(count * (result == KDB_ERR_NO_INDEX ? 0.0 : position));
}

void TKdbQuery::CursorClose() {
    TKdbExtendedDataSet::CursorClose();
    prepared_ = false;
}

}  // namespace parvell
