#include "report/VRPageFile.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QPicture>
#include <QSaveFile>
#include <cstring>

#include "common/Exceptions.h"
#include "common/Text.h"

namespace parvell {

namespace {

constexpr uint16_t kFormatNumber = 3;
constexpr int64_t kRecordOverhead = 12;
constexpr char kPictureMagic[] = "QPIC";

uint32_t GetU32(const QByteArray& bytes, qsizetype at) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    }
    return value;
}

uint16_t GetU16(const QByteArray& bytes, qsizetype at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                                 (static_cast<uint8_t>(bytes[at + 1]) << 8));
}

void PutU32(char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

class PageFileReader {
public:
    explicit PageFileReader(const QString& path) : path_(path), file_(path) {}

    std::unique_ptr<TVRPageStore> Read(int64_t memoryLimit) {
        if (!file_.open(QIODevice::ReadOnly)) Fail("it cannot be opened");
        size_ = file_.size();
        const int64_t headerSize = HeaderSize();
        if (size_ < headerSize) Fail("it is shorter than its header");
        const QByteArray header = ReadAt(0, headerSize);
        const uint16_t format = GetU16(header, 0);
        if (format != kFormatNumber) {
            Fail(FormatMessage("its format number is %d, not 3", {static_cast<int>(format)}));
        }
        const int32_t count = static_cast<int32_t>(GetU32(header, 8));
        if (header[25] != 0) Fail("its pages are compressed");
        if (count < 0 || count > (size_ - headerSize) / kRecordOverhead) {
            Fail(FormatMessage("it counts %d pages, more than the file holds", {count}));
        }

        auto store = std::make_unique<TVRPageStore>(memoryLimit);
        int64_t start = headerSize;
        for (int32_t page = 1; page <= count; ++page) {
            if (start + kRecordOverhead > size_) {
                Fail(FormatMessage("page %d of %d lies beyond the end of the file", {page, count}));
            }
            const QByteArray head = ReadAt(start, 8);
            const uint32_t number = GetU32(head, 0);
            const int64_t end = GetU32(head, 4);
            if (number != static_cast<uint32_t>(page)) {
                Fail(FormatMessage(
                    "the record at offset %d holds page %d where page %d was expected",
                    {static_cast<long long>(start), static_cast<long long>(number), page}));
            }
            if (end < start + kRecordOverhead || end > size_) {
                Fail(FormatMessage("page %d ends at offset %d, outside the file",
                                   {page, static_cast<long long>(end)}));
            }
            const QByteArray data = ReadAt(start + 8, end - start - kRecordOverhead);
            const uint32_t back = GetU32(ReadAt(end - 4, 4), 0);
            if (back != static_cast<uint64_t>(start)) {
                Fail(FormatMessage("page %d does not point back to its start at offset %d",
                                   {page, static_cast<long long>(start)}));
            }
            if (!IsPicture(data)) Fail(FormatMessage("page %d is not a picture", {page}));
            store->Append(data);
            start = end;
        }
        return store;
    }

private:
    [[noreturn]] void Fail(const std::string& reason) const {
        throw Exception(
            FormatMessage("Cannot load the report %s: %s", {path_.toStdString(), reason}));
    }

    QByteArray ReadAt(int64_t offset, int64_t length) {
        QByteArray bytes;
        if (file_.seek(offset)) bytes = file_.read(length);
        if (bytes.size() != length) Fail("it cannot be read");
        return bytes;
    }

    // 124 or 96 when the first page's picture signature sits where those headers would put it.
    int64_t HeaderSize() {
        for (const int64_t candidate : {int64_t{124}, int64_t{96}}) {
            const int64_t at = candidate + 8;
            if (size_ < at + 4) continue;
            QByteArray magic;
            if (file_.seek(at)) magic = file_.read(4);
            if (magic == kPictureMagic) return candidate;
        }
        return kPageFileHeaderSize;
    }

    static bool IsPicture(const QByteArray& data) {
        if (!data.startsWith(kPictureMagic)) return false;
        QByteArray copy = data;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        QPicture picture;
        return picture.load(&buffer);
    }

    QString path_;
    QFile file_;
    int64_t size_ = 0;
};

}  // namespace

void SavePageFile(const QString& path, const TVRPageStore& store, double writtenAt) {
    QByteArray header(static_cast<qsizetype>(kPageFileHeaderSize), '\0');
    header[0] = static_cast<char>(kFormatNumber);
    header[2] = 40;
    PutU32(header.data() + 8, static_cast<uint32_t>(store.Count()));
    std::memcpy(header.data() + 16, &writtenAt, sizeof writtenAt);
    header[25] = 0;

    QSaveFile file(path);
    const auto fail = [&path] {
        throw Exception(FormatMessage("Cannot save the report %s", {path.toStdString()}));
    };
    if (!file.open(QIODevice::WriteOnly) || file.write(header) != header.size()) fail();
    store.WriteRecords(file);
    if (!file.commit()) fail();
}

std::unique_ptr<TVRPageStore> LoadPageFile(const QString& path, int64_t memoryLimit) {
    return PageFileReader(path).Read(memoryLimit);
}

double LocalNowAsDays() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate epoch(1899, 12, 30);
    const double days = static_cast<double>(epoch.daysTo(now.date()));
    return days + static_cast<double>(now.time().msecsSinceStartOfDay()) / 86400000.0;
}

}  // namespace parvell
