// The C interface: statements, their options and parameter values.
#include "kce/kce.h"

#include <sqlite3.h>

#include <cmath>
#include <cstring>

#include "common/SqlParameters.h"
#include "kce/Api.h"
#include "kce/Cp1252.h"
#include "kce/DateTime.h"
#include "kce/Execute.h"
#include "kce/Objects.h"

using namespace kce;

namespace {

ParamValue& ParamAt(Statement& st, uint16_t param) {
    if (!st.compiled) Fail(KDB_ERR_NO_SQL);
    if (param < 1 || param > st.params.size()) {
        Fail(KDB_ERR_PARAMETER_NUMBER, "Parameter " + std::to_string(param) +
                                           " does not exist; the statement has " +
                                           std::to_string(st.params.size()) + ".");
    }
    return st.params[param - 1u];
}

template <typename Assign>
uint32_t SetParam(uint32_t statement, uint16_t param, Assign&& assign) {
    return Guard([&] {
        auto st = GetStatement(statement);
        ParamValue value;
        assign(value);
        ParamAt(*st, param) = std::move(value);
    });
}

void CheckJulian(int32_t julian) {
    if (julian < parvell::kJulianOfFirstDay || julian > parvell::kJulianOfLastDay)
        Fail(KDB_ERR_INVALID_ARGUMENT, "The julian day is outside years 1 to 9999.");
}

void CheckMilliseconds(int32_t ms) {
    if (ms < 0 || ms >= kMillisecondsPerDay)
        Fail(KDB_ERR_INVALID_ARGUMENT, "Milliseconds must lie within one day.");
}

uint32_t SetOption(uint32_t statement, int slot, uint16_t value, uint16_t low, uint16_t high) {
    return Guard([&] {
        auto st = GetStatement(statement);
        if (value < low || value > high) {
            Fail(KDB_ERR_INVALID_ARGUMENT,
                 "Option value " + std::to_string(value) + " is out of range.");
        }
        st->options[slot] = value;
    });
}

// The names of the parameters of SQL text, by position, joined with ";" (a "?" has no name).
std::string ParameterNames(std::string_view sql) {
    std::string list;
    const std::vector<std::string> names = parvell::SqlParameterNames(sql);
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) list += ';';
        list += names[i];
    }
    return list;
}

}  // namespace

extern "C" {

uint32_t KdbCreateSQLStatement(uint32_t connection, uint32_t* statement) {
    return Guard([&] {
        Need(statement, "statement");
        *statement = 0;
        auto st = std::make_shared<Statement>();
        st->connection = GetConnection(connection);
        st->connectionHandle = connection;
        *statement = AddStatement(std::move(st));
    });
}

uint32_t KdbPrepareSQL(uint32_t statement, const char* sql) {
    return Guard([&] { PrepareStatement(*GetStatement(statement), TextArg(Need(sql, "sql"))); });
}

uint32_t KdbExecuteSQL(uint32_t statement, uint32_t* cursor) {
    return Guard([&] {
        Need(cursor, "cursor");
        *cursor = 0;
        *cursor = ExecuteStatement(GetStatement(statement));
    });
}

uint32_t KdbExecuteSQLDirect(uint32_t statement, const char* sql, uint32_t* cursor) {
    return Guard([&] {
        Need(cursor, "cursor");
        *cursor = 0;
        auto st = GetStatement(statement);
        PrepareStatement(*st, TextArg(Need(sql, "sql")));
        *cursor = ExecuteStatement(st);
    });
}

uint32_t KdbCloseSQLStatement(uint32_t statement) {
    return Guard([&] {
        if (!RemoveStatement(statement)) {
            Fail(KDB_ERR_INVALID_HANDLE,
                 "Handle " + std::to_string(statement) + " is no open statement.");
        }
    });
}

uint32_t KdbGetHandleType(uint32_t handle, uint16_t* type) {
    return Guard([&] {
        Need(type, "type");
        uint16_t found = HandleType(handle);
        if (found == 0)
            Fail(KDB_ERR_INVALID_HANDLE, "Handle " + std::to_string(handle) + " names nothing.");
        *type = found;
    });
}

uint32_t KdbSqlPeekStatement(uint32_t cursor, uint16_t* isLive) {
    return Guard([&] {
        GetCursor(cursor);
        *Need(isLive, "isLive") = 0;
    });
}

uint32_t KdbGetSQLStmtParams(const char* sql, char* buf, uint32_t* len) {
    return Guard(
        [&] { PutText(ParameterNames(TextArg(Need(sql, "sql"))), buf, Need(len, "len")); });
}

uint32_t KdbStmtSetTableLockType(uint32_t statement, uint16_t lockType) {
    return SetOption(statement, 0, lockType, 0, 1);
}
uint32_t KdbStmtSetTableRights(uint32_t statement, uint16_t rights) {
    return SetOption(statement, 1, rights, 1, 2);
}
uint32_t KdbStmtSetTableReadOnly(uint32_t statement, uint16_t readOnly) {
    return SetOption(statement, 2, readOnly, 1, 2);
}
uint32_t KdbStmtSetTableType(uint32_t statement, uint16_t tableType) {
    return SetOption(statement, 3, tableType, 1, 4);
}
uint32_t KdbStmtConstrainUpdates(uint32_t statement, uint16_t constrain) {
    return SetOption(statement, 4, constrain, 1, 2);
}
uint32_t KdbStmtReadAllColumns(uint32_t statement, uint16_t readAll) {
    return SetOption(statement, 5, readAll, 1, 2);
}

uint32_t KdbStmtSetTableCollation(uint32_t statement, const char* collation) {
    return Guard([&] { GetStatement(statement)->collation = std::string(TextArg(collation)); });
}

uint32_t KdbSetEmpty(uint32_t statement, uint16_t param) {
    return Guard([&] {
        auto st = GetStatement(statement);
        // Binding nothing where the statement has no parameter leaves it as it is.
        if (st->compiled && param > st->params.size()) return;
        ParamAt(*st, param) = ParamValue();
    });
}

uint32_t KdbSetNull(uint32_t statement, uint16_t param) {
    return SetParam(statement, param, [](ParamValue&) {});
}

uint32_t KdbSetLogical(uint32_t statement, uint16_t param, uint16_t value) {
    return SetParam(statement, param, [&](ParamValue& v) {
        v.kind = ParamValue::Integer;
        v.integer = value != 0 ? 1 : 0;
    });
}

uint32_t KdbSetShort(uint32_t statement, uint16_t param, int16_t value) {
    return KdbSetLongLong(statement, param, value);
}
uint32_t KdbSetLong(uint32_t statement, uint16_t param, int32_t value) {
    return KdbSetLongLong(statement, param, value);
}

uint32_t KdbSetLongLong(uint32_t statement, uint16_t param, int64_t value) {
    return SetParam(statement, param, [&](ParamValue& v) {
        v.kind = ParamValue::Integer;
        v.integer = value;
    });
}

uint32_t KdbSetDouble(uint32_t statement, uint16_t param, double value) {
    return SetParam(statement, param, [&](ParamValue& v) {
        if (!std::isfinite(value))
            Fail(KDB_ERR_INVALID_ARGUMENT, "The value is not a finite number.");
        v.kind = ParamValue::Real;
        v.real = value;
    });
}

uint32_t KdbSetJulian(uint32_t statement, uint16_t param, int32_t julianDay) {
    return SetParam(statement, param, [&](ParamValue& v) {
        CheckJulian(julianDay);
        v.kind = ParamValue::Text;
        v.bytes = StoredDate(julianDay);
    });
}

uint32_t KdbSetMilliseconds(uint32_t statement, uint16_t param, int32_t milliseconds) {
    return SetParam(statement, param, [&](ParamValue& v) {
        CheckMilliseconds(milliseconds);
        v.kind = ParamValue::Text;
        v.bytes = StoredTime(milliseconds);
    });
}

uint32_t KdbSetTimeStampRaw(uint32_t statement, uint16_t param, const uint8_t* bytes,
                            uint32_t length) {
    return SetParam(statement, param, [&](ParamValue& v) {
        if (length != 8) Fail(KDB_ERR_INVALID_ARGUMENT, "A raw timestamp has 8 bytes.");
        int32_t day;
        int32_t ms;
        std::memcpy(&day, Need(bytes, "bytes"), 4);
        std::memcpy(&ms, bytes + 4, 4);
        CheckJulian(day);
        CheckMilliseconds(ms);
        v.kind = ParamValue::Text;
        v.bytes = StoredDate(day) + " " + StoredTime(ms);
    });
}

uint32_t KdbSetString(uint32_t statement, uint16_t param, const char* text, uint32_t length) {
    return SetParam(statement, param, [&](ParamValue& v) {
        v.kind = ParamValue::Text;
        v.bytes = ToUtf8(std::string_view(length == 0 ? "" : Need(text, "text"), length));
    });
}

uint32_t KdbSetBinary(uint32_t statement, uint16_t param, uint16_t binaryType, uint32_t totalLength,
                      uint32_t offset, const uint8_t* bytes, uint32_t length) {
    return SetParam(statement, param, [&](ParamValue& v) {
        if (binaryType != 6 && binaryType != 7)
            Fail(KDB_ERR_INVALID_ARGUMENT, "The binary type must be 6 or 7.");
        if (offset != 0 || length != totalLength)
            Fail(KDB_ERR_NOT_SUPPORTED, "Binary values must be set in one piece.");
        v.kind = ParamValue::Blob;
        if (length > 0) v.bytes.assign(reinterpret_cast<const char*>(Need(bytes, "bytes")), length);
    });
}

uint32_t KdbGetRecordCount(uint32_t handle, uint16_t option, uint32_t* count) {
    return Guard([&] {
        Need(count, "count");
        if (HandleType(handle) == KDB_HANDLE_STATEMENT) {
            auto st = GetStatement(handle);
            if (st->lastWasQuery) Fail(KDB_ERR_NOT_AN_UPDATE);
            *count = st->rowsAffected;
            return;
        }
        *count = GetCursor(handle)->Count();
    });
}

uint32_t KdbGetLastAutoinc(uint32_t handle, uint32_t* value) {
    return Guard([&] {
        Need(value, "value");
        uint32_t connection = HandleType(handle) == KDB_HANDLE_STATEMENT
                                  ? GetStatement(handle)->connectionHandle
                                  : GetCursor(handle)->connectionHandle;
        auto c = GetConnection(connection);
        *value = static_cast<uint32_t>(sqlite3_last_insert_rowid(c->database->Db()));
    });
}

}  // extern "C"
