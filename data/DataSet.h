#pragma once
// The generic result set. TDataSet owns the open/close sequence, a small window of record
// buffers, movement with the start and end flags, field look-up and the notifications that
// viewers receive. It knows nothing of where records come from: a concrete dataset supplies the
// cursor through the overridable Cursor... operations and the record buffers it fills.
//
// Reading walk: set Active; MoveFirst; while !AtEnd(): read fields, MoveNext; clear Active.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/Field.h"
#include "data/FieldDefs.h"
#include "data/Stream.h"

namespace parvell {

class TDataSet;
class TDataSource;

// One byte, in this order; the program only sees Inactive, Browse and Opening.
enum class DataSetMode : uint8_t {
    Inactive = 0,
    Browse = 1,
    Edit = 2,
    Insert = 3,
    SetKey = 4,
    CalcFields = 5,
    Filter = 6,
    NewValue = 7,
    OldValue = 8,
    CurValue = 9,
    BlockRead = 10,
    InternalCalc = 11,
    Opening = 12,
};

enum class TFetchMode : uint8_t { FetchCurrent = 0, FetchNext = 1, FetchPrior = 2 };
enum class TFetchResult : uint8_t {
    FetchOk = 0,
    FetchAtStart = 1,
    FetchAtEnd = 2,
    FetchFailed = 3
};
enum class TBufferPosition : uint8_t { OnRecord = 0, BeforeFirst = 1, AfterLast = 2, Inserted = 3 };
enum class TBlobStreamMode : uint8_t { Read = 0, Write = 1, ReadWrite = 2 };

// One record buffer. The concrete dataset derives its own buffer type and allocates it in
// NewRecordBuffer; the base only moves buffers around the window and hands them back.
class TRecordBuffer {
public:
    virtual ~TRecordBuffer() = default;
};

// The field objects of a dataset, owned, in creation order.
class TFields {
public:
    int Count() const { return static_cast<int>(fields_.size()); }
    // Raises EListError "List index out of bounds (%d)".
    TField& At(int index) const {
        if (index < 0 || index >= Count()) OutOfBounds(index);
        return *fields_[static_cast<size_t>(index)];
    }
    // First field whose FieldName equals name without regard to case; nullptr when none.
    TField* Find(std::string_view name) const;
    int IndexOf(const TField* field) const;
    void Add(std::unique_ptr<TField> field);
    std::unique_ptr<TField> Remove(TField* field);
    void Clear();

private:
    [[noreturn]] static void OutOfBounds(int index);

    std::vector<std::unique_ptr<TField>> fields_;
};

enum class TDataEvent : uint8_t { RecordsChanged, WindowScrolled, ModeChanged, FinishEdits };

// A viewer's connection to a data source: it asks for a number of records in the window and
// hears of refills, scrolls and mode changes.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const;

    // Records the viewer wants to see at once (at least 1). An open dataset resizes its window.
    int BufferCount() const { return bufferCount_; }
    void SetBufferCount(int count);

    // Which window slot is current for reading fields: a viewer paints row i by setting it to i,
    // reading its fields and setting it back. Out-of-range slots raise EListError.
    int ActiveRecord() const;
    void SetActiveRecord(int slot);

    // RecordsChanged: the window was refilled. WindowScrolled: the window moved by info slots
    // (positive towards the end) without refilling. ModeChanged, FinishEdits: info is 0.
    virtual void DataEvent(TDataEvent event, int info) {}

private:
    friend class TDataSource;
    TDataSource* dataSource_ = nullptr;
    int bufferCount_ = 1;
};

class TDataSource {
public:
    TDataSource() = default;
    ~TDataSource();  // detaches from the dataset and from every link
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* dataSet);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }

    // The largest BufferCount of the attached links; 0 without links.
    int MaxBufferCount() const;
    void Notify(TDataEvent event, int info);

private:
    friend class TDataLink;
    friend class TDataSet;
    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);

    TDataSet* dataSet_ = nullptr;
    std::vector<TDataLink*> links_;  // not owned
    bool enabled_ = true;
};

using TDataSetNotifyEvent = std::function<void(TDataSet&)>;

// Event handlers of a dataset; none is assigned by the program itself.
struct TDataSetEvents {
    TDataSetNotifyEvent BeforeOpen;
    TDataSetNotifyEvent AfterOpen;
    TDataSetNotifyEvent BeforeClose;
    TDataSetNotifyEvent AfterClose;
    TDataSetNotifyEvent BeforeScroll;
    TDataSetNotifyEvent AfterScroll;
};

class TDataSet {
public:
    explicit TDataSet(std::string name = {});
    // A concrete dataset must call DestroyingClose() in its own destructor: the cursor
    // operations are gone by the time this one runs.
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    // The component name that prefixes the dataset's error messages.
    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    DataSetMode Mode() const { return mode_; }
    bool Active() const { return mode_ != DataSetMode::Inactive && mode_ != DataSetMode::Opening; }
    // True opens, false closes. While loading, the value is remembered and applied by
    // EndLoading.
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    void BeginLoading();
    // Applies a remembered Active; an exception of that open continues to the caller.
    void EndLoading();

    TFieldDefs& FieldDefs() { return fieldDefs_; }
    const TFieldDefs& FieldDefs() const { return fieldDefs_; }
    // Every definition, children included, in definition order; rebuilt when FieldDefs changed.
    const std::vector<TFieldDef*>& FieldDefList();

    TFields& Fields() { return fields_; }
    const TFields& Fields() const { return fields_; }
    int NumFields() const { return fields_.Count(); }
    TField& FieldAt(int index) const { return fields_.At(index); }
    // Raises EDatabaseError "Field '%s' not found" (prefixed) when TryFieldNamed finds nothing.
    TField& FieldNamed(std::string_view name) const;
    TField* TryFieldNamed(std::string_view name) const;
    bool AutoCreatedFields() const { return autoCreatedFields_; }

    // Movement. Each raises "Cannot perform this operation on a closed dataset" (prefixed) on a
    // closed dataset.
    void MoveFirst();
    void MoveLast();
    void MoveNext() { MoveRelative(1); }
    void MovePrior() { MoveRelative(-1); }
    // Moves by distance records (negative: backward); returns how many were actually moved.
    int MoveRelative(int distance);
    bool AtStart() const { return atStart_; }
    bool AtEnd() const { return atEnd_; }
    bool IsEmpty() const { return windowFill_ == 0; }

    virtual int32_t NumRecords() { return -1; }
    virtual int32_t RecordNumber() { return -1; }

    // The window: WindowSize records shown, WindowFill of them held, ActiveSlot current.
    int WindowSize() const { return windowSize_; }
    int WindowFill() const { return windowFill_; }
    int ActiveSlot() const { return activeSlot_; }
    int CursorSlot() const { return cursorSlot_; }
    // Buffers currently allocated (WindowSize + 1 while open, 0 when closed).
    int BufferCount() const { return static_cast<int>(window_.size()); }

    TDataSetEvents& Events() { return events_; }

    // Notifications to the attached data sources are held back while disabled.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    // Field data for TField::LoadValueData: the native form straight from ReadFieldData, or the
    // converted form through a scratch area and ConvertFieldData. False when the value is null.
    bool LoadFieldValue(const TField& field, void* buffer, bool native);

    // How a short road to a field's value went: read, null, or not taken (the field then reads
    // its value through ReadFieldData).
    enum class TConvertedRead : uint8_t { NotRead, Null, Read };
    // A string field's characters where the current record holds them, without copying them
    // (see ReadFieldText).
    TConvertedRead LoadFieldText(const TField& field, std::string_view& text) {
        return ReadFieldText(field, text);
    }

    // Native to converted form (dates, times, BCD, FMTBcd, wide strings); the size is the
    // field's NativeSize. Raises EConvertError for an invalid timestamp and
    // EBcdOverflowException for a decimal record that does not fit a scaled currency.
    virtual void ConvertFieldData(TFieldType type, const void* native, void* converted,
                                  int nativeSize);
    // The class made for a type; the default classes unless a concrete dataset substitutes.
    virtual const TFieldClass* FieldClassFor(TFieldType type) const;
    // A stream over a blob field's content in the current record; none in the base.
    virtual std::unique_ptr<TStream> CreateBlobStream(const TField& field, TBlobStreamMode mode);
    // Character translation applied to string values (in place); the base changes nothing.
    virtual void Translate(char* text, bool toOem) {}
    // Runs CursorInitFieldDefs, opening the cursor just for that when it is closed.
    virtual void LoadFieldDefs();

    // Raises EDatabaseError with the message prefixed by "Name: " (or alone without a name).
    [[noreturn]] void DatabaseError(std::string_view message) const;

protected:
    // Record buffers: one per window slot, allocated at open and freed at close.
    virtual std::unique_ptr<TRecordBuffer> NewRecordBuffer() { return nullptr; }
    virtual void DisposeRecordBuffer(std::unique_ptr<TRecordBuffer> buffer) {}
    virtual TBufferPosition BufferPositionFlag(const TRecordBuffer* buffer) const {
        return TBufferPosition::OnRecord;
    }

    // The cursor. CursorFirst places it before the first record, CursorLast after the last,
    // CursorSetToRecord on the record held in the buffer.
    virtual void CursorFirst() {}
    virtual void CursorLast() {}
    virtual void CursorSetToRecord(TRecordBuffer* buffer) {}
    // Reads the current, next or prior record into the buffer; with check set, engine errors
    // are raised.
    virtual TFetchResult CursorFetch(TRecordBuffer* buffer, TFetchMode mode, bool check) = 0;
    // Releases the cursor, detaches the fields and, when AutoCreatedFields, destroys them.
    virtual void CursorClose() = 0;
    virtual void CursorHandleException(const std::exception& error) = 0;
    // Clears FieldDefs and adds one definition per cursor column.
    virtual void CursorInitFieldDefs() = 0;
    // Opens the cursor, refreshes FieldDefs, makes the fields when AutoCreatedFields, attaches
    // them and places the cursor before the first record.
    virtual void CursorOpen() = 0;
    virtual bool CursorIsOpen() const = 0;
    // Copies one field's native data out of the current record into destination; false when the
    // value is null. A null destination only asks.
    virtual bool ReadFieldData(const TField& field, void* destination) { return false; }
    // The converted form of one field straight from the current record, for a dataset that can
    // give it without building the native form first (a decimal field whose record holds a
    // scaled integer). It must equal what ReadFieldData and ConvertFieldData give; NotRead
    // leaves the field to them.
    virtual TConvertedRead ReadConvertedFieldData(const TField& field, void* destination) {
        return TConvertedRead::NotRead;
    }
    // A string field's characters in the current record, for a dataset whose record holds them
    // as they are read (nothing to translate): the text must equal what ReadFieldData gives, up
    // to its first zero. The view lasts until the record changes. NotRead leaves the field to
    // ReadFieldData.
    virtual TConvertedRead ReadFieldText(const TField& field, std::string_view& text) {
        return TConvertedRead::NotRead;
    }

    // Event firing; a concrete dataset may hook them (calling the base).
    virtual void DoBeforeOpen();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoAfterClose();
    virtual void DoBeforeScroll();
    virtual void DoAfterScroll();

    // Helpers for CursorOpen and CursorClose.
    // One field per definition of the flat list, skipping types without a field object and
    // hidden columns unless IncludeHidden.
    void MakeFieldsFromDefs();
    // true: bind every field to its definition (numbers, type and size checks); false: unbind.
    void AttachFields(bool attach);
    void DestroyFields() { fields_.Clear(); }
    // Joins a field to the dataset: "Field name missing", "Duplicate field name '%s'" (both
    // prefixed); a rejected field is freed.
    TField& AddField(std::unique_ptr<TField> field);

    // The record of the current slot; null when the window is empty.
    TRecordBuffer* ActiveBuffer() const {
        if (windowFill_ == 0 || activeSlot_ >= windowFill_) return nullptr;
        return window_[static_cast<size_t>(activeSlot_)].get();
    }
    void SetMode(DataSetMode mode);
    bool Destroying() const { return destroying_; }
    // Closes without the close events; for the concrete dataset's destructor.
    void DestroyingClose();
    // Sends an event to every attached source unless notifications are disabled.
    void Notify(TDataEvent event, int info);
    // The engine cursor was moved behind the window's back (a blob load, say): the next fetch
    // puts it back on the record it needs.
    void CursorPositionChanged() { cursorSlot_ = -1; }

private:
    friend class TDataSource;
    friend class TDataLink;
    friend class TFieldDef;
    friend class TFieldDefs;
    friend class TField;

    void OpenSequence();
    void CloseSequence();
    void CloseCursorSide();
    void ClearWindow();
    // MoveFirst (fromEnd false) and MoveLast: refill the window from one edge of the cursor.
    void RefillFromEdge(bool fromEnd);
    void CheckActive();  // also sends FinishEdits
    void UpdateWindowSize();
    void ResizeWindow(int size);
    void SyncCursorTo(int slot);
    bool FetchNextRecord();
    bool FetchPriorRecord();
    void FieldDefsChanged() { fieldDefListStale_ = true; }
    void AttachSource(TDataSource* source);
    void DetachSource(TDataSource* source);

    std::string name_;
    DataSetMode mode_ = DataSetMode::Inactive;
    TFieldDefs fieldDefs_;
    std::vector<TFieldDef*> fieldDefList_;  // flat view of fieldDefs_, not owning
    bool fieldDefListStale_ = true;
    TFields fields_;
    TFields aggregateFields_;  // kept empty: no aggregate fields are made here
    bool autoCreatedFields_ = false;

    // Slots 0 .. windowFill_ - 1 hold records in cursor order; slot windowFill_ is the scratch
    // slot the next fetch reads into. Size windowSize_ + 1 while open, empty when closed.
    std::vector<std::unique_ptr<TRecordBuffer>> window_;
    int windowSize_ = 0;
    int windowFill_ = 0;
    int activeSlot_ = 0;
    int cursorSlot_ = -1;
    bool atStart_ = true;
    bool atEnd_ = true;
    bool openComplete_ = false;
    bool destroying_ = false;
    bool loading_ = false;
    bool activeWhenLoaded_ = false;

    std::vector<TDataSource*> sources_;  // attached, not owned
    int disableCount_ = 0;
    bool eventsHeldBack_ = false;
    TDataSetEvents events_;
};

}  // namespace parvell
