// The demo practice generator: deterministic output, and the seven built-in statements run on it.
#include <cstdlib>
#include <sstream>

#include "tests/kce/KceSupport.h"

namespace {

using namespace kcetest;
using Rows = std::vector<std::vector<std::string>>;

void Generate(const std::string& path, int patients, int seed) {
    std::string command = std::string(PARVELL_DEMO_BIN) + " '" + path + "' --patients " +
                          std::to_string(patients) + " --seed " + std::to_string(seed) +
                          " --today 2024-06-14 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

uint32_t ConnectDemo(const std::string& folder) {
    uint32_t connection = 0;
    std::string path = folder + "/mwddf.kdd";
    EXPECT_EQ(KdbConnect60(path.c_str(), 3, "user", "qzmvtrlk", 0, &connection), 0u) << LastError();
    return connection;
}

const char* const kText1 =
    "Select Distinct\n cas.\"Guarantor\",\n Trim(\"First Name\") +' '+ Trim( \"Last Name\") "
    "Name,\n \"Street 1\",\n"
    " \"Street 2\",\n Upper( Trim(\"City\") +', '+ Trim(\"State\") +' '+ Trim(\"Zip Code\")) "
    "CityLine\n"
    "From MWTRN trn, MWCAS cas, MWPAT pat\nWhere\n cas.\"Case Number\" = trn.\"Case Number\"\n"
    " and pat.\"Chart Number\" = cas.\"Guarantor\"\n and trn.\"Transaction Type\" = 'A'\n"
    " and trn.\"Date From\" >= '01/01/2008'\nOrder By \"Last Name\"";

const char* const kText2 =
    "Select Distinct\n pat.\"Chart Number\",\n \"Last Name\",\n \"First Name\",\n \"Street 1\",\n "
    "\"Street 2\",\n"
    " \"City\",\n \"State\",\n \"Zip Code\",\n \"Phone 1\" Home,\n \"Date of Birth\"\nFrom MWPAT "
    "pat, MWTRN trn\n"
    "Where pat.\"Chart Number\" = trn.\"Chart Number\"\n and trn.\"Transaction Type\" = 'A'\n"
    " and trn.\"Date From\" = CurDate()";

const char* const kText3 =
    "Select \n Trim(\"First Name\") + ' ' + Trim(\"Last Name\") Name,\n \"Street 1\",\n \"Street "
    "2\",\n"
    " Trim(\"City\") + ' ' + Trim(\"State\") + ' ' + Trim(\"Zip Code\") CityLine,\n \"Phone 1\",\n "
    "\"Email\"\n"
    "From MWPAT\nWhere\n \"Date Created\" > '01/01/1980'";

const char* const kText4 =
    "Select\n pat.\"Chart Number\" ACCT_KEY,\n pat.\"Last Name\" LNAME,\n pat.\"First Name\" "
    "FNAME,\n"
    " /*Left(pat.\"Middle Name\", 1) MI,*/\n pat.\"Street 1\" ADDR1, \n /*pat.\"Street 2\",*/\n "
    "pat.\"City\" CITY,\n"
    " pat.\"State\" STATE,\n pat.\"Zip Code\" ZIP,\n Left(pat.\"Sex\", 1) SEX,\n pat.\"Date of "
    "Birth\" DOB,\n"
    " /*ins1.\"Code\" CODE,*/\n sub.\"Last Name\" SUB_LNAME,\n sub.\"First Name\" SUB_FNAME,\n"
    " /*Left(sub.\"Middle Name\", 1) SUB_MI,*/\n sub.\"Street 2\" SUB_ADDR1,\n sub.\"City\" "
    "SUB_CITY,\n"
    " sub.\"State\" SUB_STATE,\n sub.\"Zip Code\" SUB_ZIP,\n cas.\"Policy Number #1\" INSID1,\n"
    " cas.\"Group Number #1\" PRMGRP,\n \n ins1.\"Code\" INSCODE,\n ins1.\"Name\" INSNAME,\n"
    " ins1.\"Street 1\" INSADDR,\n /*ins1.\"Street 2\" INS1STREET2,*/\n ins1.\"City\" INSCITY,\n"
    " ins1.\"State\" INSSTATE,\n ins1.\"Zip Code\" INSZIP\nFrom MWCAS cas, MWPAT pat, MWPAT sub, "
    "MWINS ins1\nwhere\n"
    " cas.\"Chart Number\" = pat.\"Chart Number\"\n and cas.\"Insurance Carrier #1\" = "
    "ins1.\"Code\"\n"
    " and sub.\"Chart Number\" = cas.\"Insured #1\"\n and cas.\"Case Number\" in\n(Select\n"
    " Max(\"Case Number\") \"Case Number\"\nFrom MWCAS\nGroup By \"Chart Number\")\nOrder By "
    "pat.\"Last Name\"";

// Text 5 with the insurance blocks written out by a loop; text 6 differs in the middle-name and
// authorization lines.
std::string DemographicsExport(bool v8) {
    std::ostringstream s;
    s << "Select\n pat.[First Name] FirstName,\n"
      << (v8 ? " pat.[Middle Initial],\n" : " Left(pat.[Middle Name], 1) MiddleInitial,\n")
      << " pat.[Last Name] LastName,\n pat.[Date of Birth] DOB,\n Left(pat.[Sex], 1)  Gender,\n"
         " pat.[Social Security Number] SSN,\n pat.[Street 1] Address1, \n pat.[Street 2] "
         "Address2,\n"
         " pat.[City] City,\n pat.[State] State,\n pat.[Zip Code] Zip,\n cas.[Marital Status],\n"
         " cas.[Employment Status],\n pat.[Chart Number] ChartNo,\n pat.[Signature on File],\n"
         " pat.[Phone 1] HomePhone,\n pat.[Phone 2] WorkPhone,\n pat.[Phone 3] CellPhone,\n "
         "pat.[Email],\n";
    const char* order[] = {"Primary", "Secondary", "Tertiary"};
    const char* letter[] = {"a", "b", "c"};
    for (int k = 1; k <= 3; ++k) {
        std::string n = std::to_string(k);
        std::string sub = "sub" + n;
        std::string typeAlias =
            v8 ? "Insurance" + n + "Type" : std::string("InsuranceType") + order[k - 1];
        if (k > 1) s << "\n";
        s << " ins" << n << ".[Name] Insurance" << n << "Name,\n ins" << n << ".[Type] "
          << typeAlias << ",\n"
          << " cas.[Group Number #" << n << "] GroupNumber" << order[k - 1] << ",\n"
          << " cas.[Policy Number #" << n << "] InsuredID" << order[k - 1] << ",\n";
        if (k == 1) s << " cas.[Copayment Amount], \n";
        s << " cas.[Accept Assignment #" << n << "] AcceptAssignment" << n << ",\n"
          << " cas.[Insured Relationship #" << n << "] SUB" << n << "_Relationship,\n"
          << " " << sub << ".[Chart Number] SUB" << n << "_ChartNo,\n"
          << " " << sub << ".[First Name] SUB" << n << "_FirstName,\n"
          << (v8 ? " " + sub + ".[Middle Initial] SUB" + n + "_MI,\n"
                 : " Left(" + sub + ".[Middle Name], 1) SUB" + n + "_MI,\n")
          << " " << sub << ".[Last Name] SUB" << n << "_LastName,\n"
          << " " << sub << ".[Date of Birth] SUB" << n << "_DOB,\n"
          << " " << sub << ".[Sex] SUB" << n << "_Gender,\n"
          << " " << sub << ".[Street 1] SUB" << n << "_Address1,\n"
          << " " << sub << ".[Street 2] SUB" << n << "_Address2,\n"
          << " " << sub << ".[City] SUB" << n << "_City,\n"
          << " " << sub << ".[State] SUB" << n << "_State,\n"
          << " " << sub << ".[Zip Code] SUB" << n << "_Zip,\n"
          << " " << sub << ".[Phone 1] SUB" << n << "_HomePhone,\n";
        if (!v8)
            s << " cas.[Treatment_Authorization_63" << letter[k - 1] << "] AuthorizationNo"
              << order[k - 1] << ",\n";
        if (k == 1) {
            s << " pat.[Contact Name] EmergencyContact,\n pat.[Contact Phone 1] "
                 "EmergencyContactPhone1,\n"
                 " pat.[Contact Phone 2] EmergencyContactPhone2,\n";
        }
    }
    s << " cas.[Last Visit Date]\n\nFrom MWPAT pat, MWCAS cas\n";
    for (int k = 1; k <= 3; ++k) {
        s << "Left Outer Join MWPAT sub" << k << " on  sub" << k
          << ".[Chart Number] = \ncas.[Insured #" << k << "]\n";
    }
    for (int k = 1; k <= 3; ++k) {
        s << "Left Outer Join MWINS ins" << k << " on cas.[Insurance Carrier #" << k << "] = \nins"
          << k << ".[Code]\n";
    }
    s << "where\n cas.[Chart Number] = pat.[Chart Number]\n and cas.[Case Number] in\n(Select\n"
         " Max([Case Number]) \"Case Number\"\nFrom MWCAS\nGroup By [Chart Number])\nOrder By "
         "pat.[Last Name]";
    return s.str();
}

TEST(DemoPracticeTest, SameSeedGivesSameDataAndAnotherSeedOther) {
    TempDir dir;
    Generate(dir.File("a"), 40, 5);
    Generate(dir.File("b"), 40, 5);
    Generate(dir.File("c"), 40, 6);
    uint32_t a = ConnectDemo(dir.File("a"));
    uint32_t b = ConnectDemo(dir.File("b"));
    uint32_t c = ConnectDemo(dir.File("c"));
    for (const char* table : {"MWPAT", "MWCAS", "MWINS", "MWTRN", "mwdia"}) {
        std::string sql = std::string("SELECT * FROM ") + table;
        Rows rowsA = Query(a, sql);
        EXPECT_FALSE(rowsA.empty()) << table;
        EXPECT_EQ(rowsA, Query(b, sql)) << table;
        if (std::string(table) != "MWINS") {
            EXPECT_NE(rowsA, Query(c, sql)) << table;
        }
    }
    Rows counts = Query(a, "SELECT count(*) FROM MWTRN");
    int transactions = std::stoi(counts.at(0).at(0));
    EXPECT_GT(transactions, 40 * 5);
    EXPECT_LT(transactions, 40 * 20);
    KdbDisconnect(a);
    KdbDisconnect(b);
    KdbDisconnect(c);
    // An existing practice is not overwritten.
    std::string again = std::string(PARVELL_DEMO_BIN) + " '" + dir.File("a") + "' > /dev/null 2>&1";
    EXPECT_NE(std::system(again.c_str()), 0);
}

TEST(DemoPracticeTest, BuiltInStatementsReturnRows) {
    TempDir dir;
    // The generator puts some transactions on its "today", which CurDate() must match.
    std::string command = std::string(PARVELL_DEMO_BIN) + " '" + dir.File("p") +
                          "' --patients 300 --seed 3 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    uint32_t connection = ConnectDemo(dir.File("p"));
    ASSERT_EQ(KdbSetDateFormat("MM/DD/CCYY"), 0u);
    const std::string statements[] = {
        kText1, kText2, kText3, kText4, DemographicsExport(false), DemographicsExport(true)};
    const char* names[] = {"Name", "Home", "CityLine", "ACCT_KEY", "FirstName", "FirstName"};
    for (size_t i = 0; i < std::size(statements); ++i) {
        uint32_t cursor = RunSql(connection, statements[i]);
        ASSERT_NE(cursor, 0u) << "text " << i + 1;
        uint32_t count = 0;
        EXPECT_EQ(KdbGetRecordCount(cursor, 2, &count), 0u);
        EXPECT_GT(count, 0u) << "text " << i + 1;
        char name[129];
        uint16_t len = sizeof name;
        bool found = false;
        uint16_t fields = 0;
        KdbGetNumFields(cursor, &fields);
        for (uint16_t f = 1; f <= fields && !found; ++f) {
            len = sizeof name;
            KdbGetFieldName(cursor, f, name, &len);
            found = std::string(name) == names[i];
        }
        EXPECT_TRUE(found) << "text " << i + 1 << " lacks " << names[i];
        KdbCloseTable(cursor);
    }
    EXPECT_GT(Changed(connection,
                      "Update mwdia set [code 3] = '' where [code 3 description] is null and [code "
                      "3] = [code 2]"),
              0u);
    KdbDisconnect(connection);
}

}  // namespace
