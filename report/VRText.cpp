#include "report/VRText.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <cmath>
#include <exception>
#include <mutex>

#include "data/DataSet.h"
#include "data/Field.h"
#include "data/Formats.h"
#include "data/TextCase.h"
#include "report/VRPrinter.h"

namespace parvell {

namespace {

QString ToQString(std::string_view text) {
    const std::u16string wide = AnsiToWide(text);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

void RegisterFontSubstitutions() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Nothing on a Linux desktop carries these names; Liberation Sans has Arial's metrics.
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"),
                                  QStringLiteral("Liberation Sans"));
        QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    });
}

// Integer multiply-divide, rounded to nearest.
int MulDiv(int value, int numerator, int denominator) {
    if (denominator == 0) return -1;
    return static_cast<int>(std::llround(static_cast<double>(value) * numerator / denominator));
}

bool IsDateType(TFieldType type) {
    return type == ftDate || type == ftTime || type == ftDateTime;
}

// The font DeviceFont made last, while an application object exists.
struct LastFont {
    TVRFont font;
    int pixelsPerInch = 0;
    QFont result;
};
LastFont* lastFont = nullptr;

std::mutex& LastFontLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

QFont DeviceFont(const TVRFont& font, int pixelsPerInch) {
    // Every text item asks for its font each time it prints: the last one made is handed out
    // again, which also keeps Qt's resolved font behind it instead of resolving it anew. It is
    // let go when the application object goes, before the fonts behind it do.
    std::lock_guard guard(LastFontLock());
    if (LastFont* last = lastFont;
        last && last->pixelsPerInch == pixelsPerInch && last->font.Name == font.Name &&
        last->font.Size == font.Size && last->font.Bold == font.Bold &&
        last->font.Italic == font.Italic && last->font.Underline == font.Underline) {
        return last->result;
    }
    RegisterFontSubstitutions();
    QFont result(ToQString(font.Name));
    result.setPixelSize(std::max(1, MulDiv(font.Size, pixelsPerInch, 72)));
    result.setBold(font.Bold);
    result.setItalic(font.Italic);
    result.setUnderline(font.Underline);
    // Widths add up character by character, as the line breaker assumes.
    result.setKerning(false);
    if (!lastFont) {
        lastFont = new LastFont;
        qAddPostRoutine([] {
            std::lock_guard guard(LastFontLock());
            delete lastFont;
            lastFont = nullptr;
        });
    }
    *lastFont = LastFont{font, pixelsPerInch, result};
    return result;
}

std::vector<std::string> FormatLines(std::string_view text, int widthPixels,
                                     const TTextMeasure& measure) {
    std::vector<std::string> lines;
    std::string clean;
    clean.reserve(text.size());
    for (const char c : text) {
        if (c != '\n') clean.push_back(c);
    }

    size_t partStart = 0;
    while (true) {
        const size_t partEnd = std::min(clean.find('\r', partStart), clean.size());
        const std::string_view part(clean.data() + partStart, partEnd - partStart);
        const size_t linesBefore = lines.size();
        std::string line;
        size_t wordStart = 0;
        // A part that fits as a whole is its own line: every shorter candidate line of the word
        // by word forming fits too (widths grow as text is appended), so it would end the same
        // after one measurement instead of one per word.
        if (!part.empty() && measure(part) <= widthPixels) {
            line.assign(part);
            wordStart = part.size();
        }
        while (wordStart < part.size()) {
            size_t wordEnd = part.find_first_of(" -", wordStart);
            wordEnd = wordEnd == std::string_view::npos ? part.size() : wordEnd + 1;
            const std::string_view word = part.substr(wordStart, wordEnd - wordStart);
            wordStart = wordEnd;

            std::string candidate = line;
            candidate.append(word);
            if (measure(candidate) <= widthPixels) {
                line = std::move(candidate);
                continue;
            }
            if (line.empty()) {
                // Keep the characters whose width stays strictly below the item's.
                std::string cut;
                for (const char c : word) {
                    cut.push_back(c);
                    if (measure(cut) >= widthPixels) {
                        cut.pop_back();
                        break;
                    }
                }
                lines.push_back(std::move(cut));
                continue;
            }
            lines.push_back(std::move(line));
            line.clear();
            if (measure(word) > widthPixels) {
                if (widthPixels <= 0) continue;
                std::string cut(word);
                while (!cut.empty() && measure(cut) > widthPixels) cut.pop_back();
                lines.push_back(std::move(cut));
            } else {
                line.assign(word);
            }
        }
        // The part's last line; an empty part is one empty line.
        if (!line.empty() || lines.size() == linesBefore) lines.push_back(std::move(line));
        if (partEnd >= clean.size()) break;
        partStart = partEnd + 1;
    }
    return lines;
}

TVRCustomLabel::TVRCustomLabel(std::string name) : name_(std::move(name)) {}

TVRCustomLabel::~TVRCustomLabel() = default;

void TVRCustomLabel::Prepare(TVRPrinter& output, int zoom) {
    output_ = &output;
    zoom_ = zoom;
    lines_.clear();
    nextLine_ = 0;
}

void TVRCustomLabel::Unprepare() {
    output_ = nullptr;
}

int TVRCustomLabel::PixelWidth() const {
    return static_cast<int>(
        RoundNative(Size.Native(3) * Size.ScreenPixelsPerInch() / kNativePerInch * zoom_ / 100));
}

void TVRCustomLabel::SetPrintText(std::string text) {
    printText_ = std::move(text);
}

void TVRCustomLabel::FormLines() {
    nextLine_ = 0;
    // Lines are formed the same way whatever the output: with the item's font on the screen, as
    // the text extent + 1, against the item's pixel width. Measuring on the printer instead gives
    // a font rounded at the printer's resolution (10 points is 167 pixels at 1200 pixels per inch,
    // 10.02 points, against 13 pixels, 9.75 points, on a 96 pixel-per-inch screen), and then a
    // text that fits the preview's line is cut on paper.
    const QFontMetrics metrics(DeviceFont(Font, Size.ScreenPixelsPerInch()));
    const int zoom = zoom_;
    const TTextMeasure measure = [&metrics, zoom](std::string_view text) {
        return MulDiv(metrics.horizontalAdvance(ToQString(text)) + 1, zoom, 100);
    };
    lines_ = FormatLines(printText_, PixelWidth(), measure);
}

void TVRCustomLabel::Print(double x0, double y0) {
    if (!Enabled || !output_) return;
    TVRPrinter& out = *output_;
    QPainter& painter = out.Canvas();
    const QFont font = DeviceFont(Font, out.DevicePixelsPerInchY());
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const double lineHeight = metrics.height() / out.YFactor();

    printText_ = TextForPrint();
    FormLines();

    const double left = x0 + Size.Native(1);
    const double top = y0 + Size.Native(2);
    const double height = Size.Native(0);
    const double width = Size.Native(3);
    if (!Transparent) {
        const QPoint topLeft(out.XPos(left), out.YPos(top));
        const QPoint bottomRight(out.XPos(left + width), out.YPos(top + height));
        painter.fillRect(
            QRect(topLeft, QSize(bottomRight.x() - topLeft.x(), bottomRight.y() - topLeft.y())),
            Color);
    }

    painter.setPen(Font.Color);
    painter.setBackgroundMode(Qt::TransparentMode);
    const int anchorX = Alignment == TVRTextAlignment::taRightJustify ? out.XPos(left + width)
                        : Alignment == TVRTextAlignment::taCenter     ? out.XPos(left + width / 2)
                                                                      : out.XPos(left);
    double y = top;
    while (nextLine_ < lines_.size() && top + height + 1 >= y + lineHeight) {
        const QString line = ToQString(lines_[nextLine_]);
        int x = anchorX;
        if (Alignment == TVRTextAlignment::taRightJustify) x -= metrics.horizontalAdvance(line);
        if (Alignment == TVRTextAlignment::taCenter) x -= metrics.horizontalAdvance(line) / 2;
        painter.drawText(QPoint(x, out.YPos(y) + metrics.ascent()), line);
        y += lineHeight;
        ++nextLine_;
    }
}

TVRLabel::TVRLabel(std::string name) : TVRCustomLabel(name), caption_(std::move(name)) {}

void TVRLabel::SetCaption(std::string caption) {
    caption_ = std::move(caption);
    SetPrintText(caption_);
    FormLines();
}

void TVRLabel::Prepare(TVRPrinter& output, int zoom) {
    TVRCustomLabel::Prepare(output, zoom);
    SetPrintText(caption_);
}

TVRDBText::TVRDBText(std::string name) : TVRCustomLabel(std::move(name)) {}

void TVRDBText::Prepare(TVRPrinter& output, int zoom) {
    TVRCustomLabel::Prepare(output, zoom);
    field_ = DataSet ? DataSet->TryFieldNamed(DataField) : nullptr;
}

void TVRDBText::Unprepare() {
    TVRCustomLabel::Unprepare();
    field_ = nullptr;
    SetPrintText(DataField);
}

std::string TVRDBText::TextForPrint() {
    if (!field_) return {};
    try {
        if (IsBlobType(field_->DataType())) return field_->ValueAsText();
        if (!Mask.empty() && IsDateType(field_->DataType())) {
            return DateTimeText(Mask, field_->ValueAsDateTime());
        }
        return field_->DisplayString();
    } catch (const std::exception&) {
        return {};  // a text that cannot be obtained prints as nothing
    }
}

}  // namespace parvell
