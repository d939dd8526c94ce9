// Floating and scaled-currency values: their decimal digits, then the general, exponent, fixed,
// number and currency notations.
#include "data/Formats.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "data/TextBuffer.h"

namespace parvell {

namespace {

constexpr int kInfinityExponent = 32767;
constexpr int kNanExponent = -32768;
constexpr int kMaxDigits = 18;
// The "all decimals" request of the general and exponent styles.
constexpr int kAllDecimals = 9999;

using TNumberBuffer = TTextBuffer<64>;

// A number being formatted: 0.d1d2d3... x 10^Exponent. A zero value has no digits, Exponent 0
// and Negative false; Exponent kInfinityExponent is an infinity, kNanExponent not-a-number.
// Floating values keep at most 18 digits; a scaled currency can have 19.
struct TDecimalDigits {
    int Exponent = 0;
    bool Negative = false;
    int Count = 0;
    char Digits[20] = {};  // Count digits, then a zero
};

// The digits of a floating value kept to precision P and D decimals. The magnitude is first
// taken to its nearest 18-digit decimal (ties to even; exact, as the conversion works on the
// exact binary value), then rounded half up to K = Exponent + D digits, at most P and 18.
TDecimalDigits FloatDigits(double value, int precision, int decimals) {
    TDecimalDigits d;
    if (value == 0) return d;  // also a negative zero
    if (std::isnan(value)) {
        d.Exponent = kNanExponent;
        return d;
    }
    if (std::isinf(value)) {
        d.Exponent = kInfinityExponent;
        d.Negative = value < 0;
        return d;
    }
    d.Negative = std::signbit(value);

    // "d.ddddddddddddddddde[+-]x": 18 significant digits.
    char text[40];
    const auto result = std::to_chars(text, text + sizeof text, std::fabs(value),
                                      std::chars_format::scientific, kMaxDigits - 1);
    const char* ePos = std::find(text, result.ptr, 'e');
    d.Digits[0] = text[0];
    std::copy(text + 2, text + 2 + (kMaxDigits - 1), d.Digits + 1);
    int exp10 = 0;
    const char* expStart = ePos + 1;
    if (*expStart == '+') ++expStart;
    std::from_chars(expStart, result.ptr, exp10);
    d.Exponent = exp10 + 1;

    long keep = static_cast<long>(d.Exponent) + decimals;
    keep = std::min<long>(keep, precision);
    keep = std::min<long>(keep, kMaxDigits);
    if (keep < 0) return TDecimalDigits{};

    int count = kMaxDigits;
    if (keep < kMaxDigits) {
        count = static_cast<int>(keep);
        if (d.Digits[count] >= '5') {
            int i = count - 1;
            while (i >= 0 && d.Digits[i] == '9') d.Digits[i--] = '0';
            if (i >= 0) {
                ++d.Digits[i];
            } else {
                // Carry out of the first digit: the value became a power of ten.
                d.Digits[0] = '1';
                count = 1;
                ++d.Exponent;
            }
        }
    }
    while (count > 0 && d.Digits[count - 1] == '0') --count;
    d.Count = count;
    if (count == 0) d.Negative = false;  // rounded away: keeps the exponent found before
    d.Digits[count] = '\0';
    return d;
}

// The digits of a scaled currency value (amount x 10000) kept to D decimals (0..4), rounded to
// nearest with ties to even.
TDecimalDigits CurrencyDigits(int64_t scaled, int decimals) {
    TDecimalDigits d;
    if (scaled == 0) return d;
    decimals = std::clamp(decimals, 0, 4);
    // The magnitude as unsigned, so that the smallest 64-bit value has one too.
    const uint64_t magnitude =
        scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    uint64_t divisor = 1;
    for (int i = decimals; i < 4; ++i) divisor *= 10;
    uint64_t rounded = magnitude / divisor;
    if (divisor > 1) {
        const uint64_t rest = magnitude % divisor;
        const uint64_t half = divisor / 2;
        if (rest > half || (rest == half && (rounded & 1) != 0)) ++rounded;
    }
    char text[24];
    int count = 0;
    if (rounded != 0) {
        const auto result = std::to_chars(text, text + sizeof text, rounded);
        count = static_cast<int>(result.ptr - text);
    }
    d.Exponent = count - decimals;
    while (count > 0 && text[count - 1] == '0') --count;
    std::copy(text, text + count, d.Digits);
    d.Digits[count] = '\0';
    d.Count = count;
    d.Negative = scaled < 0 && rounded != 0;
    return d;
}

bool IsSpecial(const TDecimalDigits& d) {
    return d.Exponent == kInfinityExponent || d.Exponent == kNanExponent;
}

void WriteSpecial(const TDecimalDigits& d, TNumberBuffer& out) {
    if (d.Exponent == kNanExponent) {
        out.Put("NAN");
    } else {
        if (d.Negative) out.Put('-');
        out.Put("INF");
    }
}

// Exponent notation: the first digit, the rest after the separator, "E", a "-" for a negative
// power (never "+") and at least minExponentDigits (0..4) digits of the power.
void WriteExponentNotation(const TDecimalDigits& d, int minExponentDigits, TNumberBuffer& out) {
    if (d.Negative) out.Put('-');
    if (d.Count == 0) {
        out.Put('0');
    } else {
        out.Put(d.Digits[0]);
        if (d.Count > 1) {
            out.PutItem(LocaleFormats.DecimalChar);
            out.Put(std::string_view(d.Digits + 1, d.Count - 1));
        }
    }
    out.Put('E');
    const int power = d.Count == 0 ? 0 : d.Exponent - 1;
    if (power < 0) out.Put('-');
    out.PutNumber(static_cast<unsigned>(power < 0 ? -power : power),
                  std::clamp(minExponentDigits, 0, 4));
}

void WriteGeneral(const TDecimalDigits& d, int precision, int minExponentDigits,
                  TNumberBuffer& out) {
    if (IsSpecial(d)) {
        WriteSpecial(d, out);
        return;
    }
    if (d.Count == 0) {
        out.Put('0');
        return;
    }
    if (d.Exponent < -3 || d.Exponent > precision) {
        WriteExponentNotation(d, minExponentDigits, out);
        return;
    }
    if (d.Negative) out.Put('-');
    if (d.Exponent <= 0) {
        out.Put('0');
        out.PutItem(LocaleFormats.DecimalChar);
        out.PutRepeated('0', static_cast<std::size_t>(-d.Exponent));
        out.Put(std::string_view(d.Digits, d.Count));
        return;
    }
    for (int i = 0; i < d.Exponent; ++i) out.Put(i < d.Count ? d.Digits[i] : '0');
    if (d.Count > d.Exponent) {
        out.PutItem(LocaleFormats.DecimalChar);
        out.Put(std::string_view(d.Digits + d.Exponent, d.Count - d.Exponent));
    }
}

// The body of the fixed, number and currency styles: integer digits (grouped for the number and
// currency styles), then exactly `decimals` decimals.
void WriteBody(const TDecimalDigits& d, TFloatFormat style, int decimals, TNumberBuffer& out) {
    decimals = std::clamp(decimals, 0, kMaxDigits);
    const bool grouped = style != TFloatFormat::Fixed;
    if (d.Exponent <= 0) {
        out.Put('0');
    } else {
        for (int i = 0; i < d.Exponent; ++i) {
            if (grouped && i > 0 && (d.Exponent - i) % 3 == 0)
                out.PutItem(LocaleFormats.ThousandsChar);
            out.Put(i < d.Count ? d.Digits[i] : '0');
        }
    }
    if (decimals <= 0) return;
    out.PutItem(LocaleFormats.DecimalChar);
    int written = 0;
    if (d.Exponent < 0) {
        const int zeros = std::min(-d.Exponent, decimals);
        out.PutRepeated('0', static_cast<std::size_t>(zeros));
        written = zeros;
    }
    for (int i = std::max(d.Exponent, 0); i < d.Count && written < decimals; ++i, ++written)
        out.Put(d.Digits[i]);
    out.PutRepeated('0', static_cast<std::size_t>(decimals - written));
}

// Currency patterns after the Windows conventions: '$' is the currency symbol, '*' the body.
constexpr const char* kPositiveCurrencyPatterns[4] = {"$*", "*$", "$ *", "* $"};
constexpr const char* kNegativeCurrencyPatterns[16] = {
    "($*)", "-$*",  "$-*",  "$*-",  "(*$)", "-*$",  "*-$",   "*$-",
    "-* $", "-$ *", "* $-", "$ *-", "$ -*", "*- $", "($ *)", "(* $)"};

// Writes `d` in the given style and appends it to `out`.
void AppendStyled(std::string& out, const TDecimalDigits& d, TFloatFormat style, int precision,
                  int digits) {
    TNumberBuffer text;
    switch (style) {
        case TFloatFormat::Exponent:
            if (IsSpecial(d)) {
                WriteSpecial(d, text);
            } else {
                WriteExponentNotation(d, digits, text);
            }
            break;
        case TFloatFormat::Fixed:
        case TFloatFormat::Number:
        case TFloatFormat::Currency:
            if (IsSpecial(d) || d.Exponent > precision) {
                WriteGeneral(d, precision, digits, text);
            } else if (style == TFloatFormat::Currency) {
                WriteBody(d, style, digits, text);
                const char* pattern = d.Negative ? kNegativeCurrencyPatterns[std::min<int>(
                                                       LocaleFormats.NegCurrencyPlacement, 15)]
                                                 : kPositiveCurrencyPatterns[std::min<int>(
                                                       LocaleFormats.CurrencyPlacement, 3)];
                std::size_t size = 0;
                for (const char* p = pattern; *p; ++p)
                    size += *p == '$' ? LocaleFormats.CurrencySymbol.size()
                                      : (*p == '*' ? text.Size() : 1);
                out.reserve(out.size() + size);
                for (const char* p = pattern; *p; ++p) {
                    if (*p == '$') {
                        out.append(LocaleFormats.CurrencySymbol);
                    } else if (*p == '*') {
                        out.append(text.View());
                    } else {
                        out.push_back(*p);
                    }
                }
                return;
            } else {
                if (d.Negative) text.Put('-');
                WriteBody(d, style, digits, text);
            }
            break;
        case TFloatFormat::General:
        default:
            WriteGeneral(d, precision, digits, text);
            break;
    }
    out.append(text.View());
}

int DecimalsFor(TFloatFormat style, int digits) {
    return (style == TFloatFormat::General || style == TFloatFormat::Exponent) ? kAllDecimals
                                                                               : digits;
}

}  // namespace

void AppendFloatTextStyled(std::string& out, double value, TFloatFormat style, int precision,
                           int digits) {
    precision = std::clamp(precision, 2, kMaxDigits);
    const TDecimalDigits d = FloatDigits(value, precision, DecimalsFor(style, digits));
    AppendStyled(out, d, style, precision, digits);
}

void AppendFloatText(std::string& out, double value) {
    AppendFloatTextStyled(out, value, TFloatFormat::General, 15, 0);
}

void AppendCurrencyTextStyled(std::string& out, int64_t scaled, TFloatFormat style, int digits) {
    const TDecimalDigits d = CurrencyDigits(scaled, DecimalsFor(style, digits));
    AppendStyled(out, d, style, 19, digits);
}

void AppendCurrencyText(std::string& out, int64_t scaled) {
    // The general style with all four decimals never needs the exponent notation (a 64-bit
    // scaled value has at most 15 integer digits and its smallest step is 0.0001), so the text is
    // the sign, the integer part ("0" below one) and, when the value has them, the decimals
    // without trailing zeros after the separator: written straight from the integer.
    if (scaled == 0) {
        out.push_back('0');
        return;
    }
    const uint64_t magnitude =
        scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    char text[32];
    char* end = text + sizeof text;
    char* p = end;
    uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        int decimals = 4;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --decimals;
        }
        for (int i = 0; i < decimals; ++i) {
            *--p = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        if (LocaleFormats.DecimalChar != '\0') *--p = LocaleFormats.DecimalChar;
    }
    uint64_t whole = magnitude / 10000;
    do {
        *--p = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    if (scaled < 0) *--p = '-';
    out.append(p, end);
}

std::string FloatTextStyled(double value, TFloatFormat style, int precision, int digits) {
    std::string text;
    AppendFloatTextStyled(text, value, style, precision, digits);
    return text;
}

std::string FloatText(double value) {
    std::string text;
    AppendFloatText(text, value);
    return text;
}

std::string CurrencyTextStyled(int64_t scaled, TFloatFormat style, int digits) {
    std::string text;
    AppendCurrencyTextStyled(text, scaled, style, digits);
    return text;
}

std::string CurrencyText(int64_t scaled) {
    std::string text;
    AppendCurrencyText(text, scaled);
    return text;
}

}  // namespace parvell
