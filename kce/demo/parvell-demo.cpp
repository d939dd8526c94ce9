// parvell-demo PATH [--patients N] [--seed S] [--today YYYY-MM-DD] [--force] [--dbf]
//
// Writes a demo practice into the folder PATH: the data dictionary PATH/mwddf.kdd with the tables
// MWPAT (patients), MWCAS (cases), MWINS (insurance carriers), MWTRN (transactions) and mwdia
// (diagnosis codes), holding synthetic but believable data: about 2 cases and 10 transactions per
// patient, transaction dates over the two decades up to --today (default: the current date; some
// transactions fall on that day). The same patient count, seed and day give the same file
// contents. Users: "admin" and "user", both with the password "qzmvtrlk".
//
// With --dbf the same tables and data are written instead as a folder of Visual FoxPro tables
// (PATH/MWPAT.dbf and so on, Windows-1252, every column that may be null with a null flag) that
// belong to the database container PATH/mwddf.dbc, which holds their long column names. Connecting
// to PATH then reaches them through the same SQL, with the dictionary's types: the transaction's
// entry number is a numbered integer column, so an INSERT without it takes the next number in
// both forms.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "kce/Cp1252.h"
#include "kce/Database.h"
#include "kce/DateTime.h"
#include "kce/Error.h"
#include "kce/FolderNames.h"
#include "kce/dbf/Writer.h"

namespace {

using kce::sql::Column;
using kce::sql::Table;

constexpr const char* kPassword = "qzmvtrlk";

// A small deterministic generator (splitmix64), the same on every platform.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
    int Between(int low, int high) { return low + Below(high - low + 1); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(static_cast<int>(N))];
    }

private:
    uint64_t state_;
};

const char* const kFirstMale[] = {
    "James",  "John",     "Robert",  "Michael", "William", "David", "Richard", "Joseph",
    "Thomas", "Charles",  "Daniel",  "Matthew", "Anthony", "Mark",  "Donald",  "Steven",
    "Paul",   "Andrew",   "Joshua",  "Kenneth", "Kevin",   "Brian", "George",  "Edward",
    "Ronald", "Timothy",  "Jason",   "Jeffrey", "Ryan",    "Jacob", "Gary",    "Nicholas",
    "Eric",   "Jonathan", "Stephen", "Larry",   "Justin",  "Scott", "Brandon", "Frank"};
const char* const kFirstFemale[] = {
    "Mary",     "Patricia",  "Jennifer", "Linda",    "Elizabeth", "Barbara",  "Susan",    "Jessica",
    "Sarah",    "Karen",     "Nancy",    "Lisa",     "Betty",     "Margaret", "Sandra",   "Ashley",
    "Kimberly", "Emily",     "Donna",    "Michelle", "Dorothy",   "Carol",    "Amanda",   "Melissa",
    "Deborah",  "Stephanie", "Rebecca",  "Sharon",   "Laura",     "Cynthia",  "Kathleen", "Amy",
    "Shirley",  "Angela",    "Helen",    "Anna",     "Brenda",    "Pamela",   "Nicole",   "Renée"};
const char* const kLast[] = {
    "Smith",    "Johnson",   "Williams",   "Brown",     "Jones",    "Garcia",   "Miller",
    "Davis",    "Rodriguez", "Martinez",   "Hernandez", "Lopez",    "Gonzalez", "Wilson",
    "Anderson", "Thomas",    "Taylor",     "Moore",     "Jackson",  "Martin",   "Lee",
    "Perez",    "Thompson",  "White",      "Harris",    "Sanchez",  "Clark",    "Ramirez",
    "Lewis",    "Robinson",  "Walker",     "Young",     "Allen",    "King",     "Wright",
    "Scott",    "Torres",    "Nguyen",     "Hill",      "Flores",   "Green",    "Adams",
    "Nelson",   "Baker",     "Hall",       "Rivera",    "Campbell", "Mitchell", "Carter",
    "Roberts",  "Gomez",     "Phillips",   "Evans",     "Turner",   "Diaz",     "Parker",
    "Cruz",     "Edwards",   "Collins",    "Reyes",     "Stewart",  "Morris",   "Morales",
    "Murphy",   "Cook",      "Rogers",     "Gutierrez", "Ortiz",    "Morgan",   "Cooper",
    "Peterson", "Bailey",    "Reed",       "Kelly",     "Howard",   "O'Brien",  "Kim",
    "Cox",      "Ward",      "Richardson", "Peña"};
const char* const kStreets[] = {"Main St",      "Oak Ave",    "Maple Dr",        "Cedar Ln",
                                "Pine St",      "Elm St",     "Washington Blvd", "Lake Rd",
                                "Hillcrest Dr", "Park Ave",   "Sunset Blvd",     "Ridge Rd",
                                "Church St",    "River Rd",   "Highland Ave",    "Meadow Ln",
                                "Forest Dr",    "Willow Way", "Spring St",       "Jefferson St"};
struct Place {
    const char* city;
    const char* state;
    int zipBase;
    const char* area;
};
const Place kPlaces[] = {{"Springfield", "IL", 62701, "217"}, {"Columbus", "OH", 43004, "614"},
                         {"Austin", "TX", 73301, "512"},      {"Madison", "WI", 53703, "608"},
                         {"Raleigh", "NC", 27601, "919"},     {"Boise", "ID", 83702, "208"},
                         {"Albany", "NY", 12207, "518"},      {"Salem", "OR", 97301, "503"},
                         {"Richmond", "VA", 23219, "804"},    {"Tucson", "AZ", 85701, "520"},
                         {"Dayton", "OH", 45402, "937"},      {"Fresno", "CA", 93650, "559"}};
const char* const kCarrierWords[] = {"Blue",     "United",   "National", "Mutual",   "Liberty",
                                     "Pioneer",  "Heritage", "Summit",   "Keystone", "Pacific",
                                     "Atlantic", "Prairie",  "Golden",   "Evergreen"};
const char* const kCarrierKinds[] = {"Health", "Medical", "Life & Health", "Care", "Benefit"};
const char* const kInsuranceTypes[] = {"Commercial", "Medicare",     "Medicaid", "HMO",
                                       "PPO",        "Workers Comp", "Other"};
const char* const kMarital[] = {"Single", "Married", "Divorced", "Widowed", "Unknown"};
const char* const kEmployment[] = {"Employed", "Retired", "Student, Full-Time", "Unemployed",
                                   "Self-Employed"};
const char* const kRelations[] = {"Spouse", "Child", "Other"};
const char* const kTransactionTypes[] = {"A", "A", "B", "C", "D", "E", "F", "G", "H", "I"};
const char* const kProcedures[] = {"99213", "99214", "99203", "99204", "36415", "81002",
                                   "85025", "90471", "93000", "71045", "97110", "99395"};
struct Diagnosis {
    const char* code;
    const char* text;
};
const Diagnosis kDiagnoses[] = {{"I10", "Essential (primary) hypertension"},
                                {"E11.9", "Type 2 diabetes mellitus without complications"},
                                {"J06.9", "Acute upper respiratory infection, unspecified"},
                                {"M54.5", "Low back pain"},
                                {"E78.5", "Hyperlipidemia, unspecified"},
                                {"K21.9", "Gastro-esophageal reflux disease without esophagitis"},
                                {"F41.1", "Generalized anxiety disorder"},
                                {"J45.909", "Unspecified asthma, uncomplicated"},
                                {"N39.0", "Urinary tract infection, site not specified"},
                                {"Z00.00", "Encounter for general adult medical examination"},
                                {"R51", "Headache"},
                                {"M17.11", "Unilateral primary osteoarthritis, right knee"}};

Column Col(const char* name, uint16_t type, uint32_t length = 0, uint16_t decimals = 0,
           bool notNull = false) {
    return Column{name, type, length, decimals, notNull};
}

std::vector<Table> Schema() {
    using namespace kce::sql;
    std::vector<Table> tables;
    tables.push_back({"MWPAT",
                      {Col("Chart Number", kChar, 8, 0, true),
                       Col("Last Name", kChar, 25),
                       Col("First Name", kChar, 15),
                       Col("Middle Name", kChar, 15),
                       Col("Middle Initial", kChar, 1),
                       Col("Street 1", kChar, 30),
                       Col("Street 2", kChar, 30),
                       Col("City", kChar, 20),
                       Col("State", kChar, 2),
                       Col("Zip Code", kChar, 10),
                       Col("Phone 1", kChar, 14),
                       Col("Phone 2", kChar, 14),
                       Col("Phone 3", kChar, 14),
                       Col("Email", kVarChar, 60),
                       Col("Date of Birth", kDate),
                       Col("Sex", kChar, 6),
                       Col("Social Security Number", kChar, 11),
                       Col("Signature on File", kLogical),
                       Col("Contact Name", kChar, 40),
                       Col("Contact Phone 1", kChar, 14),
                       Col("Contact Phone 2", kChar, 14),
                       Col("Date Created", kDate)}});
    tables.push_back({"MWCAS",
                      {Col("Case Number", kInteger, 0, 0, true),
                       Col("Chart Number", kChar, 8, 0, true),
                       Col("Guarantor", kChar, 8),
                       Col("Marital Status", kChar, 10),
                       Col("Employment Status", kChar, 20),
                       Col("Copayment Amount", kMoney),
                       Col("Insurance Carrier #1", kChar, 5),
                       Col("Policy Number #1", kChar, 20),
                       Col("Group Number #1", kChar, 20),
                       Col("Accept Assignment #1", kLogical),
                       Col("Insured #1", kChar, 8),
                       Col("Insured Relationship #1", kChar, 10),
                       Col("Treatment_Authorization_63a", kChar, 15),
                       Col("Insurance Carrier #2", kChar, 5),
                       Col("Policy Number #2", kChar, 20),
                       Col("Group Number #2", kChar, 20),
                       Col("Accept Assignment #2", kLogical),
                       Col("Insured #2", kChar, 8),
                       Col("Insured Relationship #2", kChar, 10),
                       Col("Treatment_Authorization_63b", kChar, 15),
                       Col("Insurance Carrier #3", kChar, 5),
                       Col("Policy Number #3", kChar, 20),
                       Col("Group Number #3", kChar, 20),
                       Col("Accept Assignment #3", kLogical),
                       Col("Insured #3", kChar, 8),
                       Col("Insured Relationship #3", kChar, 10),
                       Col("Treatment_Authorization_63c", kChar, 15),
                       Col("Last Visit Date", kDate)}});
    tables.push_back(
        {"MWINS",
         {Col("Code", kChar, 5, 0, true), Col("Name", kChar, 40), Col("Street 1", kChar, 30),
          Col("Street 2", kChar, 30), Col("City", kChar, 20), Col("State", kChar, 2),
          Col("Zip Code", kChar, 10), Col("Type", kChar, 20)}});
    tables.push_back(
        {"MWTRN",
         {Col("Entry Number", kAutoInc, 0, 0, true), Col("Chart Number", kChar, 8),
          Col("Case Number", kInteger), Col("Transaction Type", kChar, 3), Col("Date From", kDate),
          Col("Date To", kDate), Col("Procedure Code", kChar, 10), Col("Units", kNumeric, 6, 1),
          Col("Amount", kMoney), Col("Diagnosis Code 1", kChar, 8),
          Col("Date Modified", kTimestamp)}});
    tables.push_back({"mwdia",
                      {Col("Case Number", kInteger), Col("Code 1", kChar, 8),
                       Col("Code 1 Description", kChar, 60), Col("Code 2", kChar, 8),
                       Col("Code 2 Description", kChar, 60), Col("Code 3", kChar, 8),
                       Col("Code 3 Description", kChar, 60)}});
    return tables;
}

// Inserts rows into one table with a prepared statement; values are bound in column order.
class Inserter {
public:
    Inserter(sqlite3* db, const Table& table) : db_(db) {
        std::string sql = "INSERT INTO \"" + table.name + "\" VALUES(";
        for (size_t i = 0; i < table.columns.size(); ++i) sql += i == 0 ? "?" : ", ?";
        sql += ")";
        Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr));
    }
    ~Inserter() { sqlite3_finalize(stmt_); }
    Inserter& Text(const std::string& value) {
        sqlite3_bind_text(stmt_, ++index_, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Inserter& Int(int64_t value) {
        sqlite3_bind_int64(stmt_, ++index_, value);
        return *this;
    }
    Inserter& Real(double value) {
        sqlite3_bind_double(stmt_, ++index_, value);
        return *this;
    }
    // A MONEY value: the count of ten-thousandths the engine stores.
    Inserter& Money(int64_t count) { return Int(count); }
    Inserter& Null() {
        sqlite3_bind_null(stmt_, ++index_);
        return *this;
    }
    Inserter& Date(int32_t julian) { return Text(kce::StoredDate(julian)); }
    void Row() {
        Check(sqlite3_step(stmt_) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db_));
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        index_ = 0;
    }

private:
    void Check(int rc) {
        if (rc != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db_));
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    int index_ = 0;
};

// Text of the generator's own tables (written in UTF-8 directly, as the storage holds it).
std::string Digits(Random& random, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += static_cast<char>('0' + random.Below(10));
    return out;
}

std::string Phone(Random& random, const Place& place) {
    return std::string("(") + place.area + ")" + Digits(random, 3) + "-" + Digits(random, 4);
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

struct Patient {
    std::string chart;
    std::string last;
    std::string first;
};

struct Options {
    std::string path;
    int patients = 1000;
    uint64_t seed = 1;
    int32_t today = 0;
    bool force = false;
    bool dbf = false;
};

int32_t Today() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return kce::JulianFromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

void Generate(const Options& options, const std::string& file) {
    ::mkdir(options.path.c_str(), 0755);
    if (options.force) ::unlink(file.c_str());
    auto database = kce::Database::CreateDictionary(file, kPassword, "Parvell demo practice");
    database->CreateUser("user", kPassword, "Demo practice user");
    std::vector<Table> tables = Schema();
    for (const auto& table : tables) database->CreateTable(table);
    sqlite3* db = database->Db();
    database->Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN");

    Random random(options.seed);
    const int32_t today = options.today;
    const int32_t firstDay = today - 20 * 365;

    // Carriers.
    int carrierCount = std::max(12, options.patients / 400);
    std::vector<std::string> carriers;
    {
        Inserter ins(db, tables[2]);
        for (int i = 0; i < carrierCount; ++i) {
            std::string code =
                std::string(1, static_cast<char>('A' + i % 26)) + std::to_string(1000 + i);
            code = code.substr(0, 5);
            carriers.push_back(code);
            const Place& place = random.Pick(kPlaces);
            ins.Text(code)
                .Text(std::string(random.Pick(kCarrierWords)) + " " + random.Pick(kCarrierKinds))
                .Text("PO Box " + std::to_string(random.Between(100, 99999)))
                .Text(random.Chance(30) ? "Claims Department" : "")
                .Text(place.city)
                .Text(place.state)
                .Text(std::to_string(place.zipBase + random.Below(40)))
                .Text(random.Pick(kInsuranceTypes))
                .Row();
        }
    }

    // Patients.
    std::vector<Patient> patients;
    patients.reserve(static_cast<size_t>(options.patients));
    {
        Inserter ins(db, tables[0]);
        for (int i = 0; i < options.patients; ++i) {
            bool female = random.Chance(52);
            std::string first = female ? random.Pick(kFirstFemale) : random.Pick(kFirstMale);
            std::string middle =
                random.Chance(70) ? (female ? random.Pick(kFirstFemale) : random.Pick(kFirstMale))
                                  : "";
            std::string last = random.Pick(kLast);
            std::string letters;
            for (char c : Upper(last)) {
                if (c >= 'A' && c <= 'Z' && letters.size() < 3) letters += c;
            }
            while (letters.size() < 3) letters += 'X';
            // Five decimal digits up to 99999 patients, then five base-36 digits.
            std::string number;
            if (i < 100000) {
                char digits[8];
                std::snprintf(digits, sizeof digits, "%05d", i);
                number = digits;
            } else {
                for (int v = i, k = 0; k < 5; ++k, v /= 36)
                    number.insert(number.begin(), "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[v % 36]);
            }
            std::string chart = letters + number;
            const Place& place = random.Pick(kPlaces);
            int32_t born = today - random.Between(1, 95 * 365);
            int32_t created = std::max(firstDay, born) +
                              random.Below(std::max(1, today - std::max(firstDay, born)));
            ins.Text(chart)
                .Text(last)
                .Text(first)
                .Text(middle)
                .Text(middle.substr(0, 1))
                .Text(std::to_string(random.Between(10, 9999)) + " " + random.Pick(kStreets))
                .Text(random.Chance(20) ? "Apt " + std::to_string(random.Between(1, 40)) : "")
                .Text(place.city)
                .Text(place.state)
                .Text(std::to_string(place.zipBase + random.Below(40)))
                .Text(Phone(random, place))
                .Text(random.Chance(40) ? Phone(random, place) : "")
                .Text(random.Chance(60) ? Phone(random, place) : "");
            if (random.Chance(65)) {
                ins.Text(Upper(first.substr(0, 1)) + last + std::to_string(random.Below(100)) +
                         "@example.com");
            } else {
                ins.Null();
            }
            ins.Date(born)
                .Text(female ? "Female" : "Male")
                .Text(Digits(random, 3) + "-" + Digits(random, 2) + "-" + Digits(random, 4))
                .Int(random.Chance(85) ? 1 : 0)
                .Text(random.Chance(60)
                          ? std::string(random.Pick(kFirstMale)) + " " + random.Pick(kLast)
                          : "")
                .Text(random.Chance(60) ? Phone(random, place) : "")
                .Text(random.Chance(20) ? Phone(random, place) : "")
                .Date(created)
                .Row();
            patients.push_back({chart, last, first});
        }
    }

    // Cases, their diagnoses and transactions.
    Inserter cases(db, tables[1]);
    Inserter transactions(db, tables[3]);
    Inserter diagnoses(db, tables[4]);
    int64_t caseNumber = 0;
    int64_t entry = 0;
    for (size_t p = 0; p < patients.size(); ++p) {
        const Patient& patient = patients[p];
        int caseCount = random.Between(1, 3);
        // The guarantor and insured of a dependant are another patient (a parent or spouse).
        const Patient& other =
            patients[static_cast<size_t>(random.Below(static_cast<int>(patients.size())))];
        bool dependant = random.Chance(25);
        for (int c = 0; c < caseCount; ++c) {
            ++caseNumber;
            int32_t opened = firstDay + random.Below(today - firstDay + 1);
            int insuranceCount = random.Chance(10)   ? 0
                                 : random.Chance(60) ? 1
                                 : random.Chance(70) ? 2
                                                     : 3;
            cases.Int(caseNumber)
                .Text(patient.chart)
                .Text(dependant ? other.chart : patient.chart)
                .Text(random.Pick(kMarital))
                .Text(random.Pick(kEmployment))
                .Money(random.Chance(70) ? random.Between(0, 12) * 50000 : 0);
            for (int k = 0; k < 3; ++k) {
                if (k < insuranceCount) {
                    bool self = !dependant || k > 0 || random.Chance(10);
                    cases.Text(carriers[static_cast<size_t>(random.Below(carrierCount))])
                        .Text(Upper(std::string(1, static_cast<char>('A' + random.Below(26)))) +
                              Digits(random, 9))
                        .Text(random.Chance(70) ? "G" + Digits(random, 6) : "")
                        .Int(random.Chance(90) ? 1 : 0)
                        .Text(self ? patient.chart : other.chart)
                        .Text(self ? "Self" : random.Pick(kRelations))
                        .Text(random.Chance(15) ? "AUTH" + Digits(random, 8) : "");
                } else {
                    cases.Text("").Text("").Text("").Int(0).Text("").Text("").Text("");
                }
            }
            int transactionCount = random.Between(2, 8);
            int32_t lastVisit = opened;
            for (int t = 0; t < transactionCount; ++t) {
                // A few transactions fall on the last day, so date-of-today queries find some.
                int32_t day = random.Chance(2)
                                  ? today
                                  : opened + random.Below(std::max(1, today - opened + 1));
                lastVisit = std::max(lastVisit, day);
                const char* type = random.Pick(kTransactionTypes);
                bool charge = type[0] <= 'B';
                // Amounts in cents, kept as MONEY keeps them: ten-thousandths.
                int64_t amount =
                    (charge ? random.Between(2000, 45000) : -random.Between(500, 30000)) *
                    int64_t{100};
                ++entry;
                transactions.Int(entry)
                    .Text(patient.chart)
                    .Int(caseNumber)
                    .Text(type)
                    .Date(day)
                    .Date(day + (random.Chance(10) ? random.Below(5) : 0))
                    .Text(charge ? random.Pick(kProcedures) : "")
                    .Real(charge ? random.Between(1, 40) / 10.0 : 0.0)
                    .Money(amount)
                    .Text(random.Pick(kDiagnoses).code)
                    .Text(kce::StoredDate(day) + " " +
                          kce::StoredTime(random.Below(kce::kMillisecondsPerDay)))
                    .Row();
            }
            cases.Date(lastVisit).Row();

            // Diagnoses: after a code conversion some cases hold code 2 again in code 3 without a
            // description, which the built-in fix statement clears.
            const Diagnosis& d1 = random.Pick(kDiagnoses);
            const Diagnosis& d2 = random.Pick(kDiagnoses);
            const Diagnosis& d3 = random.Pick(kDiagnoses);
            diagnoses.Int(caseNumber).Text(d1.code).Text(d1.text);
            if (random.Chance(60)) {
                diagnoses.Text(d2.code).Text(d2.text);
                if (random.Chance(15)) {
                    diagnoses.Text(d2.code).Null();
                } else if (random.Chance(40)) {
                    diagnoses.Text(d3.code).Text(d3.text);
                } else {
                    diagnoses.Text("").Null();
                }
            } else {
                diagnoses.Text("").Null().Text("").Null();
            }
            diagnoses.Row();
        }
    }
    // Key columns get SQLite indexes. Fixed-length text compares without trailing blanks in the
    // engine's SQL (collation RTRIM), so text keys get an RTRIM index beside the plain one that
    // other readers of the file use.
    database->Exec(
        "CREATE INDEX mwpat_chart ON MWPAT(\"Chart Number\");"
        "CREATE INDEX mwpat_chart_rtrim ON MWPAT(\"Chart Number\" COLLATE RTRIM);"
        "CREATE INDEX mwcas_case ON MWCAS(\"Case Number\");"
        "CREATE INDEX mwcas_chart ON MWCAS(\"Chart Number\");"
        "CREATE INDEX mwcas_chart_rtrim ON MWCAS(\"Chart Number\" COLLATE RTRIM);"
        "CREATE INDEX mwtrn_case ON MWTRN(\"Case Number\");"
        "CREATE INDEX mwins_code ON MWINS(\"Code\");"
        "CREATE INDEX mwins_code_rtrim ON MWINS(\"Code\" COLLATE RTRIM);"
        "COMMIT");
}

// The dBase-format column of an engine type.
kce::dbf::ColumnLayout DbfColumn(const Column& column, const std::string& shortName) {
    using namespace kce::sql;
    kce::dbf::ColumnLayout layout;
    layout.name = shortName;
    layout.length = column.length;
    layout.decimals = column.decimals;
    layout.nullable = !column.notNull;
    switch (column.type) {
        case kChar:
            layout.dbfType = 'C';
            break;
        case kVarChar:
            layout.dbfType = 'V';
            break;
        case kNumeric:
            layout.dbfType = 'N';
            break;
        case kDate:
            layout.dbfType = 'D';
            break;
        case kLogical:
            layout.dbfType = 'L';
            break;
        case kInteger:
            layout.dbfType = 'I';
            break;
        case kAutoInc:
            // Numbered by the table on insert, as the dictionary's AUTOINC column.
            layout.dbfType = 'I';
            layout.autoIncrement = true;
            layout.nullable = false;
            break;
        case kMoney:
            layout.dbfType = 'Y';
            break;
        case kTimestamp:
            layout.dbfType = 'T';
            break;
        case kDouble:
            layout.dbfType = 'B';
            break;
        case kMemo:
            layout.dbfType = 'M';
            break;
        default:
            throw std::runtime_error("column " + column.name + " has a type no table file holds");
    }
    return layout;
}

// Copies every table of the dictionary `source` into PATH as a Visual FoxPro table, in the stored
// representation both share, and lists their long column names in the container mwddf.dbc.
void WriteFolder(const Options& options, const std::string& source) {
    auto database = kce::Database::OpenDictionaryUnchecked(source);
    std::vector<kce::ContainerTable> container;
    for (const Table& table : Schema()) {
        std::string file = options.path + "/" + table.name + ".dbf";
        std::vector<std::string> longNames;
        for (const auto& column : table.columns) longNames.push_back(column.name);
        std::vector<std::string> shortNames = kce::ShortColumnNames(longNames);
        kce::dbf::TableLayout layout;
        layout.variant = kce::dbf::Variant::VisualFoxPro;
        for (size_t i = 0; i < table.columns.size(); ++i)
            layout.columns.push_back(DbfColumn(table.columns[i], shortNames[i]));
        if (options.force) {
            ::unlink(file.c_str());
            ::unlink((options.path + "/" + table.name + ".fpt").c_str());
        }
        kce::dbf::TableCreator creator(file, layout);
        sqlite3_stmt* stmt = nullptr;
        std::string sql = "SELECT * FROM \"" + table.name + "\" ORDER BY rowid";
        if (sqlite3_prepare_v2(database->Db(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(database->Db()));
        }
        kce::dbf::Record record(table.columns.size());
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int i = 0; i < static_cast<int>(record.size()); ++i) {
                switch (sqlite3_column_type(stmt, i)) {
                    case SQLITE_INTEGER:
                        record[size_t(i)] =
                            kce::dbf::StoredValue::Int(sqlite3_column_int64(stmt, i));
                        break;
                    case SQLITE_FLOAT:
                        record[size_t(i)] =
                            kce::dbf::StoredValue::Real(sqlite3_column_double(stmt, i));
                        break;
                    case SQLITE_NULL:
                        record[size_t(i)] = kce::dbf::StoredValue::Null();
                        break;
                    default:
                        record[size_t(i)] = kce::dbf::StoredValue::Text(std::string_view(
                            reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                            static_cast<size_t>(sqlite3_column_bytes(stmt, i))));
                }
            }
            creator.Add(record);
        }
        sqlite3_finalize(stmt);
        creator.Finish();
        container.push_back({file, table.name, longNames});
    }
    std::string containerFile = options.path + "/mwddf.dbc";
    if (options.force) ::unlink(containerFile.c_str());
    kce::WriteContainer(containerFile, container);
}

int Usage() {
    std::cerr << "usage: parvell-demo PATH [--patients N] [--seed S] [--today YYYY-MM-DD] "
                 "[--force] [--dbf]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    options.today = Today();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
            return argv[++i];
        };
        try {
            if (arg == "--patients") {
                options.patients = std::stoi(value());
            } else if (arg == "--seed") {
                options.seed = std::stoull(value());
            } else if (arg == "--today") {
                std::string day = value();
                auto julian = kce::ParseStoredDate(day.data(), day.size());
                if (!julian) throw std::invalid_argument("--today takes YYYY-MM-DD");
                options.today = *julian;
            } else if (arg == "--force") {
                options.force = true;
            } else if (arg == "--dbf") {
                options.dbf = true;
            } else if (!arg.empty() && arg[0] != '-' && options.path.empty()) {
                options.path = arg;
            } else {
                return Usage();
            }
        } catch (const std::exception& e) {
            std::cerr << "parvell-demo: " << e.what() << "\n";
            return Usage();
        }
    }
    if (options.path.empty() || options.patients < 1 || options.patients > 5000000) return Usage();
    // The folder form is made from a dictionary written first under a temporary name.
    const std::string file =
        options.path + (options.dbf ? "/.parvell-demo-source.kdd" : "/mwddf.kdd");
    try {
        if (options.dbf) ::unlink(file.c_str());
        Generate(options, file);
        if (options.dbf) {
            WriteFolder(options, file);
            ::unlink(file.c_str());
        }
    } catch (const std::exception& e) {
        if (options.dbf) ::unlink(file.c_str());
        std::cerr << "parvell-demo: " << e.what() << "\n";
        return 1;
    }
    std::cout << "Demo practice written to " << (options.dbf ? options.path : file) << "\n";
    return 0;
}
