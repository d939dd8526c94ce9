#pragma once
// Label datasets for the report tests, built on the model's in-memory dataset, and helpers that
// run a label report without any window.

#include <QImage>
#include <string>
#include <vector>

#include "report/LabelReport.h"
#include "tests/data/MemoryDataSet.h"

namespace parvell::testing {

struct LabelRow {
    std::string name, street1, street2, cityLine;
};

// A dataset with the given columns (any of "Name", "Street 1", "Street 2", "CityLine") and one
// row per label; the dataset is opened.
inline void FillLabels(MemoryDataSet& data, const std::vector<LabelRow>& rows,
                       const std::vector<std::string>& columns = {"Name", "Street 1", "Street 2",
                                                                  "CityLine"}) {
    for (const std::string& column : columns) data.columns.push_back({column, ftString, 60});
    for (const LabelRow& row : rows) {
        std::vector<MemValue> values;
        for (const std::string& column : columns) {
            const std::string& text = column == "Name"       ? row.name
                                      : column == "Street 1" ? row.street1
                                      : column == "Street 2" ? row.street2
                                                             : row.cityLine;
            values.push_back(Str(text));
        }
        data.rows.push_back(std::move(values));
    }
    data.Open();
}

inline std::vector<LabelRow> NumberedLabels(int count) {
    std::vector<LabelRow> rows;
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        rows.push_back({"Name " + n, n + " Main Street", i % 2 ? "" : "Suite " + n,
                        "Springfield, IL 6270" + n});
    }
    return rows;
}

// Where one band went: its top-left corner (native), page and column.
struct BandPlace {
    int64_t x, y;
    int page, column;
    bool operator==(const BandPlace&) const = default;
};

// Records every printed band of the label report's band. The report's own BeforePrint stays.
inline std::vector<BandPlace>& RecordPlaces(TLabelReport& labels, std::vector<BandPlace>& places) {
    labels.VRSubDetail1.AfterPrint = [&labels, &places](TVRSubDetail& band, bool printed) {
        if (!printed) return;
        const TVellRep& rep = labels.VellRep1;
        places.push_back(
            {rep.CurrentX(), rep.CurrentY() - 254, rep.PageCount(), rep.CurrentColumn()});
    };
    return places;
}

// No printer installed, no window, no message pumping: a pure composition run.
inline void Quiet(TVellRep& report) {
    report.PrinterProbe = [](const std::string&) { return std::optional<TVRDeviceFacts>(); };
    report.ProcessMessages = [] {};
}

// A printer that lists Letter and A4, 600 pixels per inch, no offsets, Letter loaded.
inline TVRDeviceFacts LetterPrinter() {
    TVRDeviceFacts facts;
    facts.PrinterName = "TestPrinter";
    facts.PixelsPerInchX = facts.PixelsPerInchY = 600;
    facts.Paper = TVRPaperSize::Letter;
    facts.PaperWidth = 2159;
    facts.PaperLength = 2794;
    facts.SupportedPapers = {TVRPaperSize::Letter, TVRPaperSize::A4};
    return facts;
}

// Page n of a preview output, replayed on a white image at the recording resolution.
QImage RenderPage(const TVRPrinter& output, int page);

// Left-most and top-most dark pixel in a rectangle; (-1, -1) when the rectangle is blank.
QPoint FirstInk(const QImage& image, const QRect& area);

}  // namespace parvell::testing
