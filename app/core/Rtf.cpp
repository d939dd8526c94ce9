#include "app/core/Rtf.h"

#include <array>
#include <cstdint>
#include <vector>

#include "settings/CodePage.h"

namespace parvell {
namespace {

// The head of every document we write: Windows-1252, one font (the editor's), 8 point.
constexpr std::string_view kDocumentHead =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033"
    "{\\fonttbl{\\f0\\fnil\\fcharset0 MS Sans Serif;}}\r\n"
    "\\viewkind4\\uc1\\pard\\f0\\fs16 ";
constexpr std::string_view kParagraphEnd = "\\par\r\n";

// Longest control word and numeric parameter we accept; longer ones mean the data are not RTF.
constexpr size_t kMaxWordLength = 32;
constexpr size_t kMaxParameterDigits = 10;

// Destinations whose content is not document text. A group that starts with \* is skipped too,
// whatever its destination.
constexpr std::array<std::string_view, 52> kSkippedDestinations = {
    "annotation", "atnauthor",    "atnid",
    "author",     "bkmkend",      "bkmkstart",
    "colortbl",   "comment",      "company",
    "creatim",    "datastore",    "do",
    "docvar",     "doccomm",      "fldinst",
    "fonttbl",    "footer",       "footerf",
    "footerl",    "footerr",      "footnote",
    "ftncn",      "ftnsep",       "ftnsepc",
    "generator",  "header",       "headerf",
    "headerl",    "headerr",      "info",
    "keywords",   "latentstyles", "listoverridetable",
    "listtable",  "listtext",     "nonshppict",
    "object",     "objdata",      "operator",
    "pict",       "pn",           "pntext",
    "printim",    "revtbl",       "revtim",
    "rsidtbl",    "shp",          "stylesheet",
    "subject",    "themedata",    "title",
    "xmlnstbl",
};

bool IsSkippedDestination(std::string_view word) {
    for (std::string_view d : kSkippedDestinations) {
        if (d == word) return true;
    }
    return false;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Single characters that some control words stand for, in Windows-1252.
char SpecialCharacter(std::string_view word) {
    struct Entry {
        std::string_view word;
        char byte;
    };
    static constexpr Entry kEntries[] = {
        {"emdash", '\x97'},    {"endash", '\x96'},    {"lquote", '\x91'}, {"rquote", '\x92'},
        {"ldblquote", '\x93'}, {"rdblquote", '\x94'}, {"bullet", '\x95'}, {"emspace", ' '},
        {"enspace", ' '},      {"qmspace", ' '},
    };
    for (const Entry& e : kEntries) {
        if (e.word == word) return e.byte;
    }
    return '\0';
}

// The reader's state for one group: how many fallback characters follow a \uN, and whether the
// group's content is skipped.
struct GroupState {
    int unicodeSkip = 1;
    bool skip = false;
};

class Reader {
public:
    // utf8: the text comes out as UTF-8 and keeps every \uN character; else as Windows-1252.
    Reader(std::string_view data, bool utf8) : data_(data), utf8_(utf8) {
        out_.reserve(data.size() / 2);
    }

    std::optional<std::string> Run() {
        stack_.reserve(64);
        while (pos_ < data_.size()) {
            char c = data_[pos_++];
            switch (c) {
                case '{':
                    if (static_cast<int>(stack_.size()) >= kMaxRtfGroupDepth) return std::nullopt;
                    stack_.push_back(stack_.empty() ? GroupState{} : stack_.back());
                    fallback_ = 0;
                    break;
                case '}':
                    if (stack_.empty()) return std::nullopt;
                    stack_.pop_back();
                    fallback_ = 0;
                    // The document ends with its outer group; only blanks may follow it.
                    if (stack_.empty()) return OnlyBlanksFollow() ? Finish() : std::nullopt;
                    break;
                case '\\':
                    if (!ControlSequence()) return std::nullopt;
                    break;
                case '\r':
                case '\n':
                    break;
                default:
                    if (stack_.empty()) return std::nullopt;
                    if (static_cast<uint8_t>(c) < 0x20 && c != '\t') break;
                    Emit(c);
                    break;
            }
        }
        return std::nullopt;  // the outer group was not closed
    }

private:
    std::optional<std::string> Finish() {
        if (paragraphEnd_ == out_.size() && out_.size() >= 2) out_.resize(out_.size() - 2);
        return std::move(out_);
    }

    bool OnlyBlanksFollow() const {
        for (size_t i = pos_; i < data_.size(); ++i) {
            char c = data_[i];
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\0') return false;
        }
        return true;
    }

    bool Skipping() const { return stack_.back().skip; }

    // A character of text, unless it is skipped or stands in for a \uN character just written.
    void Emit(char c) {
        if (Skipping()) return;
        if (fallback_ > 0) {
            --fallback_;
            return;
        }
        if (utf8_) {
            store::AppendUtf8(out_, store::UnicodeFromCp1252(static_cast<uint8_t>(c)));
        } else {
            out_ += c;
        }
    }

    void Break(bool paragraph) {
        if (Skipping()) return;
        fallback_ = 0;
        out_ += "\r\n";
        if (paragraph) paragraphEnd_ = out_.size();
    }

    // Reads what follows a backslash; false when it is malformed.
    bool ControlSequence() {
        if (pos_ >= data_.size() || stack_.empty()) return false;
        char c = data_[pos_];
        if (!IsLetter(c)) {
            ++pos_;
            return ControlSymbol(c);
        }
        size_t start = pos_;
        while (pos_ < data_.size() && IsLetter(data_[pos_])) ++pos_;
        std::string_view word = data_.substr(start, pos_ - start);
        if (word.size() > kMaxWordLength) return false;
        bool hasParameter = false;
        int64_t parameter = 0;
        bool negative = pos_ < data_.size() && data_[pos_] == '-' && pos_ + 1 < data_.size() &&
                        IsDigit(data_[pos_ + 1]);
        if (negative) ++pos_;
        size_t digitsStart = pos_;
        while (pos_ < data_.size() && IsDigit(data_[pos_])) {
            parameter = parameter * 10 + (data_[pos_] - '0');
            ++pos_;
            if (pos_ - digitsStart > kMaxParameterDigits) return false;
        }
        hasParameter = pos_ > digitsStart;
        if (negative) parameter = -parameter;
        if (pos_ < data_.size() && data_[pos_] == ' ') ++pos_;  // the delimiter belongs to the word
        return ControlWord(word, hasParameter, parameter);
    }

    bool ControlWord(std::string_view word, bool hasParameter, int64_t parameter) {
        if (word == "bin") {
            // Binary data: `parameter` raw bytes that are never text.
            if (!hasParameter || parameter < 0 ||
                static_cast<uint64_t>(parameter) > data_.size() - pos_) {
                return false;
            }
            pos_ += static_cast<size_t>(parameter);
            return true;
        }
        if (Skipping()) return true;
        if (IsSkippedDestination(word)) {
            stack_.back().skip = true;
            return true;
        }
        if (word == "uc") {
            stack_.back().unicodeSkip =
                parameter < 0 ? 0 : static_cast<int>(std::min<int64_t>(parameter, 255));
            return true;
        }
        if (word == "u" && hasParameter) {
            Unicode(parameter);
            return true;
        }
        if (fallback_ > 0) {  // a control word in a fallback counts as one character
            --fallback_;
            return true;
        }
        if (word == "par" || word == "sect" || word == "page" || word == "row") {
            Break(true);
        } else if (word == "line") {
            Break(false);
        } else if (word == "tab" || word == "cell") {
            out_ += '\t';
        } else if (char special = SpecialCharacter(word); special != '\0') {
            out_ += special;
        }
        return true;
    }

    bool ControlSymbol(char c) {
        switch (c) {
            case '\'': {
                if (pos_ + 2 > data_.size()) return false;
                int high = HexValue(data_[pos_]);
                int low = HexValue(data_[pos_ + 1]);
                if (high < 0 || low < 0) return false;
                pos_ += 2;
                Emit(static_cast<char>(high * 16 + low));
                return true;
            }
            case '*':
                stack_.back().skip = true;
                return true;
            case '\\':
            case '{':
            case '}':
                Emit(c);
                return true;
            case '~':
                Emit('\xA0');
                return true;
            case '_':
                Emit('-');
                return true;
            case '\r':
            case '\n':
                if (!Skipping()) {
                    if (fallback_ > 0) {
                        --fallback_;
                    } else {
                        Break(true);
                    }
                }
                return true;
            default:  // \- (optional hyphen), \| and \: give no text
                if (!Skipping() && fallback_ > 0) --fallback_;
                return true;
        }
    }

    void Unicode(int64_t parameter) {
        fallback_ = 0;
        if (parameter < 0) parameter += 65536;
        const char32_t high = highSurrogate_;
        highSurrogate_ = 0;
        if (parameter >= 0xDC00 && parameter <= 0xDFFF) {
            // The second half of a surrogate pair: its character was written with the first half
            // (a "?" in Windows-1252), or is written now.
            if (utf8_) {
                store::AppendUtf8(
                    out_,
                    high != 0 ? 0x10000 + ((high - 0xD800) << 10) + (parameter - 0xDC00) : U'?');
            }
        } else if (parameter >= 0xD800 && parameter <= 0xDBFF) {
            if (utf8_) {
                highSurrogate_ = static_cast<char32_t>(parameter);
            } else {
                out_ += '?';
            }
        } else if (parameter < 0 || parameter > 0xFFFF) {
            out_ += '?';
        } else if (utf8_) {
            store::AppendUtf8(out_, static_cast<char32_t>(parameter));
        } else {
            out_ += store::Cp1252FromUnicode(static_cast<char32_t>(parameter));
        }
        fallback_ = stack_.back().unicodeSkip;
    }

    std::string_view data_;
    bool utf8_;
    size_t pos_ = 0;
    std::vector<GroupState> stack_;
    std::string out_;
    char32_t highSurrogate_ = 0;  // the first half of a surrogate pair, awaiting its second
    int fallback_ = 0;            // fallback characters of the last \uN still to be skipped
    size_t paragraphEnd_ = std::string::npos;  // out_'s size just after the last \par
};

void AppendEscaped(std::string& out, char c) {
    static constexpr char kHex[] = "0123456789abcdef";
    auto byte = static_cast<uint8_t>(c);
    if (c == '\\' || c == '{' || c == '}') {
        out += '\\';
        out += c;
    } else if (c == '\t') {
        out += "\\tab ";
    } else if (byte < 0x20 || byte >= 0x7F) {
        out += "\\'";
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    } else {
        out += c;
    }
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The code point that starts at text[i] (well-formed UTF-8 expected; a stray byte is taken as
// U+FFFD), and i moved past it.
char32_t NextCodePoint(std::string_view text, size_t& i) {
    const auto lead = static_cast<uint8_t>(text[i++]);
    if (lead < 0x80) return lead;
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0) return 0xFFFD;
    char32_t c = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if (i >= text.size() || (static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) return 0xFFFD;
        c = (c << 6) | (static_cast<uint8_t>(text[i++]) & 0x3F);
    }
    return c;
}

std::string NormalizeLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string TextToRtf(std::string_view text) {
    std::string out(kDocumentHead);
    out.reserve(kDocumentHead.size() + text.size() + text.size() / 8 + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += kParagraphEnd;
        } else {
            AppendEscaped(out, c);
        }
    }
    out += kParagraphEnd;
    out += "}\r\n";
    return out;
}

std::optional<std::string> RtfToText(std::string_view data) {
    if (!StartsWith(data, "{\\rtf")) return std::nullopt;
    return Reader(data, false).Run();
}

std::optional<std::string> RtfToUtf8Text(std::string_view data) {
    if (!StartsWith(data, "{\\rtf")) return std::nullopt;
    return Reader(data, true).Run();
}

std::string Utf8TextToRtf(std::string_view text) {
    std::string out(kDocumentHead);
    out.reserve(kDocumentHead.size() + text.size() + text.size() / 8 + 16);
    size_t i = 0;
    while (i < text.size()) {
        const char32_t c = NextCodePoint(text, i);
        if (c == U'\r' || c == U'\n') {
            if (c == U'\r' && i < text.size() && text[i] == '\n') ++i;
            out += kParagraphEnd;
            continue;
        }
        const char byte = store::Cp1252FromUnicode(c);
        if (store::UnicodeFromCp1252(static_cast<uint8_t>(byte)) == c) {
            AppendEscaped(out, byte);
            continue;
        }
        // Outside the code page: \uN in UTF-16 units (signed, as RTF numbers are), each with a
        // "?" for readers that do not know \u (the document's \uc1).
        auto unit = [&out](char32_t u) {
            out += "\\u";
            out += std::to_string(static_cast<int16_t>(static_cast<uint16_t>(u)));
            out += '?';
        };
        if (c > 0xFFFF) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    out += kParagraphEnd;
    out += "}\r\n";
    return out;
}

std::string PlainFileText(std::string_view fileBytes) {
    if (StartsWith(fileBytes, "\xFF\xFE")) {
        std::string utf8 = store::Utf8FromUtf16Le(
            reinterpret_cast<const uint8_t*>(fileBytes.data()) + 2, fileBytes.size() - 2);
        return NormalizeLineEnds(store::Cp1252FromUtf8(utf8));
    }
    if (StartsWith(fileBytes, "\xEF\xBB\xBF")) {
        return NormalizeLineEnds(store::Cp1252FromUtf8(fileBytes.substr(3)));
    }
    bool ascii = true;
    for (char c : fileBytes) {
        if (static_cast<uint8_t>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (!ascii && store::IsValidUtf8(fileBytes)) {
        return NormalizeLineEnds(store::Cp1252FromUtf8(fileBytes));
    }
    return NormalizeLineEnds(fileBytes);
}

std::string SqlFileText(std::string_view fileBytes) {
    if (std::optional<std::string> text = RtfToText(fileBytes)) return std::move(*text);
    return PlainFileText(fileBytes);
}

}  // namespace parvell
