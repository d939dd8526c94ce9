#include "kce/Error.h"

#include <cstring>
#include <limits>
#include <new>

#include "kce/kce.h"

namespace kce {
namespace {

struct LastError {
    uint32_t code = 0;
    std::string text;
};

thread_local LastError lastError;

}  // namespace

std::string_view GenericText(uint32_t code) {
    switch (code) {
        case 0:
            return "No error.";
        case KDB_ERR_INVALID_ARGUMENT:
            return "Invalid argument.";
        case KDB_ERR_OUT_OF_MEMORY:
            return "Out of memory or temporary storage.";
        case KDB_ERR_NOT_SUPPORTED:
            return "This engine does not support the operation.";
        case KDB_ERR_BUFFER_TOO_SMALL:
            return "The buffer is too small for the value.";
        case KDB_ERR_PATH_NOT_FOUND:
            return "The data path was not found.";
        case KDB_ERR_NOT_A_DICTIONARY:
            return "The file is not a valid data dictionary.";
        case KDB_ERR_NO_SERVER:
            return "No server of the requested type is available; this engine is local only.";
        case KDB_ERR_LOGIN_REFUSED:
            return "Login refused: unknown user name or wrong password.";
        case KDB_ERR_ALREADY_EXISTS:
            return "The object exists already.";
        case KDB_ERR_PERMISSION_DENIED:
            return "The connected user is not allowed to do this.";
        case KDB_ERR_FIELD_NUMBER:
            return "No such field.";
        case KDB_ERR_PARAMETER_NUMBER:
            return "No such parameter.";
        case KDB_ERR_RECORD_NOT_FOUND:
            return "Record not found.";
        case KDB_ERR_INVALID_CONNECTION:
            return "Invalid connection handle.";
        case KDB_ERR_PROPERTY_NOT_AVAILABLE:
            return "The property is not available.";
        case KDB_ERR_DATE_FORMAT:
            return "Invalid date format or date.";
        case KDB_ERR_NO_SQL:
            return "No SQL statement has been prepared.";
        case KDB_ERR_STORAGE:
            return "Storage error.";
        case KDB_ERR_TRANSACTION:
            return "Transaction error.";
        case KDB_ERR_TABLE_DAMAGED:
            return "The table file is damaged or not a table.";
        case KDB_ERR_TABLE_LOCKED:
            return "The table file is in use by another program.";
        case KDB_ERR_NO_FILTER:
            return "No filter is set.";
        case KDB_ERR_NO_SCOPE:
            return "No scope is set.";
        case KDB_ERR_NO_INDEX:
            return "No index.";
        case KDB_ERR_NO_MORE_TABLES:
            return "No more tables.";
        case KDB_ERR_NO_CURRENT_RECORD:
            return "No current record.";
        case KDB_ERR_INVALID_HANDLE:
            return "Invalid handle.";
        case KDB_ERR_NOT_AN_UPDATE:
            return "The statement was a query; it affected no rows.";
        case KDB_ERR_NO_MORE_OBJECTS:
            return "No more objects.";
        case KDB_ERR_PROPERTY_EMPTY:
            return "The property has no value.";
        case KDB_ERR_SQL:
            return "SQL error.";
        case KDB_ERR_INTERNAL:
            return "Internal engine error.";
        default:
            return "";
    }
}

void Fail(uint32_t code, std::string_view detail) {
    std::string text(GenericText(code));
    if (!detail.empty()) {
        if (!text.empty()) text += ' ';
        text += detail;
    }
    throw Error(code, std::move(text));
}

std::string SqlErrorText(int nativeError, size_t position, std::string_view message,
                         std::string_view sql) {
    std::string text = "Error 7200: NativeError = " + std::to_string(nativeError) + "; ";
    text += message;
    // Messages of the SQL front end name the position themselves.
    if (message.find(" line ") != std::string_view::npos) return text;
    size_t line = 1;
    size_t column = 1;
    for (size_t i = 0; i < position && i < sql.size(); ++i) {
        if (sql[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    text += " (at line " + std::to_string(line) + ", column " + std::to_string(column) + ").";
    return text;
}

void FailSql(int nativeError, std::string_view message) {
    std::string text = "Error 7200: NativeError = " + std::to_string(nativeError) + "; ";
    text += message;
    throw Error(KDB_ERR_SQL, std::move(text));
}

void SetLastError(uint32_t code, std::string text) {
    lastError.code = code;
    lastError.text = std::move(text);
}

uint32_t LastErrorCode() {
    return lastError.code;
}
const std::string& LastErrorText() {
    return lastError.text;
}

template <typename Len>
void PutText(std::string_view text, char* buf, Len* len) {
    if (len == nullptr) Fail(KDB_ERR_INVALID_ARGUMENT, "The length pointer is null.");
    size_t capacity = *len;
    if (text.size() > std::numeric_limits<Len>::max())
        Fail(KDB_ERR_INTERNAL, "Text too long for the interface.");
    if (buf == nullptr || text.size() + 1 > capacity) {
        *len = static_cast<Len>(text.size());
        if (text.empty() && buf == nullptr) return;
        if (text.empty() && capacity >= 1) {
            buf[0] = '\0';
            return;
        }
        throw Error(KDB_ERR_BUFFER_TOO_SMALL, std::string(GenericText(KDB_ERR_BUFFER_TOO_SMALL)) +
                                                  " " + std::to_string(text.size() + 1) +
                                                  " bytes are needed.");
    }
    std::memcpy(buf, text.data(), text.size());
    buf[text.size()] = '\0';
    *len = static_cast<Len>(text.size());
}

template void PutText<uint16_t>(std::string_view, char*, uint16_t*);
template void PutText<uint32_t>(std::string_view, char*, uint32_t*);

Error CaughtError() noexcept {
    try {
        throw;
    } catch (const Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return Error(5002, std::string(GenericText(5002)));
    } catch (const std::exception& e) {
        return Error(5999, std::string(GenericText(5999)) + " " + e.what());
    } catch (...) {
        return Error(5999, std::string(GenericText(5999)));
    }
}

}  // namespace kce
