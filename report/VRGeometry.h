#pragma once
// Lengths, rounding, paper sizes and output bins of the report engine. Every length of a report
// definition is a tenth of a millimetre (the "native" unit), held as a double; composition rounds
// to whole native units, halves going to the even neighbour.

#include <cstdint>
#include <optional>
#include <string_view>

namespace parvell {

// Round to nearest, ties to even: RoundNative(63.5) == 64, RoundNative(62.5) == 62.
int64_t RoundNative(double value);

// Native units per inch.
inline constexpr double kNativePerInch = 254.0;

// Paper sizes: Default, the 68 standard sizes in the order (and with the codes) of the usual
// printer-driver paper numbering, and Custom. The enumeration value of a standard size is the
// paper code handed to the printer driver; Custom is handed over as 256.
enum class TVRPaperSize : int {
    Default = 0,
    Letter,
    LetterSmall,
    Tabloid,
    Ledger,
    Legal,
    Statement,
    Executive,
    A3,
    A4,
    A4Small,
    A5,
    B4,
    B5,
    Folio,
    Quarto,
    Size10x14,
    Size11x17,
    Note,
    Env9,
    Env10,
    Env11,
    Env12,
    Env14,
    CSheet,
    DSheet,
    ESheet,
    EnvDL,
    EnvC5,
    EnvC3,
    EnvC4,
    EnvC6,
    EnvC65,
    EnvB4,
    EnvB5,
    EnvB6,
    EnvItaly,
    EnvMonarch,
    EnvPersonal,
    FanfoldUS,
    FanfoldStdGerman,
    FanfoldLglGerman,
    ISO_B4,
    JapanesePostcard,
    Size9x11,
    Size10x11,
    Size15x11,
    EnvInvite,
    Reserved48,
    Reserved49,
    LetterExtra,
    LegalExtra,
    TabloidExtra,
    A4Extra,
    LetterTrans,
    A4Trans,
    LetterExtraTrans,
    APlus,
    BPlus,
    LetterPlus,
    A4Plus,
    A5Trans,
    B5Trans,
    A3Extra,
    A5Extra,
    B5Extra,
    A2,
    A3Trans,
    A3ExtraTrans,
    Custom,
};

inline constexpr int kStandardPaperCount = 68;
inline constexpr int kCustomPaperCode = 256;

struct TVRPaperDimensions {
    double widthMm = 0;   // portrait
    double lengthMm = 0;  // portrait
};

// The table row of a standard size; nullopt for Default, Custom and the two reserved codes.
std::optional<TVRPaperDimensions> PaperDimensions(TVRPaperSize size);
std::string_view PaperName(TVRPaperSize size);
// The code given to a printer driver: the enumeration value, 256 for Custom, 0 for Default.
int PaperCode(TVRPaperSize size);
// A driver's paper code back to a size; Default when the code is not in the table.
TVRPaperSize PaperFromCode(int code);

enum class TVROrientation : uint8_t { poPortrait, poLandscape };

// Output bins and their driver bin codes.
enum class TVRBin : uint8_t {
    First,
    Upper,
    Lower,
    Middle,
    Manual,
    Envelope,
    EnvManual,
    Auto,
    Tractor,
    SmallFormat,
    LargeFormat,
    LargeCapacity,
    Cassette,
    Last,
};
int BinCode(TVRBin bin);
// The bin of a driver bin code (Upper for 1, Cassette for 14); Auto for a code of no bin.
TVRBin BinFromCode(int code);

}  // namespace parvell
