// The C interface: cursors (description, position, values) and the index, filter and scope calls
// that answer "none".
#include "kce/kce.h"

#include <algorithm>
#include <cstring>

#include "kce/Api.h"
#include "kce/Objects.h"

using namespace kce;

namespace {

std::string_view Trim(std::string_view text, uint16_t option) {
    if (option & 1) {
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    }
    if (option & 2) {
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    }
    return text;
}

template <typename Body>
uint32_t WithCursor(uint32_t cursor, Body&& body) {
    return Guard([&] { body(CursorForCall(cursor)); });
}

void FailNoIndex() {
    Fail(KDB_ERR_NO_INDEX, "Cursors of this engine have no index.");
}

}  // namespace

extern "C" {

uint32_t KdbGetTableType(uint32_t cursor, uint16_t* type) {
    return WithCursor(cursor, [&](Cursor&) { *Need(type, "type") = KDB_TABLE_KDT; });
}

uint32_t KdbGetRecordLength(uint32_t cursor, uint32_t* length) {
    return WithCursor(cursor, [&](Cursor& c) { *Need(length, "length") = c.Layout().Length(); });
}

uint32_t KdbGetNumFields(uint32_t cursor, uint16_t* count) {
    return WithCursor(cursor, [&](Cursor& c) {
        *Need(count, "count") = static_cast<uint16_t>(c.Layout().Fields().size());
    });
}

uint32_t KdbGetFieldName(uint32_t cursor, uint16_t field, char* buf, uint16_t* len) {
    return WithCursor(cursor,
                      [&](Cursor& c) { PutText(c.FieldAt(field).name, buf, Need(len, "len")); });
}

uint32_t KdbGetFieldType(uint32_t cursor, uint16_t field, uint16_t* type) {
    return WithCursor(cursor, [&](Cursor& c) { *Need(type, "type") = c.FieldAt(field).type; });
}

uint32_t KdbGetFieldLength(uint32_t cursor, uint16_t field, uint32_t* length) {
    return WithCursor(cursor,
                      [&](Cursor& c) { *Need(length, "length") = c.FieldAt(field).length; });
}

uint32_t KdbGetFieldDecimals(uint32_t cursor, uint16_t field, uint16_t* decimals) {
    return WithCursor(cursor,
                      [&](Cursor& c) { *Need(decimals, "decimals") = c.FieldAt(field).decimals; });
}

uint32_t KdbGetFieldOffset(uint32_t cursor, uint16_t field, uint32_t* offset) {
    return WithCursor(cursor,
                      [&](Cursor& c) { *Need(offset, "offset") = c.FieldAt(field).offset; });
}

uint32_t KdbIsNullable(uint32_t cursor, const char* fieldName, uint16_t* nullable) {
    return WithCursor(cursor, [&](Cursor& c) {
        Need(nullable, "nullable");
        std::string wanted = UpperAscii(TextArg(Need(fieldName, "fieldName")));
        for (const auto& f : c.Layout().Fields()) {
            if (UpperAscii(f.name) == wanted) {
                *nullable = f.notNull ? 0 : 1;
                return;
            }
        }
        Fail(KDB_ERR_FIELD_NUMBER, "The cursor has no field named " + std::string(fieldName) + ".");
    });
}

uint32_t KdbGetColumnPermissions(uint32_t cursor, uint16_t field, uint16_t* permissions) {
    return WithCursor(cursor, [&](Cursor& c) {
        c.FieldAt(field);
        *Need(permissions, "permissions") = 1;
    });
}

uint32_t KdbGetTableOpenOptions(uint32_t cursor, uint32_t* options) {
    return WithCursor(cursor, [&](Cursor&) { *Need(options, "options") = KDB_OPEN_READONLY; });
}

uint32_t KdbGetTableCharType(uint32_t cursor, uint16_t* charType) {
    return WithCursor(cursor, [&](Cursor&) { *Need(charType, "charType") = 1; });
}

uint32_t KdbGetTableCollation(uint32_t cursor, char* buf, uint16_t* len) {
    return WithCursor(cursor, [&](Cursor&) {
        Fail(KDB_ERR_PROPERTY_NOT_AVAILABLE, "Static cursors have no collation.");
    });
}

uint32_t KdbGetNullRecord(uint32_t cursor, uint8_t* buf, uint32_t* len) {
    return WithCursor(cursor, [&](Cursor& c) {
        Need(len, "len");
        uint32_t length = c.Layout().Length();
        if (buf == nullptr || *len < length) {
            *len = length;
            Fail(KDB_ERR_BUFFER_TOO_SMALL);
        }
        std::memcpy(buf, c.Layout().NullRecord().data(), length);
        *len = length;
    });
}

uint32_t KdbCacheRecords(uint32_t cursor, uint16_t records) {
    return WithCursor(cursor, [&](Cursor&) {});
}

uint32_t KdbCloseTable(uint32_t cursor) {
    return Guard([&] {
        if (!RemoveCursor(cursor))
            Fail(KDB_ERR_INVALID_HANDLE,
                 "Handle " + std::to_string(cursor) + " is no open cursor.");
    });
}

uint32_t KdbGotoBOF(uint32_t cursor) {
    return WithCursor(cursor, [&](Cursor& c) { c.SetPosition(0); });
}

uint32_t KdbGotoEOF(uint32_t cursor) {
    return WithCursor(cursor, [&](Cursor& c) { c.SetPosition(c.Count() + 1); });
}

uint32_t KdbSkip(uint32_t cursor, int32_t records) {
    return WithCursor(cursor, [&](Cursor& c) {
        // Asks only for the record it lands on, so that a forward walk never waits for the rest
        // of a cursor still being filled.
        const int64_t target = int64_t(c.Position()) + records;
        if (target <= 0) {
            c.SetPosition(0);
        } else if (target <= UINT32_MAX - 1 && c.Exists(static_cast<uint32_t>(target))) {
            c.SetPosition(static_cast<uint32_t>(target));
        } else {
            c.SetPosition(c.Count() + 1);
        }
    });
}

uint32_t KdbGotoRecord(uint32_t cursor, uint32_t record) {
    return WithCursor(cursor, [&](Cursor& c) {
        if (record < 1 || !c.Exists(record))
            Fail(KDB_ERR_RECORD_NOT_FOUND, "Record " + std::to_string(record) + " does not exist.");
        c.SetPosition(record);
    });
}

uint32_t KdbAtBOF(uint32_t cursor, uint16_t* atBof) {
    return WithCursor(cursor, [&](Cursor& c) {
        *Need(atBof, "atBof") = c.Position() == 0 || !c.Exists(1) ? 1 : 0;
    });
}

uint32_t KdbAtEOF(uint32_t cursor, uint16_t* atEof) {
    return WithCursor(cursor, [&](Cursor& c) {
        *Need(atEof, "atEof") = !c.Exists(std::max<uint32_t>(c.Position(), 1)) ? 1 : 0;
    });
}

uint32_t KdbGetRecordNum(uint32_t cursor, uint16_t option, uint32_t* record) {
    return WithCursor(
        cursor, [&](Cursor& c) { *Need(record, "record") = c.OnRecord() ? c.Position() : 0; });
}

uint32_t KdbIsRecordVisible(uint32_t cursor, uint16_t* visible) {
    return WithCursor(cursor, [&](Cursor& c) {
        Need(visible, "visible");
        c.Current();
        *visible = 1;
    });
}

uint32_t KdbIsRecordDeleted(uint32_t cursor, uint16_t* deleted) {
    return WithCursor(cursor, [&](Cursor&) { *Need(deleted, "deleted") = 0; });
}

uint32_t KdbRefreshRecord(uint32_t cursor) {
    return WithCursor(cursor, [&](Cursor& c) { c.Current(); });
}

uint32_t KdbGetBookmarkLength(uint32_t cursor, uint32_t* length) {
    return WithCursor(cursor, [&](Cursor&) { *Need(length, "length") = 4; });
}

uint32_t KdbGetBookmark60(uint32_t cursor, uint8_t* buf, uint32_t* len) {
    return WithCursor(cursor, [&](Cursor& c) {
        Need(len, "len");
        c.Current();
        if (buf == nullptr || *len < 4) {
            *len = 4;
            Fail(KDB_ERR_BUFFER_TOO_SMALL);
        }
        uint32_t record = c.Position();
        std::memcpy(buf, &record, 4);
        *len = 4;
    });
}

uint32_t KdbGotoBookmark(uint32_t cursor, const uint8_t* bookmark, uint32_t length) {
    return WithCursor(cursor, [&](Cursor& c) {
        if (length < 4) Fail(KDB_ERR_INVALID_ARGUMENT, "A bookmark has 4 bytes.");
        uint32_t record;
        std::memcpy(&record, Need(bookmark, "bookmark"), 4);
        if (record < 1 || !c.Exists(record))
            Fail(KDB_ERR_RECORD_NOT_FOUND, "The bookmark names no record of this cursor.");
        c.SetPosition(record);
    });
}

uint32_t KdbCompareBookmarks(const uint8_t* first, const uint8_t* second, int32_t* result) {
    return Guard([&] {
        uint32_t a;
        uint32_t b;
        std::memcpy(&a, Need(first, "first"), 4);
        std::memcpy(&b, Need(second, "second"), 4);
        *Need(result, "result") = a < b ? -1 : a > b ? 1 : 0;
    });
}

uint32_t KdbGetRecord(uint32_t cursor, uint8_t* buf, uint32_t* len) {
    return WithCursor(cursor, [&](Cursor& c) {
        Need(len, "len");
        uint32_t length = c.Layout().Length();
        const uint8_t* record = c.Current();
        if (buf == nullptr || *len < length) {
            *len = length;
            Fail(KDB_ERR_BUFFER_TOO_SMALL);
        }
        std::memcpy(buf, record, length);
        *len = length;
    });
}

uint32_t KdbIsNull(uint32_t cursor, uint16_t field, uint16_t* isNull) {
    return WithCursor(cursor, [&](Cursor& c) {
        const Field& f = c.FieldAt(field);
        *Need(isNull, "isNull") = IsNullIn(f, c.Current()) ? 1 : 0;
    });
}

uint32_t KdbIsEmpty(uint32_t cursor, uint16_t field, uint16_t* isEmpty) {
    return WithCursor(cursor, [&](Cursor& c) {
        const Field& f = c.FieldAt(field);
        std::string text = FieldText(f, c.Current(), c.Blobs());
        bool blank = std::all_of(text.begin(), text.end(), [](char ch) { return ch == ' '; });
        bool binary = f.type == sql::kBinary || f.type == sql::kImage || f.type == sql::kRaw ||
                      f.type == sql::kVarBinary;
        *Need(isEmpty, "isEmpty") = text.empty() || (blank && !binary) ? 1 : 0;
    });
}

uint32_t KdbGetField(uint32_t cursor, uint16_t field, char* buf, uint32_t* len,
                     uint16_t trimOption) {
    return WithCursor(cursor, [&](Cursor& c) {
        if (trimOption > 3) Fail(KDB_ERR_INVALID_ARGUMENT, "The trim option must be 0 to 3.");
        const Field& f = c.FieldAt(field);
        std::string text = FieldText(f, c.Current(), c.Blobs());
        PutText(Trim(text, trimOption), buf, Need(len, "len"));
    });
}

uint32_t KdbGetDataLength(uint32_t cursor, uint16_t field, uint32_t* length) {
    return WithCursor(cursor, [&](Cursor& c) {
        const Field& f = c.FieldAt(field);
        *Need(length, "length") =
            static_cast<uint32_t>(FieldText(f, c.Current(), c.Blobs()).size());
    });
}

uint32_t KdbGetBinaryLength(uint32_t cursor, uint16_t field, uint32_t* length) {
    return KdbGetDataLength(cursor, field, length);
}

uint32_t KdbGetBinary(uint32_t cursor, uint16_t field, uint32_t offset, uint8_t* buf,
                      uint32_t* len) {
    return WithCursor(cursor, [&](Cursor& c) {
        Need(len, "len");
        const Field& f = c.FieldAt(field);
        std::string content = FieldText(f, c.Current(), c.Blobs());
        size_t start = std::min<size_t>(offset, content.size());
        size_t n = std::min<size_t>(*len, content.size() - start);
        if (n > 0) std::memcpy(Need(buf, "buf"), content.data() + start, n);
        *len = static_cast<uint32_t>(n);
    });
}

uint32_t KdbGetMemoDataType(uint32_t cursor, uint16_t field, uint16_t* type) {
    return WithCursor(cursor, [&](Cursor& c) {
        const Field& f = c.FieldAt(field);
        if (!IsBlobType(f.type))
            Fail(KDB_ERR_INVALID_ARGUMENT,
                 "Field " + std::to_string(field) + " is no memo or binary field.");
        *Need(type, "type") = f.type == sql::kMemo || f.type == sql::kVarTextBlob ? 5 : 6;
    });
}

uint32_t KdbGetAllIndexes(uint32_t cursor, uint32_t* indexes, uint16_t* count) {
    return WithCursor(cursor, [&](Cursor&) { *Need(count, "count") = 0; });
}

uint32_t KdbGetIndexHandle(uint32_t cursor, const char* name, uint32_t* index) {
    return WithCursor(cursor, [&](Cursor&) {
        Need(index, "index");
        *index = 0;
        if (!TextArg(name).empty()) FailNoIndex();
    });
}

uint32_t KdbOpenIndex(uint32_t cursor, const char* path, uint32_t* indexes, uint16_t* count) {
    return WithCursor(
        cursor, [&](Cursor&) { Fail(KDB_ERR_NOT_SUPPORTED, "This engine has no index files."); });
}

uint32_t KdbGetIndexPageSize(uint32_t index, uint16_t* pageSize) {
    return Guard([] { FailNoIndex(); });
}
uint32_t KdbGetIndexFlags(uint32_t index, uint32_t* flags) {
    return Guard([] { FailNoIndex(); });
}
uint32_t KdbGetIndexCondition(uint32_t index, char* buf, uint16_t* len) {
    return Guard([] { FailNoIndex(); });
}
uint32_t KdbGetKeyNum(uint32_t index, uint16_t option, uint32_t* key) {
    return Guard([] { FailNoIndex(); });
}
uint32_t KdbGetRelKeyPos(uint32_t index, double* position) {
    return Guard([] { FailNoIndex(); });
}
uint32_t KdbSetScope(uint32_t index, uint16_t which, const char* value, uint16_t length) {
    return Guard([] { FailNoIndex(); });
}
uint32_t KdbGetScope(uint32_t index, uint16_t which, char* buf, uint16_t* len) {
    return Guard([] { Fail(KDB_ERR_NO_SCOPE); });
}

uint32_t KdbSetAOF(uint32_t cursor, const char* filter, uint16_t options) {
    return WithCursor(cursor, [&](Cursor&) {
        Fail(KDB_ERR_NOT_SUPPORTED, "Filters are not supported; use a WHERE clause.");
    });
}
uint32_t KdbSetFilter(uint32_t cursor, const char* filter) {
    return KdbSetAOF(cursor, filter, 0);
}
uint32_t KdbClearAOF(uint32_t cursor) {
    return WithCursor(cursor, [&](Cursor&) { Fail(KDB_ERR_NO_FILTER); });
}
uint32_t KdbClearFilter(uint32_t cursor) {
    return KdbClearAOF(cursor);
}

uint32_t KdbExpressionLongToShort(uint32_t cursor, const char* in, char* buf, uint16_t* len) {
    return Guard([] { Fail(KDB_ERR_NOT_SUPPORTED, "Filter expressions are not supported."); });
}
uint32_t KdbExpressionShortToLong(uint32_t cursor, const char* in, char* buf, uint16_t* len) {
    return Guard([] { Fail(KDB_ERR_NOT_SUPPORTED, "Filter expressions are not supported."); });
}

uint32_t KdbAccessVfpSystemField(uint32_t cursor, uint16_t field, const uint8_t* record,
                                 uint16_t option, uint16_t* result) {
    return Guard([] {
        Fail(KDB_ERR_NOT_SUPPORTED, "Cursors of this engine are of table type 3, not VFP.");
    });
}

}  // extern "C"
