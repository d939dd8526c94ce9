#include "data/ValueConvert.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/Exceptions.h"
#include "common/Text.h"

namespace parvell {
namespace {

int Digit(const TBcd& value, int index) {
    const uint8_t byte = value.Fraction[index / 2];
    return index % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

void SetDigit(TBcd& value, int index, int digit) {
    uint8_t& byte = value.Fraction[index / 2];
    byte = index % 2 == 0 ? static_cast<uint8_t>((byte & 0x0F) | (digit << 4))
                          : static_cast<uint8_t>((byte & 0xF0) | digit);
}

// value * 10 + digit, false on overflow of the signed 64-bit range.
bool Accumulate(uint64_t& value, int digit) {
    constexpr uint64_t kLimit = static_cast<uint64_t>(INT64_MAX);
    if (value > (kLimit - static_cast<uint64_t>(digit)) / 10) return false;
    value = value * 10 + static_cast<uint64_t>(digit);
    return true;
}

// The general reading below for the common record: well-formed, at most four decimals, and a
// value that needs at most 18 digits as ten-thousandths. Its digits are taken two a byte without
// the overflow checks of each step, since none can overflow. False when the record needs the
// general reading (which then gives the same value or raises).
bool ShortBcdToScaled(const TBcd& value, int64_t* scaled) {
    static constexpr uint64_t kFactor[5] = {10000, 1000, 100, 10, 1};
    const int precision = value.Precision;
    const int places = value.SignSpecialPlaces & 0x3F;
    if (precision < 1 || precision > 64 || places > 4 || places > precision) return false;
    const int pairs = precision / 2;
    uint64_t magnitude = 0;
    for (int i = 0; i < pairs; ++i) {
        const unsigned byte = value.Fraction[i];
        const unsigned high = byte >> 4;
        const unsigned low = byte & 0x0F;
        if (high > 9 || low > 9) return false;
        // Below 10^16 before the step, so below 10^18 after it.
        if (magnitude >= 10000000000000000ull) return false;
        magnitude = magnitude * 100 + high * 10 + low;
    }
    if (precision % 2 != 0) {
        const unsigned high = value.Fraction[pairs] >> 4;
        if (high > 9) return false;
        magnitude = magnitude * 10 + high;  // below 10^19: fits
    }
    const uint64_t factor = kFactor[places];
    if (magnitude > 999999999999999999ull / factor) return false;
    const auto result = static_cast<int64_t>(magnitude * factor);
    *scaled = (value.SignSpecialPlaces & 0x80) != 0 ? -result : result;
    return true;
}

}  // namespace

int64_t BcdToScaled(const TBcd& value) {
    int64_t shortValue = 0;
    if (ShortBcdToScaled(value, &shortValue)) return shortValue;
    const int precision = value.Precision;
    const int places = value.SignSpecialPlaces & 0x3F;
    const bool negative = (value.SignSpecialPlaces & 0x80) != 0;
    if (precision < 1 || precision > 64 || places > precision) throw EBcdOverflowException();
    for (int i = 0; i < precision; ++i) {
        if (Digit(value, i) > 9) throw EBcdOverflowException();
    }
    const int kept = std::min(places, 4);
    const int keptDigits = precision - places + kept;
    uint64_t magnitude = 0;
    for (int i = 0; i < keptDigits; ++i) {
        if (!Accumulate(magnitude, Digit(value, i))) throw EBcdOverflowException();
    }
    for (int i = kept; i < 4; ++i) {
        if (!Accumulate(magnitude, 0)) throw EBcdOverflowException();
    }
    if (places > 4) {
        const int fifth = Digit(value, keptDigits);
        bool up = fifth >= 6;
        if (fifth == 5) {
            for (int i = keptDigits + 1; i < precision && !up; ++i) up = Digit(value, i) != 0;
        }
        if (up && magnitude == static_cast<uint64_t>(INT64_MAX)) throw EBcdOverflowException();
        if (up) ++magnitude;
    }
    const auto scaled = static_cast<int64_t>(magnitude);
    return negative ? -scaled : scaled;
}

TBcd BcdKeepPlaces(const TBcd& value, int places) {
    const int precision = value.Precision;
    const int held = value.SignSpecialPlaces & 0x3F;
    if (precision < 1 || precision > 64 || held > precision) throw EBcdOverflowException();
    int digits[65] = {};
    for (int i = 0; i < precision; ++i) {
        digits[i] = Digit(value, i);
        if (digits[i] > 9) throw EBcdOverflowException();
    }
    if (held <= places) return value;
    int kept = precision - held + places;
    const int first = digits[kept];
    bool up = first >= 6;
    if (first == 5) {
        for (int i = kept + 1; i < precision && !up; ++i) up = digits[i] != 0;
    }
    int i = kept - 1;
    for (; up && i >= 0; --i) {
        if (digits[i] < 9) {
            ++digits[i];
            up = false;
        } else {
            digits[i] = 0;
        }
    }
    if (up) {
        // Every kept digit was 9 (or none was kept): the value gains a leading 1. At least one
        // decimal was dropped, so the record still has at most 64 digits.
        for (int k = kept; k > 0; --k) digits[k] = digits[k - 1];
        digits[0] = 1;
        ++kept;
    }
    if (kept == 0) {
        // Nothing but dropped decimals, rounded down: zero.
        digits[0] = 0;
        kept = 1;
    }
    TBcd result;
    result.Precision = static_cast<uint8_t>(kept);
    result.SignSpecialPlaces = static_cast<uint8_t>(places | (value.SignSpecialPlaces & 0x80));
    for (int k = 0; k < kept; ++k) SetDigit(result, k, digits[k]);
    return result;
}

TBcd ScaledToBcd(int64_t scaled, int precision, int decimals) {
    if (precision < 1 || precision > 64 || decimals < 0 || decimals > precision) {
        throw EBcdOverflowException();
    }
    const bool negative = scaled < 0;
    // The magnitude as 4-decimal digits; the unsigned form holds even the smallest value.
    uint64_t magnitude =
        negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    if (decimals < 4) {
        uint64_t divisor = 1;
        for (int i = decimals; i < 4; ++i) divisor *= 10;
        const uint64_t rest = magnitude % divisor;
        magnitude /= divisor;
        if (rest * 2 >= divisor) ++magnitude;
    }
    // Digits of the magnitude, least significant first, then the extra decimal zeros.
    int digits[64] = {};
    int count = 0;
    for (int i = 4; i < decimals; ++i) digits[count++] = 0;
    do {
        if (count >= precision) throw EBcdOverflowException();
        digits[count++] = static_cast<int>(magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    TBcd result;
    result.Precision = static_cast<uint8_t>(precision);
    result.SignSpecialPlaces = static_cast<uint8_t>(decimals | (negative ? 0x80 : 0));
    for (int i = 0; i < count; ++i) SetDigit(result, precision - 1 - i, digits[i]);
    return result;
}

TBcd TextToBcd(std::string_view text) {
    const std::string original(text);
    auto fail = [&]() -> TBcd {
        throw EConvertError(FormatMessage("'%s' is not a valid BCD value", {original}));
    };
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::string integerPart, fractionPart;
    bool seenSeparator = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            (seenSeparator ? fractionPart : integerPart).push_back(c);
        } else if (!seenSeparator && (c == '.' || c == LocaleFormats.DecimalChar) && c != '\0') {
            seenSeparator = true;
        } else {
            return fail();
        }
    }
    if (integerPart.empty() && fractionPart.empty()) return fail();
    const size_t firstNonZero = integerPart.find_first_not_of('0');
    integerPart = firstNonZero == std::string::npos ? "0" : integerPart.substr(firstNonZero);
    const std::string digits = integerPart + fractionPart;
    if (digits.size() > 64) throw EBcdOverflowException();
    TBcd result;
    result.Precision = static_cast<uint8_t>(digits.size());
    result.SignSpecialPlaces = static_cast<uint8_t>(fractionPart.size() | (negative ? 0x80 : 0));
    for (size_t i = 0; i < digits.size(); ++i) {
        SetDigit(result, static_cast<int>(i), digits[i] - '0');
    }
    return result;
}

TDateTime TimeStampToDateTime(int64_t day, int64_t milliseconds) {
    if (day < 1 || milliseconds < 0) {
        throw EConvertError(
            FormatMessage("'%d.%d' is not a valid timestamp",
                          {static_cast<long long>(day), static_cast<long long>(milliseconds)}));
    }
    const double days = static_cast<double>(day - kDateDelta) * static_cast<double>(kMSecsPerDay);
    const double ms = static_cast<double>(milliseconds);
    return (day >= kDateDelta ? days + ms : days - ms) / static_cast<double>(kMSecsPerDay);
}

TDateTime NativeDateToDateTime(int32_t day) {
    return TimeStampToDateTime(day, 0);
}

TDateTime NativeTimeToDateTime(int32_t milliseconds) {
    return TimeStampToDateTime(kDateDelta, milliseconds);
}

TDateTime NativeDateTimeToDateTime(double count) {
    int64_t day = 0;
    int64_t milliseconds = 0;
    if (std::isfinite(count)) {
        const double rounded = std::rint(count);  // as nearbyint, without saving the FP state
        const double days = std::trunc(rounded / static_cast<double>(kMSecsPerDay));
        // The day number is 32-bit; a count whose day does not fit cannot be split.
        if (std::fabs(rounded) < 9.0e18 && std::fabs(days) <= INT32_MAX) {
            const auto whole = static_cast<int64_t>(rounded);
            day = whole / kMSecsPerDay;
            milliseconds = whole % kMSecsPerDay;
        }
    }
    return TimeStampToDateTime(day, milliseconds);
}

}  // namespace parvell
