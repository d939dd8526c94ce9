// Engine error reporting: what CheckEngineResult raises and what the construction gathers.
#include <gtest/gtest.h>

#include "engine/kdbdata.h"
#include "kce/kce.h"

namespace parvell {
namespace {

// A failed engine call leaves its code and text as the thread's last error.
uint32_t FailAnEngineCall() {
    return KdbCloseTable(0x7FFFFFF0u);
}

TEST(ErrorTest, CheckEngineResultRaisesTheLastErrorNotTheResult) {
    EXPECT_NO_THROW(CheckEngineResult(nullptr, 0));
    const uint32_t result = FailAnEngineCall();
    ASSERT_NE(result, 0u);
    try {
        CheckEngineResult(nullptr, 1234);
        FAIL();
    } catch (const EKDBDatabaseError& error) {
        EXPECT_EQ(error.ErrorCode(), result);
        EXPECT_FALSE(error.Message().empty());
        EXPECT_TRUE(error.DataSetName.empty());
    }
}

TEST(ErrorTest, SqlErrorCodeIsReadFromTheNativeErrorMarker) {
    struct Case {
        const char* message;
        int32_t sqlCode;
    };
    const Case cases[] = {
        {"Error 7200: AQE Error: State = S0000; NativeError = 2121; [x] bad", 2121},
        {"error 7200: state; nativeerror = 2121; lower case", 2121},
        {"Error 7200: NativeError = 2104", 2104},
        {"Error 7200: no marker here", 0},
        {"NativeError = 2121; without the error number", 0},
        {"Error 7200: NativeError = abc;", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MakeKdbDatabaseError(nullptr, c.message, 7200).SQLErrorCode(), c.sqlCode)
            << c.message;
    }
}

TEST(ErrorTest, ColumnNameOnlyForTheColumnCodes) {
    class Named : public TKdbExtendedDataSet {
    public:
        Named() : TKdbExtendedDataSet(nullptr, "Q") {}
        uint32_t OpenEngineCursor() override { return 0; }
    } dataSet;
    const std::string message = "The value of column \"Amount\" is out of range";
    EXPECT_EQ(MakeKdbDatabaseError(&dataSet, message, 5148).ColumnName, "Amount");
    EXPECT_EQ(MakeKdbDatabaseError(&dataSet, message, 5121).ColumnName, "");
    EXPECT_EQ(MakeKdbDatabaseError(&dataSet, "no marker", 5147).ColumnName, "");
    EXPECT_EQ(MakeKdbDatabaseError(&dataSet, message, 5148).Message(), "Q: " + message);
}

TEST(ErrorTest, FailuresDuringTheConstructionRaiseNothingFurther) {
    // A dataset whose details fail to resolve: the error still comes out whole.
    class Failing : public TKdbExtendedDataSet {
    public:
        Failing() : TKdbExtendedDataSet(nullptr, "F") {}
        uint32_t OpenEngineCursor() override { return 0; }
        std::string TableName() const override {
            EXPECT_TRUE(BuildingEngineError());
            CheckEngineResult(this, FailAnEngineCall());  // silenced while building
            throw Exception("details unavailable");
        }
    } dataSet;
    const EKDBDatabaseError error = MakeKdbDatabaseError(&dataSet, "engine text", 5000);
    EXPECT_EQ(error.Message(), "F: engine text");
    EXPECT_EQ(error.ErrorCode(), 5000u);
    EXPECT_FALSE(BuildingEngineError());
}

}  // namespace
}  // namespace parvell
