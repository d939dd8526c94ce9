#include "data/DataSet.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "data/Fields.h"
#include "tests/data/MemoryDataSet.h"

namespace parvell {
namespace {

using testing::I32;
using testing::MemoryDataSet;
using testing::Str;

// A viewer that asks for a window of some size and records what it hears.
class RecordingLink : public TDataLink {
public:
    std::vector<std::string> events;
    void DataEvent(TDataEvent event, int info) override {
        switch (event) {
            case TDataEvent::RecordsChanged:
                events.push_back("changed");
                break;
            case TDataEvent::WindowScrolled:
                events.push_back("scrolled " + std::to_string(info));
                break;
            case TDataEvent::ModeChanged:
                events.push_back("mode");
                break;
            case TDataEvent::FinishEdits:
                break;
        }
    }
};

void FillNumbers(MemoryDataSet& ds, int count) {
    ds.columns = {{"ID", ftInteger}, {"NAME", ftString, 10}};
    ds.rows.clear();
    for (int i = 1; i <= count; ++i) ds.rows.push_back({I32(i), Str("n" + std::to_string(i))});
}

// The walk every writer uses; returns the ids seen.
std::vector<int> Walk(TDataSet& ds) {
    std::vector<int> seen;
    ds.MoveFirst();
    while (!ds.AtEnd()) {
        seen.push_back(ds.FieldAt(0).ValueAsInteger());
        ds.MoveNext();
    }
    return seen;
}

TEST(DataSetWalk, ProcessesEachRecordOnceWhateverTheWindowSize) {
    struct Case {
        int records;
        int windowSize;
    } cases[] = {{0, 1}, {1, 1}, {2, 1}, {7, 1}, {0, 3}, {1, 3}, {3, 3}, {7, 3}, {2, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE("records " + std::to_string(c.records) + " window " +
                     std::to_string(c.windowSize));
        MemoryDataSet ds;
        FillNumbers(ds, c.records);
        TDataSource source;
        RecordingLink link;
        link.SetBufferCount(c.windowSize);
        link.SetDataSource(&source);
        source.SetDataSet(&ds);
        ds.Open();
        EXPECT_TRUE(ds.AtStart());
        EXPECT_EQ(ds.AtEnd(), c.records == 0);
        EXPECT_EQ(ds.WindowSize(), c.windowSize);
        EXPECT_EQ(ds.WindowFill(), std::min(c.records, c.windowSize));

        std::vector<int> expected;
        for (int i = 1; i <= c.records; ++i) expected.push_back(i);
        EXPECT_EQ(Walk(ds), expected);
        EXPECT_TRUE(ds.AtEnd());
        // The walk's last MoveNext leaves the last record current.
        if (c.records > 0) {
            EXPECT_EQ(ds.FieldAt(0).ValueAsInteger(), c.records);
        }
        ds.Close();
        EXPECT_TRUE(ds.AtStart());
        EXPECT_TRUE(ds.AtEnd());
    }
}

TEST(DataSetWalk, EmptyResultHasBothFlagsAfterOpenAndMoveFirst) {
    MemoryDataSet ds;
    FillNumbers(ds, 0);
    ds.Open();
    EXPECT_TRUE(ds.AtStart());
    EXPECT_TRUE(ds.AtEnd());
    ds.MoveFirst();
    EXPECT_TRUE(ds.AtStart());
    EXPECT_TRUE(ds.AtEnd());
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_TRUE(ds.FieldAt(0).ValueIsNull());
    EXPECT_EQ(ds.FieldAt(1).ValueAsText(), "");
}

TEST(DataSetWalk, ForwardWalkHoldsWindowSizePlusOneBuffersWhateverTheSize) {
    for (int windowSize : {1, 4}) {
        MemoryDataSet ds;
        FillNumbers(ds, 1000);
        TDataSource source;
        RecordingLink link;
        link.SetBufferCount(windowSize);
        link.SetDataSource(&source);
        source.SetDataSet(&ds);
        ds.Open();
        EXPECT_EQ(Walk(ds).size(), 1000u);
        EXPECT_EQ(ds.buffersAllocated, windowSize + 1);
        EXPECT_EQ(ds.buffersLive, windowSize + 1);
        ds.Close();
        EXPECT_EQ(ds.buffersLive, 0);
        EXPECT_EQ(ds.BufferCount(), 0);
    }
}

TEST(DataSetWalk, BackwardWalkFromTheEnd) {
    MemoryDataSet ds;
    FillNumbers(ds, 4);
    ds.Open();
    ds.MoveLast();
    EXPECT_TRUE(ds.AtEnd());
    std::vector<int> seen;
    while (!ds.AtStart()) {
        seen.push_back(ds.FieldAt(0).ValueAsInteger());
        ds.MovePrior();
    }
    EXPECT_EQ(seen, (std::vector<int>{4, 3, 2, 1}));
    EXPECT_EQ(ds.MoveRelative(3), 3);
    EXPECT_EQ(ds.FieldAt(0).ValueAsInteger(), 4);
    EXPECT_EQ(ds.MoveRelative(5), 0);  // nothing beyond the last record
    EXPECT_TRUE(ds.AtEnd());
    EXPECT_EQ(ds.FieldAt(0).ValueAsInteger(), 4);
}

TEST(DataSetMove, MoveNextAtEndMovesNothingAndSendsNothing) {
    MemoryDataSet ds;
    FillNumbers(ds, 1);
    TDataSource source;
    RecordingLink link;
    link.SetDataSource(&source);
    source.SetDataSet(&ds);
    int before = 0, after = 0;
    ds.Events().BeforeScroll = [&](TDataSet&) { ++before; };
    ds.Events().AfterScroll = [&](TDataSet&) { ++after; };
    ds.Open();
    ds.MoveFirst();
    EXPECT_EQ(ds.MoveRelative(1), 0);  // finds nothing: sets AtEnd
    ASSERT_TRUE(ds.AtEnd());
    link.events.clear();
    before = after = 0;
    EXPECT_EQ(ds.MoveRelative(1), 0);
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 0);
    EXPECT_TRUE(link.events.empty());
}

TEST(DataSetMove, LargerWindowMovesInsideWithoutFetchingThenRotates) {
    MemoryDataSet ds;
    FillNumbers(ds, 10);
    TDataSource source;
    RecordingLink link;
    link.SetBufferCount(3);
    link.SetDataSource(&source);
    source.SetDataSet(&ds);
    ds.Open();
    ASSERT_EQ(ds.WindowFill(), 3);
    const int fetchesAfterOpen = ds.fetches;
    link.events.clear();
    ds.MoveNext();
    ds.MoveNext();
    EXPECT_EQ(ds.fetches, fetchesAfterOpen);
    EXPECT_EQ(ds.ActiveSlot(), 2);
    EXPECT_EQ(link.events, (std::vector<std::string>{"scrolled 0", "scrolled 0"}));
    link.events.clear();
    ds.MoveNext();
    EXPECT_EQ(ds.fetches, fetchesAfterOpen + 1);
    EXPECT_EQ(ds.ActiveSlot(), 2);
    EXPECT_EQ(ds.FieldAt(0).ValueAsInteger(), 4);
    EXPECT_EQ(link.events, (std::vector<std::string>{"scrolled 1"}));
    // The viewer reads the other rows of the window through its link.
    link.SetActiveRecord(0);
    EXPECT_EQ(ds.FieldAt(0).ValueAsInteger(), 2);
    link.SetActiveRecord(2);
    EXPECT_THROW(link.SetActiveRecord(3), EListError);
    EXPECT_EQ(ds.buffersAllocated, 4);
}

TEST(DataSetMove, ViewerGrowingItsWindowWhileOpenFillsIt) {
    MemoryDataSet ds;
    FillNumbers(ds, 10);
    TDataSource source;
    RecordingLink link;
    link.SetDataSource(&source);
    source.SetDataSet(&ds);
    ds.Open();
    ds.MoveNext();  // on record 2
    link.SetBufferCount(4);
    EXPECT_EQ(ds.WindowSize(), 4);
    EXPECT_EQ(ds.WindowFill(), 4);
    EXPECT_EQ(ds.FieldAt(0).ValueAsInteger(), 2);
    EXPECT_EQ(Walk(ds).size(), 10u);
    link.SetBufferCount(1);
    EXPECT_EQ(ds.WindowSize(), 1);
    EXPECT_EQ(ds.BufferCount(), 2);
    EXPECT_EQ(ds.buffersLive, 2);
    EXPECT_EQ(ds.FieldAt(0).ValueAsInteger(), 10);
}

TEST(DataSetMove, ClosedDatasetRefusesToMove) {
    MemoryDataSet ds;
    FillNumbers(ds, 2);
    const std::string message = "MemData: Cannot perform this operation on a closed dataset";
    for (auto move :
         {+[](TDataSet& d) { d.MoveFirst(); }, +[](TDataSet& d) { d.MoveNext(); },
          +[](TDataSet& d) { d.MoveLast(); }, +[](TDataSet& d) { d.MoveRelative(-2); }}) {
        try {
            move(ds);
            ADD_FAILURE() << "no exception";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    }
}

TEST(DataSetMove, FetchFailureDuringMoveNextKeepsWhatWasFetched) {
    MemoryDataSet ds;
    FillNumbers(ds, 5);
    TDataSource source;
    RecordingLink link;
    link.SetDataSource(&source);
    source.SetDataSet(&ds);
    int after = 0;
    ds.Events().AfterScroll = [&](TDataSet&) { ++after; };
    ds.Open();
    ds.MoveNext();
    ds.failFetchNumber = ds.fetches + 1;
    link.events.clear();
    EXPECT_THROW(ds.MoveNext(), EDatabaseError);
    EXPECT_FALSE(ds.AtStart());
    EXPECT_FALSE(ds.AtEnd());
    EXPECT_EQ(ds.FieldAt(0).ValueAsInteger(), 2);
    EXPECT_EQ(after, 2);
    EXPECT_EQ(link.events, (std::vector<std::string>{"scrolled 0"}));
    // The cursor resynchronises on the next move.
    ds.MoveNext();
    EXPECT_EQ(ds.FieldAt(0).ValueAsInteger(), 3);
}

TEST(DataSetMove, FetchFailureDuringMoveFirstLeavesAnEmptyWindow) {
    MemoryDataSet ds;
    FillNumbers(ds, 5);
    int after = 0;
    ds.Events().AfterScroll = [&](TDataSet&) { ++after; };
    ds.Open();
    ds.MoveNext();
    ds.failFetchNumber = ds.fetches + 1;
    EXPECT_THROW(ds.MoveFirst(), EDatabaseError);
    EXPECT_TRUE(ds.AtStart());
    EXPECT_TRUE(ds.AtEnd());
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_EQ(after, 2);
}

TEST(DataSetLifecycle, OpenAndCloseFireEventsAndModeChanges) {
    MemoryDataSet ds;
    FillNumbers(ds, 2);
    TDataSource source;
    RecordingLink link;
    link.SetDataSource(&source);
    source.SetDataSet(&ds);
    std::vector<std::string> order;
    ds.Events().BeforeOpen = [&](TDataSet& d) { order.push_back(d.Active() ? "bo!" : "bo"); };
    ds.Events().AfterOpen = [&](TDataSet& d) { order.push_back(d.Active() ? "ao" : "ao!"); };
    ds.Events().BeforeClose = [&](TDataSet& d) { order.push_back(d.Active() ? "bc" : "bc!"); };
    ds.Events().AfterClose = [&](TDataSet& d) { order.push_back(d.Active() ? "ac!" : "ac"); };
    ds.SetActive(true);
    EXPECT_EQ(ds.Mode(), DataSetMode::Browse);
    ds.SetActive(true);  // already open: nothing happens
    ds.SetActive(false);
    EXPECT_EQ(ds.Mode(), DataSetMode::Inactive);
    EXPECT_EQ(order, (std::vector<std::string>{"bo", "ao", "bc", "ac"}));
    EXPECT_EQ(link.events, (std::vector<std::string>{"mode", "mode"}));
}

TEST(DataSetLifecycle, FailedOpenEndsInactiveWithNothingHeld) {
    MemoryDataSet ds;
    FillNumbers(ds, 2);
    ds.failOpen = true;
    int afterOpen = 0;
    ds.Events().AfterOpen = [&](TDataSet&) { ++afterOpen; };
    try {
        ds.Open();
        FAIL() << "no exception";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "open failed");
    }
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.Mode(), DataSetMode::Inactive);
    EXPECT_EQ(ds.buffersLive, 0);
    EXPECT_EQ(ds.NumFields(), 0);
    EXPECT_EQ(afterOpen, 0);
    ds.failOpen = false;
    ds.Open();
    EXPECT_EQ(Walk(ds).size(), 2u);
}

TEST(DataSetLifecycle, AttachFailureDuringOpenReleasesTheAutoCreatedFields) {
    MemoryDataSet ds;
    ds.columns = {{"A", ftInteger}, {"a", ftString, 5}};
    ds.rows = {{I32(1), Str("x")}};
    try {
        ds.Open();
        FAIL() << "no exception";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "A component named a already exists");
    }
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.NumFields(), 0);
}

TEST(DataSetLifecycle, ReopeningWithOtherColumnsMakesOnlyTheNewFields) {
    MemoryDataSet ds;
    FillNumbers(ds, 2);
    ds.Open();
    ASSERT_EQ(ds.NumFields(), 2);
    ds.Close();
    EXPECT_EQ(ds.NumFields(), 0);
    EXPECT_EQ(ds.FieldDefs().NumDefs(), 2);  // definitions survive the close
    ds.columns = {{"CITY", ftString, 20}};
    ds.rows = {{Str("Leeds")}};
    ds.Open();
    ASSERT_EQ(ds.NumFields(), 1);
    EXPECT_EQ(ds.FieldAt(0).FieldName(), "CITY");
    EXPECT_EQ(ds.TryFieldNamed("ID"), nullptr);
    EXPECT_EQ(ds.FieldNamed("city").ValueAsText(), "Leeds");
}

TEST(DataSetLifecycle, OpenRequestedWhileLoadingHappensWhenLoadingEnds) {
    MemoryDataSet ds;
    FillNumbers(ds, 1);
    ds.BeginLoading();
    ds.SetActive(true);
    EXPECT_FALSE(ds.Active());
    ds.EndLoading();
    EXPECT_TRUE(ds.Active());

    MemoryDataSet failing;
    failing.failOpen = true;
    failing.BeginLoading();
    failing.SetActive(true);
    EXPECT_THROW(failing.EndLoading(), EDatabaseError);
}

TEST(DataSetFieldLookup, ByPositionAndByNameWithoutRegardToCase) {
    MemoryDataSet ds;
    ds.columns = {{"Street 2", ftString, 20}, {"\xC9TAGE", ftInteger}};
    ds.rows = {{Str("High St"), I32(3)}};
    ds.Open();
    EXPECT_EQ(ds.FieldNamed("street 2").ValueAsText(), "High St");
    EXPECT_EQ(ds.FieldNamed("\xE9tage").ValueAsInteger(), 3);  // accented letters fold too
    EXPECT_EQ(ds.TryFieldNamed("Street"), nullptr);

    struct Case {
        std::string name;
        std::function<void()> call;
        std::string message;
    } cases[] = {
        {"missing name", [&] { ds.FieldNamed("Nope"); }, "MemData: Field 'Nope' not found"},
        {"index too high", [&] { ds.FieldAt(2); }, "List index out of bounds (2)"},
        {"negative index", [&] { ds.FieldAt(-1); }, "List index out of bounds (-1)"},
    };
    for (const auto& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message) << c.name;
        }
    }

    MemoryDataSet unnamed("");
    unnamed.columns = ds.columns;
    unnamed.Open();
    try {
        unnamed.FieldNamed("Nope");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field 'Nope' not found");
    }
}

TEST(DataSetFieldCreation, SkippedDefinitionsShiftLaterFieldsButValuesStayRight) {
    MemoryDataSet ds;
    TFieldAttributes hidden;
    hidden.Include(faHiddenCol);
    ds.columns = {
        {"A", ftInteger}, {"X", ftUnknown}, {"H", ftInteger, 0, 0, hidden}, {"B", ftString, 4}};
    ds.rows = {{I32(1), testing::Null, I32(9), Str("bee")}};
    ds.Open();
    ASSERT_EQ(ds.NumFields(), 2);
    EXPECT_EQ(ds.FieldAt(1).FieldName(), "B");
    EXPECT_EQ(ds.FieldDefs().DefAt(1).Name(), "X");  // definition 1 and field 1 differ
    EXPECT_EQ(ds.FieldAt(1).FieldNumber(), 4);
    EXPECT_EQ(ds.FieldAt(1).ValueAsText(), "bee");
    ds.Close();

    ds.FieldDefs().SetIncludeHidden(true);
    ds.Open();
    ASSERT_EQ(ds.NumFields(), 3);
    EXPECT_EQ(ds.FieldNamed("H").ValueAsInteger(), 9);
}

TEST(DataSetFieldCreation, DefinitionWithoutFieldClassIsAnUnknownType) {
    MemoryDataSet ds;
    ds.columns = {{"V", ftVariant}};
    try {
        ds.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field 'V' is of an unknown type");
    }
    EXPECT_FALSE(ds.Active());
}

TEST(DataSetAttach, PersistentFieldsAreCheckedAgainstTheirDefinitions) {
    struct Case {
        std::string name;
        std::function<std::unique_ptr<TField>()> make;
        std::string message;  // empty: the attach succeeds
    } cases[] = {
        {"type mismatch",
         [] {
             auto f = std::make_unique<TIntegerField>();
             f->SetFieldName("NAME");
             return f;
         },
         "MemData: Type mismatch for field 'NAME', expecting: Integer actual: String"},
        {"no definition",
         [] {
             auto f = std::make_unique<TIntegerField>();
             f->SetFieldName("OTHER");
             f->SetDisplayLabel("Other one");
             return f;
         },
         "MemData: Field 'Other one' not found"},
        {"bcd size mismatch",
         [] {
             auto f = std::make_unique<TBCDField>();
             f->SetFieldName("AMOUNT");
             f->SetSize(2);
             return f;
         },
         "MemData: Size mismatch for field 'AMOUNT', expecting: 2 actual: 4"},
        {"same group",
         [] {
             auto f = std::make_unique<TSmallintField>();
             f->SetFieldName("ID");
             return f;
         },
         ""},
    };
    for (const auto& c : cases) {
        MemoryDataSet ds;
        ds.columns = {{"ID", ftInteger}, {"NAME", ftString, 10}, {"AMOUNT", ftBCD, 4, 10}};
        ds.rows = {{I32(7), Str("x"), testing::Bcd("1.5")}};
        ds.AddField(c.make());
        if (c.message.empty()) {
            ds.Open();
            EXPECT_EQ(ds.NumFields(), 1) << c.name;
            EXPECT_FALSE(ds.AutoCreatedFields());
            ds.Close();
            EXPECT_EQ(ds.NumFields(), 1) << c.name;  // persistent fields survive the close
            continue;
        }
        try {
            ds.Open();
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), c.message) << c.name;
        }
        EXPECT_FALSE(ds.Active()) << c.name;
    }
}

TEST(DataSetAttach, StringFieldLargerThanItsDefinitionShrinksUnlessReadOnly) {
    for (bool readOnly : {false, true}) {
        MemoryDataSet ds;
        ds.columns = {{"NAME", ftString, 10}};
        auto field = std::make_unique<TStringField>();
        field->SetFieldName("NAME");
        field->SetSize(40);
        field->SetReadOnly(readOnly);
        TField& added = ds.AddField(std::move(field));
        ds.Open();
        EXPECT_EQ(added.Size(), readOnly ? 40 : 10);
    }
}

TEST(DataSetAttach, JoiningFieldsNeedsADistinctName) {
    MemoryDataSet ds;
    auto first = std::make_unique<TIntegerField>();
    first->SetFieldName("Id");
    ds.AddField(std::move(first));
    struct Case {
        std::string name;
        std::string message;
    } cases[] = {{"", "MemData: Field name missing"}, {"ID", "MemData: Duplicate field name 'ID'"}};
    for (const auto& c : cases) {
        auto field = std::make_unique<TIntegerField>();
        field->SetFieldName(c.name);
        try {
            ds.AddField(std::move(field));
            ADD_FAILURE() << "no exception for '" << c.name << "'";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
    EXPECT_EQ(ds.NumFields(), 1);
}

}  // namespace
}  // namespace parvell
