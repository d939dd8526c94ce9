#include "kce/dbf/Values.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/Calendar.h"
#include "kce/dbf/Bytes.h"
#include "kce/dbf/CodePage.h"
#include "kce/dbf/DbfError.h"

namespace kce::dbf {

namespace {

constexpr uint32_t kMillisPerDay = 86400000;

bool AllBlank(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != ' ' && p[i] != '\0') return false;
    }
    return true;
}

bool AllChar(const char* p, size_t n, char c) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != c) return false;
    }
    return n > 0;
}

bool FlagBit(const char* record, int64_t flagsOffset, int bit) {
    auto byte = static_cast<unsigned char>(record[flagsOffset + bit / 8]);
    return (byte >> (bit % 8)) & 1;
}

void SetFlagBit(char* record, int64_t flagsOffset, int bit, bool on) {
    auto& byte = reinterpret_cast<unsigned char&>(record[flagsOffset + bit / 8]);
    auto mask = static_cast<unsigned char>(1u << (bit % 8));
    byte = on ? (byte | mask) : (byte & ~mask);
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}

// A decimal number as the field texts hold it: optional sign, digits, optional point and digits,
// optional exponent (float fields). No other characters.
bool ParseNumber(std::string_view text, double& out) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    auto [ptr, ec] =
        std::from_chars(text.data(), text.data() + text.size(), out, std::chars_format::general);
    return ec == std::errc() && ptr == text.data() + text.size() && std::isfinite(out);
}

bool ParseDigits(std::string_view s, int& out) {
    out = 0;
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

void PutDigits(std::string& out, int value, int width) {
    char buf[8];
    for (int i = width - 1; i >= 0; --i) {
        buf[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(buf, static_cast<size_t>(width));
}

void AppendDate(std::string& out, int32_t julian) {
    const parvell::CivilDate date = parvell::CivilFromJulian(julian);
    PutDigits(out, date.year, 4);
    out.push_back('-');
    PutDigits(out, date.month, 2);
    out.push_back('-');
    PutDigits(out, date.day, 2);
}

class Where {
public:
    Where(const FieldCodec& codec, const Column& column, uint32_t recordNumber,
          uint64_t recordOffset)
        : codec_(codec),
          column_(column),
          recordNumber_(recordNumber),
          recordOffset_(recordOffset) {}
    [[noreturn]] void Fail(const std::string& what) const {
        throw DbfError(
            codec_.file, static_cast<int64_t>(recordOffset_ + column_.offset),
            "record " + std::to_string(recordNumber_) + ", field " + column_.name + ": " + what);
    }

private:
    const FieldCodec& codec_;
    const Column& column_;
    uint32_t recordNumber_;
    uint64_t recordOffset_;
};

std::string Shown(std::string_view raw) {
    std::string s = "\"";
    for (char c : raw) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '"') {
            s.push_back(c);
        } else {
            s += "\\x";
            s += Hex2(u).substr(2);
        }
    }
    return s + "\"";
}

// Block number of a memo reference; false when the field is blank (no memo).
uint64_t MemoBlock(const FieldCodec& codec, const Column& c, const char* p, const Where& where,
                   bool& present) {
    present = false;
    if (c.size == 4) {
        uint32_t block = GetLe32(p);
        present = block != 0;
        return block;
    }
    std::string_view text = Trimmed(std::string_view(p, c.size));
    if (text.empty()) return 0;
    uint64_t block = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9')
            where.Fail("memo block number " + Shown(std::string_view(p, c.size)) +
                       " is not a number");
        block = block * 10 + static_cast<uint64_t>(ch - '0');
    }
    present = block != 0;
    return block;
}

}  // namespace

bool StoredValue::operator==(const StoredValue& o) const {
    if (kind != o.kind) return false;
    switch (kind) {
        case Kind::Null:
            return true;
        case Kind::Integer:
            return integer == o.integer;
        case Kind::Real:
            return real == o.real;
        case Kind::Text:
        case Kind::Blob:
            return text == o.text;
    }
    return false;
}

bool ParseStoredDateTime(std::string_view text, int32_t& julian, uint32_t& millis, bool& hasTime) {
    millis = 0;
    hasTime = false;
    if (text.size() < 10 || text[4] != '-' || text[7] != '-') return false;
    int y, m, d;
    if (!ParseDigits(text.substr(0, 4), y) || !ParseDigits(text.substr(5, 2), m) ||
        !ParseDigits(text.substr(8, 2), d) || !parvell::IsValidDate(y, m, d)) {
        return false;
    }
    julian = static_cast<int32_t>(parvell::JulianFromCivil(y, m, d));
    std::string_view rest = text.substr(10);
    if (rest.empty()) return true;
    if (rest.size() < 6 || (rest[0] != ' ' && rest[0] != 'T') || rest[3] != ':') return false;
    int hh, mm, ss = 0, ms = 0;
    if (!ParseDigits(rest.substr(1, 2), hh) || !ParseDigits(rest.substr(4, 2), mm)) return false;
    rest = rest.substr(6);
    if (!rest.empty()) {
        if (rest.size() < 3 || rest[0] != ':' || !ParseDigits(rest.substr(1, 2), ss)) return false;
        rest = rest.substr(3);
        if (!rest.empty()) {
            if (rest[0] != '.' || rest.size() < 2 || rest.size() > 4 ||
                !ParseDigits(rest.substr(1), ms))
                return false;
            for (size_t i = rest.size(); i < 4; ++i) ms *= 10;  // ".5" is 500 ms
        }
    }
    if (hh > 23 || mm > 59 || ss > 59) return false;
    millis = static_cast<uint32_t>(((hh * 60 + mm) * 60 + ss) * 1000 + ms);
    hasTime = true;
    return true;
}

namespace {

// A text field's stored characters in Windows-1252: bytes of the record itself when the table's
// code page is already that (or the field is binary), else converted into scratch. Fixed text (C)
// loses its padding blanks; a varchar's length is exact, so its trailing blanks are part of it.
void StoredText(const FieldCodec& codec, const Column& c, std::string_view stored,
                std::string& scratch, Value& v) {
    if (c.dbfType == 'C') {
        while (!stored.empty() && stored.back() == ' ') stored.remove_suffix(1);
    }
    v.kind = ValueKind::Text;
    if (codec.codePage == CodePage::Windows1252 || c.binary) {
        v.bytes = stored;
    } else {
        TableToAnsi(codec.codePage, stored, scratch);
        v.bytes = scratch;
    }
}

}  // namespace

Value DecodeField(const FieldCodec& codec, const Column& c, const char* record,
                  std::string& scratch, uint32_t recordNumber, uint64_t recordOffset) {
    Value v;
    const char* p = record + c.offset;
    const bool vfp = codec.variant == Variant::VisualFoxPro;
    if (c.nullBit >= 0 && FlagBit(record, codec.nullFlagsOffset, c.nullBit)) return v;
    Where where(codec, c, recordNumber, recordOffset);
    switch (c.dbfType) {
        case 'C': {
            if (!vfp && AllBlank(p, c.size)) return v;
            const char* end = static_cast<const char*>(std::memchr(p, '\0', c.size));
            size_t n = end ? static_cast<size_t>(end - p) : c.size;
            StoredText(codec, c, std::string_view(p, n), scratch, v);
            return v;
        }
        case 'V':
        case 'Q': {
            size_t n = c.size;
            if (c.varBit >= 0 && FlagBit(record, codec.nullFlagsOffset, c.varBit)) {
                n = static_cast<unsigned char>(p[c.size - 1]);
                if (n >= c.size) {
                    where.Fail("stored length " + std::to_string(n) +
                               " is not below the field length " + std::to_string(c.size));
                }
            }
            if (c.dbfType == 'Q') {
                v.kind = ValueKind::Bytes;
                v.bytes = std::string_view(p, n);
                return v;
            }
            StoredText(codec, c, std::string_view(p, n), scratch, v);
            return v;
        }
        case 'L':
            // A blank or '?' is the unknown value the writing programs put in a new record.
            if (AllBlank(p, 1) || *p == '?') return v;
            v.kind = ValueKind::Logical;
            v.logical = *p == 'T' || *p == 't' || *p == 'Y' || *p == 'y' || *p == '1';
            return v;
        case 'N':
        case 'F': {
            if (AllBlank(p, c.size)) return v;
            std::string_view text(p, c.size);
            if (AllChar(Trimmed(text).data(), Trimmed(text).size(), '*')) return v;
            if (!ParseNumber(text, v.real))
                where.Fail("numeric text " + Shown(text) + " is not a number");
            v.kind = ValueKind::Number;
            return v;
        }
        case 'D': {
            if (AllBlank(p, 8) || AllChar(p, 8, '0')) return v;
            int y, m, d;
            std::string_view text(p, 8);
            if (!ParseDigits(text.substr(0, 4), y) || !ParseDigits(text.substr(4, 2), m) ||
                !ParseDigits(text.substr(6, 2), d) || !parvell::IsValidDate(y, m, d)) {
                where.Fail("date text " + Shown(text) + " is not a date of the form YYYYMMDD");
            }
            v.kind = ValueKind::Date;
            v.julianDay = static_cast<int32_t>(parvell::JulianFromCivil(y, m, d));
            return v;
        }
        case 'T': {
            auto day = static_cast<int32_t>(GetLe32(p));
            if (day == 0 || AllBlank(p, 8)) return v;
            uint32_t ms = GetLe32(p + 4);
            if (day < parvell::kJulianOfFirstDay || day > parvell::kJulianOfLastDay) {
                where.Fail("datetime day number " + std::to_string(day) +
                           " lies outside the years 1 to 9999");
            }
            if (ms >= kMillisPerDay)
                where.Fail("datetime time of " + std::to_string(ms) + " ms is beyond one day");
            v.kind = ValueKind::DateTime;
            v.julianDay = day;
            v.millis = ms;
            return v;
        }
        case 'I':
            v.kind = ValueKind::Integer;
            v.integer = static_cast<int32_t>(GetLe32(p));
            return v;
        case 'Y':
            v.kind = ValueKind::Currency;
            v.integer = static_cast<int64_t>(GetLe64(p));
            return v;
        case 'B':
            if (vfp) {
                uint64_t bits = GetLe64(p);
                v.kind = ValueKind::Number;
                std::memcpy(&v.real, &bits, sizeof bits);
                return v;
            }
            [[fallthrough]];
        case 'M':
        case 'G':
        case 'P': {
            bool present = false;
            uint64_t block = MemoBlock(codec, c, p, where, present);
            if (!present) return v;
            v.kind = ValueKind::Memo;
            v.integer = static_cast<int64_t>(block);
            return v;
        }
        default:
            return v;
    }
}

void ToStored(const Value& v, StoredValue& out) {
    switch (v.kind) {
        case ValueKind::Null:
        case ValueKind::Memo:
            out.kind = StoredValue::Kind::Null;
            return;
        case ValueKind::Logical:
            out.kind = StoredValue::Kind::Integer;
            out.integer = v.logical ? 1 : 0;
            return;
        case ValueKind::Number:
            out.kind = StoredValue::Kind::Real;
            out.real = v.real;
            return;
        case ValueKind::Integer:
            out.kind = StoredValue::Kind::Integer;
            out.integer = v.integer;
            return;
        case ValueKind::Currency:  // the engine keeps money as the count of ten-thousandths too
            out.kind = StoredValue::Kind::Integer;
            out.integer = v.integer;
            return;
        case ValueKind::Date:
            out.kind = StoredValue::Kind::Text;
            out.text.clear();
            AppendDate(out.text, v.julianDay);
            return;
        case ValueKind::DateTime: {
            out.kind = StoredValue::Kind::Text;
            out.text.clear();
            AppendDate(out.text, v.julianDay);
            uint32_t ms = v.millis;
            out.text.push_back(' ');
            PutDigits(out.text, static_cast<int>(ms / 3600000), 2);
            out.text.push_back(':');
            PutDigits(out.text, static_cast<int>(ms / 60000 % 60), 2);
            out.text.push_back(':');
            PutDigits(out.text, static_cast<int>(ms / 1000 % 60), 2);
            out.text.push_back('.');
            PutDigits(out.text, static_cast<int>(ms % 1000), 3);
            return;
        }
        case ValueKind::Text:
            out.kind = StoredValue::Kind::Text;
            out.text.clear();
            AnsiToUtf8(v.bytes, out.text);
            return;
        case ValueKind::Bytes:
            out.kind = StoredValue::Kind::Blob;
            out.text.assign(v.bytes);
            return;
    }
}

namespace {

// The value as Windows-1252 text (numbers in their shortest decimal form).
std::string AsAnsiText(const StoredValue& value) {
    std::string out;
    char buf[64];
    switch (value.kind) {
        case StoredValue::Kind::Text:
            Utf8ToAnsi(value.text, out);
            break;
        case StoredValue::Kind::Blob:
            out = value.text;
            break;
        case StoredValue::Kind::Integer: {
            auto r = std::to_chars(buf, buf + sizeof buf, value.integer);
            out.assign(buf, r.ptr);
            break;
        }
        case StoredValue::Kind::Real: {
            auto r = std::to_chars(buf, buf + sizeof buf, value.real);
            out.assign(buf, r.ptr);
            break;
        }
        case StoredValue::Kind::Null:
            break;
    }
    return out;
}

bool AsNumber(const StoredValue& value, double& out) {
    switch (value.kind) {
        case StoredValue::Kind::Integer:
            out = static_cast<double>(value.integer);
            return true;
        case StoredValue::Kind::Real:
            out = value.real;
            return std::isfinite(out);
        case StoredValue::Kind::Text:
            return ParseNumber(value.text, out) && std::isfinite(out);
        default:
            return false;
    }
}

const char* KindName(StoredValue::Kind kind) {
    switch (kind) {
        case StoredValue::Kind::Null:
            return "null";
        case StoredValue::Kind::Integer:
            return "an integer";
        case StoredValue::Kind::Real:
            return "a real number";
        case StoredValue::Kind::Text:
            return "a text";
        case StoredValue::Kind::Blob:
            return "binary data";
    }
    return "?";
}

void PutText(char* p, size_t size, std::string_view text, char pad) {
    std::memset(p, pad, size);
    std::memcpy(p, text.data(), std::min(size, text.size()));
}

}  // namespace

void EncodeField(const FieldCodec& codec, const Column& c, const StoredValue& value, char* record,
                 MemoSink* memo, uint32_t recordNumber, uint64_t recordOffset) {
    Where where(codec, c, recordNumber, recordOffset);
    char* p = record + c.offset;
    const bool vfp = codec.variant == Variant::VisualFoxPro;
    const bool isNull = value.kind == StoredValue::Kind::Null;
    const bool blankIsNull = !vfp || std::strchr("LNFDTMGP", c.dbfType) != nullptr;
    if (c.nullBit >= 0) SetFlagBit(record, codec.nullFlagsOffset, c.nullBit, isNull);
    if (c.varBit >= 0) SetFlagBit(record, codec.nullFlagsOffset, c.varBit, false);
    const bool spaceFilled = std::strchr("CNFDLV", c.dbfType) != nullptr || (c.size == 10 && !vfp);
    if (isNull) {
        if (c.nullBit < 0 && !blankIsNull) where.Fail("the column does not accept null values");
        std::memset(p, spaceFilled ? ' ' : '\0', c.size);
        return;
    }
    auto wrongKind = [&]() {
        where.Fail(std::string("cannot store ") + KindName(value.kind) + " in a column of type " +
                   c.dbfType);
    };
    switch (c.dbfType) {
        case 'C':
        case 'V':
        case 'Q': {
            std::string ansi = AsAnsiText(value);
            std::string bytes;
            if (c.dbfType == 'Q' || c.binary || value.kind == StoredValue::Kind::Blob) {
                bytes = std::move(ansi);
            } else {
                AnsiToTable(codec.codePage, ansi, bytes);
            }
            if (bytes.size() > c.size) {
                where.Fail("a value of " + std::to_string(bytes.size()) +
                           " characters does not fit the length of " + std::to_string(c.size));
            }
            if (c.dbfType == 'C') {
                PutText(p, c.size, bytes, ' ');
            } else {
                PutText(p, c.size, bytes, c.dbfType == 'V' ? ' ' : '\0');
                if (bytes.size() < c.size) {
                    p[c.size - 1] = static_cast<char>(bytes.size());
                    SetFlagBit(record, codec.nullFlagsOffset, c.varBit, true);
                }
            }
            return;
        }
        case 'L': {
            bool truth = false;
            if (value.kind == StoredValue::Kind::Integer) {
                truth = value.integer != 0;
            } else if (value.kind == StoredValue::Kind::Real) {
                truth = value.real != 0;
            } else if (value.kind == StoredValue::Kind::Text && value.text.size() >= 1 &&
                       std::strchr("TtYy1FfNn0", value.text[0])) {
                truth = std::strchr("TtYy1", value.text[0]) != nullptr;
            } else {
                wrongKind();
            }
            *p = truth ? 'T' : 'F';
            return;
        }
        case 'N':
        case 'F': {
            double number = 0;
            if (!AsNumber(value, number)) wrongKind();
            char buf[400];
            std::to_chars_result r{};
            if (value.kind == StoredValue::Kind::Integer && c.decimals == 0) {
                r = std::to_chars(buf, buf + sizeof buf, value.integer);
            } else {
                if (number == 0) number = 0;  // no "-0"
                if (std::fabs(number) >= 1e300) where.Fail("the number is too large for the field");
                r = std::to_chars(buf, buf + sizeof buf, number, std::chars_format::fixed,
                                  c.decimals);
            }
            auto n = static_cast<size_t>(r.ptr - buf);
            if (n > c.size) {
                where.Fail("the number " + std::string(buf, n) +
                           " does not fit a numeric field of length " + std::to_string(c.size) +
                           " with " + std::to_string(c.decimals) + " decimals");
            }
            std::memset(p, ' ', c.size);
            std::memcpy(p + c.size - n, buf, n);
            return;
        }
        case 'D': {
            int32_t julian = 0;
            uint32_t millis = 0;
            bool hasTime = false;
            if (value.kind != StoredValue::Kind::Text) wrongKind();
            if (!ParseStoredDateTime(value.text, julian, millis, hasTime)) {
                where.Fail("\"" + value.text + "\" is not a date of the form YYYY-MM-DD");
            }
            const parvell::CivilDate date = parvell::CivilFromJulian(julian);
            std::string text;
            PutDigits(text, date.year, 4);
            PutDigits(text, date.month, 2);
            PutDigits(text, date.day, 2);
            std::memcpy(p, text.data(), 8);
            return;
        }
        case 'T': {
            int32_t julian = 0;
            uint32_t millis = 0;
            bool hasTime = false;
            if (value.kind != StoredValue::Kind::Text) wrongKind();
            if (!ParseStoredDateTime(value.text, julian, millis, hasTime)) {
                where.Fail("\"" + value.text +
                           "\" is not a timestamp of the form YYYY-MM-DD HH:MM:SS.mmm");
            }
            PutLe32(p, static_cast<uint32_t>(julian));
            PutLe32(p + 4, millis);
            return;
        }
        case 'I': {
            double number = 0;
            if (!AsNumber(value, number)) wrongKind();
            if (number != std::floor(number) || number < std::numeric_limits<int32_t>::min() ||
                number > std::numeric_limits<int32_t>::max()) {
                where.Fail("the value is not a 32-bit integer");
            }
            int64_t whole = value.kind == StoredValue::Kind::Integer ? value.integer
                                                                     : static_cast<int64_t>(number);
            PutLe32(p, static_cast<uint32_t>(static_cast<int32_t>(whole)));
            return;
        }
        case 'Y': {
            // The stored value is the count of ten-thousandths, as the field holds it.
            int64_t units = value.integer;
            if (value.kind != StoredValue::Kind::Integer) {
                double number = 0;
                if (!AsNumber(value, number)) wrongKind();
                if (!(std::fabs(number) < 9.2e18) || number != std::floor(number)) {
                    where.Fail("the count of ten-thousandths " + AsAnsiText(value) +
                               " does not fit a currency field");
                }
                units = static_cast<int64_t>(number);
            }
            PutLe64(p, static_cast<uint64_t>(units));
            return;
        }
        case 'B':
            if (vfp) {
                double number = 0;
                if (!AsNumber(value, number)) wrongKind();
                uint64_t bits = 0;
                std::memcpy(&bits, &number, sizeof bits);
                PutLe64(p, bits);
                return;
            }
            [[fallthrough]];
        case 'M':
        case 'G':
        case 'P': {
            std::string data;
            const bool picture = c.dbfType != 'M';
            if (picture || c.binary || value.kind == StoredValue::Kind::Blob) {
                data =
                    value.kind == StoredValue::Kind::Text || value.kind == StoredValue::Kind::Blob
                        ? value.text
                        : AsAnsiText(value);
            } else {
                AnsiToTable(codec.codePage, AsAnsiText(value), data);
            }
            uint64_t block = 0;
            if (!data.empty()) {
                if (!memo) where.Fail("the table has no memo file");
                block = memo->Append(data, picture);
            }
            if (c.size == 4) {
                PutLe32(p, static_cast<uint32_t>(block));
            } else if (block == 0) {
                std::memset(p, ' ', c.size);
            } else {
                std::string digits = std::to_string(block);
                std::memset(p, ' ', c.size);
                std::memcpy(p + c.size - digits.size(), digits.data(), digits.size());
            }
            return;
        }
        default:
            where.Fail(std::string("cannot write fields of type ") + c.dbfType);
    }
}

}  // namespace kce::dbf
