#pragma once
// The engine cursor dataset: TKdbDataSet turns an engine cursor into the generic dataset. It
// describes the cursor's columns as field definitions, copies each record's native bytes from the
// engine into a record buffer and decodes field values from those bytes only when a field is
// read. Where the cursor comes from (OpenEngineCursor) is the query's business (kdbtable.h).
//
// Also here: the engine error reporting every component uses (CheckEngineResult and the
// construction of EKDBDatabaseError), the record decoding rules per engine type and table type,
// and the per-record blob cache.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Calendar.h"
#include "common/Exceptions.h"
#include "data/DataSet.h"
#include "data/Fields.h"
#include "data/Stream.h"
#include "engine/KdbComponent.h"

namespace parvell {

class TKdbConnection;
class TKdbDataSet;

// ---- Errors ----

// The code of the components' own errors.
inline constexpr uint32_t kKdbComponentError = 5121;

// Does nothing for 0, and nothing while an engine error is being built on this thread. Otherwise
// raises EKDBDatabaseError with the engine's last error code and text (not the result passed in),
// attached to dataSet when there is one.
void CheckEngineResult(const TKdbDataSet* dataSet, uint32_t result);

// Builds the engine error: the dataset's details (name, owner, database name and path, table),
// the column name of codes 5147 to 5149 and the SQL error code ("ERROR 7200:" ...
// "NATIVEERROR = n;") are gathered, and the message is prefixed with "DataSetName: " when a
// dataset is attached. Re-entrant engine failures during the construction raise nothing further;
// a construction nested inside another yields the bare message without details.
EKDBDatabaseError MakeKdbDatabaseError(const TKdbDataSet* dataSet, std::string message,
                                       uint32_t code);
[[noreturn]] void RaiseKdbDatabaseError(const TKdbDataSet* dataSet, std::string message,
                                        uint32_t code = kKdbComponentError);
// True while an EKDBDatabaseError is being built on the calling thread.
bool BuildingEngineError();

// KdbError after a failed engine call of the connection: the engine's last error text.
KdbError ConnectionKdbError();
// KdbError of the settings component: the engine's text for the code.
KdbError SettingsKdbError(uint32_t code);

// ---- Options and types ----

enum class TKdbTableTypes : uint8_t { ttKdbCDX, ttKdbNTX, ttKdbKDT, ttKdbDefault, ttKdbVFP };
// The engine table type sent when opening: CDX 2, NTX 1, VFP 4, the others 3.
uint16_t OpenTableTypeCode(TKdbTableTypes type);

enum class TKdbLockType : uint8_t { Proprietary, Compatible };
enum class TKdbFilterOptions : uint8_t { IGNORE_WHEN_COUNTING, RESPECT_WHEN_COUNTING };
enum class TKdbScopeOptions : uint8_t { IGNORE_SCOPES_WHEN_COUNTING, RESPECT_SCOPES_WHEN_COUNTING };
enum class TKdbRecordCache : uint8_t { rcNone, rcStandard, rcAggressive };
enum class TKdbAOFType : uint8_t { atDynamic, atKeySet, atFixed };
enum class TKdbRecordLockingMode : uint8_t { lmPessimistic, lmOptimistic };
enum class TKdbCachingOption : uint8_t { tcNone, tcReads, tcWrites };

// The character type of a table: 0 ANSI, 1 OEM, then the named collations; 118 values.
using TKdbCharTypes = uint8_t;
inline constexpr TKdbCharTypes kKdbCharANSI = 0;
inline constexpr TKdbCharTypes kKdbCharOEM = 1;
inline constexpr TKdbCharTypes kKdbCharGeneralVfpCiAs1252 = 2;
inline constexpr int kKdbCharTypeCount = 118;
// The name sent as the statement's default collation ("ANSI", "OEM", a collation name).
std::string KdbCharTypeName(TKdbCharTypes type);

// The table options of a dataset. The four marked below refuse a change while the dataset is
// open ("Table must not be Active.").
class TKdbTableOptions {
public:
    explicit TKdbTableOptions(TKdbDataSet& dataSet) : dataSet_(dataSet) {}

    TKdbLockType KdbLockType() const { return lockType_; }
    void SetKdbLockType(TKdbLockType value);  // refused while open
    TKdbCharTypes KdbCharType() const { return charType_; }
    // Refused while open; "Invalid or unknown character type." from 118 up; CDX and NTX datasets
    // take only ANSI and OEM.
    void SetKdbCharType(TKdbCharTypes value);
    bool KdbRightsCheck() const { return rightsCheck_; }
    void SetKdbRightsCheck(bool value);  // refused while open
    TKdbCachingOption KdbCachingOption() const { return cachingOption_; }
    void SetKdbCachingOption(TKdbCachingOption value);  // refused while open
    TKdbRecordCache KdbRecordCache() const { return recordCache_; }
    // On an open dataset also tells the engine (KdbCacheRecords 0, 10 or 100).
    void SetKdbRecordCache(TKdbRecordCache value);

    TKdbFilterOptions KdbFilterOptions = TKdbFilterOptions::IGNORE_WHEN_COUNTING;
    bool KdbFreshRecordCount = false;
    TKdbScopeOptions KdbScopeOptions = TKdbScopeOptions::IGNORE_SCOPES_WHEN_COUNTING;
    bool KdbAOFResolveImmediate = false;
    bool KdbOptimizedFilters = true;
    uint16_t KdbIndexPageSize = 0;  // 0 to 8192; read from the cursor at open
    TKdbAOFType KdbAOFType = TKdbAOFType::atDynamic;
    bool KdbAutoKeyFieldCount = false;
    bool KdbCalcFieldsBeforeFilter = false;
    TKdbRecordLockingMode KdbRecordLockingMode = TKdbRecordLockingMode::lmPessimistic;
    bool KdbPreserveSpaces = false;  // editing only: reading always trims
    bool KdbNumericsAsFloats = false;
    std::string KdbCollation;

    // Sets the character type without the checks, as the query does after reading a live
    // cursor's character type.
    void SetCharTypeFromCursor(TKdbCharTypes value) { charType_ = value; }

private:
    void CheckInactive() const;

    TKdbDataSet& dataSet_;
    TKdbLockType lockType_ = TKdbLockType::Proprietary;
    TKdbCharTypes charType_ = kKdbCharANSI;
    bool rightsCheck_ = true;
    TKdbCachingOption cachingOption_ = TKdbCachingOption::tcNone;
    TKdbRecordCache recordCache_ = TKdbRecordCache::rcStandard;
};

// ---- Engine field definitions ----

// What the decoder needs of one engine field, in engine field order.
struct TKCEFieldDef {
    std::string Name;          // up to 128 characters
    uint16_t FieldNumber = 0;  // from 1
    uint32_t Offset = 0;       // of the field's bytes in the native record
    uint32_t Length = 0;       // engine field length L
    uint16_t EngineType = 0;
    uint16_t Decimals = 0;
    uint8_t DefaultValueSet = 0;
    uint8_t Permissions = 0;
    uint8_t Nullable = 0;
};

class TKCEFieldDefs {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const TKCEFieldDef& At(int index) const { return items_[static_cast<size_t>(index)]; }
    void Add(TKCEFieldDef def) { items_.push_back(std::move(def)); }
    void Clear() { items_.clear(); }
    // Case-insensitive (locale folding); -1 when none.
    int IndexOf(std::string_view name) const;

private:
    std::vector<TKCEFieldDef> items_;
};

// The field definition an engine column maps to. Raises EKDBDatabaseError (5121) for the wide
// types 26 to 28 ("Unicode field type (n) encountered.  ...") and for unknown types ("Unknown
// field type (n) encountered.").
struct TKdbFieldMapping {
    TFieldType DataType = ftUnknown;
    int32_t Size = 0;
    int32_t Precision = -1;  // -1: no precision set
};
TKdbFieldMapping MapEngineField(const TKdbDataSet* dataSet, uint16_t engineType, uint32_t length,
                                uint16_t decimals, uint16_t tableType, bool numericsAsFloats);

// ---- Field classes ----

class TKdbStringField : public TStringField {
public:
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TKdbStringField"; }
    bool CaseInsensitive() const { return caseInsensitive_; }
    void SetCaseInsensitive(bool value) { caseInsensitive_ = value; }

private:
    bool caseInsensitive_ = false;
};

// Money columns show in the currency style; a new instance has the currency flag set.
class TKdbBCDField : public TBCDField {
public:
    TKdbBCDField() { SetCurrency(true); }
    static const TFieldClass& Class();
    const char* ClassName() const override { return "TKdbBCDField"; }
};

// ---- Record decoding ----

// The native record's bytes and how to reach the engine for the few values that need it.
struct TRecordDecodeEnv {
    uint16_t TableType = 3;  // 1 NTX, 2 CDX, 3 KDT, 4 VFP
    uint32_t Cursor = 0;
    // Engine calls the decoder makes; replaceable so that records of other table types can be
    // decoded without such a cursor.
    uint32_t (*AccessVfpSystemField)(uint32_t cursor, uint16_t field, const uint8_t* record,
                                     uint16_t option, uint16_t* result) = nullptr;
    uint32_t (*StringToJulian)(const char* text, uint16_t length, double* julian) = nullptr;
};
// An environment that calls the engine.
TRecordDecodeEnv EngineDecodeEnv(uint16_t tableType, uint32_t cursor);

namespace kdbrecord {
// Julian day number of 0001-01-01 minus one: native day numbers count from 0001-01-01 as day 1.
inline constexpr int32_t kJulianToDayNumber = kJulianOfFirstDay - 1;

// Whether the field is null in the record, by the rules of the table type.
bool IsNull(const TKCEFieldDef& def, const uint8_t* record, const TRecordDecodeEnv& env);
// Writes the field's native value for a field object of dataType into destination, which holds
// the field's NativeSize bytes. Blob types write nothing.
void Decode(const TKCEFieldDef& def, const uint8_t* record, TFieldType dataType,
            const TRecordDecodeEnv& env, void* destination);
// The value x 10000 of a non-null field read as ftBCD, without the decimal record that Decode
// writes: exactly what BcdToScaled gives for that record. False when this short road does not
// apply (other engine types, a numeric text it does not read plainly, a value that may not fit):
// the caller then decodes and converts.
bool DecodeScaled(const TKCEFieldDef& def, const uint8_t* record, int64_t* scaled);
// The characters of a fixed-length text column (types 4 and 20) as Decode copies them, without
// the copy: trailing spaces dropped, ended by the first zero byte.
std::string_view FixedText(const TKCEFieldDef& def, const uint8_t* record);
}  // namespace kdbrecord

// ---- Blob cache and blob stream ----

// The content of one blob field of one record, fetched from the engine once and kept with the
// record buffer until the buffer is refilled.
class TKdbBlobCache : public TMemoryStream {
public:
    int64_t Write(const void* buffer, int64_t count) override;
    void Reset();

    uint32_t Cursor = 0;  // 0: empty
    uint32_t RecordNumber = 0;
    uint16_t FieldNumber = 0;
    bool Loaded = false;
    bool Modified = false;
};

class TKdbBlobStream : public TStream {
public:
    TKdbBlobStream(TKdbDataSet& dataSet, const TField& field, TBlobStreamMode mode,
                   TKdbBlobCache* cache);
    ~TKdbBlobStream() override;
    int64_t Read(void* buffer, int64_t count) override;
    // "Error modifying read only blob." in read mode, "Cannot write to blob in current state."
    // without a cache.
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

private:
    TKdbDataSet& dataSet_;
    const TField& field_;
    TBlobStreamMode mode_;
    TKdbBlobCache* cache_;  // owned by the record buffer; null outside the reading states
    bool modified_ = false;
};

// ---- The dataset ----

// One record buffer: the native record (exactly the cursor's record length, plus the
// calculated-field area), a blob cache per blob field, the record information and the bookmark.
class TKdbRecordBuffer : public TRecordBuffer {
public:
    std::vector<uint8_t> Data;
    std::vector<std::unique_ptr<TKdbBlobCache>> BlobCaches;
    int32_t RecordNumber = -1;
    uint8_t Status = 0;
    TBufferPosition Flag = TBufferPosition::OnRecord;
    std::vector<uint8_t> Bookmark;
};

enum class TKdbSequencedLevel : uint8_t { slStandard, slExact };

class TKdbDataSet : public TDataSet {
public:
    explicit TKdbDataSet(TComponent* owner = nullptr, std::string name = {});
    ~TKdbDataSet() override;

    TComponent* Owner() const { return owner_; }

    // The bound connection; "Table must not be Active." while open.
    TKdbConnection* KdbConnection() const { return connection_; }
    void SetKdbConnection(TKdbConnection* connection);
    const std::string& DatabaseName() const { return databaseName_; }
    // Resolves the name against the live connections, else as a path or a kdb.ini alias.
    virtual void SetDatabaseName(const std::string& name);
    TKdbTableTypes SourceTableType() const { return tableType_; }
    virtual void SetSourceTableType(TKdbTableTypes type);
    TKdbTableOptions& KdbTableOptions() { return options_; }
    const TKdbTableOptions& KdbTableOptions() const { return options_; }
    // The folder the dataset's tables are in (alias path, the connection's folder, or the path
    // DatabaseName gives), without a trailing separator.
    std::string DataPath() const;
    // The table the dataset reads; the query has none.
    virtual std::string TableName() const { return {}; }
    // "10.0.0.3 (KCE m.nnL)".
    std::string Version() const;

    bool Sequenced = false;
    TKdbSequencedLevel SequencedLevel = TKdbSequencedLevel::slStandard;
    std::string IndexName;
    std::string IndexFieldNames;
    bool StoreActive = true;
    std::vector<std::string> IndexFiles;  // index files opened with the cursor

    int32_t NumRecords() override;
    int32_t RecordNumber() override;
    const TKCEFieldDefs& KCEFieldDefs() const { return kceDefs_; }
    // Engine table type of the open cursor (1 NTX, 2 CDX, 3 KDT, 4 VFP).
    uint16_t EngineTableType() const { return engineTableType_; }
    uint32_t CursorHandle() const { return cursor_; }
    bool CanModify() const { return canModify_; }
    bool IsReadOnly() const { return readOnly_; }
    uint32_t NativeRecordLength() const { return recordLength_; }

    const TFieldClass* FieldClassFor(TFieldType type) const override;
    std::unique_ptr<TStream> CreateBlobStream(const TField& field, TBlobStreamMode mode) override;
    void LoadFieldDefs() override;

    // Sent by a disconnecting connection after it has closed the dataset.
    virtual void ConnectionClosed() {}
    // Process-wide list of live datasets, for connections that are renamed or that read an alias.
    static std::vector<TKdbDataSet*> RegisteredDataSets();

protected:
    // Executes whatever gives the cursor; returns its handle.
    virtual uint32_t OpenEngineCursor() = 0;
    virtual int32_t CurrentRecordNumber();

    // The engine connection handle for opening: the bound connection's (connecting it when
    // needed), else one from the process-wide on-demand list for the data path.
    uint32_t ConnectionHandleForOpen();
    // The generic and engine field definitions from the open cursor.
    void ReadCursorFieldDefs(uint32_t cursor);
    void SetReadOnly(bool value) { readOnly_ = value; }
    void SetEngineTableType(uint16_t type) { engineTableType_ = type; }
    // The character type of a live cursor (1 ANSI, 2 OEM); OEM texts are read through the engine.
    void SetCursorCharType(uint16_t type) { charType_ = type; }
    void CheckNotActive(std::string_view message) const;

    std::unique_ptr<TRecordBuffer> NewRecordBuffer() override;
    void DisposeRecordBuffer(std::unique_ptr<TRecordBuffer> buffer) override {}
    TBufferPosition BufferPositionFlag(const TRecordBuffer* buffer) const override;
    void CursorFirst() override;
    void CursorLast() override;
    void CursorSetToRecord(TRecordBuffer* buffer) override;
    TFetchResult CursorFetch(TRecordBuffer* buffer, TFetchMode mode, bool check) override;
    void CursorClose() override;
    void CursorHandleException(const std::exception& error) override;
    void CursorInitFieldDefs() override;
    void CursorOpen() override;
    bool CursorIsOpen() const override { return cursor_ != kNoHandle; }
    bool ReadFieldData(const TField& field, void* destination) override;
    // A decimal field's scaled value straight from money, large integer and short numeric text
    // columns (see kdbrecord::DecodeScaled).
    TConvertedRead ReadConvertedFieldData(const TField& field, void* destination) override;
    // A fixed-length text column's characters in the record buffer (see kdbrecord::FixedText);
    // not for OEM tables, whose texts the engine converts.
    TConvertedRead ReadFieldText(const TField& field, std::string_view& text) override;

    static constexpr uint32_t kNoHandle = 0xFFFFFFFFu;  // -1: no cursor

private:
    friend class TKdbTableOptions;
    friend class TKdbBlobStream;
    friend class TKdbConnection;

    void ReadRecord(TKdbRecordBuffer& buffer);
    TKdbRecordBuffer* BufferForMode() const;
    // The definition of a field's column and the current record that holds it; null when there
    // is no current record or the field has no column of the cursor.
    const TKCEFieldDef* CurrentFieldDef(const TField& field, const uint8_t*& record) const;
    TKdbBlobCache* LoadBlobCache(const TField& field, TKdbRecordBuffer& buffer,
                                 TBlobStreamMode mode);
    void AdjustFieldsToEngine();
    bool AliasContradicts(TKdbTableTypes type) const;

    TComponent* owner_;
    TKdbConnection* connection_ = nullptr;
    std::string databaseName_;
    std::string aliasPath_;
    bool hasAliasType_ = false;
    TKdbTableTypes aliasType_ = TKdbTableTypes::ttKdbKDT;
    TKdbTableTypes tableType_ = TKdbTableTypes::ttKdbKDT;
    TKdbTableOptions options_;
    TKCEFieldDefs kceDefs_;

    uint32_t cursor_ = kNoHandle;
    uint32_t activeOrder_ = kNoHandle;
    uint16_t engineTableType_ = 3;
    uint16_t charType_ = 1;  // 2: OEM texts are read again through the engine
    uint32_t recordLength_ = 0;
    uint32_t bookmarkLength_ = 0;
    uint32_t openOptions_ = 0;
    bool canModify_ = false;
    bool readOnly_ = false;
    bool hasBlobs_ = false;
    std::vector<int> blobFieldIndex_;  // per engine field: index of its blob cache, or -1
};

// TKdbQuery's direct base; adds nothing.
class TKdbExtendedDataSet : public TKdbDataSet {
public:
    using TKdbDataSet::TKdbDataSet;
};

}  // namespace parvell
