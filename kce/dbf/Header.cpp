#include "kce/dbf/Header.h"

#include <algorithm>
#include <cstdint>
#include <ctime>

#include "kce/dbf/Bytes.h"
#include "kce/dbf/DbfError.h"

namespace kce::dbf {

namespace {

constexpr uint8_t kTerminator = 0x0D;
constexpr uint8_t kFlagSystem = 0x01;
constexpr uint8_t kFlagNullable = 0x02;
constexpr uint8_t kFlagBinary = 0x04;
constexpr uint8_t kFlagAutoIncrement = 0x0C;

bool IsVfpVersion(uint8_t v) {
    return v == 0x30 || v == 0x31 || v == 0x32;
}

bool KnownVersion(uint8_t v) {
    return v == 0x03 || v == 0x83 || v == 0x8B || v == 0xF5 || IsVfpVersion(v);
}

bool IsMemoType(char t, Variant variant) {
    return t == 'M' || t == 'G' || t == 'P' || (t == 'B' && variant != Variant::VisualFoxPro);
}

std::string FieldWhere(size_t index, const std::string& name) {
    return "field " + std::to_string(index + 1) + " (" + name + ")";
}

// Sets the engine type and length of `c` from its type letter and descriptor length; returns an
// empty string or what is wrong.
std::string Classify(Column& c, Variant variant, uint8_t rawLength, uint8_t rawDecimals) {
    const bool vfp = variant == Variant::VisualFoxPro;
    c.size = rawLength;
    c.length = rawLength;
    c.decimals = 0;
    auto expect = [&](uint32_t size) -> std::string {
        if (c.size == size) return {};
        return "type " + std::string(1, c.dbfType) + " needs length " + std::to_string(size) +
               ", the descriptor says " + std::to_string(c.size);
    };
    switch (c.dbfType) {
        case 'C':
            c.engineType = 4;
            return c.size == 0 ? "character field of length 0" : "";
        case 'N':
        case 'F':
            c.engineType = 2;
            c.decimals = rawDecimals;
            if (c.size == 0 || c.size > 32)
                return "numeric length " + std::to_string(c.size) + " is outside 1 to 32";
            if (rawDecimals >= c.size) {
                return "numeric field of length " + std::to_string(c.size) + " cannot have " +
                       std::to_string(rawDecimals) + " decimals";
            }
            return {};
        case 'D':
            c.engineType = 3;
            return expect(8);
        case 'L':
            c.engineType = 1;
            return expect(1);
        case 'M':
        case 'G':
        case 'P':
            c.engineType = c.dbfType == 'M' ? 5 : 7;
            return expect(vfp ? 4 : 10);
        case 'B':
            if (vfp) {
                c.engineType = 10;
                c.decimals = rawDecimals;
                return expect(8);
            }
            c.engineType = 7;  // dBase binary memo
            return expect(10);
        case 'I':
            c.engineType = 11;
            return vfp ? expect(4) : "type I exists only in Visual FoxPro tables";
        case 'Y':
            c.engineType = 18;
            c.decimals = 4;
            return vfp ? expect(8) : "type Y exists only in Visual FoxPro tables";
        case 'T':
            c.engineType = 14;
            return vfp ? expect(8) : "type T exists only in Visual FoxPro tables";
        case 'V':
        case 'Q':
            if (!vfp)
                return std::string("type ") + c.dbfType + " exists only in Visual FoxPro tables";
            c.engineType = c.dbfType == 'V' ? 23 : 24;
            return c.size == 0 ? "variable field of length 0" : "";
        default: {
            auto u = static_cast<unsigned char>(c.dbfType);
            std::string shown =
                u >= 0x20 && u < 0x7F ? "'" + std::string(1, c.dbfType) + "'" : Hex2(u);
            return "unknown field type " + shown;
        }
    }
}

}  // namespace

const char* VariantName(Variant variant) {
    switch (variant) {
        case Variant::DBase3:
            return "dBase III";
        case Variant::DBase4:
            return "dBase IV";
        case Variant::FoxPro2:
            return "FoxPro 2";
        case Variant::VisualFoxPro:
            return "Visual FoxPro";
    }
    return "?";
}

int EngineTableType(Variant variant) {
    switch (variant) {
        case Variant::DBase3:
        case Variant::DBase4:
            return 1;
        case Variant::FoxPro2:
            return 2;
        case Variant::VisualFoxPro:
            return 4;
    }
    return 1;
}

uint16_t HeaderLengthFrom(std::string_view first32, uint64_t fileSize, const std::string& file) {
    if (fileSize < kTableDescriptorSize + 1 || first32.size() < kTableDescriptorSize) {
        throw DbfError(file, 0,
                       "file of " + std::to_string(fileSize) +
                           " bytes is too short for a table header (at least 33 bytes expected)");
    }
    auto version = static_cast<uint8_t>(first32[0]);
    if (!KnownVersion(version)) {
        throw DbfError(file, 0,
                       "version byte " + Hex2(version) +
                           " is not that of a dBase III, dBase IV, "
                           "FoxPro or Visual FoxPro table");
    }
    uint16_t headerLength = GetLe16(first32.data() + 8);
    if (headerLength < kTableDescriptorSize + 1) {
        throw DbfError(
            file, 8,
            "header length " + std::to_string(headerLength) + " is below the minimum of 33");
    }
    if (headerLength > fileSize) {
        throw DbfError(file, 8,
                       "header length " + std::to_string(headerLength) +
                           " runs past the end of the file (" + std::to_string(fileSize) +
                           " bytes)");
    }
    return headerLength;
}

Header ParseHeader(std::string_view bytes, uint64_t fileSize, const std::string& file) {
    Header h;
    h.headerLength = HeaderLengthFrom(bytes, fileSize, file);
    if (bytes.size() < h.headerLength) throw DbfError(file, 0, "header could not be read whole");
    const char* p = bytes.data();
    h.version = static_cast<uint8_t>(p[0]);
    h.recordCount = GetLe32(p + 4);
    h.recordLength = GetLe16(p + 10);
    h.tableFlags = static_cast<uint8_t>(p[28]);
    h.codePageMark = static_cast<uint8_t>(p[29]);
    auto page = CodePageFromMark(h.codePageMark);
    if (!page) {
        throw DbfError(file, 29,
                       "code-page byte " + Hex2(h.codePageMark) +
                           " names a code page other than Windows-1252, OEM 437 or OEM 850");
    }
    h.codePage = *page;

    switch (h.version) {
        case 0x8B:
            h.variant = Variant::DBase4;
            break;
        case 0xF5:
            h.variant = Variant::FoxPro2;
            break;
        case 0x30:
        case 0x31:
        case 0x32:
            h.variant = Variant::VisualFoxPro;
            break;
        default:
            h.variant = Variant::DBase3;
            break;
    }
    const bool vfp = h.variant == Variant::VisualFoxPro;

    // Field descriptors run from byte 32 to the terminator.
    size_t pos = kTableDescriptorSize;
    uint32_t recordOffset = 1;
    std::vector<uint8_t> flags;
    while (true) {
        if (pos >= h.headerLength) {
            throw DbfError(file, static_cast<int64_t>(pos),
                           "no field-descriptor terminator (0x0D) within the header length of " +
                               std::to_string(h.headerLength) + " bytes");
        }
        if (static_cast<uint8_t>(p[pos]) == kTerminator) break;
        if (pos + kFieldDescriptorSize > h.headerLength) {
            throw DbfError(file, static_cast<int64_t>(pos),
                           "field descriptor runs past the header length of " +
                               std::to_string(h.headerLength));
        }
        const char* d = p + pos;
        size_t nameLength = 0;
        while (nameLength < 11 && d[nameLength] != '\0') ++nameLength;
        Column c;
        c.name.assign(d, nameLength);
        c.dbfType = d[11];
        size_t index = (pos - kTableDescriptorSize) / kFieldDescriptorSize;
        if (c.name.empty())
            throw DbfError(file, static_cast<int64_t>(pos), FieldWhere(index, "") + " has no name");
        auto fieldFlags = static_cast<uint8_t>(vfp ? d[18] : 0);
        if (vfp && c.dbfType == '0') {
            // The null-flags system column.
            if (h.nullFlagsOffset >= 0) {
                throw DbfError(file, static_cast<int64_t>(pos),
                               "second null-flags column " + c.name);
            }
            h.nullFlagsOffset = recordOffset;
            h.nullFlagsSize = static_cast<uint8_t>(d[16]);
            if (h.nullFlagsSize == 0)
                throw DbfError(file, static_cast<int64_t>(pos + 16),
                               "null-flags column of length 0");
            recordOffset += h.nullFlagsSize;
            pos += kFieldDescriptorSize;
            continue;
        }
        std::string problem =
            Classify(c, h.variant, static_cast<uint8_t>(d[16]), static_cast<uint8_t>(d[17]));
        if (!problem.empty()) {
            throw DbfError(file, static_cast<int64_t>(pos),
                           FieldWhere(index, c.name) + ": " + problem);
        }
        c.nullable = (fieldFlags & kFlagNullable) != 0;
        c.binary = (fieldFlags & kFlagBinary) != 0;
        c.descriptorOffset = static_cast<uint32_t>(pos);
        if (vfp && c.dbfType == 'I' && (fieldFlags & kFlagAutoIncrement) == kFlagAutoIncrement) {
            c.autoIncrement = true;
            c.engineType = 15;  // AUTOINC, as a dictionary's numbered column
            c.autoNext = GetLe32(d + 19);
            c.autoStep = static_cast<uint8_t>(d[23]);
        }
        c.offset = recordOffset;
        recordOffset += c.size;
        if (IsMemoType(c.dbfType, h.variant)) {
            if (h.version == 0x03) {
                throw DbfError(file, static_cast<int64_t>(pos),
                               FieldWhere(index, c.name) +
                                   " is a memo field but the version byte 0x03 says the "
                                   "table has no memo file");
            }
            h.memoFormat = h.version == 0x83   ? MemoFormat::DBase3
                           : h.version == 0x8B ? MemoFormat::DBase4
                                               : MemoFormat::Fpt;
        }
        flags.push_back(fieldFlags);
        h.columns.push_back(std::move(c));
        pos += kFieldDescriptorSize;
    }
    if (h.columns.empty()) throw DbfError(file, kTableDescriptorSize, "table has no fields");
    if (recordOffset != h.recordLength) {
        throw DbfError(file, 10,
                       "record length in the header is " + std::to_string(h.recordLength) +
                           " but the deletion flag and fields add up to " +
                           std::to_string(recordOffset));
    }

    // Null-flag bits: in field order, a variable-length column takes its length bit first, then a
    // nullable column its null bit.
    if (vfp) {
        int bit = 0;
        for (Column& c : h.columns) {
            if (c.dbfType == 'V' || c.dbfType == 'Q') c.varBit = bit++;
            if (c.nullable) c.nullBit = bit++;
        }
        if (bit > 0 &&
            (h.nullFlagsOffset < 0 || static_cast<uint32_t>(bit) > h.nullFlagsSize * 8)) {
            throw DbfError(file, kTableDescriptorSize,
                           "the columns need " + std::to_string(bit) +
                               " null-flag bits but the null-flags column holds " +
                               std::to_string(h.nullFlagsOffset < 0 ? 0 : h.nullFlagsSize * 8));
        }
    }

    // The back link fills the header's last 263 bytes after the terminator.
    if (vfp && pos + 1 + kVfpBacklinkSize <= h.headerLength) {
        std::string_view link(p + h.headerLength - kVfpBacklinkSize, kVfpBacklinkSize);
        link = link.substr(0, std::min(link.find('\0'), link.size()));
        while (!link.empty() && link.back() == ' ') link.remove_suffix(1);
        h.containerLink = std::string(link);
    }

    uint64_t needed = h.RecordOffset(h.recordCount);
    if (needed > fileSize) {
        uint64_t present = (fileSize - h.headerLength) / h.recordLength;
        throw DbfError(file, 4,
                       "header says " + std::to_string(h.recordCount) + " records of " +
                           std::to_string(h.recordLength) + " bytes (file end at " +
                           std::to_string(needed) + ") but the file has " +
                           std::to_string(fileSize) + " bytes, room for " +
                           std::to_string(present) + " records");
    }
    return h;
}

Header LayoutFor(const TableLayout& layout, const std::string& file) {
    Header h;
    h.variant = layout.variant;
    h.codePage = layout.codePage;
    h.codePageMark = CodePageMark(layout.codePage);
    const bool vfp = layout.variant == Variant::VisualFoxPro;
    if (layout.columns.empty()) throw DbfError(file, -1, "a table needs at least one column");
    uint32_t offset = 1;
    bool hasMemo = false;
    bool hasVar = false;
    int bit = 0;
    for (size_t i = 0; i < layout.columns.size(); ++i) {
        const ColumnLayout& s = layout.columns[i];
        Column c;
        c.name = s.name;
        c.dbfType = s.dbfType;
        if (c.name.empty() || c.name.size() > 10) {
            throw DbfError(file, -1, "column name \"" + c.name + "\" must have 1 to 10 characters");
        }
        for (size_t j = 0; j < i; ++j) {
            if (layout.columns[j].name == c.name)
                throw DbfError(file, -1, "column name " + c.name + " is used twice");
        }
        uint8_t rawLength = 0;
        switch (s.dbfType) {
            case 'D':
            case 'T':
            case 'B':
            case 'Y':
                rawLength = 8;
                break;
            case 'L':
                rawLength = 1;
                break;
            case 'I':
                rawLength = 4;
                break;
            case 'M':
            case 'G':
            case 'P':
                rawLength = vfp ? 4 : 10;
                break;
            default:
                if (s.length > 254)
                    throw DbfError(file, -1, "column " + c.name + " is longer than 254");
                rawLength = static_cast<uint8_t>(s.length);
        }
        std::string problem =
            Classify(c, layout.variant, rawLength, static_cast<uint8_t>(s.decimals));
        if (!problem.empty()) throw DbfError(file, -1, "column " + c.name + ": " + problem);
        if (IsMemoType(c.dbfType, layout.variant)) hasMemo = true;
        c.binary = vfp && s.binary;
        c.nullable = vfp && s.nullable;
        if (s.autoIncrement) {
            if (!vfp || c.dbfType != 'I') {
                throw DbfError(
                    file, -1,
                    "column " + c.name + ": only Visual FoxPro integer columns can be numbered");
            }
            c.autoIncrement = true;
            c.engineType = 15;
            c.autoNext = 1;
            c.autoStep = 1;
        }
        c.descriptorOffset = static_cast<uint32_t>(kTableDescriptorSize + i * kFieldDescriptorSize);
        if (vfp && (c.dbfType == 'V' || c.dbfType == 'Q')) {
            c.varBit = bit++;
            hasVar = true;
        }
        if (c.nullable) c.nullBit = bit++;
        c.offset = offset;
        offset += c.size;
        h.columns.push_back(std::move(c));
    }
    if (bit > 0) {
        h.nullFlagsOffset = offset;
        h.nullFlagsSize = static_cast<uint32_t>((bit + 7) / 8);
        offset += h.nullFlagsSize;
    }
    if (offset > 0xFFFF)
        throw DbfError(file, -1, "record length " + std::to_string(offset) + " exceeds 65535");
    h.recordLength = static_cast<uint16_t>(offset);
    size_t descriptors = h.columns.size() + (h.nullFlagsOffset >= 0 ? 1 : 0);
    size_t headerLength = kTableDescriptorSize + descriptors * kFieldDescriptorSize + 1 +
                          (vfp ? kVfpBacklinkSize : 0);
    if (headerLength > 0xFFFF) throw DbfError(file, -1, "too many columns");
    h.headerLength = static_cast<uint16_t>(headerLength);
    switch (layout.variant) {
        case Variant::DBase3:
            h.version = hasMemo ? 0x83 : 0x03;
            h.memoFormat = hasMemo ? MemoFormat::DBase3 : MemoFormat::None;
            break;
        case Variant::DBase4:
            h.version = hasMemo ? 0x8B : 0x03;
            h.memoFormat = hasMemo ? MemoFormat::DBase4 : MemoFormat::None;
            break;
        case Variant::FoxPro2:
            h.version = hasMemo ? 0xF5 : 0x03;
            h.memoFormat = hasMemo ? MemoFormat::Fpt : MemoFormat::None;
            break;
        case Variant::VisualFoxPro:
            h.version = hasVar ? 0x32 : 0x30;
            h.memoFormat = hasMemo ? MemoFormat::Fpt : MemoFormat::None;
            h.tableFlags = hasMemo ? 0x02 : 0x00;
            break;
    }
    if (!hasMemo && layout.variant != Variant::VisualFoxPro) h.variant = Variant::DBase3;
    return h;
}

void StampHeader(std::string& first8, uint32_t recordCount) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    first8[1] = static_cast<char>(local.tm_year % 256);  // years since 1900
    first8[2] = static_cast<char>(local.tm_mon + 1);
    first8[3] = static_cast<char>(local.tm_mday);
    PutLe32(first8.data() + 4, recordCount);
}

StoredValue NumberedValue(Column& column, const StoredValue& value) {
    if (!column.autoIncrement) return value;
    const uint32_t step = column.autoStep == 0 ? 1 : column.autoStep;
    if (value.kind == StoredValue::Kind::Integer) {
        const int64_t given = value.integer;
        if (given >= static_cast<int32_t>(column.autoNext) &&
            given <= INT32_MAX - static_cast<int64_t>(step)) {
            column.autoNext = static_cast<uint32_t>(given + step);
        }
        return value;
    }
    if (value.kind != StoredValue::Kind::Null) return value;
    StoredValue number = StoredValue::Int(static_cast<int32_t>(column.autoNext));
    column.autoNext += step;
    return number;
}

void StampNextNumbers(const Header& header, std::string& headerBytes) {
    for (const Column& c : header.columns) {
        if (c.autoIncrement && c.descriptorOffset + 24 <= headerBytes.size()) {
            PutLe32(headerBytes.data() + c.descriptorOffset + 19, c.autoNext);
        }
    }
}

std::string EncodeHeader(const Header& h, uint32_t recordCount) {
    std::string out(h.headerLength, '\0');
    out[0] = static_cast<char>(h.version);
    StampHeader(out, recordCount);
    PutLe16(out.data() + 8, h.headerLength);
    PutLe16(out.data() + 10, h.recordLength);
    out[28] = static_cast<char>(h.tableFlags);
    out[29] = static_cast<char>(h.codePageMark);
    const bool vfp = h.variant == Variant::VisualFoxPro;
    size_t pos = kTableDescriptorSize;
    auto descriptor = [&](const std::string& name, char type, uint32_t offset, uint32_t size,
                          uint16_t decimals, uint8_t flags) {
        char* d = out.data() + pos;
        name.copy(d, std::min<size_t>(name.size(), 10));
        d[11] = type;
        if (vfp) PutLe32(d + 12, offset);
        d[16] = static_cast<char>(size);
        d[17] = static_cast<char>(decimals);
        d[18] = static_cast<char>(flags);
        pos += kFieldDescriptorSize;
    };
    for (const Column& c : h.columns) {
        uint8_t flags = (c.nullable ? kFlagNullable : 0) | (c.binary ? kFlagBinary : 0) |
                        (c.autoIncrement ? kFlagAutoIncrement : 0);
        uint16_t decimals =
            (c.dbfType == 'N' || c.dbfType == 'F' || c.dbfType == 'B') ? c.decimals : 0;
        descriptor(c.name, c.dbfType, c.offset, c.size, decimals, flags);
        if (c.autoIncrement) {
            PutLe32(out.data() + c.descriptorOffset + 19, c.autoNext);
            out[c.descriptorOffset + 23] = static_cast<char>(c.autoStep);
        }
    }
    if (h.nullFlagsOffset >= 0) {
        descriptor("_NullFlags", '0', static_cast<uint32_t>(h.nullFlagsOffset), h.nullFlagsSize, 0,
                   kFlagSystem | kFlagBinary);
    }
    out[pos] = static_cast<char>(kTerminator);
    return out;
}

}  // namespace kce::dbf
