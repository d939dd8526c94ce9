#include "extract/Progress.h"

#include "data/Formats.h"

namespace parvell {

int ProgressPercent(int64_t position, int64_t maximum) {
    if (maximum <= 0) return 0;
    // In whole numbers, so the truncation is exact: a floating quotient times 100 can fall just
    // short of a whole percentage (29 of 100 would show 28).
    if (position <= 0) return 0;
    return static_cast<int>(position * 100 / maximum);
}

std::string ProgressCaption(int percent) {
    std::string caption = "Extraction Progress %";
    AppendFloatText(caption, static_cast<double>(percent));
    return caption;
}

}  // namespace parvell
