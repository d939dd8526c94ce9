// Filling LocaleFormats from the user's locale.
//
// A category whose locale is a United States English one or the C library's default takes the
// program's United States items (TLocaleFormats::UnitedStates()); so does a category whose locale
// the C library cannot load. Every other category is read through the C library:
//   CurrencySymbol         LC_MONETARY currency_symbol
//   CurrencyPlacement      LC_MONETARY p_cs_precedes, p_sep_by_space
//   NegCurrencyPlacement   LC_MONETARY n_cs_precedes, n_sep_by_space, n_sign_posn
//   CurrencyDigits         LC_MONETARY frac_digits (unspecified gives 0)
//   ThousandsChar          LC_NUMERIC thousands_sep
//   DecimalChar            LC_NUMERIC decimal_point
//   ShortDatePattern       LC_TIME d_fmt, written as a date pattern
//   DateSepChar            LC_TIME d_fmt, the text between its first two conversions
//   TimeSepChar            LC_TIME t_fmt, likewise
//   AmText, PmText         LC_TIME am_str, pm_str
//   Short/LongTimePattern  built from LC_TIME t_fmt (hour conversion, clock, marker position)
//   Month and day names    LC_TIME abmon, mon, abday, day (an empty name keeps the English one)
//   LongDatePattern, ListSepChar: the C library has no such item; the defaults stay.
// Texts are converted to Windows-1252 from the code set of the category's own locale (the
// locale object's LC_CTYPE stays "C", so CODESET would not tell).
#include "data/LocaleFormats.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/Cp1252.h"
#include "data/LocaleItems.h"

namespace parvell {

namespace {

// The Windows-1252 byte of a locale text's character. The C1 controls are no text of a locale, so
// the five bytes the code page leaves unassigned are not produced; the narrow no-break space of
// some locales' digit grouping becomes the no-break space.
char Windows1252For(char32_t codePoint) {
    if (codePoint == 0x202F) return static_cast<char>(0xA0);
    if (codePoint >= 0x80 && codePoint < 0xA0) return '?';
    return cp1252::EncodeOrQuestion(codePoint);
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr int kUnspecified = -1;

// Finds the next conversion at or after `pos`; returns its position (npos when none) and sets
// `conversion` to its letter and `noPadding` when the GNU "-" flag asks for no padding.
std::size_t NextConversion(std::string_view format, std::size_t pos, char& conversion,
                           bool& noPadding, std::size_t& end) {
    while (true) {
        pos = format.find('%', pos);
        if (pos == std::string_view::npos || pos + 1 >= format.size())
            return std::string_view::npos;
        std::size_t i = pos + 1;
        noPadding = false;
        while (i < format.size() && std::strchr("-_0^#", format[i]) != nullptr) {
            if (format[i] == '-' || format[i] == '_') noPadding = true;
            ++i;
        }
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i;  // field width
        if (i < format.size() && (format[i] == 'E' || format[i] == 'O')) ++i;
        if (i >= format.size()) return std::string_view::npos;
        conversion = format[i];
        end = i + 1;
        return pos;
    }
}

// Appends literal text to a pattern, quoting letters and quote characters so that none of them
// reads as a token.
void AppendLiteral(std::string& pattern, std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (IsLetter(c)) {
            std::size_t j = i;
            while (j < text.size() && IsLetter(text[j])) ++j;
            pattern += '"';
            pattern.append(text.substr(i, j - i));
            pattern += '"';
            i = j;
        } else if (c == '"') {
            pattern += "'\"'";
            ++i;
        } else if (c == '\'') {
            pattern += "\"'\"";
            ++i;
        } else {
            pattern += c;
            ++i;
        }
    }
}

// The locale's text items, converted to Windows-1252 from the locale's code set.
class TLocaleReader {
public:
    // `codeSetItem`: the code set item of the category the texts are read from
    // (_NL_TIME_CODESET, ...).
    TLocaleReader(locale_t locale, nl_item codeSetItem) : locale_(locale) {
        const char* codeSet = nl_langinfo_l(codeSetItem, locale);
        const std::string_view name = codeSet ? codeSet : "";
        utf8_ = name == "UTF-8" || name == "utf8";
        latin1_ = name == "ISO-8859-1" || name == "ISO-8859-15" || name == "CP1252";
    }

    std::string Text(nl_item item) const {
        const char* value = nl_langinfo_l(item, locale_);
        if (value == nullptr) return {};
        if (utf8_) return Utf8ToWindows1252(value);
        std::string text(value);
        if (!latin1_)
            for (char& c : text)
                if (static_cast<unsigned char>(c) >= 0x80) c = '?';
        return text;
    }

    // A numeric monetary item, or kUnspecified when the locale does not say: the C library marks
    // that with CHAR_MAX, which its own "C" locale stores as the byte 0xFF.
    int Number(nl_item item) const {
        const char* value = nl_langinfo_l(item, locale_);
        if (value == nullptr) return kUnspecified;
        const int number = static_cast<unsigned char>(value[0]);
        return (number == CHAR_MAX || number == 0xFF) ? kUnspecified : number;
    }

private:
    locale_t locale_;
    bool utf8_ = false;
    bool latin1_ = false;
};

// The time format with its shorthand conversions written out.
std::string ExpandTimeFormat(std::string_view format, const TLocaleReader& reader) {
    std::string expanded;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char next = format[i + 1];
            if (next == 'r') {
                const std::string ampm = reader.Text(T_FMT_AMPM);
                expanded += ampm.empty() ? "%I:%M:%S %p" : ampm;
                ++i;
                continue;
            }
            if (next == 'T' || next == 'X') {
                expanded += "%H:%M:%S";
                ++i;
                continue;
            }
            if (next == 'R') {
                expanded += "%H:%M";
                ++i;
                continue;
            }
            expanded += format[i];
            expanded += next;
            ++i;
            continue;
        }
        expanded += format[i];
    }
    return expanded;
}

bool IsCjkLocaleName(std::string_view name) {
    return name.starts_with("zh") || name.starts_with("ja") || name.starts_with("ko");
}

}  // namespace

std::string Utf8ToWindows1252(std::string_view utf8) {
    std::string text;
    text.reserve(utf8.size());
    std::size_t i = 0;
    char32_t codePoint;
    while (i < utf8.size()) {
        text += cp1252::NextUtf8(utf8, i, codePoint) ? Windows1252For(codePoint) : '?';
    }
    return text;
}

void TakeSeparator(char& item, std::string_view value) {
    if (value.empty()) {
        item = '\0';
    } else if (value.size() == 1) {
        item = value[0];
    }
}

std::string DatePatternFromStrftime(std::string_view format) {
    std::string pattern;
    std::size_t pos = 0;
    while (pos < format.size()) {
        char conversion = 0;
        bool noPadding = false;
        std::size_t end = 0;
        const std::size_t found = NextConversion(format, pos, conversion, noPadding, end);
        AppendLiteral(pattern,
                      format.substr(pos, found == std::string_view::npos ? std::string_view::npos
                                                                         : found - pos));
        if (found == std::string_view::npos) break;
        switch (conversion) {
            case 'd':
                pattern += noPadding ? "d" : "dd";
                break;
            case 'e':
                pattern += "d";
                break;
            case 'm':
                pattern += noPadding ? "M" : "MM";
                break;
            case 'y':
                pattern += "yy";
                break;
            case 'Y':
                pattern += "yyyy";
                break;
            case 'b':
            case 'h':
                pattern += "MMM";
                break;
            case 'B':
                pattern += "MMMM";
                break;
            case 'a':
                pattern += "ddd";
                break;
            case 'A':
                pattern += "dddd";
                break;
            case 'D':
                pattern += "MM/dd/yy";
                break;
            case 'F':
                pattern += "yyyy-MM-dd";
                break;
            case 'n':
            case 't':
                pattern += ' ';
                break;
            case '%':
                pattern += '%';
                break;
            default:
                break;  // no date pattern equivalent
        }
        pos = end;
    }
    return pattern;
}

std::string SeparatorFromStrftime(std::string_view format) {
    char conversion = 0;
    bool noPadding = false;
    std::size_t end = 0;
    if (NextConversion(format, 0, conversion, noPadding, end) == std::string_view::npos) return {};
    std::size_t secondEnd = 0;
    const std::size_t next = NextConversion(format, end, conversion, noPadding, secondEnd);
    return std::string(
        format.substr(end, next == std::string_view::npos ? std::string_view::npos : next - end));
}

TTimeConvention TimeConventionFromStrftime(std::string_view format) {
    TTimeConvention convention;
    bool markerSeen = false;
    std::size_t pos = 0;
    char conversion = 0;
    bool noPadding = false;
    std::size_t end = 0;
    while (NextConversion(format, pos, conversion, noPadding, end) != std::string_view::npos) {
        pos = end;
        if (conversion == 'p' || conversion == 'P') {
            markerSeen = true;
            continue;
        }
        if (convention.Found) continue;
        if (conversion == 'H' || conversion == 'I' || conversion == 'k' || conversion == 'l') {
            convention.Found = true;
            convention.TwelveHour = conversion == 'I' || conversion == 'l';
            convention.LeadingZero = (conversion == 'H' || conversion == 'I') && !noPadding;
            convention.MarkerFirst = markerSeen;
        }
    }
    return convention;
}

namespace {

std::string TimePattern(const TTimeConvention& convention, std::string_view rest) {
    std::string pattern;
    if (convention.TwelveHour && convention.MarkerFirst) pattern += "AMPM ";
    pattern += convention.LeadingZero ? "hh" : "h";
    pattern += rest;
    if (convention.TwelveHour && !convention.MarkerFirst) pattern += " AMPM";
    return pattern;
}

}  // namespace

std::string ShortTimePatternFor(const TTimeConvention& convention) {
    return TimePattern(convention, ":mm");
}

std::string LongTimePatternFor(const TTimeConvention& convention) {
    return TimePattern(convention, ":mm:ss");
}

uint8_t PositiveCurrencyPlacement(bool symbolPrecedes, bool separatedBySpace) {
    if (symbolPrecedes) return separatedBySpace ? 2 : 0;  // "$ *" : "$*"
    return separatedBySpace ? 3 : 1;                      // "* $" : "*$"
}

uint8_t NegativeCurrencyPlacement(bool symbolPrecedes, bool separatedBySpace, int signPosition) {
    // Rows: sign position 0..4; columns: symbol before without, with space; after without, with.
    static constexpr uint8_t kPlacements[5][4] = {
        {0, 14, 4, 15},  // ($*)  ($ *)  (*$)  (* $)
        {1, 9, 5, 8},    // -$*   -$ *   -*$   -* $
        {3, 11, 7, 10},  // $*-   $ *-   *$-   * $-
        {1, 9, 6, 13},   // -$*   -$ *   *-$   *- $
        {2, 12, 7, 10},  // $-*   $ -*   *$-   * $-
    };
    if (signPosition < 0 || signPosition > 4) return 0;
    return kPlacements[signPosition][(symbolPrecedes ? 0 : 2) + (separatedBySpace ? 1 : 0)];
}

std::string TranslateDatePattern(std::string_view pattern, bool eraCalendar, bool cjkLocale) {
    if (!eraCalendar && !cjkLocale) return std::string(pattern);
    std::string result;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '\'' || c == '"') {
            const std::size_t close = pattern.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? pattern.size() : close + 1;
            result.append(pattern.substr(i, end - i));
            i = end;
            continue;
        }
        std::size_t count = 1;
        while (i + count < pattern.size() && pattern[i + count] == c) ++count;
        const bool isG = c == 'g' || c == 'G';
        const bool isY = c == 'y' || c == 'Y';
        if (eraCalendar && isG && count == 2) {
            result.append(3, c);
        } else if (eraCalendar && isY && (count == 1 || count == 2 || count == 4)) {
            result.append(count, c == 'y' ? 'e' : 'E');
        } else if (!eraCalendar && isG) {
            // dropped
        } else {
            result.append(pattern.substr(i, count));
        }
        i += count;
    }
    return result;
}

namespace {

struct TCategoryInfo {
    TLocaleCategory category;
    const char* variable;
    int mask;
};

constexpr TCategoryInfo kCategories[] = {
    {TLocaleCategory::Numeric, "LC_NUMERIC", LC_NUMERIC_MASK},
    {TLocaleCategory::Monetary, "LC_MONETARY", LC_MONETARY_MASK},
    {TLocaleCategory::Time, "LC_TIME", LC_TIME_MASK},
};

void TakeUnitedStatesItems(TLocaleCategory category, TLocaleFormats& formats) {
    const TLocaleFormats us = TLocaleFormats::UnitedStates();
    switch (category) {
        case TLocaleCategory::Numeric:
            formats.ThousandsChar = us.ThousandsChar;
            formats.DecimalChar = us.DecimalChar;
            break;
        case TLocaleCategory::Monetary:
            formats.CurrencySymbol = us.CurrencySymbol;
            formats.CurrencyPlacement = us.CurrencyPlacement;
            formats.NegCurrencyPlacement = us.NegCurrencyPlacement;
            formats.CurrencyDigits = us.CurrencyDigits;
            break;
        case TLocaleCategory::Time:
            formats.DateSepChar = us.DateSepChar;
            formats.ShortDatePattern = us.ShortDatePattern;
            formats.LongDatePattern = us.LongDatePattern;
            formats.TimeSepChar = us.TimeSepChar;
            formats.AmText = us.AmText;
            formats.PmText = us.PmText;
            formats.ShortTimePattern = us.ShortTimePattern;
            formats.LongTimePattern = us.LongTimePattern;
            formats.MonthNamesShort = us.MonthNamesShort;
            formats.MonthNamesLong = us.MonthNamesLong;
            formats.DayNamesShort = us.DayNamesShort;
            formats.DayNamesLong = us.DayNamesLong;
            break;
    }
}

void ReadNumericItems(locale_t locale, TLocaleFormats& formats) {
    const TLocaleReader reader(locale, _NL_NUMERIC_CODESET);
    TakeSeparator(formats.ThousandsChar, reader.Text(THOUSANDS_SEP));
    TakeSeparator(formats.DecimalChar, reader.Text(DECIMAL_POINT));
}

void ReadMonetaryItems(locale_t locale, TLocaleFormats& formats) {
    const TLocaleReader reader(locale, _NL_MONETARY_CODESET);
    formats.CurrencySymbol = reader.Text(CURRENCY_SYMBOL);
    const int pPrecedes = reader.Number(P_CS_PRECEDES);
    const int pSpace = reader.Number(P_SEP_BY_SPACE);
    if (pPrecedes != kUnspecified && pSpace != kUnspecified)
        formats.CurrencyPlacement = PositiveCurrencyPlacement(pPrecedes != 0, pSpace != 0);
    const int nPrecedes = reader.Number(N_CS_PRECEDES);
    const int nSpace = reader.Number(N_SEP_BY_SPACE);
    const int nSign = reader.Number(N_SIGN_POSN);
    if (nPrecedes != kUnspecified && nSpace != kUnspecified && nSign != kUnspecified)
        formats.NegCurrencyPlacement =
            NegativeCurrencyPlacement(nPrecedes != 0, nSpace != 0, nSign);
    const int fracDigits = reader.Number(FRAC_DIGITS);
    formats.CurrencyDigits = fracDigits == kUnspecified ? 0 : static_cast<uint8_t>(fracDigits);
}

void ReadTimeItems(locale_t locale, const std::string& localeName, TLocaleFormats& formats) {
    const TLocaleReader reader(locale, _NL_TIME_CODESET);
    const std::string dateFormat = reader.Text(D_FMT);
    if (!dateFormat.empty()) {
        // The C library's date formats are Gregorian: no era calendar is in use.
        formats.ShortDatePattern = TranslateDatePattern(DatePatternFromStrftime(dateFormat), false,
                                                        IsCjkLocaleName(localeName));
        TakeSeparator(formats.DateSepChar, SeparatorFromStrftime(dateFormat));
    }

    formats.AmText = reader.Text(AM_STR);
    formats.PmText = reader.Text(PM_STR);

    const std::string timeFormat = ExpandTimeFormat(reader.Text(T_FMT), reader);
    const TTimeConvention convention = TimeConventionFromStrftime(timeFormat);
    if (convention.Found) {
        formats.ShortTimePattern = ShortTimePatternFor(convention);
        formats.LongTimePattern = LongTimePatternFor(convention);
        TakeSeparator(formats.TimeSepChar, SeparatorFromStrftime(timeFormat));
    }

    for (int i = 0; i < 12; ++i) {
        std::string shortName = reader.Text(static_cast<nl_item>(ABMON_1 + i));
        std::string longName = reader.Text(static_cast<nl_item>(MON_1 + i));
        if (!shortName.empty()) formats.MonthNamesShort[i] = std::move(shortName);
        if (!longName.empty()) formats.MonthNamesLong[i] = std::move(longName);
    }
    for (int i = 0; i < 7; ++i) {
        std::string shortName = reader.Text(static_cast<nl_item>(ABDAY_1 + i));
        std::string longName = reader.Text(static_cast<nl_item>(DAY_1 + i));
        if (!shortName.empty()) formats.DayNamesShort[i] = std::move(shortName);
        if (!longName.empty()) formats.DayNamesLong[i] = std::move(longName);
    }
}

const char* EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

}  // namespace

std::string EffectiveLocaleName(TLocaleCategory category) {
    const char* variable = "LC_TIME";
    for (const TCategoryInfo& info : kCategories)
        if (info.category == category) variable = info.variable;
    for (const char* name : {"LC_ALL", variable, "LANG"})
        if (const char* value = EnvironmentValue(name)) return value;
    return "C";
}

bool IsUnitedStatesLocaleName(std::string_view name) {
    const auto namedWithSuffix = [name](std::string_view base, std::string_view suffixStarts) {
        if (!name.starts_with(base)) return false;
        if (name.size() == base.size()) return true;
        return suffixStarts.find(name[base.size()]) != std::string_view::npos;
    };
    return name == "POSIX" || namedWithSuffix("C", ".") || namedWithSuffix("en_US", ".@");
}

TLocaleLoadResult LoadLocaleFormats() {
    TLocaleFormats formats;  // what the locale does not give keeps its default
    TLocaleLoadResult result;
    const auto unloadable = [&result](const std::string& name) {
        if (std::find(result.Unloadable.begin(), result.Unloadable.end(), name) ==
            result.Unloadable.end())
            result.Unloadable.push_back(name);
    };

    for (const TCategoryInfo& info : kCategories) {
        const std::string name = EffectiveLocaleName(info.category);
        if (IsUnitedStatesLocaleName(name)) {
            TakeUnitedStatesItems(info.category, formats);
            continue;
        }
        // Only this category is loaded; the rest of the object is "C" and is not read.
        const locale_t locale = newlocale(info.mask, name.c_str(), static_cast<locale_t>(0));
        if (locale == static_cast<locale_t>(0)) {
            TakeUnitedStatesItems(info.category, formats);
            unloadable(name);
            continue;
        }
        switch (info.category) {
            case TLocaleCategory::Numeric:
                ReadNumericItems(locale, formats);
                break;
            case TLocaleCategory::Monetary:
                ReadMonetaryItems(locale, formats);
                break;
            case TLocaleCategory::Time:
                ReadTimeItems(locale, name, formats);
                break;
        }
        freelocale(locale);
    }
    LocaleFormats = std::move(formats);
    return result;
}

}  // namespace parvell
