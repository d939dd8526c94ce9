// Walks an in-memory dataset from the first record to the end the way the extract writers do,
// reading every field as text, and prints records per second, heap allocations per record and
// the record buffers the walk held. A second pass only moves, to show the cost of navigation
// alone. A data source with one link is attached, as on the main window.
//
//   dataset_bench [records]      records defaults to 1000000
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "data/Fields.h"
#include "tests/data/MemoryDataSet.h"

namespace {

uint64_t allocations = 0;

}  // namespace

// The replaced global allocation functions pair malloc with free; GCC, seeing the standard
// allocator's inlined calls, takes them for a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

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
using namespace parvell::testing;

void Report(const char* kind, int64_t records, double seconds, uint64_t allocated,
            const MemoryDataSet& ds, uint64_t checksum) {
    std::printf("%-28s %12.0f records/s  %6.2f allocations/record  %d buffers  (%.2f s, %llu)\n",
                kind, static_cast<double>(records) / seconds,
                static_cast<double>(allocated) / static_cast<double>(records), ds.buffersAllocated,
                seconds, static_cast<unsigned long long>(checksum));
}

}  // namespace

int main(int argc, char** argv) {
    const int64_t count = argc > 1 ? std::atoll(argv[1]) : 1000000;
    LocaleFormats = TLocaleFormats::UnitedStates();
    LocaleFormats.ShortDatePattern = "MM/DD/yyyy";

    MemoryDataSet ds("KdbTable1");
    ds.columns = {{"ID", ftInteger},        {"LASTNAME", ftString, 30}, {"BALANCE", ftFloat},
                  {"AMOUNT", ftBCD, 2, 10}, {"BIRTHDATE", ftDate},      {"ACTIVE", ftBoolean}};
    // A few distinct rows repeated: the dataset holds references, so memory stays small.
    std::vector<std::vector<MemValue>> distinct;
    for (int i = 0; i < 16; ++i) {
        distinct.push_back({I32(i * 1234567), Str("Smith" + std::to_string(i)), F64(i * 10.25),
                            Bcd(std::to_string(i) + ".50"), I32(733056 + i), Bool(i % 2 == 0)});
    }
    ds.rows.reserve(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) ds.rows.push_back(distinct[static_cast<size_t>(i % 16)]);

    // Like the main window's query: a data source with one viewer link stays attached.
    TDataSource source;
    TDataLink link;
    link.SetDataSource(&source);
    source.SetDataSet(&ds);

    ds.Open();
    uint64_t checksum = 0;
    uint64_t before = allocations;
    auto start = std::chrono::steady_clock::now();
    ds.MoveFirst();
    while (!ds.AtEnd()) {
        for (int f = 0; f < ds.NumFields(); ++f) checksum += ds.FieldAt(f).ValueAsText().size();
        ds.MoveNext();
    }
    auto end = std::chrono::steady_clock::now();
    Report("walk reading 6 texts", count, std::chrono::duration<double>(end - start).count(),
           allocations - before, ds, checksum);

    checksum = 0;
    before = allocations;
    start = std::chrono::steady_clock::now();
    ds.MoveFirst();
    while (!ds.AtEnd()) {
        checksum += static_cast<uint64_t>(ds.FieldAt(0).ValueAsInteger());
        ds.MoveNext();
    }
    end = std::chrono::steady_clock::now();
    Report("walk reading 1 integer", count, std::chrono::duration<double>(end - start).count(),
           allocations - before, ds, checksum);
    ds.Close();
    return 0;
}
