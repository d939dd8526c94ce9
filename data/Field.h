#pragma once
// The field object: one column of a dataset's current record. A field holds no value of its
// own; every accessor reads the current record's data again through its dataset, so a field
// always shows the record the dataset is on. The class family is declared in data/Fields.h.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/FieldTypes.h"
#include "data/Formats.h"

namespace parvell {

class TDataSet;
class TField;

// What a dataset needs to know to make a field object for a type: the class name (class
// descriptions are built from it), a factory, and the class's check of a definition's size.
struct TFieldClass {
    const char* Name;
    std::unique_ptr<TField> (*Create)();
    // Raises EDatabaseError "Invalid field size" for a size the class cannot hold.
    void (*CheckTypeSize)(int32_t size);
};

// The field class the model uses for a type; nullptr for types that have none here.
const TFieldClass* DefaultFieldClass(TFieldType type);

enum class TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };

// Date and time as separate parts, the value form of ftTimeStamp (never produced here).
struct TSQLTimeStamp {
    int16_t Year = 0;
    uint16_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
    uint32_t Fractions = 0;
};

// Text of a field as a viewer should show it: (field, text to fill, display or editing text).
using TFieldGetTextEvent = std::function<void(const TField&, std::string&, bool)>;

class TField {
public:
    TField();
    virtual ~TField();
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    virtual const char* ClassName() const { return "TField"; }

    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(std::string name) { fieldName_ = std::move(name); }
    TFieldType DataType() const { return dataType_; }
    virtual int32_t Size() const { return size_; }
    // Validates the size with CheckSize first.
    virtual void SetSize(int32_t size);
    // Raises EDatabaseError "Invalid field size" for a size the class cannot hold.
    virtual void CheckSize(int32_t size) const {}
    // The type setter used when a field is made from a definition; only blob classes take the
    // definition's type, the others keep their own.
    virtual void SetFieldType(TFieldType type) {}

    TDataSet* DataSet() const { return dataSet_; }
    TFieldKind FieldKind() const { return fieldKind_; }
    // 1-based position of the field's definition, set when the dataset attaches its fields;
    // 0 while detached.
    virtual int FieldNumber() const { return fieldNumber_; }
    bool Required() const { return required_; }
    void SetRequired(bool value) { required_ = value; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }
    bool Visible() const { return visible_; }
    void SetVisible(bool value) { visible_ = value; }
    const std::string& DisplayLabel() const { return displayLabel_; }
    void SetDisplayLabel(std::string label) { displayLabel_ = std::move(label); }
    // The set width, or the class's default width when none is set (0).
    int DisplayWidth() const { return displayWidth_ > 0 ? displayWidth_ : DefaultWidth(); }
    void SetDisplayWidth(int width) { displayWidth_ = width; }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment) { alignment_ = alignment; }
    // Position among the dataset's fields; -1 without a dataset.
    int Index() const;
    void SetOnGetText(TFieldGetTextEvent handler) { onGetText_ = std::move(handler); }

    // DisplayLabel when set, else FieldName. Messages name fields by it.
    const std::string& DisplayName() const;

    // Read accessors. Those a class does not provide raise EDatabaseError
    // "Cannot access field '%s' as type %s".
    virtual TBcd ValueAsBCD() const;
    virtual bool ValueAsBoolean() const;
    virtual std::vector<uint8_t> ValueAsByteArray() const;
    virtual int64_t ValueAsCurrency() const;  // amount x 10000
    virtual TDateTime ValueAsDateTime() const;
    virtual double ValueAsFloat() const;
    virtual int32_t ValueAsInteger() const;
    virtual TSQLTimeStamp ValueAsSQLTimeStamp() const;
    virtual std::string ValueAsText() const;
    // Appends ValueAsText to out, for loops that reuse one line buffer.
    virtual void AppendValueText(std::string& out) const;
    virtual std::u16string ValueAsWideText() const;
    virtual std::string ClassDescription() const;
    virtual int NativeSize() const { return 0; }
    virtual int DefaultWidth() const { return 10; }
    virtual bool ValueIsNull() const;
    // The display text (true) or the editing text (false).
    virtual std::string RenderText(bool forDisplay) const;
    // OnGetText when assigned, else RenderText(true).
    std::string DisplayString() const;

    // Drops whatever the field keeps for the current record; called when the dataset closes.
    virtual void ClearCaches() {}

    // Reads the current record's data into buffer, in the native or the converted form (see
    // TDataSet::LoadFieldValue); false when the value is null. A null buffer only asks. Raises
    // EDatabaseError "Field '%s' has no dataset" for a field that belongs to none.
    bool LoadValueData(void* buffer, bool native) const;

protected:
    void SetDataTypeInternal(TFieldType type) { dataType_ = type; }
    void SetSizeInternal(int32_t size) { size_ = size; }
    [[noreturn]] void AccessError(std::string_view typeWord) const;
    // The mixed-case description; ClassDescription upper-cases it for a non-null value.
    virtual std::string Description() const;

private:
    friend class TDataSet;

    std::string fieldName_;
    std::string displayLabel_;
    TFieldType dataType_ = ftUnknown;
    int32_t size_ = 0;
    TDataSet* dataSet_ = nullptr;  // the owning dataset, or none for a field not yet joined
    TFieldKind fieldKind_ = TFieldKind::fkData;
    int fieldNumber_ = 0;
    bool required_ = false;
    bool readOnly_ = false;
    bool visible_ = true;
    int displayWidth_ = 0;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    TFieldGetTextEvent onGetText_;
};

// Helpers shared by the field classes.
namespace fieldvalue {
// Round to the nearest whole number, ties to even, keeping the low 32 bits as the old model
// did; NaN and values beyond 64 bits raise "Invalid floating point operation".
int32_t RoundToInt32(double value);
int64_t RoundToInt64(double value);
// Checks a size against what string, BCD and byte classes accept.
void CheckStringSize(int32_t size);
void CheckBcdSize(int32_t size);
void CheckBytesSize(int32_t size);
void AcceptAnySize(int32_t size);
}  // namespace fieldvalue

}  // namespace parvell
