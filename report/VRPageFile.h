#pragma once
// Page files ("VRP"): the pages of a report preview saved to disk and loaded back. The layout is
// described in VRPageFile.md.

#include <QString>
#include <memory>

#include "report/VRPageStore.h"

namespace parvell {

// Writes the header (format 3, the page count, writtenAt as a day count from 1899-12-30, not
// compressed) and then the store's records. Raises Exception when the file cannot be written.
void SavePageFile(const QString& path, const TVRPageStore& store, double writtenAt);

// Reads a page file into a new store with the given memory limit. Accepts the 128-byte header
// and the shorter 124- and 96-byte ones. Anything damaged (short, wrong format number, page
// count beyond the end, offsets outside the file, a page that is no picture) raises Exception
// with a message naming the file and what is wrong; nothing is half-loaded.
std::unique_ptr<TVRPageStore> LoadPageFile(const QString& path,
                                           int64_t memoryLimit = kDefaultPageMemoryLimit);

// The current local date and time as a day count from 1899-12-30 with the time as fraction.
double LocalNowAsDays();

}  // namespace parvell
