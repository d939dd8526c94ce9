#include "data/Formats.h"

#include <charconv>

#include "data/TextBuffer.h"

namespace parvell {

TLocaleFormats LocaleFormats;

namespace {

constexpr std::array<const char*, 12> kMonthNamesShort = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 12> kMonthNamesLong = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 7> kDayNamesShort = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 7> kDayNamesLong = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                      "Thursday", "Friday", "Saturday"};

// Longest BCD text: 64 digits, a leading "0", the separator and the sign.
using TBcdBuffer = TTextBuffer<72>;

// Writes the text of a decimal record into `text`; raises for a malformed record.
void FormatBcd(const TBcd& value, TBcdBuffer& text) {
    const int digitCount = value.Precision;
    const int places = value.SignSpecialPlaces & 0x3F;
    if (digitCount == 0 || digitCount > 64 || places > digitCount) throw EBcdOverflowException();

    const int decimalPosition = digitCount - places;
    bool anyNonZero = false;
    std::size_t fractionStart = 0;  // where the decimals begin in `text`, once written
    for (int i = 0; i < digitCount; ++i) {
        const uint8_t packed = value.Fraction[i / 2];
        const int digit = (i % 2 == 0) ? (packed >> 4) : (packed & 0x0F);
        // A nibble above 9 is not a decimal digit: the record is malformed.
        if (digit > 9) throw EBcdOverflowException();
        if (i == decimalPosition) {
            if (text.Empty()) text.Put('0');
            text.PutItem(LocaleFormats.DecimalChar);
            fractionStart = text.Size();
        }
        if (!text.Empty() || digit != 0 || i >= decimalPosition) {
            text.Put(static_cast<char>('0' + digit));
            if (digit != 0) anyNonZero = true;
        }
    }
    if (places > 0) {
        // Trailing zeros of the decimals go, then the separator when no decimal is left. The
        // integer digits are never touched, even when the separator is the zero character.
        std::size_t size = text.Size();
        while (size > fractionStart && text.View()[size - 1] == '0') --size;
        text.Truncate(size);
        if (size == fractionStart) {
            const bool separatorWritten = LocaleFormats.DecimalChar != '\0';
            text.Truncate(separatorWritten ? size - 1 : size);
        }
    }
    if (text.Empty()) {
        text.Put('0');
        return;
    }
    // A value whose digits are all zero is written without a sign: -0.00 gives 0, not -0.
    if ((value.SignSpecialPlaces & 0x80) != 0 && anyNonZero) {
        TBcdBuffer signedText;
        signedText.Put('-');
        signedText.Put(text.View());
        text = signedText;
    }
}

}  // namespace

TLocaleFormats::TLocaleFormats() {
    for (std::size_t i = 0; i < 12; ++i) {
        MonthNamesShort[i] = kMonthNamesShort[i];
        MonthNamesLong[i] = kMonthNamesLong[i];
    }
    for (std::size_t i = 0; i < 7; ++i) {
        DayNamesShort[i] = kDayNamesShort[i];
        DayNamesLong[i] = kDayNamesLong[i];
    }
}

TLocaleFormats TLocaleFormats::UnitedStates() {
    TLocaleFormats f;
    f.CurrencySymbol = "$";
    f.CurrencyPlacement = 0;
    f.NegCurrencyPlacement = 0;
    f.ThousandsChar = ',';
    f.DecimalChar = '.';
    f.CurrencyDigits = 2;
    f.DateSepChar = '/';
    f.ShortDatePattern = "M/d/yyyy";
    f.LongDatePattern = "dddd, MMMM d, yyyy";
    f.TimeSepChar = ':';
    f.AmText = "AM";
    f.PmText = "PM";
    f.ShortTimePattern = "h:mm AMPM";
    f.LongTimePattern = "h:mm:ss AMPM";
    f.ListSepChar = ',';
    return f;
}

void AppendIntegerText(std::string& out, int32_t value) {
    char text[16];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

void AppendInt64Text(std::string& out, int64_t value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

std::string IntegerText(int32_t value) {
    char text[16];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Int64Text(int64_t value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

void AppendBcdText(std::string& out, const TBcd& value) {
    TBcdBuffer text;
    FormatBcd(value, text);
    out.append(text.View());
}

std::string BcdText(const TBcd& value) {
    TBcdBuffer text;
    FormatBcd(value, text);
    return text.Text();
}

}  // namespace parvell
