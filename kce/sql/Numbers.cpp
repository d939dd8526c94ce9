#include "kce/sql/Numbers.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kce/sql/Compiler.h"
#include "kce/sql/NativeError.h"
#include "kce/sql/Types.h"

namespace kce::sql {
namespace {

constexpr uint64_t kLargestCount = 9223372036854775807ull;  // 2^63 - 1
constexpr uint64_t kNullDoubleBits = 0x8000000000000020ull;
constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::string ShortestText(double value) {
    char buffer[40];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

std::string_view TextOf(sqlite3_value* value) {
    const unsigned char* text = sqlite3_value_text(value);
    return text ? std::string_view(reinterpret_cast<const char*>(text), sqlite3_value_bytes(value))
                : std::string_view();
}

void Fail(sqlite3_context* context, const std::string& message) {
    const std::string text = "[" + std::to_string(kErrInvalidValue) + "] " + message;
    sqlite3_result_error(context, text.c_str(), static_cast<int>(text.size()));
}

// " for column "X"" when the call names a column, else nothing.
std::string ForColumn(sqlite3_value* what) {
    std::string_view name = TextOf(what);
    return name.empty() ? std::string() : " for column \"" + std::string(name) + "\"";
}

// The value as its message shows it.
std::string Shown(sqlite3_value* value) {
    if (sqlite3_value_type(value) == SQLITE_FLOAT) return ShortestText(sqlite3_value_double(value));
    return std::string(TextOf(value));
}

std::optional<double> ParseNumber(std::string_view text) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

void NotANumber(sqlite3_context* context, sqlite3_value* value, sqlite3_value* column) {
    Fail(context, "Text '" + std::string(TextOf(value)) + "' is not a valid number" +
                      ForColumn(column) + ".");
}

void OutOfRange(sqlite3_context* context, const std::string& shown, sqlite3_value* column) {
    Fail(context, "Value " + shown + " is out of range" + ForColumn(column) + ".");
}

// kce_tointeger(value, engine type, scale, column): an integer column's value, rounded half away
// from zero; scale 10000 reads the value as a count of ten-thousandths (a MONEY value).
void ToIntegerFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const auto type = static_cast<uint16_t>(sqlite3_value_int(argv[1]));
    const int64_t scale = sqlite3_value_int64(argv[2]);
    sqlite3_value* column = argv[3];
    int64_t result = 0;
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_NULL:
            return sqlite3_result_null(context);
        case SQLITE_INTEGER: {
            const int64_t v = sqlite3_value_int64(argv[0]);
            if (scale > 1) {
                result = v / scale;
                const int64_t rest = v % scale;
                if (rest >= scale / 2) ++result;
                if (rest <= -scale / 2) --result;
                if (!IntegerFits(type, result)) return OutOfRange(context, MoneyText(v), column);
            } else {
                result = v;
                if (!IntegerFits(type, result))
                    return OutOfRange(context, std::to_string(v), column);
            }
            return sqlite3_result_int64(context, result);
        }
        case SQLITE_FLOAT:
        case SQLITE_TEXT: {
            std::optional<double> value = sqlite3_value_type(argv[0]) == SQLITE_FLOAT
                                              ? std::optional<double>(sqlite3_value_double(argv[0]))
                                              : ParseNumber(TextOf(argv[0]));
            if (!value) return NotANumber(context, argv[0], column);
            const double rounded = std::round(*value / static_cast<double>(scale));
            // 2^63 itself is the first double beyond the range; -2^63 is BIGINT's null mark.
            if (!(rounded < 9223372036854775808.0 && rounded > -9223372036854775808.0) ||
                !IntegerFits(type, static_cast<int64_t>(rounded))) {
                return OutOfRange(context, Shown(argv[0]), column);
            }
            return sqlite3_result_int64(context, static_cast<int64_t>(rounded));
        }
        default:
            return NotANumber(context, argv[0], column);
    }
}

// kce_tomoney(value, is count 0/1, column): a MONEY or CURRENCY column's value, the count of
// ten-thousandths. A count (the result of money arithmetic) is only checked: SQLite turns an
// integer sum that overflows into a real, which is out of range.
void ToMoneyFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const bool isCount = sqlite3_value_int(argv[1]) != 0;
    sqlite3_value* column = argv[2];
    ScaledDecimal scaled;
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_NULL:
            return sqlite3_result_null(context);
        case SQLITE_INTEGER: {
            const int64_t v = sqlite3_value_int64(argv[0]);
            if (isCount) {
                if (v == INT64_MIN) return OutOfRange(context, "-922337203685477.5808", column);
                return sqlite3_result_int64(context, v);
            }
            if (v > static_cast<int64_t>(kLargestCount / kMoneyScale) ||
                v < -static_cast<int64_t>(kLargestCount / kMoneyScale)) {
                return OutOfRange(context, std::to_string(v), column);
            }
            return sqlite3_result_int64(context, v * kMoneyScale);
        }
        case SQLITE_FLOAT:
            if (isCount)
                return OutOfRange(
                    context, ShortestText(sqlite3_value_double(argv[0]) / kMoneyScale), column);
            scaled = ScaleDouble(sqlite3_value_double(argv[0]));
            break;
        case SQLITE_TEXT:
            scaled = ScaleDecimal(TextOf(argv[0]));
            break;
        default:
            return NotANumber(context, argv[0], column);
    }
    if (scaled.status == ScaledDecimal::Status::NotANumber)
        return NotANumber(context, argv[0], column);
    if (scaled.status == ScaledDecimal::Status::OutOfRange)
        return OutOfRange(context, Shown(argv[0]), column);
    sqlite3_result_int64(context, scaled.count);
}

// kce_tonumeric(value, length, decimals, column): a NUMERIC(length, decimals) value, rounded to
// its decimals; a value whose text does not fit the length is refused.
void ToNumericFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const auto length = static_cast<uint32_t>(sqlite3_value_int64(argv[1]));
    const auto decimals = static_cast<uint16_t>(sqlite3_value_int(argv[2]));
    std::optional<double> value;
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_NULL:
            return sqlite3_result_null(context);
        case SQLITE_INTEGER:
            value = static_cast<double>(sqlite3_value_int64(argv[0]));
            break;
        case SQLITE_FLOAT:
            value = sqlite3_value_double(argv[0]);
            break;
        case SQLITE_TEXT:
            value = ParseNumber(TextOf(argv[0]));
            break;
        default:
            break;
    }
    if (!value) return NotANumber(context, argv[0], argv[3]);
    if (!NumericFits(*value, length, decimals)) {
        std::string_view name = TextOf(argv[3]);
        const std::string type =
            "NUMERIC(" + std::to_string(length) + "," + std::to_string(decimals) + ")";
        return Fail(context, "Value " + Shown(argv[0]) + " is too wide" +
                                 (name.empty() ? " for " + type
                                               : " for column \"" + std::string(name) + "\" (" +
                                                     type + ")") +
                                 ".");
    }
    sqlite3_result_double(context, RoundNumeric(*value, decimals));
}

// kce_todouble(value, column): a DOUBLE column's value; the one double whose bytes are DOUBLE's
// null mark is refused.
void ToDoubleFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_NULL:
            return sqlite3_result_null(context);
        case SQLITE_INTEGER:
            return sqlite3_result_double(context,
                                         static_cast<double>(sqlite3_value_int64(argv[0])));
        case SQLITE_FLOAT: {
            const double value = sqlite3_value_double(argv[0]);
            uint64_t bits = 0;
            std::memcpy(&bits, &value, sizeof bits);
            if (bits == kNullDoubleBits) return OutOfRange(context, ShortestText(value), argv[1]);
            return sqlite3_result_double(context, value);
        }
        case SQLITE_TEXT: {
            std::optional<double> value = ParseNumber(TextOf(argv[0]));
            if (!value) return NotANumber(context, argv[0], argv[1]);
            uint64_t bits = 0;
            std::memcpy(&bits, &*value, sizeof bits);
            if (bits == kNullDoubleBits)
                return OutOfRange(context, std::string(TextOf(argv[0])), argv[1]);
            return sqlite3_result_double(context, *value);
        }
        default:
            return NotANumber(context, argv[0], argv[1]);
    }
}

// kce_moneytext(count): the amount of a MONEY or CURRENCY count as decimal text.
void MoneyTextFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(context);
    const std::string text = MoneyText(sqlite3_value_int64(argv[0]));
    sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace

ScaledDecimal ScaleDecimal(std::string_view text) {
    ScaledDecimal result;
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // The digits without the point, and the power of ten of the last one.
    std::string digits;
    int64_t exponent = 0;
    bool point = false;
    size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (!(digits.empty() && c == '0')) digits += c;
            if (point) --exponent;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    const size_t mantissaLength = i - (point ? 1 : 0);
    if (mantissaLength == 0) return result;
    if (i < text.size()) {
        if (text[i] != 'e' && text[i] != 'E') return result;
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            negativeExponent = text[i++] == '-';
        if (i == text.size()) return result;
        int64_t e = 0;
        for (; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9') return result;
            e = std::min<int64_t>(e * 10 + (text[i] - '0'), 100000);
        }
        exponent += negativeExponent ? -e : e;
    }
    result.status = ScaledDecimal::Status::Ok;
    result.exact = true;
    const int64_t shift =
        exponent + 4;  // power of ten of the last digit, counted in ten-thousandths
    // Leading zeros are not in `digits`; the value is digits x 10^shift.
    if (digits.empty()) return result;
    // Digits kept above the ten-thousandth; when there are none, zeros come first below it.
    const int64_t kept = static_cast<int64_t>(digits.size()) + std::min<int64_t>(shift, 0);
    const int64_t keep = std::max<int64_t>(kept, 0);
    if (shift > 0 && static_cast<int64_t>(digits.size()) + shift > 19) {
        result.status = ScaledDecimal::Status::OutOfRange;
        return result;
    }
    unsigned __int128 magnitude = 0;
    for (int64_t k = 0; k < keep; ++k) {
        magnitude = magnitude * 10 + static_cast<unsigned>(digits[static_cast<size_t>(k)] - '0');
        if (magnitude > kLargestCount) {
            result.status = ScaledDecimal::Status::OutOfRange;
            return result;
        }
    }
    for (int64_t k = 0; k < shift; ++k) magnitude *= 10;
    if (keep < static_cast<int64_t>(digits.size())) {
        // Digits below a ten-thousandth: round half away from zero.
        result.exact = false;
        if (kept >= 0 && digits[static_cast<size_t>(keep)] >= '5') ++magnitude;
    }
    if (magnitude > kLargestCount) {
        result.status = ScaledDecimal::Status::OutOfRange;
        return result;
    }
    const auto count = static_cast<int64_t>(magnitude);
    result.count = negative ? -count : count;
    return result;
}

ScaledDecimal ScaleDouble(double value) {
    if (!std::isfinite(value)) {
        ScaledDecimal result;
        result.status = ScaledDecimal::Status::OutOfRange;
        return result;
    }
    return ScaleDecimal(ShortestText(value));
}

std::string MoneyText(int64_t count) {
    const uint64_t magnitude =
        count < 0 ? uint64_t{0} - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
    std::string fraction = std::to_string(magnitude % kMoneyScale);
    fraction.insert(0, 4 - fraction.size(), '0');
    while (fraction.size() > 1 && fraction.back() == '0') fraction.pop_back();
    return (count < 0 ? "-" : "") + std::to_string(magnitude / kMoneyScale) + "." + fraction;
}

bool IntegerFits(uint16_t type, int64_t value) {
    switch (type) {
        case kShortInt:
            return value >= -32767 && value <= 32767;
        case kInteger:
            return value >= -2147483647 && value <= 2147483647;
        case kAutoInc:
            return value >= -2147483647 - 1 && value <= 2147483647 && value != -1;
        default:
            return value != INT64_MIN;
    }
}

// The same text the native record holds (kce/Record.cpp, WriteNumericText).
bool NumericFits(double value, uint32_t length, uint16_t decimals) {
    const double scaled = decimals < 16 ? value * kPow10[decimals] : HUGE_VAL;
    size_t n = 0;
    if (std::isfinite(scaled) && std::fabs(scaled) < 9e15) {
        const int64_t units = std::llround(scaled);
        uint64_t magnitude = units < 0 ? uint64_t(-units) : uint64_t(units);
        size_t digits = 0;
        do {
            ++digits;
            magnitude /= 10;
        } while (magnitude > 0);
        n = (units < 0 ? 1 : 0) + std::max<size_t>(digits, size_t{decimals} + 1) +
            (decimals > 0 ? 1 : 0);
    } else if (std::isfinite(value)) {
        char text[400];
        const int written = std::snprintf(
            text, sizeof text, "%.*f", static_cast<int>(std::min<uint16_t>(decimals, 30)), value);
        n = written > 0 ? static_cast<size_t>(written) : sizeof text;
    } else {
        return false;
    }
    return n <= length;
}

double RoundNumeric(double value, uint16_t decimals) {
    const double scaled = decimals < 16 ? value * kPow10[decimals] : HUGE_VAL;
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 9e15) return value;
    return static_cast<double>(std::llround(scaled)) / kPow10[decimals];
}

void RegisterNumberFunctions(sqlite3* db) {
    struct Definition {
        const char* name;
        int args;
        void (*function)(sqlite3_context*, int, sqlite3_value**);
    };
    static constexpr Definition kDefinitions[] = {
        {"kce_tointeger", 4, ToIntegerFunction}, {"kce_tomoney", 3, ToMoneyFunction},
        {"kce_tonumeric", 4, ToNumericFunction}, {"kce_todouble", 2, ToDoubleFunction},
        {"kce_moneytext", 1, MoneyTextFunction},
    };
    for (const Definition& def : kDefinitions) {
        sqlite3_create_function_v2(db, def.name, def.args,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                   def.function, nullptr, nullptr, nullptr);
    }
}

}  // namespace kce::sql
