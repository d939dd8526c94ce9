// TDataSet: field definitions, field objects, value access and the data sources.
#include <algorithm>
#include <cstring>

#include "common/Exceptions.h"
#include "common/Text.h"
#include "data/DataSet.h"
#include "data/Fields.h"
#include "data/TextCase.h"
#include "data/ValueConvert.h"

namespace parvell {
namespace {

void AddFlat(TFieldDefs& defs, std::vector<TFieldDef*>& list) {
    for (int i = 0; i < defs.NumDefs(); ++i) {
        TFieldDef& def = defs.DefAt(i);
        list.push_back(&def);
        if (def.HasChildDefs()) AddFlat(def.ChildDefs(), list);
    }
}

bool IsStringType(TFieldType type) {
    return type == ftString || type == ftFixedChar || type == ftWideString ||
           type == ftFixedWideChar;
}

// Native data up to this size is read through a scratch area on the stack.
constexpr int kScratchSize = 8193;

}  // namespace

void TFields::OutOfBounds(int index) {
    throw EListError(index);
}

TField* TFields::Find(std::string_view name) const {
    for (const auto& field : fields_) {
        if (AnsiSameText(field->FieldName(), name)) return field.get();
    }
    return nullptr;
}

int TFields::IndexOf(const TField* field) const {
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].get() == field) return static_cast<int>(i);
    }
    return -1;
}

void TFields::Add(std::unique_ptr<TField> field) {
    fields_.push_back(std::move(field));
}

std::unique_ptr<TField> TFields::Remove(TField* field) {
    const int index = IndexOf(field);
    if (index < 0) return nullptr;
    std::unique_ptr<TField> removed = std::move(fields_[static_cast<size_t>(index)]);
    fields_.erase(fields_.begin() + index);
    return removed;
}

void TFields::Clear() {
    fields_.clear();
}

const std::vector<TFieldDef*>& TDataSet::FieldDefList() {
    if (fieldDefListStale_) {
        fieldDefList_.clear();
        AddFlat(fieldDefs_, fieldDefList_);
        fieldDefListStale_ = false;
    }
    return fieldDefList_;
}

TField* TDataSet::TryFieldNamed(std::string_view name) const {
    return fields_.Find(name);
}

TField& TDataSet::FieldNamed(std::string_view name) const {
    if (TField* field = TryFieldNamed(name)) return *field;
    DatabaseError(FormatMessage("Field '%s' not found", {name}));
}

TField& TDataSet::AddField(std::unique_ptr<TField> field) {
    if (field->FieldName().empty()) DatabaseError("Field name missing");
    if (TryFieldNamed(field->FieldName())) {
        DatabaseError(FormatMessage("Duplicate field name '%s'", {field->FieldName()}));
    }
    field->dataSet_ = this;
    TField& added = *field;
    fields_.Add(std::move(field));
    return added;
}

void TDataSet::MakeFieldsFromDefs() {
    const bool includeHidden = fieldDefs_.IncludeHidden();
    // A copy: making a field never changes the definitions, but the list must not move under us.
    const std::vector<TFieldDef*> defs = FieldDefList();
    for (TFieldDef* def : defs) {
        switch (def->DataType()) {
            case ftUnknown:
            case ftADT:
            case ftArray:
            case ftReference:
            case ftDataSet:
                continue;
            default:
                break;
        }
        if (def->Attributes().Contains(faHiddenCol) && !includeHidden) continue;
        def->CreateField(*this);
    }
}

void TDataSet::AttachFields(bool attach) {
    if (!attach) {
        for (int i = 0; i < fields_.Count(); ++i) fields_.At(i).fieldNumber_ = 0;
        return;
    }
    const std::vector<TFieldDef*>& defs = FieldDefList();
    int blobIndex = 0;
    for (int i = 0; i < fields_.Count(); ++i) {
        TField& field = fields_.At(i);
        if (field.FieldKind() != TFieldKind::fkData) continue;
        const auto found = std::find_if(defs.begin(), defs.end(), [&](const TFieldDef* def) {
            return AnsiSameText(def->Name(), field.FieldName());
        });
        if (found == defs.end()) {
            DatabaseError(FormatMessage("Field '%s' not found", {field.DisplayName()}));
        }
        const TFieldDef& def = **found;
        field.fieldNumber_ = static_cast<int>(found - defs.begin()) + 1;
        if (FieldTypeGroup(field.DataType()) != FieldTypeGroup(def.DataType())) {
            DatabaseError(FormatMessage("Type mismatch for field '%s', expecting: %s actual: %s",
                                        {field.DisplayName(), FieldTypeName(field.DataType()),
                                         FieldTypeName(def.DataType())}));
        }
        switch (field.DataType()) {
            case ftBCD:
            case ftBytes:
            case ftVarBytes:
            case ftReference:
                if (field.Size() != def.Size()) {
                    DatabaseError(
                        FormatMessage("Size mismatch for field '%s', expecting: %d actual: %d",
                                      {field.DisplayName(), field.Size(), def.Size()}));
                }
                break;
            default:
                break;
        }
        if (IsStringType(field.DataType()) && field.Size() > def.Size() && !field.ReadOnly()) {
            field.size_ = def.Size();
        }
        if (auto* blob = dynamic_cast<TBlobField*>(&field)) {
            field.size_ = def.Size();
            blob->SetBlobIndex(blobIndex++);
        }
    }
}

bool TDataSet::LoadFieldValue(const TField& field, void* buffer, bool native) {
    if (native || buffer == nullptr) return ReadFieldData(field, buffer);
    switch (ReadConvertedFieldData(field, buffer)) {
        case TConvertedRead::Read:
            return true;
        case TConvertedRead::Null:
            return false;
        case TConvertedRead::NotRead:
            break;
    }
    const int size = std::max(field.NativeSize(), 0);
    if (size < kScratchSize) {
        alignas(8) std::byte scratch[kScratchSize];
        if (!ReadFieldData(field, scratch)) return false;
        ConvertFieldData(field.DataType(), scratch, buffer, size);
        return true;
    }
    std::vector<std::byte> area(static_cast<size_t>(size));
    if (!ReadFieldData(field, area.data())) return false;
    ConvertFieldData(field.DataType(), area.data(), buffer, size);
    return true;
}

void TDataSet::ConvertFieldData(TFieldType type, const void* native, void* converted,
                                int nativeSize) {
    switch (type) {
        case ftBCD: {
            TBcd bcd;
            std::memcpy(&bcd, native, sizeof bcd);
            const int64_t scaled = BcdToScaled(bcd);
            std::memcpy(converted, &scaled, sizeof scaled);
            break;
        }
        case ftDate:
        case ftTime: {
            int32_t value = 0;
            std::memcpy(&value, native, sizeof value);
            const TDateTime dateTime =
                type == ftDate ? NativeDateToDateTime(value) : NativeTimeToDateTime(value);
            std::memcpy(converted, &dateTime, sizeof dateTime);
            break;
        }
        case ftDateTime: {
            double count = 0;
            std::memcpy(&count, native, sizeof count);
            const TDateTime dateTime = NativeDateTimeToDateTime(count);
            std::memcpy(converted, &dateTime, sizeof dateTime);
            break;
        }
        case ftWideString:
        case ftFixedWideChar: {
            // Characters up to the terminating zero, never beyond the native area.
            const size_t units = static_cast<size_t>(std::max(nativeSize, 0)) / 2;
            const auto* from = static_cast<const char16_t*>(native);
            auto* to = static_cast<char16_t*>(converted);
            size_t i = 0;
            for (; i < units && from[i] != u'\0'; ++i) to[i] = from[i];
            if (i < units) to[i] = u'\0';
            break;
        }
        default:
            // FMTBcd records and anything else keep their native form.
            if (nativeSize > 0) std::memcpy(converted, native, static_cast<size_t>(nativeSize));
            break;
    }
}

const TFieldClass* TDataSet::FieldClassFor(TFieldType type) const {
    return DefaultFieldClass(type);
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(const TField& field, TBlobStreamMode mode) {
    return nullptr;
}

void TDataSet::LoadFieldDefs() {
    if (CursorIsOpen()) {
        CursorInitFieldDefs();
        return;
    }
    CursorOpen();
    try {
        // An open that refreshed the definitions itself has done the work already.
        if (!fieldDefs_.DefsCurrent()) CursorInitFieldDefs();
    } catch (...) {
        CursorClose();
        throw;
    }
    CursorClose();
}

void TDataSet::AttachSource(TDataSource* source) {
    if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) {
        sources_.push_back(source);
    }
    UpdateWindowSize();
}

void TDataSet::DetachSource(TDataSource* source) {
    sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

TDataLink::~TDataLink() {
    SetDataSource(nullptr);
}

void TDataLink::SetDataSource(TDataSource* source) {
    if (source == dataSource_) return;
    if (dataSource_) dataSource_->RemoveLink(this);
    if (source) source->AddLink(this);
}

TDataSet* TDataLink::DataSet() const {
    return dataSource_ ? dataSource_->DataSet() : nullptr;
}

void TDataLink::SetBufferCount(int count) {
    bufferCount_ = std::max(count, 1);
    if (TDataSet* dataSet = DataSet()) dataSet->UpdateWindowSize();
}

int TDataLink::ActiveRecord() const {
    TDataSet* dataSet = DataSet();
    return dataSet ? dataSet->ActiveSlot() : 0;
}

void TDataLink::SetActiveRecord(int slot) {
    TDataSet* dataSet = DataSet();
    if (!dataSet) return;
    if (slot < 0 || slot >= std::max(dataSet->WindowFill(), 1)) throw EListError(slot);
    dataSet->activeSlot_ = slot;
}

TDataSource::~TDataSource() {
    for (TDataLink* link : links_) link->dataSource_ = nullptr;
    links_.clear();
    SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet_) dataSet_->DetachSource(this);
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->AttachSource(this);
}

int TDataSource::MaxBufferCount() const {
    int count = 0;
    for (const TDataLink* link : links_) count = std::max(count, link->BufferCount());
    return count;
}

void TDataSource::Notify(TDataEvent event, int info) {
    if (!enabled_) return;
    for (size_t i = 0; i < links_.size(); ++i) links_[i]->DataEvent(event, info);
}

void TDataSource::AddLink(TDataLink* link) {
    links_.push_back(link);
    link->dataSource_ = this;
    if (dataSet_) dataSet_->UpdateWindowSize();
}

void TDataSource::RemoveLink(TDataLink* link) {
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
    link->dataSource_ = nullptr;
    if (dataSet_) dataSet_->UpdateWindowSize();
}

}  // namespace parvell
