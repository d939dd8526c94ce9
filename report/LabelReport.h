#pragma once
// The mailing-label report: three columns of ten 1 by 2.5 inch labels on US Letter paper, one
// label per record of the dataset, four lines each: "Name", "Street 1", then "Street 2" and
// "CityLine", or "CityLine" alone when "Street 2" is empty. A fixed definition built in code.

#include "report/VellRep.h"

namespace parvell {

class TDataSet;

class TLabelReport {
public:
    // dataSet: the query the labels are printed from (not owned); it must be open for a run.
    explicit TLabelReport(TDataSet* dataSet);
    TLabelReport(const TLabelReport&) = delete;
    TLabelReport& operator=(const TLabelReport&) = delete;

    TVellRep VellRep1;
    TVRSubDetail& VRSubDetail1;
    TVRDBText& VRDBText1;
    TVRDBText& VRDBText2;
    TVRLabel& VRLabel1;
    TVRLabel& VRLabel2;

    // The band's BeforePrint: fills the third and fourth lines for the current record. Raises
    // the dataset's field-not-found error when "Street 2" or "CityLine" is missing.
    void VRSubDetail1BeforePrint(TVRSubDetail& sender, bool& printBand);

private:
    TDataSet* dataSet_;
};

}  // namespace parvell
