// Date-times: splitting a value into calendar parts, and writing them under a pattern.
// Pattern letters are matched without regard to case; a run of one character (same case) is one
// token. Texts are Windows-1252, a single-byte code page, so every byte is copied on its own.
#include "data/Formats.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <unordered_map>

#include "common/Calendar.h"

namespace parvell {

namespace {

constexpr int64_t kMsPerDay = 86400000;
// Beyond this many milliseconds a value cannot be counted in 64 bits.
constexpr double kMaxMs = 9.0e18;

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

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

// What one compiled step writes.
enum TOpKind : uint8_t {
    kLiteral,   // literals_[At, At + Size)
    kDateSep,   // LocaleFormats.DateSepChar
    kTimeSep,   // LocaleFormats.TimeSepChar
    kNumber,    // a calendar part (Arg) with at least Size digits
    kDayShort,  // day names
    kDayLong,
    kMonthShort,  // month names, nothing for a month out of range
    kMonthLong,
    kMarker,    // the literal at At before noon, at At2 after
    kAmPmText,  // LocaleFormats.AmText or PmText
    kIfTime,    // the next Size steps only when the time of day is not midnight
};

// The calendar parts a number step writes.
enum TPart : uint8_t {
    kDay,
    kMonth,
    kYear2,
    kYear,
    kHour,
    kHour12,
    kMinute,
    kSecond,
    kMillisecond
};

int PartValue(const TDateTimeParts& parts, uint8_t part) {
    switch (part) {
        case kDay:
            return parts.Day;
        case kMonth:
            return parts.Month;
        case kYear2:
            return parts.Year % 100;
        case kYear:
            return parts.Year;
        case kHour:
            return parts.Hour;
        case kHour12:
            if (parts.Hour == 0) return 12;
            return parts.Hour > 12 ? parts.Hour - 12 : parts.Hour;
        case kMinute:
            return parts.Minute;
        case kSecond:
            return parts.Second;
        default:
            return parts.Millisecond;
    }
}

// The text of one value: at most 256 characters (those beyond are dropped), with the short
// numbers of dates and times written in one step; appended to out at the end.
class TDateOut {
public:
    explicit TDateOut(std::string& out) : out_(out) {}
    ~TDateOut() { out_.append(data_, size_); }
    TDateOut(const TDateOut&) = delete;
    TDateOut& operator=(const TDateOut&) = delete;

    void Put(char c) {
        if (size_ < kCapacity) data_[size_++] = c;
    }
    void PutItem(char c) {
        if (c != '\0') Put(c);
    }
    void Put(std::string_view text) {
        const std::size_t n = std::min(text.size(), kCapacity - size_);
        if (n > 0) std::memcpy(data_ + size_, text.data(), n);
        size_ += n;
    }
    void PutNumber(int value, int minDigits) {
        if (value >= 0 && value < 100 && minDigits <= 2 && size_ + 2 <= kCapacity) {
            const char* pair = kPairs + 2 * value;
            if (value >= 10 || minDigits == 2) {
                std::memcpy(data_ + size_, pair, 2);
                size_ += 2;
            } else {
                data_[size_++] = pair[1];
            }
            return;
        }
        if (value >= 1000 && value < 10000 && minDigits <= 4 && size_ + 4 <= kCapacity) {
            std::memcpy(data_ + size_, kPairs + 2 * (value / 100), 2);
            std::memcpy(data_ + size_ + 2, kPairs + 2 * (value % 100), 2);
            size_ += 4;
            return;
        }
        // Digits of the value taken as unsigned, at least minDigits of them.
        unsigned long long rest = static_cast<unsigned long long>(static_cast<long long>(value));
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + rest % 10);
            rest /= 10;
        } while (rest != 0);
        for (int i = n; i < minDigits; ++i) Put('0');
        while (n > 0) Put(digits[--n]);
    }

private:
    static constexpr std::size_t kCapacity = 256;
    // "00" to "99", two characters each.
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    std::string& out_;
    char data_[kCapacity];
    std::size_t size_ = 0;
};

// The number of a compiled form by the texts it was compiled from (the pattern and the locale
// patterns it names), so that fields with the same pattern share it. Forms are few; past the
// bound a form gets none and is not remembered.
uint32_t FormId(const std::string& texts) {
    static std::mutex mutex;
    static std::unordered_map<std::string, uint32_t> ids;
    const std::lock_guard lock(mutex);
    if (const auto it = ids.find(texts); it != ids.end()) return it->second;
    if (ids.size() >= 4096) return 0;
    const auto id = static_cast<uint32_t>(ids.size() + 1);
    ids.emplace(texts, id);
    return id;
}

// The text written last on this thread, with its form, its value and the separators it used:
// the dates of one record are often the same (a transaction's first and last date), and
// comparing them is cheaper than writing the text again.
struct TLastText {
    uint32_t FormId = 0;
    uint64_t ValueBits = 0;
    char DateSep = '\0';
    char TimeSep = '\0';
    std::string Text;
};
thread_local TLastText lastText;

}  // namespace

void TDateTimePattern::AddOp(const TOp& op) {
    // Literal runs that follow each other are written as one.
    if (op.Kind == kLiteral && ops_.size() > sealed_ && ops_.back().Kind == kLiteral &&
        ops_.back().At + ops_.back().Size == op.At && ops_.back().Size + op.Size <= 0xFFFF) {
        ops_.back().Size = static_cast<uint16_t>(ops_.back().Size + op.Size);
        return;
    }
    ops_.push_back(op);
}

void TDateTimePattern::AddLiteral(std::string_view text) {
    // Longer literals are cut in pieces a step can count.
    while (!text.empty()) {
        const std::string_view piece = text.substr(0, 0xFFFF);
        TOp op;
        op.Kind = kLiteral;
        op.At = static_cast<uint32_t>(literals_.size());
        op.Size = static_cast<uint16_t>(piece.size());
        literals_.append(piece);
        AddOp(op);
        text.remove_prefix(piece.size());
    }
}

void TDateTimePattern::CompileNamed(TNamed which, int depth) {
    static constexpr std::string TLocaleFormats::*kItems[NamedCount] = {
        &TLocaleFormats::ShortDatePattern, &TLocaleFormats::LongDatePattern,
        &TLocaleFormats::ShortTimePattern, &TLocaleFormats::LongTimePattern};
    const std::string& pattern = LocaleFormats.*kItems[which];
    if (!usesNamed_[which]) {
        usesNamed_[which] = true;
        named_[which] = pattern;
    }
    CompileLevel(pattern, depth);
}

// Depth 1 is a pattern named by a token, whose own named patterns write nothing, so that patterns
// naming each other cannot recurse.
void TDateTimePattern::CompileLevel(std::string_view pattern, int depth) {
    bool twelveHourClock = false;  // set once a marker has been written
    char lastLetter = '\0';        // the last letter token, in lower case
    std::size_t i = 0;
    auto number = [&](uint8_t part, int digits) {
        TOp op;
        op.Kind = kNumber;
        op.Arg = part;
        op.Size = static_cast<uint16_t>(digits);
        AddOp(op);
    };
    auto simple = [&](uint8_t kind) {
        TOp op;
        op.Kind = kind;
        AddOp(op);
    };
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '\'' || c == '"') {
            const std::size_t close = pattern.find(c, i + 1);
            if (close == std::string_view::npos) {
                AddLiteral(pattern.substr(i + 1));  // an unclosed quote copies to the end
                break;
            }
            AddLiteral(pattern.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        if (c == '/') {
            simple(kDateSep);
            ++i;
            continue;
        }
        if (c == ':') {
            simple(kTimeSep);
            ++i;
            continue;
        }
        if (!IsLetter(c)) {
            AddLiteral(pattern.substr(i, 1));
            ++i;
            continue;
        }

        const char letter = Lower(c);
        if (letter == 'a') {
            const TMarker marker = MarkerAt(pattern, i);
            if (marker != TMarker::None) {
                if (marker == TMarker::AmPmTexts) {
                    simple(kAmPmText);
                    i += 4;
                } else {
                    const bool letters = marker == TMarker::AmPmLetters;
                    const std::size_t size = letters ? 2 : 1;
                    TOp op;
                    op.Kind = kMarker;
                    op.At = static_cast<uint32_t>(literals_.size());
                    op.Size = static_cast<uint16_t>(size);
                    literals_.append(pattern.substr(i, size));
                    op.At2 = static_cast<uint32_t>(literals_.size());
                    op.Size2 = static_cast<uint16_t>(size);
                    literals_.append(pattern.substr(i + (letters ? 3 : 2), size));
                    AddOp(op);
                    i += letters ? 5 : 3;
                }
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
                    CompileNamed(ShortDate, depth + 1);
                    TOp condition;
                    condition.Kind = kIfTime;
                    ops_.push_back(condition);
                    const std::size_t at = ops_.size();
                    AddLiteral(" ");
                    CompileNamed(LongTime, depth + 1);
                    ops_[at - 1].Size = static_cast<uint16_t>(ops_.size() - at);
                    sealed_ = ops_.size();  // what follows is no part of the condition
                }
                break;
            case 'd':
                if (count <= 2) {
                    number(kDay, static_cast<int>(count));
                } else if (count == 3) {
                    simple(kDayShort);
                } else if (count == 4) {
                    simple(kDayLong);
                } else if (depth == 0) {
                    CompileNamed(count == 5 ? ShortDate : LongDate, depth + 1);
                }
                break;
            case 'm':
                if (lastLetter == 'h') {
                    number(kMinute, count >= 2 ? 2 : 1);
                } else if (count <= 2) {
                    number(kMonth, static_cast<int>(count));
                } else {
                    simple(count == 3 ? kMonthShort : kMonthLong);
                }
                break;
            case 'y':
                if (count <= 2) {
                    number(kYear2, 2);
                } else {
                    number(kYear, 4);
                }
                break;
            case 'h':
                number(twelveHourClock || TwelveHourAhead(pattern, i + count) ? kHour12 : kHour,
                       count >= 2 ? 2 : 1);
                break;
            case 'n':
                number(kMinute, count >= 2 ? 2 : 1);
                break;
            case 's':
                number(kSecond, count >= 2 ? 2 : 1);
                break;
            case 'z':
                number(kMillisecond, count >= 3 ? 3 : static_cast<int>(count));
                break;
            case 't':
                if (depth == 0) CompileNamed(count == 1 ? ShortTime : LongTime, depth + 1);
                break;
            case 'a':
                if (count >= 3) {
                    simple(count == 3 ? kDayShort : kDayLong);
                } else {
                    count = 1;  // a lone "a" is copied; the next one is looked at anew
                    AddLiteral(pattern.substr(i, 1));
                }
                break;
            case 'e':
                // Without an era calendar the year of the era is the Gregorian year.
                number(kYear, 1);
                break;
            case 'g':
                // ... and the era name is empty.
                break;
            default:
                AddLiteral(pattern.substr(i, count));
                break;
        }
        lastLetter = letter;
        i += count;
    }
}

void TDateTimePattern::Compile(std::string_view pattern) {
    ops_.clear();
    literals_.clear();
    usesNamed_ = {};
    sealed_ = 0;
    source_.assign(pattern);
    CompileLevel(pattern.empty() ? std::string_view("c") : pattern, 0);
    compiled_ = true;

    formId_ = 0;
    for (const TOp& op : ops_) {
        if (op.Kind == kDayShort || op.Kind == kDayLong || op.Kind == kMonthShort ||
            op.Kind == kMonthLong || op.Kind == kAmPmText) {
            return;
        }
    }
    std::string texts = source_;
    for (std::size_t i = 0; i < named_.size(); ++i) {
        texts += '\0';
        if (usesNamed_[i]) texts += named_[i];
    }
    formId_ = FormId(texts);
}

bool TDateTimePattern::Current(std::string_view pattern) const {
    if (!compiled_ || pattern != source_) return false;
    if (usesNamed_[ShortDate] && named_[ShortDate] != LocaleFormats.ShortDatePattern) return false;
    if (usesNamed_[LongDate] && named_[LongDate] != LocaleFormats.LongDatePattern) return false;
    if (usesNamed_[ShortTime] && named_[ShortTime] != LocaleFormats.ShortTimePattern) return false;
    if (usesNamed_[LongTime] && named_[LongTime] != LocaleFormats.LongTimePattern) return false;
    return true;
}

void TDateTimePattern::Write(std::string& text, std::string_view pattern, TDateTime value) {
    if (!Current(pattern)) Compile(pattern);
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    TLastText& last = lastText;
    if (formId_ != 0 && last.FormId == formId_ && last.ValueBits == bits &&
        last.DateSep == LocaleFormats.DateSepChar && last.TimeSep == LocaleFormats.TimeSepChar) {
        text.append(last.Text);
        return;
    }
    const std::size_t start = text.size();
    WriteParts(text, value);
    if (formId_ != 0) {
        last.FormId = formId_;
        last.ValueBits = bits;
        last.DateSep = LocaleFormats.DateSepChar;
        last.TimeSep = LocaleFormats.TimeSepChar;
        last.Text.assign(text, start);
    }
}

void TDateTimePattern::WriteParts(std::string& text, TDateTime value) const {
    TDateOut out(text);
    const TDateTimeParts parts = DecodeDateTime(value);
    const std::string_view literals = literals_;
    const std::size_t count = ops_.size();
    for (std::size_t k = 0; k < count; ++k) {
        const TOp& op = ops_[k];
        switch (op.Kind) {
            case kLiteral:
                if (op.Size == 1) {
                    out.Put(literals[op.At]);
                } else {
                    out.Put(literals.substr(op.At, op.Size));
                }
                break;
            case kDateSep:
                out.PutItem(LocaleFormats.DateSepChar);
                break;
            case kTimeSep:
                out.PutItem(LocaleFormats.TimeSepChar);
                break;
            case kNumber:
                out.PutNumber(PartValue(parts, op.Arg), op.Size);
                break;
            case kDayShort:
                out.Put(LocaleFormats.DayNamesShort[parts.DayOfWeek]);
                break;
            case kDayLong:
                out.Put(LocaleFormats.DayNamesLong[parts.DayOfWeek]);
                break;
            case kMonthShort:
            case kMonthLong:
                if (parts.Month >= 1 && parts.Month <= 12) {
                    out.Put(op.Kind == kMonthShort ? LocaleFormats.MonthNamesShort[parts.Month - 1]
                                                   : LocaleFormats.MonthNamesLong[parts.Month - 1]);
                }
                break;
            case kMarker:
                out.Put(parts.Hour < 12 ? literals.substr(op.At, op.Size)
                                        : literals.substr(op.At2, op.Size2));
                break;
            case kAmPmText:
                out.Put(parts.Hour < 12 ? LocaleFormats.AmText : LocaleFormats.PmText);
                break;
            case kIfTime:
                if (parts.Hour == 0 && parts.Minute == 0 && parts.Second == 0) k += op.Size;
                break;
            default:
                break;
        }
    }
}

void TDateTimePattern::Append(std::string& out, std::string_view pattern, TDateTime value) {
    Write(out, pattern, value);
}

std::string TDateTimePattern::Text(std::string_view pattern, TDateTime value) {
    std::string text;
    Write(text, pattern, value);
    return text;
}

namespace {

// The free functions keep one compiled pattern per thread: a caller that writes the same pattern
// again and again compiles it once.
TDateTimePattern& SharedPattern() {
    thread_local TDateTimePattern pattern;
    return pattern;
}

}  // namespace

TDateTimeParts DecodeDateTime(TDateTime value) {
    // The value decoded last on this thread: the dates of one record are often the same day (a
    // transaction's first and last date), and comparing the value is cheaper than decoding it.
    thread_local TDateTime lastValue = std::numeric_limits<TDateTime>::quiet_NaN();
    thread_local TDateTimeParts lastParts;
    if (value == lastValue) return lastParts;
    TDateTimeParts parts;
    // Rounded to whole milliseconds, ties to even (the default rounding mode). rint rounds as
    // nearbyint does; it only may raise the inexact flag, which nothing reads, and spares the
    // saving and restoring of the floating-point environment per value.
    const double msValue = std::rint(value * static_cast<double>(kMsPerDay));
    if (!(std::fabs(msValue) < kMaxMs)) return parts;  // not a number, or beyond counting
    const int64_t ms = static_cast<int64_t>(msValue);
    const int64_t days = ms / kMsPerDay;  // toward zero: a negative value's fraction is a time
    int64_t timeOfDay = ms % kMsPerDay;
    if (timeOfDay < 0) timeOfDay = -timeOfDay;

    parts.Hour = static_cast<int32_t>(timeOfDay / 3600000);
    parts.Minute = static_cast<int32_t>(timeOfDay / 60000 % 60);
    parts.Second = static_cast<int32_t>(timeOfDay / 1000 % 60);
    parts.Millisecond = static_cast<int32_t>(timeOfDay % 1000);

    // The day decoded last, too: a record's date and its time stamp often fall on one day.
    thread_local int64_t lastDays = std::numeric_limits<int64_t>::min();
    thread_local TDateTimeParts lastDay;
    if (days != lastDays) {
        const int64_t julian = JulianFromDateTimeDays(days);
        lastDay.DayOfWeek = DayOfWeek(julian);
        lastDay.Year = lastDay.Month = lastDay.Day = 0;
        if (julian >= kJulianOfFirstDay) {  // before year 1 the date parts stay zero
            const CivilDate date = CivilFromJulian(julian);
            lastDay.Year = date.year;
            lastDay.Month = date.month;
            lastDay.Day = date.day;
        }
        lastDays = days;
    }
    parts.DayOfWeek = lastDay.DayOfWeek;
    parts.Year = lastDay.Year;
    parts.Month = lastDay.Month;
    parts.Day = lastDay.Day;
    lastValue = value;
    lastParts = parts;
    return parts;
}

void AppendDateTimeText(std::string& out, std::string_view pattern, TDateTime value) {
    SharedPattern().Append(out, pattern, value);
}

std::string DateTimeText(std::string_view pattern, TDateTime value) {
    return SharedPattern().Text(pattern, value);
}

}  // namespace parvell
