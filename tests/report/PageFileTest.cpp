// Page files: saved and loaded back unchanged, the older header lengths, and damaged files
// refused with a message instead of a crash.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <random>

#include "common/Exceptions.h"
#include "report/VRPageFile.h"
#include "tests/report/ReportTestSupport.h"

namespace parvell::testing {
namespace {

void PutU32(QByteArray& bytes, qsizetype at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Pages of a real 31-label preview run (two pages).
std::vector<QByteArray> LabelPages() {
    static const std::vector<QByteArray> pages = [] {
        MemoryDataSet data;
        FillLabels(data, NumberedLabels(31));
        TLabelReport labels(&data);
        Quiet(labels.VellRep1);
        labels.VellRep1.Preview();
        const TVRPageStore& store = labels.VellRep1.PreviewOutput()->Pages();
        std::vector<QByteArray> result;
        for (int i = 1; i <= store.Count(); ++i) result.push_back(store.Page(i));
        return result;
    }();
    return pages;
}

// A page file built by hand with the given header length.
QByteArray BuildFile(const std::vector<QByteArray>& pages, int headerSize) {
    QByteArray file(headerSize, '\0');
    file[0] = 3;
    file[2] = 40;
    PutU32(file, 8, static_cast<uint32_t>(pages.size()));
    for (size_t i = 0; i < pages.size(); ++i) {
        const auto start = static_cast<uint32_t>(file.size());
        QByteArray record(8, '\0');
        PutU32(record, 0, static_cast<uint32_t>(i + 1));
        PutU32(record, 4, static_cast<uint32_t>(start + 12 + pages[i].size()));
        record.append(pages[i]);
        record.append(QByteArray(4, '\0'));
        PutU32(record, record.size() - 4, start);
        file.append(record);
    }
    return file;
}

class PageFiles : public ::testing::Test {
protected:
    QString Write(const QByteArray& bytes, const QString& name = QStringLiteral("pages.VRP")) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    static std::vector<QByteArray> PagesOf(const TVRPageStore& store) {
        std::vector<QByteArray> pages;
        for (int i = 1; i <= store.Count(); ++i) pages.push_back(store.Page(i));
        return pages;
    }
    QTemporaryDir dir;
};

TEST_F(PageFiles, SavedPagesLoadBackIdenticalAndTheFileIsTheStoreUnchanged) {
    TVRPageStore store;
    for (const QByteArray& page : LabelPages()) store.Append(page);
    const QString path = dir.filePath("labels.VRP");
    SavePageFile(path, store, 45000.5);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(bytes.left(4), QByteArray("\x03\x00\x28\x00", 4));
    EXPECT_EQ(bytes[8], 2);
    double writtenAt = 0;
    std::memcpy(&writtenAt, bytes.constData() + 16, sizeof writtenAt);
    EXPECT_DOUBLE_EQ(writtenAt, 45000.5);
    EXPECT_EQ(bytes[25], 0);
    EXPECT_EQ(bytes.mid(128), BuildFile(LabelPages(), 128).mid(128));

    const auto loaded = LoadPageFile(path);
    EXPECT_EQ(PagesOf(*loaded), LabelPages());
}

TEST_F(PageFiles, ShorterHeadersAreRecognisedByThePictureSignature) {
    for (const int header : {124, 96, 128}) {
        const auto loaded = LoadPageFile(Write(BuildFile(LabelPages(), header)));
        EXPECT_EQ(PagesOf(*loaded), LabelPages()) << header;
    }
}

TEST_F(PageFiles, ALoadedStoreRespectsItsMemoryLimit) {
    const auto loaded = LoadPageFile(Write(BuildFile(LabelPages(), 128)), 100);
    EXPECT_TRUE(loaded->InFile());
    EXPECT_LE(loaded->MemoryBytes(), 100);
    EXPECT_EQ(PagesOf(*loaded), LabelPages());
}

struct Damage {
    const char* name;
    std::function<void(QByteArray&)> apply;
    const char* reason;
};

class DamagedPageFile : public PageFiles, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedPageFile, IsRefusedWithAMessage) {
    QByteArray bytes = BuildFile(LabelPages(), 128);
    GetParam().apply(bytes);
    const QString path = Write(bytes);
    try {
        LoadPageFile(path);
        ADD_FAILURE() << "loaded";
    } catch (const Exception& e) {
        EXPECT_NE(e.Message().find("Cannot load the report " + path.toStdString()),
                  std::string::npos);
        EXPECT_NE(e.Message().find(GetParam().reason), std::string::npos) << e.Message();
    }
}

qsizetype SecondRecord() {
    return 128 + 12 + LabelPages()[0].size();
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamagedPageFile,
    ::testing::Values(
        Damage{"ShorterThanTheHeader", [](QByteArray& b) { b.truncate(60); },
               "shorter than its header"},
        Damage{"TruncatedInTheLastPage", [](QByteArray& b) { b.truncate(b.size() - 10); },
               "outside the file"},
        Damage{"TruncatedBetweenPages", [](QByteArray& b) { b.truncate(SecondRecord() + 4); },
               "beyond the end"},
        Damage{"WrongFormatNumber", [](QByteArray& b) { b[0] = 4; }, "format number is 4"},
        Damage{"CountBeyondTheEnd", [](QByteArray& b) { PutU32(b, 8, 0x7FFFFFFF); },
               "more than the file holds"},
        Damage{"NegativeCount", [](QByteArray& b) { PutU32(b, 8, 0xFFFFFFFF); },
               "more than the file holds"},
        Damage{"ThirdPageCounted", [](QByteArray& b) { PutU32(b, 8, 3); }, "page 3 of 3"},
        Damage{"EndOffsetPastTheFile", [](QByteArray& b) { PutU32(b, 132, 0x40000000); },
               "outside the file"},
        Damage{"EndOffsetInsideTheRecordHead", [](QByteArray& b) { PutU32(b, 132, 130); },
               "outside the file"},
        Damage{"StartOffsetDoesNotPointBack",
               [](QByteArray& b) { PutU32(b, SecondRecord() - 4, 7); }, "point back"},
        Damage{"PageNumbersOutOfSequence", [](QByteArray& b) { PutU32(b, SecondRecord(), 5); },
               "page 2 was expected"},
        Damage{"NotAPicture", [](QByteArray& b) { b[136] = 'X'; }, "page 1 is not a picture"},
        Damage{"PictureDamagedInside", [](QByteArray& b) { b[136 + 40] ^= 0x55; },
               "page 1 is not a picture"},
        Damage{"Compressed", [](QByteArray& b) { b[25] = 1; }, "compressed"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PageFiles, MissingFileIsRefused) {
    EXPECT_THROW(LoadPageFile(dir.filePath("none.VRP")), Exception);
}

// Random damage: every outcome is a loaded store or a program exception, never a crash.
TEST_F(PageFiles, RandomDamageNeverCrashesTheLoader) {
    const QByteArray good = BuildFile(LabelPages(), 128);
    std::mt19937 random(20240611);
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray bytes = good;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const auto at = static_cast<qsizetype>(random() % static_cast<uint32_t>(bytes.size()));
            switch (random() % 3) {
                case 0:
                    bytes[at] = static_cast<char>(random());
                    break;
                case 1:
                    bytes.truncate(at);
                    break;
                default:
                    PutU32(bytes, std::min(at, bytes.size() - 4), static_cast<uint32_t>(random()));
                    break;
            }
            if (bytes.size() < 8) break;
        }
        const QString path = Write(bytes, QStringLiteral("fuzz.VRP"));
        try {
            const auto store = LoadPageFile(path);
            for (int i = 1; i <= store->Count(); ++i) store->Page(i);
        } catch (const Exception&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 300);
}

}  // namespace
}  // namespace parvell::testing
