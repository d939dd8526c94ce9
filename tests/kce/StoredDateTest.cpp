// Stored date texts (YYYY-MM-DD) read into julian days, in the order a result's rows give them:
// the date read last is remembered, so a repeated text must give its day again and a text that
// differs (or is no date) must never give the remembered one.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "kce/DateTime.h"

namespace {

TEST(StoredDateTest, EachTextGivesItsOwnDayInAnyOrder) {
    struct Case {
        std::string text;
        std::optional<int32_t> julian;
    };
    const Case cases[] = {
        {"2000-01-01", 2451545},       {"2000-01-01", 2451545},      {"2000-01-02", 2451546},
        {"2000-01-01", 2451545},       {"2000-02-30", std::nullopt},  // right shape, no such day
        {"2000-01-01", 2451545},       {"2000-01-0x", std::nullopt}, {"2000/01/01", std::nullopt},
        {"2000-01-01 ", std::nullopt},  // another length
        {"1899-12-30", 2415019},       {"2000-01-01", 2451545},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kce::ParseStoredDate(c.text.data(), c.text.size()), c.julian) << c.text;
    }
}

TEST(StoredDateTest, ATextOfZeroBytesIsNoDateOnAFreshThread) {
    std::thread([] {
        const std::string zeros(10, '\0');
        EXPECT_EQ(kce::ParseStoredDate(zeros.data(), zeros.size()), std::nullopt);
    }).join();
}

}  // namespace
