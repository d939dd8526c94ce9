#pragma once
// The built-in statements of the "SQL Statements" menu, each as the list of lines its text store
// holds. The main window's stores (mmoGuarantorLables, mmoPatDemo, ...) and Form2's
// mmoPatXTrnDate hand these to the editor unchanged.

#include <QString>
#include <QStringList>

namespace parvell {

const QStringList& GuarantorLablesLines();  // "Guarantors by Transaction Date"
const QStringList& PatXTrnDateLines();      // "Patient By Transaction Date"
const QStringList& PatDemoLines();          // "Patient Demographics"
const QStringList& PatInsDemoLines();       // "Demographics for EMDEON"
const QStringList& DemoExportv15Lines();    // "Demographics Export v15"
const QStringList& DemoExportv8Lines();     // "Demographics Export v8"

// The one line of "Fix Post Conversion ICD10 issue".
const QString& FixPostConversionICD10Line();

}  // namespace parvell
