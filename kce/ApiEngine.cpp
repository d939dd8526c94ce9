// The C interface: errors, engine-wide settings, version and date conversions.
#include "kce/kce.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "kce/Api.h"
#include "kce/DateTime.h"
#include "kce/EngineSettings.h"
#include "kce/Objects.h"

using namespace kce;

namespace {

// Error queries must not replace the last error they report, so they answer without Guard.
uint32_t PutTextQuietly(std::string_view text, char* buf, uint16_t* len) {
    if (len == nullptr) return KDB_ERR_INVALID_ARGUMENT;
    if (text.size() > 60000) text = text.substr(0, 60000);
    if (buf == nullptr || text.size() + 1 > *len) {
        *len = static_cast<uint16_t>(text.size());
        if (buf != nullptr && *len == 0 && text.empty()) return 0;
        return KDB_ERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(buf, text.data(), text.size());
    buf[text.size()] = '\0';
    *len = static_cast<uint16_t>(text.size());
    return 0;
}

// Parses any of the date texts KdbConvertStringToJulian accepts.
std::optional<int32_t> ParseAnyDate(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (text.size() == 8 && text.find_first_not_of("0123456789") == std::string_view::npos) {
        int y = std::stoi(std::string(text.substr(0, 4)));
        int m = std::stoi(std::string(text.substr(4, 2)));
        int d = std::stoi(std::string(text.substr(6, 2)));
        if (IsValidYmd(y, m, d)) return JulianFromYmd(y, m, d);
        return std::nullopt;
    }
    if (auto day = CurrentDateFormat()->Parse(text)) return day;
    return ParseStoredDate(text.data(), text.size());
}

}  // namespace

extern "C" {

uint32_t KdbGetLastError(uint32_t* code, char* buf, uint16_t* len) {
    if (code == nullptr) return KDB_ERR_INVALID_ARGUMENT;
    *code = LastErrorCode();
    if (len == nullptr) return 0;  // the code alone
    return PutTextQuietly(LastErrorText(), buf, len);
}

uint32_t KdbGetErrorString(uint32_t code, char* buf, uint16_t* len) {
    std::string_view text = GenericText(code);
    std::string unknown;
    if (text.empty()) {
        unknown = "Unknown error code " + std::to_string(code) + ".";
        text = unknown;
    }
    return PutTextQuietly(text, buf, len);
}

uint32_t KdbShowError(const char* title) {
    std::string text = LastErrorText();
    std::fprintf(stderr, "%s: %u %s\n", title ? title : "", LastErrorCode(), text.c_str());
    return 0;
}

uint32_t KdbSetDateFormat(const char* format) {
    return Guard([&] {
        SetDateFormat(std::make_shared<const DateFormat>(TextArg(Need(format, "format"))));
    });
}

uint32_t KdbGetDateFormat(char* buf, uint16_t* len) {
    return Guard([&] { PutText(CurrentDateFormat()->Pattern(), buf, Need(len, "len")); });
}

uint32_t KdbSetDecimals(uint16_t decimals) {
    return Guard([&] {
        if (decimals > 30) Fail(KDB_ERR_INVALID_ARGUMENT, "Decimals must be 0 to 30.");
        SetDecimals(decimals);
    });
}

uint32_t KdbGetDecimals(uint16_t* decimals) {
    return Guard([&] { *Need(decimals, "decimals") = CurrentSettings().decimals; });
}

uint32_t KdbShowDeleted(uint16_t show) {
    return Guard([&] { SetShowDeleted(show != 0); });
}

uint32_t KdbGetDeleted(uint16_t* show) {
    return Guard([&] { *Need(show, "show") = CurrentSettings().showDeleted ? 1 : 0; });
}

uint32_t KdbSetServerType(uint16_t serverTypes) {
    return Guard([&] {
        if (serverTypes == 0 || serverTypes > 7)
            Fail(KDB_ERR_INVALID_ARGUMENT, "The server-type mask must combine 1, 2 and 4.");
        SetServerTypes(serverTypes);
    });
}

uint32_t KdbCacheOpenTables(uint16_t tables) {
    return Guard([&] { SetCachedTables(tables); });
}

uint32_t KdbCacheOpenCursors(uint16_t cursors) {
    return Guard([&] { SetCachedCursors(cursors); });
}

uint32_t KdbGetNumOpenTables(uint16_t* count) {
    return Guard([&] { *Need(count, "count") = OpenCursorCount(); });
}

uint32_t KdbGetVersion(uint32_t* major, uint32_t* minor, char* letter, char* buf, uint16_t* len) {
    return Guard([&] {
        *Need(major, "major") = 1;
        *Need(minor, "minor") = 0;
        *Need(letter, "letter") = ' ';
        if (len != nullptr) PutText("Parvell local engine", buf, len);
    });
}

uint32_t KdbSetExact22(uint16_t exact) {
    return Guard([&] { SetExact(exact != 0); });
}

uint32_t KdbFillCursorsInBackground(uint16_t on) {
    return Guard([&] { SetBackgroundFill(on != 0); });
}

uint32_t KdbConvertStringToJulian(const char* text, uint16_t length, double* julian) {
    return Guard([&] {
        Need(julian, "julian");
        *julian = 0;
        std::string_view value(Need(text, "text"), length);
        value = value.substr(0, value.find('\0'));
        auto day = ParseAnyDate(value);
        if (!day) Fail(KDB_ERR_DATE_FORMAT, "\"" + std::string(value) + "\" is no valid date.");
        *julian = *day;
    });
}

uint32_t KdbConvertDateToJulian(uint32_t connection, const char* text, uint16_t length,
                                double* julian) {
    uint32_t rc = Guard([&] { GetConnection(connection); });
    return rc != 0 ? rc : KdbConvertStringToJulian(text, length, julian);
}

uint32_t KdbConvertJulianToString(double julian, char* buf, uint16_t* len) {
    return Guard([&] {
        if (!std::isfinite(julian) || julian < parvell::kJulianOfFirstDay ||
            julian > parvell::kJulianOfLastDay) {
            Fail(KDB_ERR_DATE_FORMAT, "The julian day is outside years 1 to 9999.");
        }
        int y, m, d;
        YmdFromJulian(static_cast<int32_t>(julian), y, m, d);
        char text[32];
        std::snprintf(text, sizeof text, "%04d%02d%02d", y, m, d);
        PutText(text, buf, Need(len, "len"));
    });
}

}  // extern "C"
