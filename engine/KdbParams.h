#pragma once
// Statement parameters: the names an SQL text uses, each with a data type and an optional value,
// and their binding to an engine statement by position.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "data/FieldTypes.h"
#include "data/Formats.h"

namespace parvell {

class TKdbDataSet;

class TParam {
public:
    explicit TParam(std::string name = {}) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type) { dataType_ = type; }

    // A parameter without a value is bound empty.
    bool HasValue() const { return value_.index() != 0; }
    // The setters also give the parameter the matching data type.
    void Clear() { value_ = std::monostate{}; }
    void SetAsString(std::string value);
    void SetAsInteger(int32_t value);
    void SetAsLargeInt(int64_t value);
    void SetAsFloat(double value);
    void SetAsCurrency(double value);
    void SetAsBoolean(bool value);
    void SetAsDate(TDateTime value);
    void SetAsTime(TDateTime value);
    void SetAsDateTime(TDateTime value);
    void SetAsBytes(std::vector<uint8_t> value);
    // Copies value and data type from another parameter.
    void Assign(const TParam& other);

    // The value in the forms the binder needs; an absent value reads as 0 or empty.
    std::string AsText() const;
    double AsFloat() const;
    bool AsBoolean() const;
    std::vector<uint8_t> AsBytes() const;

private:
    std::string name_;
    TFieldType dataType_ = ftUnknown;
    std::variant<std::monostate, std::string, int64_t, double, bool, std::vector<uint8_t>> value_;
};

class TParams {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TParam& At(int index);
    const TParam& At(int index) const;
    // Case-insensitive; nullptr when there is none.
    TParam* Find(std::string_view name);
    const TParam* Find(std::string_view name) const;
    TParam& Add(std::string name);
    void Clear() { items_.clear(); }
    // Values (and types) of other's parameters go to the parameters here with the same names.
    void AssignValues(const TParams& other);

private:
    std::vector<TParam> items_;
};

// Binds each parameter at its position (1, 2, ...) of the prepared statement, by data type.
// Errors of the component itself carry code 5121 and dataSet (which may be null).
void BindParams(uint32_t statement, const TParams& params, const TKdbDataSet* dataSet);

}  // namespace parvell
