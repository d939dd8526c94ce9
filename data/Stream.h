#pragma once
// Byte streams: the way blob and memo contents travel from a dataset to its field objects. A
// concrete dataset hands out streams over its own blob caches; TMemoryStream is the in-memory
// stream such caches can build on.

#include <cstdint>
#include <vector>

namespace parvell {

enum class TSeekOrigin : uint8_t { Beginning, Current, End };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes into buffer; returns how many were read (0 at the end).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes count bytes; returns how many were written.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position; returns the new position from the beginning.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    int64_t Size();
    // Reads everything from the current position to the end.
    std::vector<uint8_t> ReadAll();
};

class TMemoryStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

    void Clear();
    void SetSize(int64_t size);  // the position is kept but never beyond the new end
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    int64_t position_ = 0;
};

}  // namespace parvell
