#include "common/Exceptions.h"
#include "common/Text.h"

#include <gtest/gtest.h>

namespace parvell {
namespace {

TEST(FormatMessage, FillsPlaceholdersInOrderAndNeverReadsValuesAsPatterns) {
    struct Case {
        const char* name;
        std::string got;
        const char* want;
    } cases[] = {
        {"text", FormatMessage("Field '%s' not found", {"NAME"}), "Field 'NAME' not found"},
        {"number", FormatMessage("List index out of bounds (%d)", {-1}),
         "List index out of bounds (-1)"},
        {"two", FormatMessage("'%d.%d' is not a valid timestamp", {0, 5}),
         "'0.5' is not a valid timestamp"},
        {"value holding a pattern", FormatMessage("Field '%s' not found", {"%s%d"}),
         "Field '%s%d' not found"},
        {"missing argument", FormatMessage("a %s b", {}), "a  b"},
        {"percent", FormatMessage("100%% of %s", {"x"}), "100% of x"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
}

TEST(EInOutError, MessageFollowsTheErrorCode) {
    struct Case {
        int code;
        const char* message;
    } cases[] = {{2, "File not found"},
                 {3, "Invalid filename"},
                 {4, "Too many open files"},
                 {5, "File access denied"},
                 {100, "Read beyond end of file"},
                 {101, "Disk full"},
                 {106, "Invalid numeric input"},
                 {103, "I/O error 103"},
                 {32, "I/O error 32"}};
    for (const auto& c : cases) {
        EInOutError e(c.code);
        EXPECT_EQ(e.Message(), c.message);
        EXPECT_EQ(e.ErrorCode(), c.code);
    }
}

TEST(EListError, NamesTheIndex) {
    EXPECT_STREQ(EListError(7).what(), "List index out of bounds (7)");
}

}  // namespace
}  // namespace parvell
