#include "data/FieldDefs.h"

#include <algorithm>

#include "common/Exceptions.h"
#include "common/Text.h"
#include "data/DataSet.h"
#include "data/Fields.h"
#include "data/TextCase.h"

namespace parvell {

TFieldDef::TFieldDef(TFieldDefs& collection) : collection_(collection) {}
TFieldDef::~TFieldDef() = default;

void TFieldDef::Changed() {
    collection_.Changed();
}

void TFieldDef::SetName(std::string name) {
    for (const auto& other : collection_.defs_) {
        if (other.get() != this && !name.empty() && AnsiSameText(other->name_, name)) {
            throw EDatabaseError(FormatMessage("A component named %s already exists", {name}));
        }
    }
    name_ = std::move(name);
    Changed();
}

void TFieldDef::SetDataType(TFieldType type) {
    dataType_ = type;
    size_ = DefaultFieldSize(type);
    precision_ = 0;
    Changed();
}

int32_t TFieldDef::Size() const {
    if (size_ == 0 && HasChildDefs()) return childDefs_->NumDefs();
    return size_;
}

void TFieldDef::SetSize(int32_t size) {
    TDataSet* dataSet = collection_.DataSet();
    const TFieldClass* cls =
        dataSet ? dataSet->FieldClassFor(dataType_) : DefaultFieldClass(dataType_);
    if (cls) cls->CheckTypeSize(size);
    size_ = size;
    Changed();
}

void TFieldDef::SetPrecision(int32_t precision) {
    precision_ = precision;
    Changed();
}

void TFieldDef::SetAttributes(TFieldAttributes attributes) {
    attributes_ = attributes;
    Changed();
}

void TFieldDef::SetRequired(bool value) {
    if (value) {
        attributes_.Include(faRequired);
    } else {
        attributes_.Exclude(faRequired);
    }
    Changed();
}

int TFieldDef::Index() const {
    const auto& defs = collection_.defs_;
    for (size_t i = 0; i < defs.size(); ++i) {
        if (defs[i].get() == this) return static_cast<int>(i);
    }
    return -1;
}

int TFieldDef::FieldNumber() const {
    return fieldNumber_ > 0 ? fieldNumber_ : Index() + 1;
}

bool TFieldDef::HasChildDefs() const {
    return childDefs_ && childDefs_->NumDefs() > 0;
}

TFieldDefs& TFieldDef::ChildDefs() {
    if (!childDefs_) childDefs_ = std::make_unique<TFieldDefs>(collection_.DataSet(), this);
    return *childDefs_;
}

TField& TFieldDef::CreateField(TDataSet& owner) const {
    const TFieldClass* cls = owner.FieldClassFor(dataType_);
    if (!cls) {
        throw EDatabaseError(FormatMessage("Field '%s' is of an unknown type", {name_}));
    }
    std::unique_ptr<TField> field = cls->Create();
    field->SetSize(size_);
    field->SetFieldName(name_);
    field->SetRequired(attributes_.Contains(faRequired));
    field->SetReadOnly(attributes_.Contains(faReadonly));
    field->SetFieldType(dataType_);
    if (auto* bcd = dynamic_cast<TBCDField*>(field.get())) bcd->SetPrecision(precision_);
    if (auto* fmtBcd = dynamic_cast<TFMTBCDField*>(field.get())) fmtBcd->SetPrecision(precision_);
    if (attributes_.Contains(faFixed) || dataType_ == ftFixedChar) {
        if (auto* text = dynamic_cast<TStringField*>(field.get())) text->SetFixedChar(true);
    }
    return owner.AddField(std::move(field));  // a rejected field is freed on the way out
}

TFieldDefs::TFieldDefs(TDataSet* dataSet, TFieldDef* parent) : dataSet_(dataSet), parent_(parent) {}
TFieldDefs::~TFieldDefs() = default;

TFieldDef& TFieldDefs::DefAt(int index) const {
    if (index < 0 || index >= NumDefs()) throw EListError(index);
    return *defs_[static_cast<size_t>(index)];
}

int TFieldDefs::IndexOf(std::string_view name) const {
    for (size_t i = 0; i < defs_.size(); ++i) {
        if (AnsiSameText(defs_[i]->Name(), name)) return static_cast<int>(i);
    }
    return -1;
}

TFieldDef* TFieldDefs::FindDef(std::string_view name) const {
    const int index = IndexOf(name);
    return index < 0 ? nullptr : defs_[static_cast<size_t>(index)].get();
}

TFieldDef& TFieldDefs::DefNamed(std::string_view name) const {
    if (TFieldDef* def = FindDef(name)) return *def;
    const std::string message = FormatMessage("Field '%s' not found", {name});
    if (dataSet_) dataSet_->DatabaseError(message);
    throw EDatabaseError(message);
}

TFieldDef& TFieldDefs::AddFieldDef() {
    defs_.push_back(std::make_unique<TFieldDef>(*this));
    Changed();
    return *defs_.back();
}

TFieldDef& TFieldDefs::DefineField(std::string_view name, TFieldType type, int32_t size,
                                   bool required) {
    if (name.empty()) {
        if (dataSet_) dataSet_->DatabaseError("Field name missing");
        throw EDatabaseError("Field name missing");
    }
    BeginUpdate();
    TFieldDef* def = nullptr;
    try {
        def = &AddFieldDef();
        def->SetName(std::string(name));
        def->SetDataType(type);
        def->SetSize(size);
        def->SetRequired(required);
    } catch (...) {
        if (def) Remove(def);
        EndUpdate();
        throw;
    }
    EndUpdate();
    return *def;
}

void TFieldDefs::Remove(const TFieldDef* def) {
    const auto found = std::find_if(defs_.begin(), defs_.end(),
                                    [def](const auto& item) { return item.get() == def; });
    if (found != defs_.end()) {
        defs_.erase(found);
        Changed();
    }
}

void TFieldDefs::Clear() {
    defs_.clear();
    Changed();
}

void TFieldDefs::RefreshDefs() {
    if (!defsCurrent_ && dataSet_) dataSet_->LoadFieldDefs();
    defsCurrent_ = true;
}

void TFieldDefs::BeginUpdate() {
    ++updateCount_;
}

void TFieldDefs::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && changedWhileLocked_) {
        changedWhileLocked_ = false;
        Changed();
    }
}

void TFieldDefs::Changed() {
    if (updateCount_ > 0) {
        changedWhileLocked_ = true;
        return;
    }
    if (parent_) {
        parent_->Changed();
    } else if (dataSet_) {
        dataSet_->FieldDefsChanged();
    }
}

}  // namespace parvell
