// TKdbDataSet: binding to a connection, opening a cursor, fetching records, counting and
// reading field data.
#include "engine/kdbdata.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "common/Text.h"
#include "data/TextCase.h"
#include "engine/kdbcnnct.h"
#include "kce/kce.h"

namespace parvell {
namespace {

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

std::vector<TKdbDataSet*>& Registry() {
    static std::vector<TKdbDataSet*> dataSets;
    return dataSets;
}

// Connections made for datasets bound to no connection component, keyed by data path (compared
// without regard to case); disconnected at program end.
class OnDemandConnections {
public:
    ~OnDemandConnections() {
        for (const auto& [path, handle] : handles_) KdbDisconnect(handle);
    }
    uint32_t HandleFor(const TKdbDataSet* dataSet, std::string path) {
        if (path.size() == 2 && path[1] == ':') path += '\\';
        std::lock_guard<std::mutex> guard(lock_);
        const std::string key = AnsiUpperCase(path);
        auto found = handles_.find(key);
        if (found != handles_.end()) return found->second;
        uint32_t handle = 0;
        CheckEngineResult(dataSet, KdbConnect(path.c_str(), &handle));
        handles_.emplace(key, handle);
        return handle;
    }

private:
    std::mutex lock_;
    std::map<std::string, uint32_t> handles_;
};

OnDemandConnections& OnDemand() {
    static OnDemandConnections connections;
    return connections;
}

bool NamesConnection(const std::string& name, const TKdbConnection& connection) {
    if (AnsiSameText(name, connection.Name())) return true;
    return connection.Owner() &&
           AnsiSameText(name, connection.Owner()->Name() + "." + connection.Name());
}

bool IsBlobEngineType(uint16_t type) {
    return type >= 5 && type <= 8;
}

TKdbTableTypes TableTypeOfAlias(TKdbAliasTableType type, bool* known) {
    *known = true;
    switch (type) {
        case TKdbAliasTableType::CDX:
            return TKdbTableTypes::ttKdbCDX;
        case TKdbAliasTableType::NTX:
            return TKdbTableTypes::ttKdbNTX;
        case TKdbAliasTableType::KDT:
            return TKdbTableTypes::ttKdbKDT;
        case TKdbAliasTableType::VFP:
            return TKdbTableTypes::ttKdbVFP;
        default:
            *known = false;
            return TKdbTableTypes::ttKdbKDT;
    }
}

}  // namespace

TKdbDataSet::TKdbDataSet(TComponent* owner, std::string name)
    : TDataSet(std::move(name)), owner_(owner), options_(*this) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    Registry().push_back(this);
}

TKdbDataSet::~TKdbDataSet() {
    try {
        DestroyingClose();
    } catch (...) {
        // Closing swallows engine errors already; nothing may leave a destructor.
    }
    if (connection_) connection_->UnregisterDataSet(this);
    std::lock_guard<std::mutex> guard(RegistryLock());
    auto& registry = Registry();
    registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
}

std::vector<TKdbDataSet*> TKdbDataSet::RegisteredDataSets() {
    std::lock_guard<std::mutex> guard(RegistryLock());
    return Registry();
}

void TKdbDataSet::CheckNotActive(std::string_view message) const {
    if (Active() || CursorIsOpen()) RaiseKdbDatabaseError(this, std::string(message));
}

void TKdbDataSet::SetKdbConnection(TKdbConnection* connection) {
    CheckNotActive("Table must not be Active.");
    if (connection == connection_) return;
    if (connection_) connection_->UnregisterDataSet(this);
    connection_ = connection;
    if (connection_) connection_->RegisterDataSet(this);
}

void TKdbDataSet::SetDatabaseName(const std::string& name) {
    CheckNotActive("Cannot perform this operation on an open dataset");
    databaseName_ = name;
    aliasPath_.clear();
    hasAliasType_ = false;
    if (name.empty()) return;

    const std::vector<TKdbConnection*> connections = ConnectionRegistry();
    const std::thread::id thisThread = std::this_thread::get_id();
    const TComponent* owner = owner_;
    auto pass = [&](auto matches) -> TKdbConnection* {
        for (TKdbConnection* c : connections) {
            if (matches(*c)) return c;
        }
        return nullptr;
    };
    auto sameName = [&](const TKdbConnection& c) { return AnsiSameText(c.Name(), name); };
    TKdbConnection* found = pass([&](const TKdbConnection& c) {
        return sameName(c) && c.Owner() == owner && c.CreatingThreadId() == thisThread;
    });
    if (!found) {
        found = pass([&](const TKdbConnection& c) {
            return sameName(c) && c.CreatingThreadId() == thisThread;
        });
    }
    if (!found)
        found = pass([&](const TKdbConnection& c) { return sameName(c) && c.Owner() == owner; });
    if (!found) found = pass([&](const TKdbConnection& c) { return NamesConnection(name, c); });
    if (found) {
        SetKdbConnection(found);
        return;
    }
    if (name.find_first_of("/\\") != std::string::npos) return;  // a path
    const TKdbIniAlias alias = ReadKdbIniAlias(name);
    if (!alias.Found) return;
    aliasPath_ = alias.Path;
    hasAliasType_ = true;
    switch (alias.TypeLetter) {
        case 'N':
            aliasType_ = TKdbTableTypes::ttKdbNTX;
            break;
        case 'C':
            aliasType_ = TKdbTableTypes::ttKdbCDX;
            break;
        case 'V':
            aliasType_ = TKdbTableTypes::ttKdbVFP;
            break;
        default:
            aliasType_ = TKdbTableTypes::ttKdbKDT;
            break;
    }
    tableType_ = aliasType_;
}

bool TKdbDataSet::AliasContradicts(TKdbTableTypes type) const {
    if (hasAliasType_) return type != aliasType_;
    if (connection_ && !connection_->AliasName().empty()) {
        bool known = false;
        const TKdbTableTypes aliasType = TableTypeOfAlias(connection_->AliasTableType(), &known);
        return known && type != aliasType;
    }
    return false;
}

void TKdbDataSet::SetSourceTableType(TKdbTableTypes type) {
    CheckNotActive("Cannot perform this operation on an open dataset");
    if (AliasContradicts(type)) {
        RaiseKdbDatabaseError(
            this,
            "The table type must remain identical to the table type associated with the alias.");
    }
    tableType_ = type;
}

std::string TKdbDataSet::DataPath() const {
    std::string path;
    if (!aliasPath_.empty()) {
        path = aliasPath_;
    } else if (connection_ &&
               (databaseName_.empty() || NamesConnection(databaseName_, *connection_))) {
        path = connection_->DataFolder();
    } else {
        path = databaseName_;
    }
    if (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path;
}

std::string TKdbDataSet::Version() const {
    uint32_t major = 0;
    uint32_t minor = 0;
    char letter = ' ';
    char description[256] = {};
    uint16_t length = sizeof description - 1;
    std::string text = "10.0.0.3 (KCE ";
    if (KdbGetVersion(&major, &minor, &letter, description, &length) == 0) {
        text += std::to_string(major) + "." + (minor < 10 ? "0" : "") + std::to_string(minor);
        if (letter != ' ' && letter != '\0') text += letter;
    }
    return text + ")";
}

uint32_t TKdbDataSet::ConnectionHandleForOpen() {
    if (connection_) {
        if (!connection_->IsConnected()) connection_->SetIsConnected(true);
        return connection_->ConnectionHandle();
    }
    return OnDemand().HandleFor(this, DataPath());
}

const TFieldClass* TKdbDataSet::FieldClassFor(TFieldType type) const {
    if (type == ftString) return &TKdbStringField::Class();
    if (type == ftBCD) return &TKdbBCDField::Class();
    return TDataSet::FieldClassFor(type);
}

// ---- Counting and positions ----

int32_t TKdbDataSet::NumRecords() {
    if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
    uint16_t option = 2;
    if (options_.KdbFilterOptions == TKdbFilterOptions::RESPECT_WHEN_COUNTING) {
        option = 1;
    } else if (options_.KdbScopeOptions == TKdbScopeOptions::RESPECT_SCOPES_WHEN_COUNTING) {
        option = 3;
    }
    if (options_.KdbFreshRecordCount) option += 4;
    uint32_t count = 0;
    CheckEngineResult(this, KdbGetRecordCount(activeOrder_, option, &count));
    return static_cast<int32_t>(count);
}

int32_t TKdbDataSet::RecordNumber() {
    if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
    const auto* buffer = static_cast<const TKdbRecordBuffer*>(ActiveBuffer());
    return buffer ? buffer->RecordNumber : 0;
}

int32_t TKdbDataSet::CurrentRecordNumber() {
    uint32_t record = 0;
    if ((IndexName.empty() && IndexFieldNames.empty()) || !Sequenced) {
        CheckEngineResult(this, KdbGetRecordNum(cursor_, 2, &record));
        return static_cast<int32_t>(record);
    }
    if (SequencedLevel == TKdbSequencedLevel::slExact) {
        CheckEngineResult(this, KdbGetKeyNum(activeOrder_, 1, &record));
        return static_cast<int32_t>(record);
    }
    uint32_t count = 0;
    CheckEngineResult(this, KdbGetRecordCount(cursor_, 2, &count));
    double position = 0;
    const uint32_t result = KdbGetRelKeyPos(activeOrder_, &position);
    if (result == KDB_ERR_NO_INDEX) {
        position = 0;
    } else {
        CheckEngineResult(this, result);
    }
    return static_cast<int32_t>(count * position);
}

// ---- Record buffers and the cursor ----

std::unique_ptr<TRecordBuffer> TKdbDataSet::NewRecordBuffer() {
    auto buffer = std::make_unique<TKdbRecordBuffer>();
    buffer->Data.assign(recordLength_, 0);
    for (int index : blobFieldIndex_) {
        if (index >= 0) buffer->BlobCaches.push_back(std::make_unique<TKdbBlobCache>());
    }
    buffer->Bookmark.assign(std::max<uint32_t>(bookmarkLength_, 4), 0);
    return buffer;
}

TBufferPosition TKdbDataSet::BufferPositionFlag(const TRecordBuffer* buffer) const {
    return static_cast<const TKdbRecordBuffer*>(buffer)->Flag;
}

void TKdbDataSet::CursorFirst() {
    CheckEngineResult(this, KdbGotoBOF(activeOrder_));
}

void TKdbDataSet::CursorLast() {
    CheckEngineResult(this, KdbGotoEOF(activeOrder_));
}

void TKdbDataSet::CursorSetToRecord(TRecordBuffer* buffer) {
    if (Mode() == DataSetMode::Insert) return;
    auto* record = static_cast<TKdbRecordBuffer*>(buffer);
    const uint32_t result = KdbGotoBookmark(cursor_, record->Bookmark.data(),
                                            static_cast<uint32_t>(record->Bookmark.size()));
    if (result != KDB_ERR_RECORD_NOT_FOUND) CheckEngineResult(this, result);
}

TKdbRecordBuffer* TKdbDataSet::BufferForMode() const {
    switch (Mode()) {
        case DataSetMode::Browse:
        case DataSetMode::BlockRead:
        case DataSetMode::Edit:
        case DataSetMode::Insert:
        case DataSetMode::NewValue:
            return static_cast<TKdbRecordBuffer*>(ActiveBuffer());
        default:
            return nullptr;
    }
}

void TKdbDataSet::ReadRecord(TKdbRecordBuffer& buffer) {
    uint32_t length = static_cast<uint32_t>(buffer.Data.size());
    CheckEngineResult(this, KdbGetRecord(cursor_, buffer.Data.data(), &length));
    uint32_t bookmarkLength = static_cast<uint32_t>(buffer.Bookmark.size());
    CheckEngineResult(this,
                      KdbGetBookmark60(activeOrder_, buffer.Bookmark.data(), &bookmarkLength));
    if (hasBlobs_) {
        for (int i = 0; i < kceDefs_.Count(); ++i) {
            const TKCEFieldDef& def = kceDefs_.At(i);
            if (!IsBlobEngineType(def.EngineType)) continue;
            uint16_t empty = 0;
            CheckEngineResult(this, KdbIsEmpty(cursor_, def.FieldNumber, &empty));
            if (!empty) CheckEngineResult(this, KdbIsNull(cursor_, def.FieldNumber, &empty));
            const int32_t marker = empty ? 0 : -1;
            std::memcpy(buffer.Data.data() + def.Offset, &marker, sizeof marker);
        }
        for (auto& cache : buffer.BlobCaches) cache->Reset();
    }
    if (charType_ == 2) {
        // OEM tables: the engine converts the texts when they are read as fields.
        for (int i = 0; i < kceDefs_.Count(); ++i) {
            const TKCEFieldDef& def = kceDefs_.At(i);
            if (def.EngineType != 4 && def.EngineType != 20 && def.EngineType != 23) continue;
            uint8_t* at = buffer.Data.data() + def.Offset;
            std::vector<char> text(def.Length + 1, '\0');
            uint32_t textLength = def.Length + 1;
            CheckEngineResult(this,
                              KdbGetField(cursor_, def.FieldNumber, text.data(), &textLength, 0));
            std::memcpy(at, text.data(), std::min<uint32_t>(textLength, def.Length));
        }
    }
}

TFetchResult TKdbDataSet::CursorFetch(TRecordBuffer* buffer, TFetchMode mode, bool check) {
    if (cursor_ == kNoHandle || Mode() == DataSetMode::Insert) return TFetchResult::FetchFailed;
    auto& record = *static_cast<TKdbRecordBuffer*>(buffer);
    try {
        int32_t step = 0;
        if (mode == TFetchMode::FetchNext) {
            step = 1;
        } else if (mode == TFetchMode::FetchPrior) {
            step = -1;
        } else if (mode != TFetchMode::FetchCurrent) {
            return TFetchResult::FetchFailed;
        }
        if (step != 0) CheckEngineResult(this, KdbSkip(activeOrder_, step));
        for (;;) {
            uint16_t flag = 0;
            if (mode != TFetchMode::FetchPrior) {
                CheckEngineResult(this, KdbAtEOF(cursor_, &flag));
                if (flag) return TFetchResult::FetchAtEnd;
            }
            if (mode != TFetchMode::FetchNext) {
                CheckEngineResult(this, KdbAtBOF(cursor_, &flag));
                if (flag) return TFetchResult::FetchAtStart;
            }
            uint16_t visible = 0;
            const uint32_t result = KdbIsRecordVisible(activeOrder_, &visible);
            if (result != KDB_ERR_NO_CURRENT_RECORD) CheckEngineResult(this, result);
            if (visible) {
                ReadRecord(record);
                record.RecordNumber = CurrentRecordNumber();
                record.Status = 0;
                record.Flag = TBufferPosition::OnRecord;
                return TFetchResult::FetchOk;
            }
            if (mode == TFetchMode::FetchCurrent) return TFetchResult::FetchFailed;
            CheckEngineResult(this, KdbSkip(activeOrder_, step));
        }
    } catch (const Exception&) {
        if (check) throw;
        return TFetchResult::FetchFailed;
    }
}

void TKdbDataSet::CursorClose() {
    AttachFields(false);
    if (AutoCreatedFields()) DestroyFields();
    if (cursor_ != kNoHandle) KdbCloseTable(cursor_);  // errors swallowed: the cursor is gone
    cursor_ = kNoHandle;
    activeOrder_ = kNoHandle;
    canModify_ = false;
}

void TKdbDataSet::CursorHandleException(const std::exception& error) {
    // Only a design-time open hands its failure here; there is no design time in this program.
}

void TKdbDataSet::ReadCursorFieldDefs(uint32_t cursor) {
    uint16_t count = 0;
    CheckEngineResult(this, KdbGetNumFields(cursor, &count));
    uint16_t tableType = engineTableType_;
    TFieldDefs& defs = FieldDefs();
    defs.Clear();
    kceDefs_.Clear();
    for (uint16_t number = 1; number <= count; ++number) {
        TKCEFieldDef def;
        def.FieldNumber = number;
        CheckEngineResult(this, KdbGetFieldType(cursor, number, &def.EngineType));
        CheckEngineResult(this, KdbGetFieldLength(cursor, number, &def.Length));
        if (def.EngineType == 2)
            CheckEngineResult(this, KdbGetFieldDecimals(cursor, number, &def.Decimals));
        const TKdbFieldMapping mapping =
            MapEngineField(this, def.EngineType, def.Length, def.Decimals, tableType,
                           options_.KdbNumericsAsFloats);
        char name[130] = {};
        uint16_t nameLength = 129;
        CheckEngineResult(this, KdbGetFieldName(cursor, number, name, &nameLength));
        def.Name.assign(name, std::min<uint16_t>(nameLength, 128));
        TFieldDef& fieldDef = defs.DefineField(def.Name, mapping.DataType, mapping.Size, false);
        if (mapping.Precision >= 0) {
            try {
                fieldDef.SetPrecision(mapping.Precision);
            } catch (const Exception&) {
                // A precision the definition refuses never fails the open.
            }
        }
        uint16_t nullable = 1;
        CheckEngineResult(this, KdbIsNullable(cursor, def.Name.c_str(), &nullable));
        def.Nullable = nullable ? 1 : 0;
        CheckEngineResult(this, KdbGetFieldOffset(cursor, number, &def.Offset));
        uint16_t permissions = 0;
        CheckEngineResult(this, KdbGetColumnPermissions(cursor, number, &permissions));
        def.Permissions = static_cast<uint8_t>(permissions);
        kceDefs_.Add(std::move(def));
    }
}

void TKdbDataSet::CursorInitFieldDefs() {
    ReadCursorFieldDefs(cursor_);
}

void TKdbDataSet::LoadFieldDefs() {
    if (CursorIsOpen()) {
        CursorInitFieldDefs();
        return;
    }
    const uint32_t cursor = OpenEngineCursor();
    try {
        uint16_t type = 3;
        CheckEngineResult(this, KdbGetTableType(cursor, &type));
        engineTableType_ = type;
        ReadCursorFieldDefs(cursor);
    } catch (...) {
        KdbCloseTable(cursor);
        throw;
    }
    CheckEngineResult(this, KdbCloseTable(cursor));
}

void TKdbDataSet::AdjustFieldsToEngine() {
    for (int i = 0; i < NumFields(); ++i) {
        TField& field = FieldAt(i);
        const int index = kceDefs_.IndexOf(field.FieldName());
        if (index < 0) continue;
        const uint16_t type = kceDefs_.At(index).EngineType;
        if (auto* kdbBcd = dynamic_cast<TKdbBCDField*>(&field)) {
            if (type == 2 || type == 21) kdbBcd->SetCurrency(false);
        } else if (auto* bcd = dynamic_cast<TBCDField*>(&field)) {
            bcd->SetCurrency(true);
        } else if (auto* text = dynamic_cast<TKdbStringField*>(&field)) {
            if (type == 20) text->SetCaseInsensitive(true);
        }
    }
}

void TKdbDataSet::CursorOpen() {
    if (cursor_ != kNoHandle) RaiseKdbDatabaseError(this, "Table is already open.");
    cursor_ = OpenEngineCursor();
    activeOrder_ = cursor_;
    if (engineTableType_ == 0) engineTableType_ = 3;
    CheckEngineResult(this, KdbGetRecordLength(cursor_, &recordLength_));
    CheckEngineResult(this, KdbGetTableOpenOptions(cursor_, &openOptions_));
    canModify_ = (openOptions_ & KDB_OPEN_READONLY) == 0 && !readOnly_;

    if (options_.KdbRecordCache() == TKdbRecordCache::rcNone) {
        CheckEngineResult(this, KdbCacheRecords(cursor_, 0));
    } else if (options_.KdbRecordCache() == TKdbRecordCache::rcAggressive) {
        CheckEngineResult(this, KdbCacheRecords(cursor_, 100));
    }
    uint32_t index = 0;
    uint16_t indexCount = 1;
    const uint32_t indexResult = KdbGetAllIndexes(cursor_, &index, &indexCount);
    options_.KdbIndexPageSize = 0;
    if ((indexResult == 0 || indexResult == KDB_ERR_BUFFER_TOO_SMALL) && indexCount > 0) {
        uint16_t pageSize = 0;
        if (KdbGetIndexPageSize(index, &pageSize) == 0) options_.KdbIndexPageSize = pageSize;
    }

    FieldDefs().SetDefsCurrent(false);
    CursorInitFieldDefs();
    FieldDefs().SetDefsCurrent(true);
    if (AutoCreatedFields()) MakeFieldsFromDefs();
    AdjustFieldsToEngine();
    AttachFields(true);

    // Record buffer layout: which engine fields have a blob cache.
    blobFieldIndex_.assign(static_cast<size_t>(kceDefs_.Count()), -1);
    int blobs = 0;
    for (int i = 0; i < kceDefs_.Count(); ++i) {
        const uint16_t type = kceDefs_.At(i).EngineType;
        if (IsBlobEngineType(type) || type == 51 || type == 52)
            blobFieldIndex_[static_cast<size_t>(i)] = blobs++;
    }
    hasBlobs_ = blobs > 0;

    if (!IndexName.empty()) {
        CheckEngineResult(this, KdbGetIndexHandle(cursor_, IndexName.c_str(), &activeOrder_));
    } else if (!IndexFieldNames.empty()) {
        RaiseKdbDatabaseError(this,
                              FormatMessage("Not a valid index field name:%s", {IndexFieldNames}));
    }
    CheckEngineResult(this, KdbGetBookmarkLength(activeOrder_, &bookmarkLength_));
    CursorFirst();
}

inline const TKCEFieldDef* TKdbDataSet::CurrentFieldDef(const TField& field,
                                                        const uint8_t*& record) const {
    const TKdbRecordBuffer* buffer = BufferForMode();
    const int index = field.FieldNumber() - 1;
    if (!buffer || index < 0 || index >= kceDefs_.Count()) return nullptr;
    record = buffer->Data.data();
    return &kceDefs_.At(index);
}

bool TKdbDataSet::ReadFieldData(const TField& field, void* destination) {
    const uint8_t* record = nullptr;
    const TKCEFieldDef* def = CurrentFieldDef(field, record);
    if (!def) return false;
    const TRecordDecodeEnv env = EngineDecodeEnv(engineTableType_, cursor_);
    if (kdbrecord::IsNull(*def, record, env)) return false;
    if (destination) kdbrecord::Decode(*def, record, field.DataType(), env, destination);
    return true;
}

TDataSet::TConvertedRead TKdbDataSet::ReadConvertedFieldData(const TField& field,
                                                             void* destination) {
    if (field.DataType() != ftBCD) return TConvertedRead::NotRead;
    const uint8_t* record = nullptr;
    const TKCEFieldDef* def = CurrentFieldDef(field, record);
    if (!def) return TConvertedRead::NotRead;
    if (kdbrecord::IsNull(*def, record, EngineDecodeEnv(engineTableType_, cursor_))) {
        return TConvertedRead::Null;
    }
    int64_t scaled = 0;
    if (!kdbrecord::DecodeScaled(*def, record, &scaled)) return TConvertedRead::NotRead;
    std::memcpy(destination, &scaled, sizeof scaled);
    return TConvertedRead::Read;
}

TDataSet::TConvertedRead TKdbDataSet::ReadFieldText(const TField& field, std::string_view& text) {
    if (charType_ == 2) return TConvertedRead::NotRead;
    const uint8_t* record = nullptr;
    const TKCEFieldDef* def = CurrentFieldDef(field, record);
    if (!def || (def->EngineType != 4 && def->EngineType != 20)) return TConvertedRead::NotRead;
    if (kdbrecord::IsNull(*def, record, EngineDecodeEnv(engineTableType_, cursor_))) {
        return TConvertedRead::Null;
    }
    text = kdbrecord::FixedText(*def, record);
    return TConvertedRead::Read;
}

}  // namespace parvell
