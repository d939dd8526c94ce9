#include "report/LabelReport.h"

#include "data/DataSet.h"

namespace parvell {

namespace {

void DefineItem(TVRCustomLabel& item, double top) {
    // Height, left, top, width: 17 by 209 pixels at left 16 (96 pixels per inch), converted
    // exactly and kept to three decimals.
    item.Size.SetValues({44.979, 42.333, top, 552.979});
    item.Font = TVRFont{"Arial", 10, false, false, false, Qt::black};
    item.ParentFont = false;
    item.Alignment = TVRTextAlignment::taLeftJustify;
    item.AlignToBand = false;
    item.AutoSize = false;
    item.AutoStretch = false;
    item.WordWrap = true;
    item.Color = Qt::white;
    item.Transparent = false;
}

TVRDBText& AddDBText(TVRSubDetail& band, const char* name, TDataSet* dataSet, const char* field,
                     double top) {
    TVRDBText& item = band.AddItem<TVRDBText>(name);
    DefineItem(item, top);
    item.DataSet = dataSet;
    item.DataField = field;
    return item;
}

TVRLabel& AddLabel(TVRSubDetail& band, const char* name, double top) {
    TVRLabel& item = band.AddItem<TVRLabel>(name);
    DefineItem(item, top);
    return item;
}

TVellRep& DefineReport(TVellRep& report, TDataSet* dataSet) {
    report.SetDataSet(dataSet);
    report.Page.SetOrientation(TVROrientation::poPortrait);
    report.Page.SetPaperSize(TVRPaperSize::Letter);
    report.Page.SetColumns(3);
    report.Page.SetValues({127.0, 2794.0, 127.0, 2159.0, 63.5, 63.5, 63.5});
    report.Options = {true, true, false};
    report.SetPrintIfEmpty(true);
    report.Units = TVRUnit::Inches;
    report.Page.SetUnit(TVRUnit::Inches);
    report.Zoom = 100;
    report.SnapToGrid = true;
    report.Font = TVRFont{"Arial", 8, false, false, false, Qt::black};
    report.ReportTitle.clear();
    report.ShowProgress = true;
    report.PrinterSettings = TVellRepPrinterSettings{};
    report.PrevFormStyle = TVRFormStyle::fsNormal;
    report.PreviewInitialState = TVRWindowState::wsMaximized;
    report.PrevShowThumbs = false;
    report.PrevShowSearch = false;
    report.PrevInitialZoom = TVRZoomState::vrZoomToFit;
    return report;
}

TVRSubDetail& DefineBand(TVellRep& report, TDataSet* dataSet) {
    TVRSubDetail& band = report.AddSubDetail("VRSubDetail1");
    band.SetDataSet(dataSet);
    band.Size.SetValues({254.0, 635.0});
    band.Color = Qt::white;
    band.TransparentBand = false;
    band.SetPrintIfEmpty(true);
    band.PrintBefore = false;
    return band;
}

}  // namespace

TLabelReport::TLabelReport(TDataSet* dataSet)
    : VellRep1("VellRep1"),
      VRSubDetail1(DefineBand(DefineReport(VellRep1, dataSet), dataSet)),
      VRDBText1(AddDBText(VRSubDetail1, "VRDBText1", dataSet, "Name", 63.5)),
      VRDBText2(AddDBText(VRSubDetail1, "VRDBText2", dataSet, "Street 1", 105.833)),
      VRLabel1(AddLabel(VRSubDetail1, "VRLabel1", 148.167)),
      VRLabel2(AddLabel(VRSubDetail1, "VRLabel2", 190.5)),
      dataSet_(dataSet) {
    VRSubDetail1.BeforePrint = [this](TVRSubDetail& sender, bool& printBand) {
        VRSubDetail1BeforePrint(sender, printBand);
    };
}

void TLabelReport::VRSubDetail1BeforePrint(TVRSubDetail& sender, bool& printBand) {
    if (!dataSet_->FieldNamed("Street 2").ValueAsText().empty()) {
        VRLabel1.SetCaption(dataSet_->FieldNamed("Street 2").ValueAsText());
        VRLabel2.SetCaption(dataSet_->FieldNamed("CityLine").ValueAsText());
    } else {
        VRLabel1.SetCaption(dataSet_->FieldNamed("CityLine").ValueAsText());
        VRLabel2.SetCaption({});
    }
}

}  // namespace parvell
