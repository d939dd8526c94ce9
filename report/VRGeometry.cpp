#include "report/VRGeometry.h"

#include <array>
#include <cfenv>
#include <cmath>

namespace parvell {

namespace {

struct PaperRow {
    std::string_view name;
    double widthMm;
    double lengthMm;
};

constexpr double kIn = 25.4;

// Standard sizes in code order (code = index + 1), portrait width and length in millimetres.
// The transverse sizes are listed as they feed: width and length exchanged.
constexpr std::array<PaperRow, kStandardPaperCount> kPapers = {{
    {"Letter", 215.9, 279.4},
    {"LetterSmall", 215.9, 279.4},
    {"Tabloid", 279.4, 431.8},
    {"Ledger", 431.8, 279.4},
    {"Legal", 215.9, 355.6},
    {"Statement", 139.7, 215.9},
    {"Executive", 184.15, 266.7},
    {"A3", 297, 420},
    {"A4", 210, 297},
    {"A4Small", 210, 297},
    {"A5", 148, 210},
    {"B4", 250, 354},
    {"B5", 182, 257},
    {"Folio", 215.9, 330.2},
    {"Quarto", 215, 275},
    {"10x14", 10 * kIn, 14 * kIn},
    {"11x17", 11 * kIn, 17 * kIn},
    {"Note", 215.9, 279.4},
    {"Env9", 3.875 * kIn, 8.875 * kIn},
    {"Env10", 4.125 * kIn, 9.5 * kIn},
    {"Env11", 4.5 * kIn, 10.375 * kIn},
    {"Env12", 4.75 * kIn, 11 * kIn},
    {"Env14", 5 * kIn, 11.5 * kIn},
    {"CSheet", 17 * kIn, 22 * kIn},
    {"DSheet", 22 * kIn, 34 * kIn},
    {"ESheet", 34 * kIn, 44 * kIn},
    {"EnvDL", 110, 220},
    {"EnvC5", 162, 229},
    {"EnvC3", 324, 458},
    {"EnvC4", 229, 324},
    {"EnvC6", 114, 162},
    {"EnvC65", 114, 229},
    {"EnvB4", 250, 353},
    {"EnvB5", 176, 250},
    {"EnvB6", 176, 125},
    {"EnvItaly", 110, 230},
    {"EnvMonarch", 3.875 * kIn, 7.5 * kIn},
    {"EnvPersonal", 3.625 * kIn, 6.5 * kIn},
    {"FanfoldUS", 14.875 * kIn, 11 * kIn},
    {"FanfoldStdGerman", 8.5 * kIn, 12 * kIn},
    {"FanfoldLglGerman", 8.5 * kIn, 13 * kIn},
    {"ISO_B4", 250, 353},
    {"JapanesePostcard", 100, 148},
    {"9x11", 9 * kIn, 11 * kIn},
    {"10x11", 10 * kIn, 11 * kIn},
    {"15x11", 15 * kIn, 11 * kIn},
    {"EnvInvite", 220, 220},
    {"Reserved48", 0, 0},
    {"Reserved49", 0, 0},
    {"LetterExtra", 9.5 * kIn, 12 * kIn},
    {"LegalExtra", 9.5 * kIn, 15 * kIn},
    {"TabloidExtra", 296.926, 457.2},
    {"A4Extra", 235.458, 322.326},
    {"LetterTrans", 279.4, 215.9},
    {"A4Trans", 297, 210},
    {"LetterExtraTrans", 12 * kIn, 9.5 * kIn},
    {"APlus", 227, 356},
    {"BPlus", 305, 487},
    {"LetterPlus", 215.9, 322.326},
    {"A4Plus", 210, 330},
    {"A5Trans", 210, 148},
    {"B5Trans", 257, 182},
    {"A3Extra", 322, 445},
    {"A5Extra", 174, 235},
    {"B5Extra", 201, 276},
    {"A2", 420, 594},
    {"A3Trans", 420, 297},
    {"A3ExtraTrans", 445, 322},
}};

}  // namespace

int64_t RoundNative(double value) {
    // nearbyint rounds in the current mode, which the program never changes from to-nearest-even.
    return static_cast<int64_t>(std::nearbyint(value));
}

std::optional<TVRPaperDimensions> PaperDimensions(TVRPaperSize size) {
    const int code = static_cast<int>(size);
    if (code < 1 || code > kStandardPaperCount) return std::nullopt;
    const PaperRow& row = kPapers[static_cast<size_t>(code - 1)];
    if (row.widthMm <= 0) return std::nullopt;
    return TVRPaperDimensions{row.widthMm, row.lengthMm};
}

std::string_view PaperName(TVRPaperSize size) {
    const int code = static_cast<int>(size);
    if (code == 0) return "Default";
    if (size == TVRPaperSize::Custom) return "Custom";
    if (code < 1 || code > kStandardPaperCount) return "";
    return kPapers[static_cast<size_t>(code - 1)].name;
}

int PaperCode(TVRPaperSize size) {
    return size == TVRPaperSize::Custom ? kCustomPaperCode : static_cast<int>(size);
}

TVRPaperSize PaperFromCode(int code) {
    if (code == kCustomPaperCode) return TVRPaperSize::Custom;
    if (code < 1 || code > kStandardPaperCount) return TVRPaperSize::Default;
    return static_cast<TVRPaperSize>(code);
}

int BinCode(TVRBin bin) {
    static constexpr int kCodes[] = {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 14};
    return kCodes[static_cast<size_t>(bin)];
}

TVRBin BinFromCode(int code) {
    for (int i = 0; i <= static_cast<int>(TVRBin::Last); ++i) {
        if (BinCode(static_cast<TVRBin>(i)) == code && static_cast<TVRBin>(i) != TVRBin::First) {
            return static_cast<TVRBin>(i);
        }
    }
    return TVRBin::Auto;
}

}  // namespace parvell
