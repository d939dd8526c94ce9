#pragma once
// The label pages written to a PDF file with Qt Gui's PDF writer, for the command-line tool: the
// same composition as the preview, drawn on a Letter page with no printer offsets.

#include <QString>

namespace parvell {

class TDataSet;

// dataSet must be open. Raises what the run raises (for instance the field-not-found error of a
// result without "Street 2"); no file is written when the error comes before the first page.
// Returns the number of pages written.
int RenderLabelsPdf(TDataSet& dataSet, const QString& pdfPath);

}  // namespace parvell
