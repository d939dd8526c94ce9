// Date-times: splitting a value into calendar parts, and writing them under a pattern.
// Pattern letters are matched without regard to case; a run of one character (same case) is one
// token. Texts are Windows-1252, a single-byte code page, so every byte is copied on its own.
#include "data/Formats.h"

#include <cmath>

#include "data/TextBuffer.h"

namespace parvell {

namespace {

constexpr int64_t kMsPerDay = 86400000;
// Day number (0001-01-01 = day 1) of 1899-12-30, the zero of TDateTime.
constexpr int64_t kDayNumberOfZero = 693594;
// Days from 1899-12-30 to 1970-01-01.
constexpr int64_t kDaysToUnixEpoch = 25569;
// Beyond this many milliseconds a value cannot be counted in 64 bits.
constexpr double kMaxMs = 9.0e18;

using TDateBuffer = TTextBuffer<256>;

// Calendar date of a day count from 1970-01-01 (proleptic Gregorian; the era-of-400-years
// method, valid for the whole 64-bit range used here).
void CivilFromDays(int64_t z, int32_t& year, int32_t& month, int32_t& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;                                  // [0, 146096]
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);           // [0, 365]
    const int64_t mp = (5 * doy + 2) / 153;                                // [0, 11]
    day = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int32_t>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Whether `pattern` at `pos` matches `word` without regard to case (`word` is lower case).
bool MatchesAt(std::string_view pattern, std::size_t pos, std::string_view word) {
    if (pattern.size() - pos < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (Lower(pattern[pos + i]) != word[i]) return false;
    return true;
}

enum class TMarker { None, AmPmLetters, APLetter, AmPmTexts };

TMarker MarkerAt(std::string_view pattern, std::size_t pos) {
    if (MatchesAt(pattern, pos, "am/pm")) return TMarker::AmPmLetters;
    if (MatchesAt(pattern, pos, "a/p")) return TMarker::APLetter;
    if (MatchesAt(pattern, pos, "ampm")) return TMarker::AmPmTexts;
    return TMarker::None;
}

// Position just after the quoted text that starts at `pos` (an unclosed quote runs to the end).
std::size_t SkipQuoted(std::string_view pattern, std::size_t pos) {
    const std::size_t close = pattern.find(pattern[pos], pos + 1);
    return close == std::string_view::npos ? pattern.size() : close + 1;
}

// Whether an hour token ending before `pos` is on the 12-hour clock: scanning on (quoted text
// skipped), the first "a" met before any further "h" starts a marker.
bool TwelveHourAhead(std::string_view pattern, std::size_t pos) {
    while (pos < pattern.size()) {
        const char c = pattern[pos];
        if (c == '\'' || c == '"') {
            pos = SkipQuoted(pattern, pos);
            continue;
        }
        const char lower = Lower(c);
        if (lower == 'h') return false;
        if (lower == 'a') return MarkerAt(pattern, pos) != TMarker::None;
        ++pos;
    }
    return false;
}

class TDateWriter {
public:
    TDateWriter(const TDateTimeParts& parts, TDateBuffer& out) : parts_(parts), out_(out) {}

    // Writes `pattern`; depth 1 is a pattern named by a token, whose own named patterns write
    // nothing, so that patterns naming each other cannot recurse.
    void Write(std::string_view pattern, int depth) {
        bool twelveHourClock = false;  // set once a marker has been written
        char lastLetter = '\0';        // the last letter token, in lower case
        std::size_t i = 0;
        while (i < pattern.size()) {
            const char c = pattern[i];
            if (c == '\'' || c == '"') {
                const std::size_t close = pattern.find(c, i + 1);
                if (close == std::string_view::npos) {
                    out_.Put(pattern.substr(i + 1));  // an unclosed quote copies to the end
                    break;
                }
                out_.Put(pattern.substr(i + 1, close - i - 1));
                i = close + 1;
                continue;
            }
            if (c == '/') {
                out_.PutItem(LocaleFormats.DateSepChar);
                ++i;
                continue;
            }
            if (c == ':') {
                out_.PutItem(LocaleFormats.TimeSepChar);
                ++i;
                continue;
            }
            if (!IsLetter(c)) {
                out_.Put(c);
                ++i;
                continue;
            }

            const char letter = Lower(c);
            if (letter == 'a') {
                const TMarker marker = MarkerAt(pattern, i);
                if (marker != TMarker::None) {
                    i += WriteMarker(pattern, i, marker);
                    twelveHourClock = true;
                    lastLetter = 'a';
                    continue;
                }
            }
            std::size_t count = 1;
            while (i + count < pattern.size() && pattern[i + count] == c) ++count;
            switch (letter) {
                case 'c':
                    if (depth == 0) {
                        Write(LocaleFormats.ShortDatePattern, depth + 1);
                        if (parts_.Hour != 0 || parts_.Minute != 0 || parts_.Second != 0) {
                            out_.Put(' ');
                            Write(LocaleFormats.LongTimePattern, depth + 1);
                        }
                    }
                    break;
                case 'd':
                    if (count <= 2) {
                        out_.PutNumber(parts_.Day, static_cast<int>(count));
                    } else if (count == 3) {
                        out_.Put(LocaleFormats.DayNamesShort[parts_.DayOfWeek]);
                    } else if (count == 4) {
                        out_.Put(LocaleFormats.DayNamesLong[parts_.DayOfWeek]);
                    } else if (depth == 0) {
                        Write(count == 5 ? LocaleFormats.ShortDatePattern
                                         : LocaleFormats.LongDatePattern,
                              depth + 1);
                    }
                    break;
                case 'm':
                    if (lastLetter == 'h') {
                        out_.PutNumber(parts_.Minute, count >= 2 ? 2 : 1);
                    } else if (count <= 2) {
                        out_.PutNumber(parts_.Month, static_cast<int>(count));
                    } else if (parts_.Month >= 1 && parts_.Month <= 12) {
                        out_.Put(count == 3 ? LocaleFormats.MonthNamesShort[parts_.Month - 1]
                                            : LocaleFormats.MonthNamesLong[parts_.Month - 1]);
                    }
                    break;
                case 'y':
                    if (count <= 2) {
                        out_.PutNumber(parts_.Year % 100, 2);
                    } else {
                        out_.PutNumber(parts_.Year, 4);
                    }
                    break;
                case 'h': {
                    int hour = parts_.Hour;
                    if (twelveHourClock || TwelveHourAhead(pattern, i + count)) {
                        if (hour == 0) {
                            hour = 12;
                        } else if (hour > 12) {
                            hour -= 12;
                        }
                    }
                    out_.PutNumber(hour, count >= 2 ? 2 : 1);
                    break;
                }
                case 'n':
                    out_.PutNumber(parts_.Minute, count >= 2 ? 2 : 1);
                    break;
                case 's':
                    out_.PutNumber(parts_.Second, count >= 2 ? 2 : 1);
                    break;
                case 'z':
                    out_.PutNumber(parts_.Millisecond, count >= 3 ? 3 : static_cast<int>(count));
                    break;
                case 't':
                    if (depth == 0) {
                        Write(count == 1 ? LocaleFormats.ShortTimePattern
                                         : LocaleFormats.LongTimePattern,
                              depth + 1);
                    }
                    break;
                case 'a':
                    if (count >= 3) {
                        out_.Put(count == 3 ? LocaleFormats.DayNamesShort[parts_.DayOfWeek]
                                            : LocaleFormats.DayNamesLong[parts_.DayOfWeek]);
                    } else {
                        count = 1;  // a lone "a" is copied; the next one is looked at anew
                        out_.Put(c);
                    }
                    break;
                case 'e':
                    // Without an era calendar the year of the era is the Gregorian year.
                    out_.PutNumber(parts_.Year, 1);
                    break;
                case 'g':
                    // ... and the era name is empty.
                    break;
                default:
                    out_.Put(pattern.substr(i, count));
                    break;
            }
            lastLetter = letter;
            i += count;
        }
    }

private:
    // Writes the marker at `pos`; returns its length in the pattern.
    std::size_t WriteMarker(std::string_view pattern, std::size_t pos, TMarker marker) {
        const bool morning = parts_.Hour < 12;
        switch (marker) {
            case TMarker::AmPmLetters:
                out_.Put(pattern.substr(morning ? pos : pos + 3, 2));
                return 5;
            case TMarker::APLetter:
                out_.Put(pattern[morning ? pos : pos + 2]);
                return 3;
            case TMarker::AmPmTexts:
            default:
                out_.Put(morning ? LocaleFormats.AmText : LocaleFormats.PmText);
                return 4;
        }
    }

    const TDateTimeParts& parts_;
    TDateBuffer& out_;
};

void FormatDateTime(std::string_view pattern, TDateTime value, TDateBuffer& out) {
    const TDateTimeParts parts = DecodeDateTime(value);
    TDateWriter writer(parts, out);
    writer.Write(pattern.empty() ? std::string_view("c") : pattern, 0);
}

}  // namespace

TDateTimeParts DecodeDateTime(TDateTime value) {
    TDateTimeParts parts;
    // Rounded to whole milliseconds, ties to even (the default rounding mode).
    const double msValue = std::nearbyint(value * static_cast<double>(kMsPerDay));
    if (!(std::fabs(msValue) < kMaxMs)) return parts;  // not a number, or beyond counting
    const int64_t ms = static_cast<int64_t>(msValue);
    const int64_t days = ms / kMsPerDay;  // toward zero: a negative value's fraction is a time
    int64_t timeOfDay = ms % kMsPerDay;
    if (timeOfDay < 0) timeOfDay = -timeOfDay;

    parts.Hour = static_cast<int32_t>(timeOfDay / 3600000);
    parts.Minute = static_cast<int32_t>(timeOfDay / 60000 % 60);
    parts.Second = static_cast<int32_t>(timeOfDay / 1000 % 60);
    parts.Millisecond = static_cast<int32_t>(timeOfDay % 1000);

    const int64_t dayNumber = days + kDayNumberOfZero;
    parts.DayOfWeek = static_cast<int32_t>(((dayNumber % 7) + 7) % 7);  // day 1 was a Monday
    if (dayNumber >= 1) CivilFromDays(days - kDaysToUnixEpoch, parts.Year, parts.Month, parts.Day);
    return parts;
}

void AppendDateTimeText(std::string& out, std::string_view pattern, TDateTime value) {
    TDateBuffer text;
    FormatDateTime(pattern, value, text);
    out.append(text.View());
}

std::string DateTimeText(std::string_view pattern, TDateTime value) {
    TDateBuffer text;
    FormatDateTime(pattern, value, text);
    return text.Text();
}

}  // namespace parvell
