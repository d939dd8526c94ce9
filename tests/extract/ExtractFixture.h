#pragma once
// Shared by the extract tests: the program's text conventions, a scratch folder, file reading,
// a recording TExtractCallbacks, and a small patient table holding every field type the
// writers meet, with nulls, quotes, commas, tabs and line breaks inside values.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "data/Formats.h"
#include "data/TextToValue.h"
#include "data/ValueConvert.h"
#include "extract/Extract.h"
#include "tests/data/MemoryDataSet.h"

namespace parvell::testing {

// United States conventions with the date pattern the engine settings give the program.
class ProgramLocale {
public:
    ProgramLocale() : saved_(LocaleFormats) {
        LocaleFormats = TLocaleFormats::UnitedStates();
        LocaleFormats.ShortDatePattern = "MM/DD/yyyy";
    }
    ~ProgramLocale() { LocaleFormats = saved_; }

private:
    TLocaleFormats saved_;
};

// A fresh folder below the system's temporary folder, removed with its content at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name =
            std::string("parvell-extract-") + info->test_suite_name() + "-" + info->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // The names of everything in the folder, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Records what a run asks and reports; the record-number answers can follow a script.
class RecordingCallbacks : public TExtractCallbacks {
public:
    bool headerRecordNumber = false;
    // Answer for record line n (0-based); the last answer repeats. Empty: false.
    std::vector<bool> lineRecordNumbers;
    // Record count after which RecordWritten stops the run; 0: never.
    int stopAfter = 0;
    std::function<void()> onRecordWritten;

    std::vector<std::string> unsupported;
    int headerAsks = 0;
    int lineAsks = 0;
    int recordsWritten = 0;

    bool HeaderRecordNumber() override {
        ++headerAsks;
        return headerRecordNumber;
    }
    bool LineRecordNumber() override {
        const int n = lineAsks++;
        if (lineRecordNumbers.empty()) return false;
        return lineRecordNumbers[std::min<std::size_t>(n, lineRecordNumbers.size() - 1)];
    }
    void UnsupportedColumn(const std::string& fieldName) override {
        unsupported.push_back(fieldName);
    }
    bool RecordWritten() override {
        ++recordsWritten;
        if (onRecordWritten) onRecordWritten();
        return stopAfter == 0 || recordsWritten < stopAfter;
    }
};

// Day number of a date (0001-01-01 is day 1), the native form of ftDate.
inline int32_t DayNumber(int y, int m, int d) {
    TDateTime value = 0;
    EncodeDate(y, m, d, &value);
    return static_cast<int32_t>(value) + kDateDelta;
}
// The native form of ftDateTime.
inline double StampCount(int y, int m, int d, int hour, int minute, int second) {
    return static_cast<double>(DayNumber(y, m, d)) * kMSecsPerDay +
           static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000);
}
inline MemValue Time(int hour, int minute, int second) {
    return I32(((hour * 60 + minute) * 60 + second) * 1000);
}

// Every field type the writers meet, in one table of three patients and one empty row.
inline void FillPatients(MemoryDataSet& ds) {
    ds.columns = {
        {"Name", ftString, 12}, {"Age", ftSmallint},     {"Visits", ftInteger}, {"Code", ftWord},
        {"Active", ftBoolean},  {"Balance", ftFloat},    {"Fee", ftCurrency},   {"Born", ftDate},
        {"Seen", ftTime},       {"Stamp", ftDateTime},   {"Id", ftAutoInc},     {"Big", ftLargeint},
        {"Notes", ftMemo, 1},   {"Amount", ftBCD, 2, 8},
    };
    ds.rows = {
        {Str("Smith, \"Al\""), I16(-5), I32(1234567), U16(65535), Bool(true), F64(1234.56789012345),
         F64(12.5), I32(DayNumber(1960, 2, 29)), Time(9, 5, 7),
         F64(StampCount(2008, 1, 15, 14, 30, 0)), I32(1), I64(4294967297LL), Raw({'n', 'o'}),
         Bcd("12.50")},
        {Str("Tab\there"), I16(32767), I32(-2147483647 - 1), U16(0), Bool(false), F64(0.00001),
         F64(-3), I32(DayNumber(2001, 12, 31)), Time(0, 0, 0),
         F64(StampCount(2008, 1, 15, 0, 0, 0)), I32(2), I64(-12), Raw({}), Bcd("-0.5")},
        {Str("Two\r\nlines"), I16(0), I32(0), U16(7), Bool(true), F64(1e15), F64(0.0001),
         I32(DayNumber(1899, 12, 30)), Time(23, 59, 59), F64(StampCount(1999, 12, 31, 23, 59, 59)),
         I32(3), I64(99999999999LL), Null, Bcd("100.00")},
        {Null, Null, Null, Null, Null, Null, Null, Null, Null, Null, Null, Null, Null, Null},
    };
}

}  // namespace parvell::testing
