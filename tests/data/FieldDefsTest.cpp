#include "data/FieldDefs.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "data/Fields.h"
#include "tests/data/MemoryDataSet.h"

namespace parvell {
namespace {

using testing::MemoryDataSet;

TEST(FieldTypes, NamesSizesAndGroupsOfTheTypesTheEngineProduces) {
    struct Case {
        TFieldType type;
        int value;
        const char* name;
        int32_t size;
        TFieldType group;
    } cases[] = {
        {ftUnknown, 0, "Unknown", 0, ftUnknown},
        {ftString, 1, "String", 20, ftString},
        {ftSmallint, 2, "SmallInt", 0, ftInteger},
        {ftBoolean, 5, "Boolean", 0, ftBoolean},
        {ftCurrency, 7, "Currency", 0, ftFloat},
        {ftBCD, 8, "BCD", 4, ftBCD},
        {ftTime, 10, "Time", 0, ftDateTime},
        {ftVarBytes, 13, "VarBytes", 16, ftVarBytes},
        {ftAutoInc, 14, "AutoInc", 0, ftInteger},
        {ftMemo, 16, "Memo", 0, ftBlob},
        {ftCursor, 22, "Cursor", 0, ftUnknown},
        {ftFixedChar, 23, "FixedChar", 20, ftString},
        {ftOraClob, 31, "HugeClob", 0, ftBlob},
        {ftGuid, 35, "Guid", 0, ftString},
        {ftFMTBcd, 37, "FMTBcdField", 4, ftFMTBcd},
        {ftOraInterval, 41, "String", 20, ftOraInterval},
        {static_cast<TFieldType>(200), 200, "Unknown", 0, ftUnknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<int>(c.type), c.value);
        EXPECT_EQ(FieldTypeName(c.type), c.name) << c.value;
        EXPECT_EQ(DefaultFieldSize(c.type), c.size) << c.value;
        EXPECT_EQ(FieldTypeGroup(c.type), c.group) << c.value;
    }
    EXPECT_EQ(sizeof(TFieldType), 1u);
}

TEST(FieldDefs, DefineFieldAppendsAndLooksUpWithoutRegardToCase) {
    MemoryDataSet ds;
    TFieldDefs& defs = ds.FieldDefs();
    TFieldDef& name = defs.DefineField("Name", ftString, 30, true);
    TFieldDef& amount = defs.DefineField("Amount", ftBCD, 2, false);
    amount.SetPrecision(10);
    EXPECT_EQ(defs.NumDefs(), 2);
    EXPECT_EQ(&defs.DefNamed("NAME"), &name);
    EXPECT_EQ(&defs.DefAt(1), &amount);
    EXPECT_EQ(name.Size(), 30);
    EXPECT_TRUE(name.Required());
    EXPECT_EQ(amount.FieldNumber(), 2);
    amount.SetFieldNumber(7);
    EXPECT_EQ(amount.FieldNumber(), 7);
    amount.SetDataType(ftBytes);  // resets size and precision
    EXPECT_EQ(amount.Size(), 16);
    EXPECT_EQ(amount.Precision(), 0);
    EXPECT_EQ(ds.FieldDefList().size(), 2u);
}

TEST(FieldDefs, FailuresLeaveTheCollectionUnchanged) {
    MemoryDataSet ds;
    TFieldDefs& defs = ds.FieldDefs();
    defs.DefineField("Name", ftString, 30, false);
    struct Case {
        const char* name;
        std::function<void()> call;
        std::string message;
    } cases[] = {
        {"empty name", [&] { defs.DefineField("", ftString, 5, false); },
         "MemData: Field name missing"},
        {"name in use", [&] { defs.DefineField("NAME", ftInteger, 0, false); },
         "A component named NAME already exists"},
        {"negative string size", [&] { defs.DefineField("S", ftString, -1, false); },
         "Invalid field size"},
        {"bcd size above 32", [&] { defs.DefineField("B", ftBCD, 33, false); },
         "Invalid field size"},
        {"bytes of no size", [&] { defs.DefineField("Y", ftBytes, 0, false); },
         "Invalid field size"},
        {"missing definition", [&] { defs.DefNamed("City"); }, "MemData: Field 'City' not found"},
    };
    for (const auto& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), c.message) << c.name;
        }
        EXPECT_EQ(defs.NumDefs(), 1) << c.name;
        EXPECT_EQ(ds.FieldDefList().size(), 1u) << c.name;
    }
    for (int index : {-1, 1}) {
        try {
            defs.DefAt(index);
            ADD_FAILURE() << index;
        } catch (const EListError& e) {
            EXPECT_EQ(e.Message(), "List index out of bounds (" + std::to_string(index) + ")");
        }
    }
}

TEST(FieldDefs, RefreshLoadsOnlyWhenNotCurrent) {
    MemoryDataSet ds;
    ds.columns = {{"A", ftInteger}, {"B", ftString, 3}};
    ds.FieldDefs().RefreshDefs();  // closed: the cursor opens just for the definitions
    EXPECT_EQ(ds.initFieldDefs, 1);
    EXPECT_EQ(ds.FieldDefs().NumDefs(), 2);
    EXPECT_FALSE(ds.Active());
    ds.FieldDefs().RefreshDefs();
    EXPECT_EQ(ds.initFieldDefs, 1);
    EXPECT_EQ(ds.NumFields(), 0);
}

TEST(FieldDefs, ChildDefinitionsJoinTheFlatList) {
    MemoryDataSet ds;
    TFieldDef& parent = ds.FieldDefs().DefineField("ADDR", ftADT, 0, false);
    parent.ChildDefs().DefineField("STREET", ftString, 10, false);
    parent.ChildDefs().DefineField("TOWN", ftString, 10, false);
    ds.FieldDefs().DefineField("ID", ftInteger, 0, false);
    EXPECT_EQ(parent.Size(), 2);  // no size of its own: the number of children
    std::vector<std::string> names;
    for (const TFieldDef* def : ds.FieldDefList()) names.push_back(def->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"ADDR", "STREET", "TOWN", "ID"}));
}

}  // namespace
}  // namespace parvell
