#pragma once
// The field classes the model makes for result columns. Each reads its native data through the
// dataset (TField::LoadValueData) and turns it into typed values and texts with the formatters of
// data/Formats.h. Null values read as the empty text, and as 0 (or false) where a class has a
// numeric (or boolean) value.

#include "data/Field.h"

namespace parvell {

// Single-byte text ended by a zero byte; Size is the maximum number of characters.
class TStringField : public TField {
public:
    TStringField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TStringField"; }

    bool FixedChar() const { return fixedChar_; }
    void SetFixedChar(bool value) { fixedChar_ = value; }
    bool Transliterate() const { return transliterate_; }
    void SetTransliterate(bool value) { transliterate_ = value; }

    // Parses the text: "'%s' is not a valid integer value" and the like when it does not parse.
    bool ValueAsBoolean() const override;  // true when the text begins with T, t, Y or y
    TDateTime ValueAsDateTime() const override;
    double ValueAsFloat() const override;
    int32_t ValueAsInteger() const override;
    std::string ValueAsText() const override;
    void AppendValueText(std::string& out) const override;
    int NativeSize() const override;
    int DefaultWidth() const override { return Size(); }
    std::string RenderText(bool forDisplay) const override { return ValueAsText(); }
    void CheckSize(int32_t size) const override;  // no negative sizes

private:
    bool fixedChar_ = false;
    bool transliterate_ = true;
};

// 16-bit text ended by a zero character; the text accessors narrow it to Windows-1252.
class TWideStringField : public TStringField {
public:
    TWideStringField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TWideStringField"; }
    std::string ValueAsText() const override;
    void AppendValueText(std::string& out) const override { TField::AppendValueText(out); }
    std::u16string ValueAsWideText() const override;
    int NativeSize() const override;
};

class TNumericField : public TField {
public:
    TNumericField();
    const char* ClassName() const override { return "TNumericField"; }
};

class TIntegerField : public TNumericField {
public:
    TIntegerField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TIntegerField"; }
    double ValueAsFloat() const override;
    int32_t ValueAsInteger() const override;
    std::string ValueAsText() const override;
    void AppendValueText(std::string& out) const override;
    int NativeSize() const override { return 4; }
    std::string RenderText(bool forDisplay) const override { return ValueAsText(); }

    int32_t MinValue() const { return minValue_; }
    int32_t MaxValue() const { return maxValue_; }

protected:
    // Reads the value into *value; false when null.
    virtual bool ReadValue(int32_t* value) const;
    void SetRange(int32_t minValue, int32_t maxValue);

private:
    int32_t minValue_ = INT32_MIN;
    int32_t maxValue_ = INT32_MAX;
};

class TSmallintField : public TIntegerField {
public:
    TSmallintField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TSmallintField"; }
    int NativeSize() const override { return 2; }

protected:
    bool ReadValue(int32_t* value) const override;
};

class TWordField : public TIntegerField {
public:
    TWordField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TWordField"; }
    int NativeSize() const override { return 2; }

protected:
    bool ReadValue(int32_t* value) const override;
};

class TAutoIncField : public TIntegerField {
public:
    TAutoIncField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TAutoIncField"; }
};

class TLargeintField : public TNumericField {
public:
    TLargeintField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TLargeintField"; }
    double ValueAsFloat() const override;
    int32_t ValueAsInteger() const override;  // the low 32 bits
    std::string ValueAsText() const override;
    int NativeSize() const override { return 8; }
    int DefaultWidth() const override { return 15; }
    std::string RenderText(bool forDisplay) const override { return ValueAsText(); }
    int64_t ValueAsLargeInt() const;
};

class TFloatField : public TNumericField {
public:
    TFloatField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TFloatField"; }

    bool Currency() const { return currency_; }
    void SetCurrency(bool value) { currency_ = value; }
    int Precision() const { return precision_; }
    void SetPrecision(int value);  // clamped to 2..15

    double ValueAsFloat() const override;
    int32_t ValueAsInteger() const override;
    std::string ValueAsText() const override;
    int NativeSize() const override { return 8; }
    std::string RenderText(bool forDisplay) const override;

private:
    bool currency_ = false;
    int precision_ = 15;
};

class TCurrencyField : public TFloatField {
public:
    TCurrencyField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TCurrencyField"; }
};

// A decimal record held as a scaled currency (value x 10000) once converted. Its text keeps
// every digit of a value beyond that range too; reading such a value as a number (float,
// currency, integer) raises "BCD overflow".
class TBCDField : public TNumericField {
public:
    TBCDField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TBCDField"; }

    bool Currency() const { return currency_; }
    void SetCurrency(bool value) { currency_ = value; }
    int Precision() const { return precision_; }
    void SetPrecision(int value);  // clamped to 0..32

    TBcd ValueAsBCD() const override;
    int64_t ValueAsCurrency() const override;
    double ValueAsFloat() const override;
    int32_t ValueAsInteger() const override;
    std::string ValueAsText() const override;
    void AppendValueText(std::string& out) const override;
    int NativeSize() const override { return sizeof(TBcd); }
    int DefaultWidth() const override { return precision_ > 0 ? precision_ + 1 : 10; }
    // A value that cannot be read or formatted shows "BCD overflow" instead of raising.
    std::string RenderText(bool forDisplay) const override;
    void CheckSize(int32_t size) const override;  // at most 32 decimals

private:
    bool ReadScaled(int64_t* value) const;
    // The text of ValueAsText; false for null.
    bool ReadPlainText(std::string* text) const;

    bool currency_ = false;
    int precision_ = 0;
};

// A decimal record of up to 64 digits, read and written as the record itself.
class TFMTBCDField : public TNumericField {
public:
    TFMTBCDField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TFMTBCDField"; }

    bool Currency() const { return currency_; }
    void SetCurrency(bool value) { currency_ = value; }
    int Precision() const { return precision_; }
    void SetPrecision(int value) { precision_ = value; }

    TBcd ValueAsBCD() const override;
    double ValueAsFloat() const override;
    int32_t ValueAsInteger() const override;
    std::string ValueAsText() const override;
    int NativeSize() const override { return sizeof(TBcd); }
    int DefaultWidth() const override { return precision_ > 0 ? precision_ + 1 : 10; }
    std::string RenderText(bool forDisplay) const override;

private:
    bool currency_ = false;
    int precision_ = 0;
};

class TBooleanField : public TField {
public:
    TBooleanField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TBooleanField"; }

    const std::string& DisplayValues() const { return displayValues_; }
    // "true text;false text"; empty restores "True" and "False".
    void SetDisplayValues(std::string values);
    const std::string& TrueText() const { return trueText_; }
    const std::string& FalseText() const { return falseText_; }

    bool ValueAsBoolean() const override;
    std::string ValueAsText() const override;
    int NativeSize() const override { return 2; }
    int DefaultWidth() const override;
    std::string RenderText(bool forDisplay) const override { return ValueAsText(); }

private:
    std::string displayValues_;
    std::string trueText_ = "True";
    std::string falseText_ = "False";
};

// Date-time classes convert their native form (day numbers, milliseconds) into a TDateTime;
// an invalid native value raises EConvertError "'%d.%d' is not a valid timestamp".
class TDateTimeField : public TField {
public:
    TDateTimeField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TDateTimeField"; }
    TDateTime ValueAsDateTime() const override;
    double ValueAsFloat() const override;
    std::string ValueAsText() const override;
    void AppendValueText(std::string& out) const override;
    int NativeSize() const override { return 8; }
    int DefaultWidth() const override { return 18; }
    std::string RenderText(bool forDisplay) const override { return ValueAsText(); }

protected:
    // The pattern of ValueAsText: empty here (that is "c").
    virtual std::string_view TextPattern() const { return {}; }

private:
    mutable TDateTimePattern pattern_;  // TextPattern, compiled
};

class TDateField : public TDateTimeField {
public:
    TDateField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TDateField"; }
    int NativeSize() const override { return 4; }
    int DefaultWidth() const override { return 10; }

protected:
    std::string_view TextPattern() const override;
};

class TTimeField : public TDateTimeField {
public:
    TTimeField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TTimeField"; }
    int NativeSize() const override { return 4; }
    int DefaultWidth() const override { return 10; }

protected:
    std::string_view TextPattern() const override;
};

class TBinaryField : public TField {
public:
    const char* ClassName() const override { return "TBinaryField"; }
};

// Size raw bytes; the text is one character per byte, the display text the class description.
class TBytesField : public TBinaryField {
public:
    TBytesField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TBytesField"; }
    std::vector<uint8_t> ValueAsByteArray() const override;
    std::string ValueAsText() const override;
    int NativeSize() const override;
    std::string RenderText(bool forDisplay) const override;
    void CheckSize(int32_t size) const override;  // at least one byte
};

// A 16-bit length, then up to Size bytes.
class TVarBytesField : public TBytesField {
public:
    TVarBytesField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TVarBytesField"; }
    std::vector<uint8_t> ValueAsByteArray() const override;
    int NativeSize() const override;
};

// Content read through the dataset's blob stream; the display text is the class description,
// "(Blob)", "(Memo)" and so on after the field's type.
class TBlobField : public TField {
public:
    TBlobField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TBlobField"; }
    void SetFieldType(TFieldType type) override;

    bool Transliterate() const { return transliterate_; }
    void SetTransliterate(bool value) { transliterate_ = value; }
    // Index among the dataset's blob fields, set when the fields are attached.
    int BlobIndex() const { return blobIndex_; }
    void SetBlobIndex(int index) { blobIndex_ = index; }

    std::vector<uint8_t> ValueAsByteArray() const override;
    std::string ValueAsText() const override;
    std::string RenderText(bool forDisplay) const override;

protected:
    std::string Description() const override;

private:
    bool transliterate_ = true;
    int blobIndex_ = 0;
};

class TMemoField : public TBlobField {
public:
    TMemoField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TMemoField"; }
};

class TGraphicField : public TBlobField {
public:
    TGraphicField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TGraphicField"; }
};

class TWideMemoField : public TBlobField {
public:
    TWideMemoField();
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TWideMemoField"; }
};

}  // namespace parvell
