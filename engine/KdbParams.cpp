#include "engine/KdbParams.h"

#include <cmath>
#include <cstring>

#include "common/Calendar.h"
#include "common/NumberText.h"
#include "common/Text.h"
#include "data/TextCase.h"
#include "engine/kdbdata.h"
#include "kce/kce.h"

namespace parvell {
namespace {

int32_t WholeDays(TDateTime value) {
    return static_cast<int32_t>(std::floor(value));
}

int32_t MillisecondsOfDay(TDateTime value) {
    return static_cast<int32_t>(std::llround((value - std::floor(value)) * 86400000.0));
}

}  // namespace

void TParam::SetAsString(std::string value) {
    value_ = std::move(value);
    dataType_ = ftString;
}
void TParam::SetAsInteger(int32_t value) {
    value_ = static_cast<int64_t>(value);
    dataType_ = ftInteger;
}
void TParam::SetAsLargeInt(int64_t value) {
    value_ = value;
    dataType_ = ftLargeint;
}
void TParam::SetAsFloat(double value) {
    value_ = value;
    dataType_ = ftFloat;
}
void TParam::SetAsCurrency(double value) {
    value_ = value;
    dataType_ = ftCurrency;
}
void TParam::SetAsBoolean(bool value) {
    value_ = value;
    dataType_ = ftBoolean;
}
void TParam::SetAsDate(TDateTime value) {
    value_ = value;
    dataType_ = ftDate;
}
void TParam::SetAsTime(TDateTime value) {
    value_ = value;
    dataType_ = ftTime;
}
void TParam::SetAsDateTime(TDateTime value) {
    value_ = value;
    dataType_ = ftDateTime;
}
void TParam::SetAsBytes(std::vector<uint8_t> value) {
    value_ = std::move(value);
    dataType_ = ftBlob;
}

void TParam::Assign(const TParam& other) {
    value_ = other.value_;
    dataType_ = other.dataType_;
}

std::string TParam::AsText() const {
    switch (value_.index()) {
        case 1:
            return std::get<std::string>(value_);
        case 2:
            return Int64Text(std::get<int64_t>(value_));
        case 3:
            return FloatText(std::get<double>(value_));
        case 4:
            return std::get<bool>(value_) ? "True" : "False";
        case 5: {
            const auto& bytes = std::get<std::vector<uint8_t>>(value_);
            return std::string(bytes.begin(), bytes.end());
        }
        default:
            return {};
    }
}

double TParam::AsFloat() const {
    switch (value_.index()) {
        case 1:
            return ReadDouble(std::get<std::string>(value_));
        case 2:
            return static_cast<double>(std::get<int64_t>(value_));
        case 3:
            return std::get<double>(value_);
        case 4:
            return std::get<bool>(value_) ? 1.0 : 0.0;
        default:
            return 0.0;
    }
}

bool TParam::AsBoolean() const {
    switch (value_.index()) {
        case 1: {
            const std::string& text = std::get<std::string>(value_);
            return !text.empty() &&
                   (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y');
        }
        case 2:
            return std::get<int64_t>(value_) != 0;
        case 3:
            return std::get<double>(value_) != 0.0;
        case 4:
            return std::get<bool>(value_);
        default:
            return false;
    }
}

std::vector<uint8_t> TParam::AsBytes() const {
    if (value_.index() == 5) return std::get<std::vector<uint8_t>>(value_);
    const std::string text = AsText();
    return std::vector<uint8_t>(text.begin(), text.end());
}

TParam& TParams::At(int index) {
    return items_.at(static_cast<size_t>(index));
}
const TParam& TParams::At(int index) const {
    return items_.at(static_cast<size_t>(index));
}

TParam* TParams::Find(std::string_view name) {
    for (TParam& param : items_) {
        if (AnsiSameText(param.Name(), name)) return &param;
    }
    return nullptr;
}

const TParam* TParams::Find(std::string_view name) const {
    return const_cast<TParams*>(this)->Find(name);
}

TParam& TParams::Add(std::string name) {
    items_.emplace_back(std::move(name));
    return items_.back();
}

void TParams::AssignValues(const TParams& other) {
    for (const TParam& from : other.items_) {
        if (from.Name().empty()) continue;
        if (TParam* to = Find(from.Name())) to->Assign(from);
    }
}

void BindParams(uint32_t statement, const TParams& params, const TKdbDataSet* dataSet) {
    for (int i = 0; i < params.Count(); ++i) {
        const TParam& param = params.At(i);
        const auto position = static_cast<uint16_t>(i + 1);
        if (!param.HasValue()) {
            CheckEngineResult(dataSet, KdbSetEmpty(statement, position));
            continue;
        }
        switch (param.DataType()) {
            case ftUnknown:
                RaiseKdbDatabaseError(dataSet,
                                      FormatMessage("The field named: '%s' has the DataType of "
                                                    "ftUnknown, which is invalid.",
                                                    {param.Name()}));
            case ftBoolean:
                CheckEngineResult(dataSet,
                                  KdbSetLogical(statement, position, param.AsBoolean() ? 1 : 0));
                break;
            case ftFloat:
            case ftCurrency:
                CheckEngineResult(dataSet, KdbSetDouble(statement, position, param.AsFloat()));
                break;
            case ftDate:
                CheckEngineResult(dataSet,
                                  KdbSetJulian(statement, position,
                                               WholeDays(param.AsFloat()) + kJulianOfDateTimeZero));
                break;
            case ftTime:
                CheckEngineResult(dataSet, KdbSetMilliseconds(statement, position,
                                                              MillisecondsOfDay(param.AsFloat())));
                break;
            case ftDateTime:
            case ftTimeStamp: {
                const TDateTime value = param.AsFloat();
                const int32_t day = WholeDays(value) + kJulianOfDateTimeZero;
                const int32_t milliseconds = MillisecondsOfDay(value);
                uint8_t raw[8];
                std::memcpy(raw, &day, 4);
                std::memcpy(raw + 4, &milliseconds, 4);
                CheckEngineResult(dataSet,
                                  KdbSetTimeStampRaw(statement, position, raw, sizeof raw));
                break;
            }
            case ftBytes:
            case ftVarBytes:
            case ftBlob:
            case ftGraphic: {
                const std::vector<uint8_t> bytes = param.AsBytes();
                const auto length = static_cast<uint32_t>(bytes.size());
                CheckEngineResult(
                    dataSet, KdbSetBinary(statement, position, 6, length, 0, bytes.data(), length));
                break;
            }
            case ftParadoxOle:
            case ftDBaseOle:
            case ftTypedBinary:
            case ftCursor:
            case ftWideString:
            case ftADT:
            case ftArray:
            case ftReference:
            case ftDataSet:
                RaiseKdbDatabaseError(dataSet,
                                      FormatMessage("The field named: '%s' has a DataType that is "
                                                    "not supported.",
                                                    {param.Name()}));
            case ftString:
            case ftSmallint:
            case ftInteger:
            case ftWord:
            case ftBCD:
            case ftAutoInc:
            case ftMemo:
            case ftFmtMemo:
            case ftFixedChar:
            case ftLargeint: {
                const std::string text = param.AsText();
                CheckEngineResult(dataSet, KdbSetString(statement, position, text.data(),
                                                        static_cast<uint32_t>(text.size())));
                break;
            }
            default:
                break;  // ftOraBlob to ftIDispatch, ftGuid and later types are not bound
        }
    }
}

}  // namespace parvell
