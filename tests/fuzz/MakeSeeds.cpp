// Writes the binary seed files of the table, index and page-file fuzz targets (corpus/dbf,
// corpus/cdx, corpus/index, corpus/pagefile) with the program's own writers, so the seeds are files
// the program itself makes. Run once when a seed is to change: fuzz-make-seeds <corpus folder>. The
// text seeds are written by hand.
#include <QGuiApplication>
#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "kce/dbf/Cdx.h"
#include "kce/dbf/Index.h"
#include "kce/dbf/Table.h"
#include "kce/dbf/Writer.h"
#include "report/VRPageFile.h"

namespace {

using kce::dbf::ColumnLayout;
using kce::dbf::Record;
using kce::dbf::StoredValue;
using kce::dbf::TableLayout;
using kce::dbf::Variant;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// The fuzz input of a table: its length, the table file, then the memo file (if any).
void TableSeed(const std::filesystem::path& out, const std::string& folder, const std::string& name,
               const TableLayout& layout, const std::vector<Record>& records,
               const char* memoExtension) {
    std::string path = folder + "/" + name + ".dbf";
    kce::dbf::CreateTable(path, layout, records);
    std::string table = ReadFile(path);
    std::string memo;
    if (memoExtension != nullptr) memo = ReadFile(folder + "/" + name + memoExtension);
    WriteFile(out / (name + ".bin"), Le32(static_cast<uint32_t>(table.size())) + table + memo);
}

// The same page file as an older writer made it, with a header of `header` bytes instead of 128:
// the header is cut short and every record's two file offsets move back by the difference.
std::string WithShorterHeader(const std::string& file, std::size_t header) {
    constexpr std::size_t kHeader = 128;
    const uint32_t shift = static_cast<uint32_t>(kHeader - header);
    std::string result = file.substr(0, header) + file.substr(kHeader);
    auto get = [&](std::size_t at) {
        uint32_t v = 0;
        std::memcpy(&v, result.data() + at, 4);
        return v;
    };
    auto put = [&](std::size_t at, uint32_t v) { std::memcpy(result.data() + at, &v, 4); };
    uint32_t pages = get(8);
    std::size_t at = header;
    while (pages-- > 0) {
        const uint32_t end = get(at + 4) - shift;
        put(at + 4, end);
        put(end - 4, get(end - 4) - shift);
        at = end;
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-make-seeds CORPUS-FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::filesystem::path corpus = argv[1];
    std::filesystem::create_directories(corpus / "dbf");
    std::filesystem::create_directories(corpus / "pagefile");
    std::filesystem::create_directories(corpus / "cdx");
    QTemporaryDir temp;
    const std::string folder = temp.path().toStdString();

    auto T = [](const char* s) { return StoredValue::Text(s); };
    auto I = [](int64_t v) { return StoredValue::Int(v); };
    auto R = [](double v) { return StoredValue::Real(v); };
    const StoredValue N = StoredValue::Null();

    TableLayout plain{Variant::DBase3,
                      kce::dbf::CodePage::Windows1252,
                      {ColumnLayout{"NAME", 'C', 12}, ColumnLayout{"AMOUNT", 'N', 8, 2},
                       ColumnLayout{"BORN", 'D'}, ColumnLayout{"ACTIVE", 'L'}}};
    TableSeed(corpus / "dbf", folder, "dbase3", plain,
              {{T("Smith"), R(12.5), T("1970-01-31"), I(1)}, {T("\xC3\xA9t\xC3\xA9"), N, N, I(0)}},
              nullptr);

    TableLayout memo3{Variant::DBase3,
                      kce::dbf::CodePage::Windows1252,
                      {ColumnLayout{"NAME", 'C', 6}, ColumnLayout{"NOTE", 'M'}}};
    TableSeed(corpus / "dbf", folder, "dbase3memo", memo3,
              {{T("a"), T("first note")}, {T("b"), N}, {T("c"), T("line one\r\nline two")}},
              ".dbt");

    TableLayout memo4{Variant::DBase4,
                      kce::dbf::CodePage::Windows1252,
                      {ColumnLayout{"ID", 'N', 4}, ColumnLayout{"NOTE", 'M'}}};
    TableSeed(corpus / "dbf", folder, "dbase4memo", memo4,
              {{I(1), T("memo of record one")}, {I(2), T("x")}}, ".dbt");

    TableLayout fox{
        Variant::FoxPro2,
        kce::dbf::CodePage::Oem437,
        {ColumnLayout{"NAME", 'C', 8}, ColumnLayout{"NOTE", 'M'}, ColumnLayout{"PIC", 'G'}}};
    TableSeed(corpus / "dbf", folder, "foxpro2", fox,
              {{T("fox"), T("text memo"), StoredValue::Blob("\x01\x02\x03")}}, ".fpt");

    TableLayout vfp{
        Variant::VisualFoxPro,
        kce::dbf::CodePage::Windows1252,
        {ColumnLayout{"ID", 'I', 0, 0, false, false, true}, ColumnLayout{"NAME", 'V', 10, 0, true},
         ColumnLayout{"PAID", 'Y'}, ColumnLayout{"AT", 'T', 0, 0, true}, ColumnLayout{"RATE", 'B'},
         ColumnLayout{"RAW", 'Q', 6, 0, true}, ColumnLayout{"NOTE", 'M', 0, 0, true}}};
    TableSeed(corpus / "dbf", folder, "vfp", vfp,
              {{N, T("short"), I(123456), T("2008-02-29 13:45:00.250"), R(0.5),
                StoredValue::Blob("ab"), T("vfp memo")},
               {N, N, I(0), N, R(0), N, N}},
              ".fpt");

    // A compound index for the index target's table (its columns and three records), one tag of
    // each kind.
    TableLayout indexed{
        Variant::VisualFoxPro,
        kce::dbf::CodePage::Windows1252,
        {ColumnLayout{"NAME", 'C', 12}, ColumnLayout{"AGE", 'N', 4}, ColumnLayout{"BAL", 'N', 9, 2},
         ColumnLayout{"BORN", 'D'}, ColumnLayout{"ACTIVE", 'L'}}};
    const std::string indexedPath = folder + "/indexed.dbf";
    kce::dbf::CreateTable(indexedPath, indexed,
                          {{T("Smith"), I(42), R(-12.5), T("1980-02-29"), I(1)},
                           {T("jones"), I(7), R(0), N, I(0)},
                           {T("O'Neil"), I(100), R(1234.56), T("2000-12-31"), I(1)}});
    {
        auto table = kce::dbf::Table::Open(indexedPath);
        std::vector<std::string> raw;
        auto cursor = table->Records();
        while (cursor.Next()) raw.emplace_back(cursor.RawRecord());
        struct TagLayout {
            const char* name;
            const char* key;
            const char* filter;
            bool unique, candidate, descending;
        };
        const TagLayout layouts[] = {
            {"NAME", "UPPER(NAME)", "", false, false, false},
            {"AGE", "AGE", "!DELETED()", false, false, true},
            {"BORN", "DTOS(BORN)+STR(BAL,9,2)", "ACTIVE .AND. AGE > 10", true, false, false},
            {"BAL", "BAL", "", false, true, false}};
        std::vector<kce::dbf::CdxTag> tags;
        for (const TagLayout& s : layouts) {
            kce::dbf::CdxTag tag;
            tag.name = s.name;
            tag.keyExpression = s.key;
            tag.forExpression = s.filter;
            tag.unique = s.unique;
            tag.candidate = s.candidate;
            tag.descending = s.descending;
            auto key = kce::dbf::Expression::Parse(s.key, table->Columns(), table->GetCodePage(),
                                                   indexedPath);
            tag.keyType = key.Type();
            tag.keyLength = kce::dbf::CdxKeyLength(key, table->GetHeader().recordLength);
            tag.entries = kce::dbf::CdxTagEntries(tag, raw, table->Columns(), table->GetCodePage(),
                                                  indexedPath);
            tags.push_back(std::move(tag));
        }
        WriteFile(corpus / "cdx" / "four-tags.cdx", kce::dbf::BuildCdx(tags));

        // The other formats for the index target: the first byte picks the format (modulo 4:
        // .idx, .ntx, .ndx, .mdx), then the file. Each single index holds the tag it can.
        struct IndexSeed {
            const char* name;
            char pick;
            kce::dbf::IndexFormat format;
            bool compact;
            std::vector<size_t> layouts;  // of `layouts` above
        };
        const IndexSeed seeds[] = {
            {"compact.idx", 0, kce::dbf::IndexFormat::Idx, true, {2}},
            {"foxbase.idx", 0, kce::dbf::IndexFormat::Idx, false, {1}},
            {"name.ntx", 1, kce::dbf::IndexFormat::Ntx, true, {0}},
            {"bal.ndx", 2, kce::dbf::IndexFormat::Ndx, true, {3}},
            {"three-tags.mdx", 3, kce::dbf::IndexFormat::Mdx, true, {0, 2, 3}},
        };
        std::filesystem::create_directories(corpus / "index");
        for (const IndexSeed& seed : seeds) {
            kce::dbf::IndexFile index;
            index.format = seed.format;
            index.compact = seed.compact;
            for (size_t i : seed.layouts) {
                kce::dbf::IndexTag tag = tags[i];
                tag.format = seed.format;
                tag.candidate = tag.descending = false;
                if (seed.format == kce::dbf::IndexFormat::Ndx) tag.forExpression.clear();
                if (seed.format == kce::dbf::IndexFormat::Ntx &&
                    tag.keyType == kce::dbf::ExprType::Numeric) {
                    tag.keyLength = 9;
                    tag.keyDecimals = 2;
                }
                tag.entries = kce::dbf::TagEntries(tag, raw, table->Columns(), table->GetCodePage(),
                                                   indexedPath);
                index.tags.push_back(std::move(tag));
            }
            WriteFile(corpus / "index" / seed.name,
                      std::string(1, seed.pick) + kce::dbf::BuildIndex(index, seed.name));
        }
    }

    // Page files: one of two small pages, as the preview saves it, and the same with the older
    // 124- and 96-byte headers.
    parvell::TVRPageStore store;
    for (int page = 1; page <= 2; ++page) {
        QPicture picture;
        QPainter painter(&picture);
        painter.drawText(10, 20, QString("Page %1").arg(page));
        painter.drawRect(5, 5, 50, 30);
        painter.end();
        QByteArray data(picture.data(), static_cast<qsizetype>(picture.size()));
        store.Append(data);
    }
    const QString pagePath = temp.filePath("two.vrp");
    parvell::SavePageFile(pagePath, store, 40000.5);
    std::string twoPages = ReadFile(pagePath.toStdString());
    WriteFile(corpus / "pagefile" / "two-pages.vrp", twoPages);
    WriteFile(corpus / "pagefile" / "two-pages-header124.vrp", WithShorterHeader(twoPages, 124));
    WriteFile(corpus / "pagefile" / "two-pages-header96.vrp", WithShorterHeader(twoPages, 96));
    return 0;
}
