// Formats ten million values of each kind and prints values per second, plus the heap
// allocations per value (counted by replacing the global operator new). The values cycle through
// a small table, so that making the inputs costs nothing in the loop.
//
//   format_bench [count]      count defaults to 10000000
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "data/Formats.h"

namespace {

uint64_t allocations = 0;

}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace parvell;

constexpr std::size_t kTableSize = 4096;  // a power of two

struct TResult {
    double seconds;
    uint64_t allocations;
    uint64_t checksum;
};

// Runs `format(i)` for i in [0, count); `format` returns a length folded into the checksum.
template <typename F>
TResult Measure(std::size_t count, F format) {
    const uint64_t allocationsBefore = allocations;
    uint64_t checksum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < count; ++i) checksum += format(i & (kTableSize - 1));
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double>(end - start).count(), allocations - allocationsBefore,
            checksum};
}

void Report(const char* kind, std::size_t count, const TResult& r) {
    std::printf("%-34s %12.0f values/s  %6.3f allocations/value  (%.2f s, checksum %llu)\n", kind,
                static_cast<double>(count) / r.seconds,
                static_cast<double>(r.allocations) / static_cast<double>(count), r.seconds,
                static_cast<unsigned long long>(r.checksum));
}

TBcd BcdOf(uint64_t digits, int places, bool negative) {
    TBcd bcd;
    char text[24];
    const int n = std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(digits));
    const int count = std::max(n, places + 1);
    const int pad = count - n;
    for (int i = 0; i < count; ++i) {
        const int digit = i < pad ? 0 : text[i - pad] - '0';
        bcd.Fraction[i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? digit << 4 : digit);
    }
    bcd.Precision = static_cast<uint8_t>(count);
    bcd.SignSpecialPlaces = static_cast<uint8_t>((negative ? 0x80 : 0) | places);
    return bcd;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10000000;

    // The program's conventions: United States items and the engine's date pattern.
    LocaleFormats = TLocaleFormats::UnitedStates();
    LocaleFormats.ShortDatePattern = "MM/DD/yyyy";

    std::vector<int32_t> integers(kTableSize);
    std::vector<int64_t> scaled(kTableSize);
    std::vector<double> floats(kTableSize);
    std::vector<TBcd> bcds(kTableSize);
    std::vector<double> dates(kTableSize);
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    for (std::size_t i = 0; i < kTableSize; ++i) {
        const uint64_t r = next();
        integers[i] = static_cast<int32_t>(r);
        scaled[i] = static_cast<int64_t>(r % 100000000000ull) - 50000000000ll;
        // Amounts with cents, ratios and large values: the mix an extract meets.
        switch (i % 3) {
            case 0:
                floats[i] = static_cast<double>(r % 10000000) / 100.0;
                break;
            case 1:
                floats[i] = static_cast<double>(r % 1000003) / 997.0;
                break;
            default:
                floats[i] = std::ldexp(static_cast<double>(r >> 11), -20);
                break;
        }
        bcds[i] = BcdOf(r % 100000000000ull, static_cast<int>(r % 5), (r & 1) != 0);
        dates[i] = 30000 + static_cast<double>(r % 20000) +
                   ((i % 2) ? static_cast<double>(r % 86400) / 86400.0 : 0.0);
    }

    std::printf("Formatting %zu values of each kind\n", count);
    Report("IntegerText", count,
           Measure(count, [&](std::size_t i) { return IntegerText(integers[i]).size(); }));
    Report("Int64Text", count,
           Measure(count, [&](std::size_t i) { return Int64Text(scaled[i] * 1000).size(); }));
    Report("FloatText", count,
           Measure(count, [&](std::size_t i) { return FloatText(floats[i]).size(); }));
    Report("CurrencyText", count,
           Measure(count, [&](std::size_t i) { return CurrencyText(scaled[i]).size(); }));
    Report("CurrencyTextStyled (currency, 2)", count, Measure(count, [&](std::size_t i) {
               return CurrencyTextStyled(scaled[i], TFloatFormat::Currency, 2).size();
           }));
    Report("BcdText", count,
           Measure(count, [&](std::size_t i) { return BcdText(bcds[i]).size(); }));
    Report("DateTimeText MM/DD/yyyy", count, Measure(count, [&](std::size_t i) {
               return DateTimeText("MM/DD/yyyy", dates[i]).size();
           }));
    Report("DateTimeText c (date and time)", count,
           Measure(count, [&](std::size_t i) { return DateTimeText("", dates[i]).size(); }));

    // The same into one reused line buffer, as a writer builds its lines.
    std::string line;
    line.reserve(256);
    auto appended = [&line](auto append) {
        return [&line, append](std::size_t i) {
            line.clear();
            append(i);
            return line.size();
        };
    };
    Report("AppendFloatText, reused buffer", count,
           Measure(count, appended([&](std::size_t i) { AppendFloatText(line, floats[i]); })));
    Report("AppendBcdText, reused buffer", count,
           Measure(count, appended([&](std::size_t i) { AppendBcdText(line, bcds[i]); })));
    Report("AppendDateTimeText, reused buffer", count,
           Measure(count, appended([&](std::size_t i) {
                       AppendDateTimeText(line, "MM/DD/yyyy", dates[i]);
                   })));
    return 0;
}
