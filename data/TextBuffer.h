#pragma once
// The fixed buffer the formatters write into: characters beyond the capacity are dropped, so a
// formatter never allocates until it hands out the final text. Internal to the formatters.

#include <cstddef>
#include <string>
#include <string_view>

namespace parvell {

template <std::size_t kCapacity>
class TTextBuffer {
public:
    void Put(char c) {
        if (size_ < kCapacity) data_[size_++] = c;
    }
    // A character item of the locale record: the zero character writes nothing.
    void PutItem(char c) {
        if (c != '\0') Put(c);
    }
    void Put(std::string_view text) {
        std::size_t n = text.size();
        if (n > kCapacity - size_) n = kCapacity - size_;
        for (std::size_t i = 0; i < n; ++i) data_[size_ + i] = text[i];
        size_ += n;
    }
    void PutRepeated(char c, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) Put(c);
    }
    // Digits of a non-negative number, at least minDigits of them (leading zeros).
    void PutNumber(unsigned long long value, int minDigits = 1) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        for (int i = n; i < minDigits; ++i) Put('0');
        while (n > 0) Put(digits[--n]);
    }
    void Truncate(std::size_t size) {
        if (size < size_) size_ = size;
    }
    char Back() const { return size_ ? data_[size_ - 1] : '\0'; }
    bool Empty() const { return size_ == 0; }
    std::size_t Size() const { return size_; }
    std::string_view View() const { return {data_, size_}; }
    std::string Text() const { return std::string(data_, size_); }

private:
    char data_[kCapacity];
    std::size_t size_ = 0;
};

}  // namespace parvell
