#pragma once
// A small in-memory dataset for the model's tests: columns, rows of native values, a cursor
// over them, and counters for buffers and fetches. Faults can be injected into open and fetch.

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/Exceptions.h"
#include "data/DataSet.h"
#include "data/ValueConvert.h"

namespace parvell::testing {

struct MemColumn {
    std::string name;
    TFieldType type;
    int32_t size = 0;
    int32_t precision = 0;
    TFieldAttributes attributes = {};
};

// The native bytes of one value, or none for null.
using MemValue = std::optional<std::vector<uint8_t>>;

template <class T>
MemValue Native(T value) {
    std::vector<uint8_t> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}
inline MemValue Str(std::string_view text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}
inline MemValue I16(int16_t v) {
    return Native(v);
}
inline MemValue U16(uint16_t v) {
    return Native(v);
}
inline MemValue I32(int32_t v) {
    return Native(v);
}
inline MemValue I64(int64_t v) {
    return Native(v);
}
inline MemValue F64(double v) {
    return Native(v);
}
inline MemValue Bool(bool v) {
    return Native<int16_t>(v ? -1 : 0);
}
inline MemValue Bcd(std::string_view text) {
    return Native(TextToBcd(text));
}
inline MemValue Raw(std::vector<uint8_t> bytes) {
    return bytes;
}
inline const MemValue Null = std::nullopt;

class MemoryDataSet : public TDataSet {
public:
    explicit MemoryDataSet(std::string name = "MemData") : TDataSet(std::move(name)) {}
    ~MemoryDataSet() override { DestroyingClose(); }

    std::vector<MemColumn> columns;
    std::vector<std::vector<MemValue>> rows;

    // Counters.
    int buffersAllocated = 0;
    int buffersLive = 0;
    int fetches = 0;
    int cursorOpens = 0;
    int initFieldDefs = 0;
    // Faults: the fetch with this 1-based number raises; the open raises.
    int failFetchNumber = 0;
    bool failOpen = false;

    int32_t NumRecords() override { return static_cast<int32_t>(rows.size()); }
    int32_t RecordNumber() override {
        const auto* buffer = static_cast<const Buffer*>(ActiveBuffer());
        return buffer ? buffer->row + 1 : 0;
    }

    std::unique_ptr<TStream> CreateBlobStream(const TField& field, TBlobStreamMode) override {
        const MemValue* value = Value(field);
        auto stream = std::make_unique<TMemoryStream>();
        if (value && *value)
            stream->Write((*value)->data(), static_cast<int64_t>((*value)->size()));
        stream->Seek(0, TSeekOrigin::Beginning);
        return stream;
    }

    using TDataSet::AddField;

protected:
    struct Buffer : TRecordBuffer {
        explicit Buffer(int& live) : live_(live) { ++live_; }
        ~Buffer() override { --live_; }
        int row = -1;
        TBufferPosition flag = TBufferPosition::OnRecord;
        int& live_;
    };

    std::unique_ptr<TRecordBuffer> NewRecordBuffer() override {
        ++buffersAllocated;
        return std::make_unique<Buffer>(buffersLive);
    }
    TBufferPosition BufferPositionFlag(const TRecordBuffer* buffer) const override {
        return static_cast<const Buffer*>(buffer)->flag;
    }
    void CursorFirst() override { position_ = -1; }
    void CursorLast() override { position_ = static_cast<int>(rows.size()); }
    void CursorSetToRecord(TRecordBuffer* buffer) override {
        position_ = static_cast<Buffer*>(buffer)->row;
    }
    TFetchResult CursorFetch(TRecordBuffer* buffer, TFetchMode mode, bool check) override {
        ++fetches;
        if (fetches == failFetchNumber) throw EDatabaseError("fetch failed");
        const int count = static_cast<int>(rows.size());
        if (mode == TFetchMode::FetchNext) {
            if (position_ < count) ++position_;
            if (position_ >= count) return TFetchResult::FetchAtEnd;
        } else if (mode == TFetchMode::FetchPrior) {
            if (position_ >= 0) --position_;
            if (position_ < 0) return TFetchResult::FetchAtStart;
        } else if (position_ < 0 || position_ >= count) {
            return TFetchResult::FetchFailed;
        }
        auto* record = static_cast<Buffer*>(buffer);
        record->row = position_;
        record->flag = TBufferPosition::OnRecord;
        return TFetchResult::FetchOk;
    }
    void CursorClose() override {
        AttachFields(false);
        if (AutoCreatedFields()) DestroyFields();
        open_ = false;
    }
    void CursorHandleException(const std::exception&) override {}
    void CursorInitFieldDefs() override {
        ++initFieldDefs;
        FieldDefs().Clear();
        for (const MemColumn& column : columns) {
            TFieldDef& def = FieldDefs().DefineField(column.name, column.type, column.size, false);
            def.SetPrecision(column.precision);
            def.SetAttributes(column.attributes);
        }
    }
    void CursorOpen() override {
        ++cursorOpens;
        if (failOpen) throw EDatabaseError("open failed");
        open_ = true;
        FieldDefs().SetDefsCurrent(false);
        FieldDefs().RefreshDefs();
        if (AutoCreatedFields()) MakeFieldsFromDefs();
        AttachFields(true);
        CursorFirst();
    }
    bool CursorIsOpen() const override { return open_; }
    bool ReadFieldData(const TField& field, void* destination) override {
        const MemValue* value = Value(field);
        if (!value || !*value) return false;
        if (destination) {
            const size_t size = std::min<size_t>((*value)->size(), field.NativeSize());
            std::memcpy(destination, (*value)->data(), size);
        }
        return true;
    }

private:
    const MemValue* Value(const TField& field) const {
        const auto* buffer = static_cast<const Buffer*>(ActiveBuffer());
        const int column = field.FieldNumber() - 1;
        if (!buffer || buffer->row < 0 || column < 0) return nullptr;
        const auto& row = rows[static_cast<size_t>(buffer->row)];
        return static_cast<size_t>(column) < row.size() ? &row[static_cast<size_t>(column)]
                                                        : nullptr;
    }

    int position_ = -1;
    bool open_ = false;
};

}  // namespace parvell::testing
