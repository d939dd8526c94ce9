#include "app/text/BuiltinSql.h"

#include <iterator>

// The texts are kept line by line as C string literals so that their leading and trailing spaces
// are plain to see and survive any editor; each line is exactly as the menu puts it into the
// editor.

namespace parvell {

namespace {

// "Guarantors by Transaction Date", 13 lines.
const char* const kGuarantorLablesLines[] = {
    "Select Distinct",
    " cas.\"Guarantor\",",
    " Trim(\"First Name\") +' '+ Trim( \"Last Name\") Name,",
    " \"Street 1\",",
    " \"Street 2\",",
    " Upper( Trim(\"City\") +', '+ Trim(\"State\") +' '+ Trim(\"Zip Code\")) CityLine",
    "From MWTRN trn, MWCAS cas, MWPAT pat",
    "Where",
    " cas.\"Case Number\" = trn.\"Case Number\"",
    " and pat.\"Chart Number\" = cas.\"Guarantor\"",
    " and trn.\"Transaction Type\" = 'A'",
    " and trn.\"Date From\" >= '01/01/2008'",
    "Order By \"Last Name\"",
};

// "Patient By Transaction Date", 15 lines.
const char* const kPatXTrnDateLines[] = {
    "Select Distinct",
    " pat.\"Chart Number\",",
    " \"Last Name\",",
    " \"First Name\",",
    " \"Street 1\",",
    " \"Street 2\",",
    " \"City\",",
    " \"State\",",
    " \"Zip Code\",",
    " \"Phone 1\" Home,",
    " \"Date of Birth\"",
    "From MWPAT pat, MWTRN trn",
    "Where pat.\"Chart Number\" = trn.\"Chart Number\"",
    " and trn.\"Transaction Type\" = 'A'",
    " and trn.\"Date From\" = CurDate()",
};

// "Patient Demographics", 10 lines.
const char* const kPatDemoLines[] = {
    "Select ",
    " Trim(\"First Name\") + ' ' + Trim(\"Last Name\") Name,",
    " \"Street 1\",",
    " \"Street 2\",",
    " Trim(\"City\") + ' ' + Trim(\"State\") + ' ' + Trim(\"Zip Code\") CityLine,",
    " \"Phone 1\",",
    " \"Email\"",
    "From MWPAT",
    "Where",
    " \"Date Created\" > '01/01/1980'",
};

// "Demographics for EMDEON", 41 lines.
const char* const kPatInsDemoLines[] = {
    "Select",
    " pat.\"Chart Number\" ACCT_KEY,",
    " pat.\"Last Name\" LNAME,",
    " pat.\"First Name\" FNAME,",
    " /*Left(pat.\"Middle Name\", 1) MI,*/",
    " pat.\"Street 1\" ADDR1, ",
    " /*pat.\"Street 2\",*/",
    " pat.\"City\" CITY,",
    " pat.\"State\" STATE,",
    " pat.\"Zip Code\" ZIP,",
    " Left(pat.\"Sex\", 1) SEX,",
    " pat.\"Date of Birth\" DOB,",
    " /*ins1.\"Code\" CODE,*/",
    " sub.\"Last Name\" SUB_LNAME,",
    " sub.\"First Name\" SUB_FNAME,",
    " /*Left(sub.\"Middle Name\", 1) SUB_MI,*/",
    " sub.\"Street 2\" SUB_ADDR1,",
    " sub.\"City\" SUB_CITY,",
    " sub.\"State\" SUB_STATE,",
    " sub.\"Zip Code\" SUB_ZIP,",
    " cas.\"Policy Number #1\" INSID1,",
    " cas.\"Group Number #1\" PRMGRP,",
    " ",
    " ins1.\"Code\" INSCODE,",
    " ins1.\"Name\" INSNAME,",
    " ins1.\"Street 1\" INSADDR,",
    " /*ins1.\"Street 2\" INS1STREET2,*/",
    " ins1.\"City\" INSCITY,",
    " ins1.\"State\" INSSTATE,",
    " ins1.\"Zip Code\" INSZIP",
    "From MWCAS cas, MWPAT pat, MWPAT sub, MWINS ins1",
    "where",
    " cas.\"Chart Number\" = pat.\"Chart Number\"",
    " and cas.\"Insurance Carrier #1\" = ins1.\"Code\"",
    " and sub.\"Chart Number\" = cas.\"Insured #1\"",
    " and cas.\"Case Number\" in",
    "(Select",
    " Max(\"Case Number\") \"Case Number\"",
    "From MWCAS",
    "Group By \"Chart Number\")",
    "Order By pat.\"Last Name\"",
};

// "Demographics Export v15", 106 lines.
const char* const kDemoExportv15Lines[] = {
    "Select",
    " pat.[First Name] FirstName,",
    " Left(pat.[Middle Name], 1) MiddleInitial,",
    " pat.[Last Name] LastName,",
    " pat.[Date of Birth] DOB,",
    " Left(pat.[Sex], 1)  Gender,",
    " pat.[Social Security Number] SSN,",
    " pat.[Street 1] Address1, ",
    " pat.[Street 2] Address2,",
    " pat.[City] City,",
    " pat.[State] State,",
    " pat.[Zip Code] Zip,",
    " cas.[Marital Status],",
    " cas.[Employment Status],",
    " pat.[Chart Number] ChartNo,",
    " pat.[Signature on File],",
    " pat.[Phone 1] HomePhone,",
    " pat.[Phone 2] WorkPhone,",
    " pat.[Phone 3] CellPhone,",
    " pat.[Email],",
    " ins1.[Name] Insurance1Name,",
    " ins1.[Type] InsuranceTypePrimary,",
    " cas.[Group Number #1] GroupNumberPrimary,",
    " cas.[Policy Number #1] InsuredIDPrimary,",
    " cas.[Copayment Amount], ",
    " cas.[Accept Assignment #1] AcceptAssignment1,",
    " cas.[Insured Relationship #1] SUB1_Relationship,",
    " sub1.[Chart Number] SUB1_ChartNo,",
    " sub1.[First Name] SUB1_FirstName,",
    " Left(sub1.[Middle Name], 1) SUB1_MI,",
    " sub1.[Last Name] SUB1_LastName,",
    " sub1.[Date of Birth] SUB1_DOB,",
    " sub1.[Sex] SUB1_Gender,",
    " sub1.[Street 1] SUB1_Address1,",
    " sub1.[Street 2] SUB1_Address2,",
    " sub1.[City] SUB1_City,",
    " sub1.[State] SUB1_State,",
    " sub1.[Zip Code] SUB1_Zip,",
    " sub1.[Phone 1] SUB1_HomePhone,",
    " cas.[Treatment_Authorization_63a] AuthorizationNoPrimary,",
    " pat.[Contact Name] EmergencyContact,",
    " pat.[Contact Phone 1] EmergencyContactPhone1,",
    " pat.[Contact Phone 2] EmergencyContactPhone2,",
    "",
    " ins2.[Name] Insurance2Name,",
    " ins2.[Type] InsuranceTypeSecondary,",
    " cas.[Group Number #2] GroupNumberSecondary,",
    " cas.[Policy Number #2] InsuredIDSecondary,",
    " cas.[Accept Assignment #2] AcceptAssignment2,",
    " cas.[Insured Relationship #2] SUB2_Relationship,",
    " sub2.[Chart Number] SUB2_ChartNo,",
    " sub2.[First Name] SUB2_FirstName,",
    " Left(sub2.[Middle Name], 1) SUB2_MI,",
    " sub2.[Last Name] SUB2_LastName,",
    " sub2.[Date of Birth] SUB2_DOB,",
    " sub2.[Sex] SUB2_Gender,",
    " sub2.[Street 1] SUB2_Address1,",
    " sub2.[Street 2] SUB2_Address2,",
    " sub2.[City] SUB2_City,",
    " sub2.[State] SUB2_State,",
    " sub2.[Zip Code] SUB2_Zip,",
    " sub2.[Phone 1] SUB2_HomePhone,",
    " cas.[Treatment_Authorization_63b] AuthorizationNoSecondary,",
    "",
    " ins3.[Name] Insurance3Name,",
    " ins3.[Type] InsuranceTypeTertiary,",
    " cas.[Group Number #3] GroupNumberTertiary,",
    " cas.[Policy Number #3] InsuredIDTertiary,",
    " cas.[Accept Assignment #3] AcceptAssignment3,",
    " cas.[Insured Relationship #3] SUB3_Relationship,",
    " sub3.[Chart Number] SUB3_ChartNo,",
    " sub3.[First Name] SUB3_FirstName,",
    " Left(sub3.[Middle Name], 1) SUB3_MI,",
    " sub3.[Last Name] SUB3_LastName,",
    " sub3.[Date of Birth] SUB3_DOB,",
    " sub3.[Sex] SUB3_Gender,",
    " sub3.[Street 1] SUB3_Address1,",
    " sub3.[Street 2] SUB3_Address2,",
    " sub3.[City] SUB3_City,",
    " sub3.[State] SUB3_State,",
    " sub3.[Zip Code] SUB3_Zip,",
    " sub3.[Phone 1] SUB3_HomePhone,",
    " cas.[Treatment_Authorization_63c] AuthorizationNoTertiary,",
    " cas.[Last Visit Date]",
    "",
    "From MWPAT pat, MWCAS cas",
    "Left Outer Join MWPAT sub1 on  sub1.[Chart Number] = ",
    "cas.[Insured #1]",
    "Left Outer Join MWPAT sub2 on  sub2.[Chart Number] = ",
    "cas.[Insured #2]",
    "Left Outer Join MWPAT sub3 on  sub3.[Chart Number] = ",
    "cas.[Insured #3]",
    "Left Outer Join MWINS ins1 on cas.[Insurance Carrier #1] = ",
    "ins1.[Code]",
    "Left Outer Join MWINS ins2 on cas.[Insurance Carrier #2] = ",
    "ins2.[Code]",
    "Left Outer Join MWINS ins3 on cas.[Insurance Carrier #3] = ",
    "ins3.[Code]",
    "where",
    " cas.[Chart Number] = pat.[Chart Number]",
    " and cas.[Case Number] in",
    "(Select",
    " Max([Case Number]) \"Case Number\"",
    "From MWCAS",
    "Group By [Chart Number])",
    "Order By pat.[Last Name]",
};

// "Demographics Export v8", 103 lines.
const char* const kDemoExportv8Lines[] = {
    "Select",
    " pat.[First Name] FirstName,",
    " pat.[Middle Initial],",
    " pat.[Last Name] LastName,",
    " pat.[Date of Birth] DOB,",
    " Left(pat.[Sex], 1)  Gender,",
    " pat.[Social Security Number] SSN,",
    " pat.[Street 1] Address1, ",
    " pat.[Street 2] Address2,",
    " pat.[City] City,",
    " pat.[State] State,",
    " pat.[Zip Code] Zip,",
    " cas.[Marital Status],",
    " cas.[Employment Status],",
    " pat.[Chart Number] ChartNo,",
    " pat.[Signature on File],",
    " pat.[Phone 1] HomePhone,",
    " pat.[Phone 2] WorkPhone,",
    " pat.[Phone 3] CellPhone,",
    " pat.[Email],",
    " ins1.[Name] Insurance1Name,",
    " ins1.[Type] Insurance1Type,",
    " cas.[Group Number #1] GroupNumberPrimary,",
    " cas.[Policy Number #1] InsuredIDPrimary,",
    " cas.[Copayment Amount], ",
    " cas.[Accept Assignment #1] AcceptAssignment1,",
    " cas.[Insured Relationship #1] SUB1_Relationship,",
    " sub1.[Chart Number] SUB1_ChartNo,",
    " sub1.[First Name] SUB1_FirstName,",
    " sub1.[Middle Initial] SUB1_MI,",
    " sub1.[Last Name] SUB1_LastName,",
    " sub1.[Date of Birth] SUB1_DOB,",
    " sub1.[Sex] SUB1_Gender,",
    " sub1.[Street 1] SUB1_Address1,",
    " sub1.[Street 2] SUB1_Address2,",
    " sub1.[City] SUB1_City,",
    " sub1.[State] SUB1_State,",
    " sub1.[Zip Code] SUB1_Zip,",
    " sub1.[Phone 1] SUB1_HomePhone,",
    " pat.[Contact Name] EmergencyContact,",
    " pat.[Contact Phone 1] EmergencyContactPhone1,",
    " pat.[Contact Phone 2] EmergencyContactPhone2,",
    "",
    " ins2.[Name] Insurance2Name,",
    " ins2.[Type] Insurance2Type,",
    " cas.[Group Number #2] GroupNumberSecondary,",
    " cas.[Policy Number #2] InsuredIDSecondary,",
    " cas.[Accept Assignment #2] AcceptAssignment2,",
    " cas.[Insured Relationship #2] SUB2_Relationship,",
    " sub2.[Chart Number] SUB2_ChartNo,",
    " sub2.[First Name] SUB2_FirstName,",
    " sub2.[Middle Initial] SUB2_MI,",
    " sub2.[Last Name] SUB2_LastName,",
    " sub2.[Date of Birth] SUB2_DOB,",
    " sub2.[Sex] SUB2_Gender,",
    " sub2.[Street 1] SUB2_Address1,",
    " sub2.[Street 2] SUB2_Address2,",
    " sub2.[City] SUB2_City,",
    " sub2.[State] SUB2_State,",
    " sub2.[Zip Code] SUB2_Zip,",
    " sub2.[Phone 1] SUB2_HomePhone,",
    "",
    " ins3.[Name] Insurance3Name,",
    " ins3.[Type] InsuranceTypeTertiary,",
    " cas.[Group Number #3] GroupNumberTertiary,",
    " cas.[Policy Number #3] InsuredIDTertiary,",
    " cas.[Accept Assignment #3] AcceptAssignment3,",
    " cas.[Insured Relationship #3] SUB3_Relationship,",
    " sub3.[Chart Number] SUB3_ChartNo,",
    " sub3.[First Name] SUB3_FirstName,",
    " sub3.[Middle Initial] SUB3_MI,",
    " sub3.[Last Name] SUB3_LastName,",
    " sub3.[Date of Birth] SUB3_DOB,",
    " sub3.[Sex] SUB3_Gender,",
    " sub3.[Street 1] SUB3_Address1,",
    " sub3.[Street 2] SUB3_Address2,",
    " sub3.[City] SUB3_City,",
    " sub3.[State] SUB3_State,",
    " sub3.[Zip Code] SUB3_Zip,",
    " sub3.[Phone 1] SUB3_HomePhone,",
    " cas.[Last Visit Date]",
    " ",
    "From MWPAT pat, MWCAS cas",
    "Left Outer Join MWPAT sub1 on  sub1.[Chart Number] = ",
    "cas.[Insured #1]",
    "Left Outer Join MWPAT sub2 on  sub2.[Chart Number] = ",
    "cas.[Insured #2]",
    "Left Outer Join MWPAT sub3 on  sub3.[Chart Number] = ",
    "cas.[Insured #3]",
    "Left Outer Join MWINS ins1 on cas.[Insurance Carrier #1] = ",
    "ins1.[Code]",
    "Left Outer Join MWINS ins2 on cas.[Insurance Carrier #2] = ",
    "ins2.[Code]",
    "Left Outer Join MWINS ins3 on cas.[Insurance Carrier #3] = ",
    "ins3.[Code]",
    "where",
    " cas.[Chart Number] = pat.[Chart Number]",
    " and cas.[Case Number] in",
    "(Select",
    " Max([Case Number]) \"Case Number\"",
    "From MWCAS",
    "Group By [Chart Number])",
    "Order By pat.[Last Name]",
};

QStringList ToList(const char* const* lines, size_t count) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(count));
    for (size_t i = 0; i < count; ++i) list << QString::fromLatin1(lines[i]);
    return list;
}

}  // namespace

const QStringList& GuarantorLablesLines() {
    static const QStringList lines =
        ToList(kGuarantorLablesLines, std::size(kGuarantorLablesLines));
    return lines;
}

const QStringList& PatXTrnDateLines() {
    static const QStringList lines = ToList(kPatXTrnDateLines, std::size(kPatXTrnDateLines));
    return lines;
}

const QStringList& PatDemoLines() {
    static const QStringList lines = ToList(kPatDemoLines, std::size(kPatDemoLines));
    return lines;
}

const QStringList& PatInsDemoLines() {
    static const QStringList lines = ToList(kPatInsDemoLines, std::size(kPatInsDemoLines));
    return lines;
}

const QStringList& DemoExportv15Lines() {
    static const QStringList lines = ToList(kDemoExportv15Lines, std::size(kDemoExportv15Lines));
    return lines;
}

const QStringList& DemoExportv8Lines() {
    static const QStringList lines = ToList(kDemoExportv8Lines, std::size(kDemoExportv8Lines));
    return lines;
}

const QString& FixPostConversionICD10Line() {
    static const QString line = QStringLiteral(
        "Update mwdia set [code 3] = '' where [code 3 description] is null and [code 3] = [code "
        "2]");
    return line;
}

}  // namespace parvell
