#pragma once
// The printer the window tests find: Letter paper only (215.9 by 279.4 mm), nothing else known.
// Given as the report's PrinterProbe, so no test depends on the machine's printers.

#include <optional>
#include <string>

#include "report/VellRep.h"

namespace parvell::test {

inline std::optional<TVRDeviceFacts> LetterOnlyPrinter(const std::string& /*printerName*/) {
    TVRDeviceFacts facts;
    facts.Paper = TVRPaperSize::Letter;
    facts.PaperWidth = 2159;
    facts.PaperLength = 2794;
    facts.SupportedPapers = {TVRPaperSize::Letter};
    return facts;
}

}  // namespace parvell::test
