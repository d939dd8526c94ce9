#include "data/Stream.h"

#include <algorithm>
#include <cstring>

namespace parvell {

int64_t TStream::Size() {
    const int64_t position = Position();
    const int64_t size = Seek(0, TSeekOrigin::End);
    Seek(position, TSeekOrigin::Beginning);
    return size;
}

std::vector<uint8_t> TStream::ReadAll() {
    std::vector<uint8_t> result;
    const int64_t remaining = Size() - Position();
    if (remaining > 0) result.reserve(static_cast<size_t>(remaining));
    uint8_t chunk[4096];
    for (;;) {
        const int64_t n = Read(chunk, sizeof chunk);
        if (n <= 0) break;
        result.insert(result.end(), chunk, chunk + n);
    }
    return result;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t available = static_cast<int64_t>(bytes_.size()) - position_;
    const int64_t n = std::clamp<int64_t>(count, 0, std::max<int64_t>(available, 0));
    if (n > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const int64_t end = position_ + count;
    if (end > static_cast<int64_t>(bytes_.size())) bytes_.resize(static_cast<size_t>(end));
    std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    if (origin == TSeekOrigin::Current) base = position_;
    if (origin == TSeekOrigin::End) base = static_cast<int64_t>(bytes_.size());
    position_ = std::max<int64_t>(base + offset, 0);
    return position_;
}

void TMemoryStream::Clear() {
    bytes_.clear();
    position_ = 0;
}

void TMemoryStream::SetSize(int64_t size) {
    bytes_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
    position_ = std::min<int64_t>(position_, static_cast<int64_t>(bytes_.size()));
}

}  // namespace parvell
