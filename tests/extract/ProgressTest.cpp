#include "extract/Progress.h"

#include <gtest/gtest.h>

namespace parvell {
namespace {

TEST(ProgressTest, PercentTruncatesTowardZero) {
    struct Case {
        int64_t position, maximum;
        int percent;
    };
    const Case cases[] = {
        {1, 3, 33},    {2, 3, 66}, {3, 3, 100}, {1, 4, 25}, {4, 4, 100},           {29, 100, 29},
        {57, 100, 57}, {0, 10, 0}, {1, 0, 0},   {5, -1, 0}, {999999, 1000000, 99},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProgressPercent(c.position, c.maximum), c.percent)
            << c.position << " of " << c.maximum;
    }
}

TEST(ProgressTest, CaptionIsPlainDigits) {
    EXPECT_EQ(ProgressCaption(0), "Extraction Progress %0");
    EXPECT_EQ(ProgressCaption(25), "Extraction Progress %25");
    EXPECT_EQ(ProgressCaption(100), "Extraction Progress %100");
}

}  // namespace
}  // namespace parvell
