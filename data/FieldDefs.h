#pragma once
// Field definitions: what a dataset knows about its columns before any field object exists. A
// concrete dataset fills its TFieldDefs at open; field objects are made from them.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/FieldTypes.h"

namespace parvell {

class TDataSet;
class TField;
class TFieldDefs;

class TFieldDef {
public:
    explicit TFieldDef(TFieldDefs& collection);
    ~TFieldDef();
    TFieldDef(const TFieldDef&) = delete;
    TFieldDef& operator=(const TFieldDef&) = delete;

    const std::string& Name() const { return name_; }
    // Raises EDatabaseError "A component named %s already exists" when another definition of
    // the collection carries the name (without regard to case).
    void SetName(std::string name);
    TFieldType DataType() const { return dataType_; }
    // Also resets Size to the type's default and Precision to 0.
    void SetDataType(TFieldType type);
    // For a definition with children and no size of its own, the number of children.
    int32_t Size() const;
    // Asks the type's field class to validate the size ("Invalid field size").
    void SetSize(int32_t size);
    int32_t Precision() const { return precision_; }
    void SetPrecision(int32_t precision);
    TFieldAttributes Attributes() const { return attributes_; }
    void SetAttributes(TFieldAttributes attributes);
    bool Required() const { return attributes_.Contains(faRequired); }
    void SetRequired(bool value);
    // The number given to the definition, or its position + 1 when none was given.
    int FieldNumber() const;
    void SetFieldNumber(int number) { fieldNumber_ = number; }
    // Position in the collection.
    int Index() const;

    TFieldDefs& Collection() const { return collection_; }
    bool HasChildDefs() const;
    // Created on first use.
    TFieldDefs& ChildDefs();

    // Makes the field object for this definition, owned by (and joined to) the dataset.
    // Raises EDatabaseError "Field '%s' is of an unknown type" when the dataset has no class
    // for the type; any failure after creation frees the field.
    TField& CreateField(TDataSet& owner) const;

private:
    friend class TFieldDefs;
    void Changed();

    TFieldDefs& collection_;
    std::string name_;
    TFieldType dataType_ = ftUnknown;
    int32_t size_ = 0;
    int32_t precision_ = 0;
    TFieldAttributes attributes_;
    int fieldNumber_ = 0;
    std::unique_ptr<TFieldDefs> childDefs_;
};

class TFieldDefs {
public:
    // dataSet may be null (a free-standing collection); parent is the definition owning a child
    // collection.
    explicit TFieldDefs(TDataSet* dataSet, TFieldDef* parent = nullptr);
    ~TFieldDefs();
    TFieldDefs(const TFieldDefs&) = delete;
    TFieldDefs& operator=(const TFieldDefs&) = delete;

    TDataSet* DataSet() const { return dataSet_; }
    TFieldDef* ParentDef() const { return parent_; }

    int NumDefs() const { return static_cast<int>(defs_.size()); }
    // Raises EListError "List index out of bounds (%d)" outside 0 .. NumDefs - 1.
    TFieldDef& DefAt(int index) const;
    // Case-insensitive; nullptr when missing.
    TFieldDef* FindDef(std::string_view name) const;
    int IndexOf(std::string_view name) const;
    // Case-insensitive; raises EDatabaseError "Field '%s' not found" prefixed with the dataset's
    // name.
    TFieldDef& DefNamed(std::string_view name) const;

    // Appends a definition. "Field name missing" (prefixed) for an empty name, "A component
    // named %s already exists" for a name in use; the collection is unchanged after a failure.
    TFieldDef& DefineField(std::string_view name, TFieldType type, int32_t size, bool required);
    // Appends an unnamed definition.
    TFieldDef& AddFieldDef();
    void Clear();

    bool DefsCurrent() const { return defsCurrent_; }
    void SetDefsCurrent(bool value) { defsCurrent_ = value; }
    bool IncludeHidden() const { return includeHidden_; }
    void SetIncludeHidden(bool value) { includeHidden_ = value; }
    // Runs the dataset's LoadFieldDefs unless DefsCurrent is set, then sets it.
    void RefreshDefs();

    // Change notifications to the dataset are held back between these calls and sent once.
    void BeginUpdate();
    void EndUpdate();

private:
    friend class TFieldDef;
    void Changed();
    void Remove(const TFieldDef* def);

    TDataSet* dataSet_;
    TFieldDef* parent_;
    std::vector<std::unique_ptr<TFieldDef>> defs_;
    bool defsCurrent_ = false;
    bool includeHidden_ = false;
    int updateCount_ = 0;
    bool changedWhileLocked_ = false;
};

}  // namespace parvell
