// The blob cache of a record buffer and the blob streams that read through it.
#include <cstring>

#include "engine/kdbdata.h"
#include "kce/kce.h"

namespace parvell {
namespace {

bool IsBlobEngineType(uint16_t type) {
    return (type >= 5 && type <= 8) || type == 51 || type == 52;
}

}  // namespace

int64_t TKdbBlobCache::Write(const void* buffer, int64_t count) {
    Modified = true;
    return TMemoryStream::Write(buffer, count);
}

void TKdbBlobCache::Reset() {
    Clear();
    Cursor = 0;
    RecordNumber = 0;
    FieldNumber = 0;
    Loaded = false;
    Modified = false;
}

TKdbBlobStream::TKdbBlobStream(TKdbDataSet& dataSet, const TField& field, TBlobStreamMode mode,
                               TKdbBlobCache* cache)
    : dataSet_(dataSet), field_(field), mode_(mode), cache_(cache) {
    if (mode_ == TBlobStreamMode::Write && cache_) {
        cache_->Clear();
        cache_->Modified = true;
        modified_ = true;
    }
}

TKdbBlobStream::~TKdbBlobStream() = default;

int64_t TKdbBlobStream::Read(void* buffer, int64_t count) {
    return cache_ ? cache_->Read(buffer, count) : 0;
}

int64_t TKdbBlobStream::Write(const void* buffer, int64_t count) {
    if (mode_ == TBlobStreamMode::Read) {
        RaiseKdbDatabaseError(&dataSet_, "Error modifying read only blob.");
    }
    if (!cache_) RaiseKdbDatabaseError(&dataSet_, "Cannot write to blob in current state.");
    modified_ = true;
    return cache_->Write(buffer, count);
}

int64_t TKdbBlobStream::Seek(int64_t offset, TSeekOrigin origin) {
    return cache_ ? cache_->Seek(offset, origin) : 0;
}

std::unique_ptr<TStream> TKdbDataSet::CreateBlobStream(const TField& field, TBlobStreamMode mode) {
    const DataSetMode state = Mode();
    const bool editing = state == DataSetMode::Edit || state == DataSetMode::Insert;
    if (mode != TBlobStreamMode::Read && !editing) {
        RaiseKdbDatabaseError(
            this, "Table must be in Edit or Insert state to open blob stream in Write Mode.");
    }
    TKdbBlobCache* cache = nullptr;
    const bool loads = state == DataSetMode::Browse || editing ||
                       state == DataSetMode::CalcFields || state == DataSetMode::NewValue;
    auto* buffer = loads ? static_cast<TKdbRecordBuffer*>(ActiveBuffer()) : nullptr;
    if (buffer && field.FieldNumber() > 0) cache = LoadBlobCache(field, *buffer, mode);
    return std::make_unique<TKdbBlobStream>(*this, field, mode, cache);
}

TKdbBlobCache* TKdbDataSet::LoadBlobCache(const TField& field, TKdbRecordBuffer& buffer,
                                          TBlobStreamMode mode) {
    const int index = field.FieldNumber() - 1;
    if (index < 0 || index >= kceDefs_.Count()) return nullptr;
    const TKCEFieldDef& def = kceDefs_.At(index);
    uint16_t engineType = 0;
    CheckEngineResult(this, KdbGetFieldType(cursor_, def.FieldNumber, &engineType));
    if (!IsBlobEngineType(engineType)) {
        RaiseKdbDatabaseError(this, "Invalid blob open on non-blob field.");
    }
    const int cacheIndex = blobFieldIndex_[static_cast<size_t>(index)];
    if (cacheIndex < 0) return nullptr;
    TKdbBlobCache& cache = *buffer.BlobCaches[static_cast<size_t>(cacheIndex)];

    uint32_t recordNumber = 0;
    if (buffer.Bookmark.size() >= 4) std::memcpy(&recordNumber, buffer.Bookmark.data(), 4);

    const bool editing = Mode() == DataSetMode::Edit || Mode() == DataSetMode::Insert;
    const bool forceLoad = editing && mode == TBlobStreamMode::ReadWrite && !cache.Modified;
    if (!forceLoad && cache.Loaded && cache.Cursor == cursor_ &&
        cache.RecordNumber == recordNumber && cache.FieldNumber == def.FieldNumber) {
        cache.Seek(0, TSeekOrigin::Beginning);
        return &cache;
    }

    cache.Reset();
    cache.Cursor = cursor_;
    cache.RecordNumber = recordNumber;
    cache.FieldNumber = def.FieldNumber;
    cache.Loaded = true;
    if (recordNumber == 0) return &cache;

    // Loading moves the engine cursor to the buffer's record.
    CursorPositionChanged();
    try {
        uint32_t current = 0;
        CheckEngineResult(this, KdbGetRecordNum(cursor_, 2, &current));
        if (current != recordNumber) CheckEngineResult(this, KdbGotoRecord(cursor_, recordNumber));
        bool text = engineType != 6 && engineType != 7;
        if (engineType == 5) {
            uint16_t memoType = 0;
            CheckEngineResult(this, KdbGetMemoDataType(cursor_, def.FieldNumber, &memoType));
            text = memoType == 5;
        }
        std::vector<uint8_t> bytes;
        uint32_t length = 0;
        if (text) {
            uint32_t result = KdbGetDataLength(cursor_, def.FieldNumber, &length);
            if (result == KDB_ERR_NO_CURRENT_RECORD) return &cache;
            CheckEngineResult(this, result);
            bytes.resize(static_cast<size_t>(length) + 1);
            uint32_t got = length + 1;
            CheckEngineResult(this, KdbGetField(cursor_, def.FieldNumber,
                                                reinterpret_cast<char*>(bytes.data()), &got, 0));
            length = std::min(got, length);
        } else {
            uint32_t result = KdbGetBinaryLength(cursor_, def.FieldNumber, &length);
            if (result == KDB_ERR_NO_CURRENT_RECORD) return &cache;
            CheckEngineResult(this, result);
            bytes.resize(length);
            uint32_t got = length;
            if (length > 0) {
                CheckEngineResult(this,
                                  KdbGetBinary(cursor_, def.FieldNumber, 0, bytes.data(), &got));
            }
            length = std::min(got, length);
        }
        cache.TMemoryStream::Write(bytes.data(), length);
        cache.SetSize(length);
        cache.Seek(0, TSeekOrigin::Beginning);
    } catch (const EKDBDatabaseError& error) {
        if (error.ErrorCode() != KDB_ERR_NO_CURRENT_RECORD &&
            error.ErrorCode() != KDB_ERR_RECORD_NOT_FOUND) {
            throw;
        }
        cache.Clear();
    }
    return &cache;
}

}  // namespace parvell
