// engine_bench [--patients N] [--path FOLDER]
//
// Times statement execution plus a walk over every record with KdbGetRecord (as the cursor dataset
// walks: GotoBOF, then Skip 1 / AtEOF / GetRecord) on a demo practice, for SELECT * FROM MWTRN
// and two built-in statements, next to the sqlite3 shell running an equivalent query on the same
// file with its output in CSV to /dev/null. Prints seconds, records per second and the ratio
// engine / shell (below 1: the engine is faster). The practice is made with parvell-demo in a
// temporary folder unless --path names an existing one.
//
// Then the same statements over the folder form of the practice (parvell-demo --dbf, in the
// subfolder "dbf"): the first run, which reads the table files into the connection's copies, and a
// second run on the same connection, next to the dictionary's time measured above (ratio folder /
// dictionary).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "kce/kce.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Query {
    const char* name;
    std::string engine;  // the engine's dialect
    std::string shell;   // SQLite's dialect, same result
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string DemographicsExport() {
    std::string s =
        "Select pat.[First Name] FirstName, Left(pat.[Middle Name], 1) MiddleInitial, pat.[Last "
        "Name] LastName,"
        " pat.[Date of Birth] DOB, Left(pat.[Sex], 1)  Gender, pat.[Social Security Number] SSN,"
        " pat.[Street 1] Address1, pat.[Street 2] Address2, pat.[City] City, pat.[State] State,"
        " pat.[Zip Code] Zip, cas.[Marital Status], cas.[Employment Status], pat.[Chart Number] "
        "ChartNo,"
        " pat.[Signature on File], pat.[Phone 1] HomePhone, pat.[Phone 2] WorkPhone, pat.[Phone 3] "
        "CellPhone,"
        " pat.[Email],";
    const char* order[] = {"Primary", "Secondary", "Tertiary"};
    const char* letter[] = {"a", "b", "c"};
    for (int k = 1; k <= 3; ++k) {
        std::string n = std::to_string(k);
        std::string sub = " sub" + n;
        s += " ins" + n + ".[Name] Insurance" + n + "Name, ins" + n + ".[Type] InsuranceType" +
             order[k - 1] + ",";
        s += " cas.[Group Number #" + n + "] GroupNumber" + order[k - 1] +
             ", cas.[Policy Number #" + n + "] InsuredID" + order[k - 1] + ",";
        if (k == 1) s += " cas.[Copayment Amount],";
        s += " cas.[Accept Assignment #" + n + "] AcceptAssignment" + n +
             ", cas.[Insured Relationship #" + n + "] SUB" + n + "_Relationship,";
        for (const char* column : {"Chart Number", "First Name"}) {
            s += sub + ".[" + column + "] SUB" + n + "_" + Replace(column, " ", "") + ",";
        }
        s += " Left(sub" + n + ".[Middle Name], 1) SUB" + n + "_MI,";
        for (const char* column : {"Last Name", "Date of Birth", "Sex", "Street 1", "Street 2",
                                   "City", "State", "Zip Code", "Phone 1"}) {
            s += sub + ".[" + column + "] SUB" + n + "_" + Replace(column, " ", "") + ",";
        }
        s += " cas.[Treatment_Authorization_63" + std::string(letter[k - 1]) + "] AuthorizationNo" +
             order[k - 1] + ",";
        if (k == 1) {
            s += " pat.[Contact Name] EmergencyContact, pat.[Contact Phone 1] "
                 "EmergencyContactPhone1,"
                 " pat.[Contact Phone 2] EmergencyContactPhone2,";
        }
    }
    s += " cas.[Last Visit Date] From MWPAT pat, MWCAS cas";
    for (int k = 1; k <= 3; ++k) {
        std::string n = std::to_string(k);
        s += " Left Outer Join MWPAT sub" + n + " on  sub" + n +
             ".[Chart Number] = cas.[Insured #" + n + "]";
    }
    for (int k = 1; k <= 3; ++k) {
        std::string n = std::to_string(k);
        s += " Left Outer Join MWINS ins" + n + " on cas.[Insurance Carrier #" + n + "] = ins" + n +
             ".[Code]";
    }
    s += " where cas.[Chart Number] = pat.[Chart Number] and cas.[Case Number] in (Select "
         "Max([Case Number])"
         " \"Case Number\" From MWCAS Group By [Chart Number]) Order By pat.[Last Name]";
    return s;
}

std::vector<Query> Queries() {
    std::string guarantors =
        "Select Distinct cas.\"Guarantor\", Trim(\"First Name\") +' '+ Trim( \"Last Name\") Name, "
        "\"Street 1\","
        " \"Street 2\", Upper( Trim(\"City\") +', '+ Trim(\"State\") +' '+ Trim(\"Zip Code\")) "
        "CityLine"
        " From MWTRN trn, MWCAS cas, MWPAT pat Where cas.\"Case Number\" = trn.\"Case Number\""
        " and pat.\"Chart Number\" = cas.\"Guarantor\" and trn.\"Transaction Type\" = 'A'"
        " and trn.\"Date From\" >= '01/01/2008' Order By \"Last Name\"";
    std::string guarantorsShell =
        "SELECT DISTINCT cas.\"Guarantor\", trim(\"First Name\")||' '||trim(\"Last Name\") AS "
        "Name, \"Street 1\","
        " \"Street 2\", upper(trim(\"City\")||', '||trim(\"State\")||' '||trim(\"Zip Code\")) AS "
        "CityLine"
        " FROM MWTRN trn, MWCAS cas, MWPAT pat WHERE cas.\"Case Number\" = trn.\"Case Number\""
        " AND pat.\"Chart Number\" = cas.\"Guarantor\" AND trn.\"Transaction Type\" = 'A'"
        " AND trn.\"Date From\" >= '2008-01-01' ORDER BY \"Last Name\"";
    std::string demographics = DemographicsExport();
    std::string demographicsShell =
        Replace(Replace(Replace(Replace(demographics, "[", "\""), "]", "\""), "Left(", "substr("),
                ", 1)", ", 1, 1)");
    return {{"SELECT * FROM MWTRN", "SELECT * FROM MWTRN", "SELECT * FROM MWTRN"},
            {"1 Guarantors by Transaction Date", guarantors, guarantorsShell},
            {"5 Demographics Export v15", demographics, demographicsShell}};
}

std::string LastError() {
    uint32_t code = 0;
    char text[1000];
    uint16_t len = sizeof text;
    KdbGetLastError(&code, text, &len);
    return std::to_string(code) + " " + text;
}

// Executes and walks every record; returns the record count, or -1 on an engine error.
long RunEngine(uint32_t connection, const std::string& sql) {
    uint32_t statement = 0;
    uint32_t cursor = 0;
    if (KdbCreateSQLStatement(connection, &statement) != 0 ||
        KdbExecuteSQLDirect(statement, sql.c_str(), &cursor) != 0) {
        std::fprintf(stderr, "engine: %s\n", LastError().c_str());
        return -1;
    }
    uint32_t length = 0;
    KdbGetRecordLength(cursor, &length);
    std::vector<uint8_t> buffer(length + 64);
    long records = 0;
    uint16_t eof = 0;
    KdbGotoBOF(cursor);
    while (KdbSkip(cursor, 1) == 0 && KdbAtEOF(cursor, &eof) == 0 && !eof) {
        uint32_t size = static_cast<uint32_t>(buffer.size());
        if (KdbGetRecord(cursor, buffer.data(), &size) != 0) return -1;
        ++records;
    }
    KdbCloseTable(cursor);
    KdbCloseSQLStatement(statement);
    return records;
}

std::string ShellQuote(const std::string& text) {
    return "'" + Replace(text, "'", "'\\''") + "'";
}

}  // namespace

int main(int argc, char** argv) {
    int patients = 100000;
    std::string folder;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string arg = argv[i];
        if (arg == "--patients") patients = std::atoi(argv[i + 1]);
        if (arg == "--path") folder = argv[i + 1];
    }
    bool temporary = folder.empty();
    if (temporary)
        folder = (std::filesystem::temp_directory_path() / "parvell-engine-bench").string();
    std::string file = folder + "/mwddf.kdd";
    if (temporary || !std::filesystem::exists(file)) {
        std::filesystem::remove_all(folder);
        auto start = Clock::now();
        std::string command = std::string(PARVELL_DEMO_BIN) + " " + ShellQuote(folder) +
                              " --patients " + std::to_string(patients) + " --seed 1 > /dev/null";
        if (std::system(command.c_str()) != 0) return 1;
        std::printf("demo practice of %d patients written in %.2f s\n", patients, Seconds(start));
    }
    uint32_t connection = 0;
    if (KdbConnect60(file.c_str(), 3, "user", "qzmvtrlk", 0, &connection) != 0) {
        std::fprintf(stderr, "connect: %s\n", LastError().c_str());
        return 1;
    }
    std::printf("%-34s %9s %9s %11s %9s %7s\n", "query", "records", "engine s", "records/s",
                "sqlite3 s", "ratio");
    for (const Query& q : Queries()) {
        // One untimed pass each, so both read a warm file cache.
        RunEngine(connection, q.engine);
        auto start = Clock::now();
        long records = RunEngine(connection, q.engine);
        double engine = Seconds(start);
        std::string command =
            "sqlite3 -csv " + ShellQuote(file) + " " + ShellQuote(q.shell) + " > /dev/null";
        start = Clock::now();
        int rc = std::system(command.c_str());
        double shell = Seconds(start);
        std::printf("%-34s %9ld %9.3f %11.0f %9.3f %7.2f%s\n", q.name, records, engine,
                    records / engine, shell, engine / shell, rc == 0 ? "" : "  (shell failed)");
    }
    std::vector<double> dictionaryTimes;
    for (const Query& q : Queries()) {
        auto start = Clock::now();
        RunEngine(connection, q.engine);
        dictionaryTimes.push_back(Seconds(start));
    }
    KdbDisconnect(connection);

    std::string tables = folder + "/dbf";
    if (!std::filesystem::exists(tables + "/MWTRN.dbf")) {
        std::filesystem::remove_all(tables);
        auto start = Clock::now();
        std::string command = std::string(PARVELL_DEMO_BIN) + " " + ShellQuote(tables) +
                              " --patients " + std::to_string(patients) +
                              " --seed 1 --dbf > /dev/null";
        if (std::system(command.c_str()) != 0) return 1;
        std::printf("folder form written in %.2f s\n", Seconds(start));
    }
    if (KdbConnect60(tables.c_str(), 3, "", "", 0, &connection) != 0) {
        std::fprintf(stderr, "connect: %s\n", LastError().c_str());
        return 1;
    }
    std::printf("\n%-34s %9s %11s %9s %12s %7s\n", "query over the folder", "records",
                "first run s", "again s", "dictionary s", "ratio");
    const std::vector<Query> queries = Queries();
    for (size_t i = 0; i < queries.size(); ++i) {
        auto start = Clock::now();
        RunEngine(connection, queries[i].engine);
        double first = Seconds(start);
        start = Clock::now();
        long records = RunEngine(connection, queries[i].engine);
        double again = Seconds(start);
        std::printf("%-34s %9ld %11.3f %9.3f %12.3f %7.2f\n", queries[i].name, records, first,
                    again, dictionaryTimes[i], again / dictionaryTimes[i]);
    }
    KdbDisconnect(connection);
    if (temporary) std::filesystem::remove_all(folder);
    return 0;
}
