#pragma once
// The progress step's figures: a bar that counts records and a caption with the percentage.

#include <cstdint>
#include <string>

namespace parvell {

// The caption of the progress window before any record has been written.
inline constexpr const char* kExtractionProgressCaption = "Extraction Progress";

// The whole percentage of position out of maximum, truncated toward zero; 0 when the maximum
// is not above 0.
int ProgressPercent(int64_t position, int64_t maximum);

// "Extraction Progress %" followed directly by the percentage.
std::string ProgressCaption(int percent);

}  // namespace parvell
