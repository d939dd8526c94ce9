#pragma once
// Filling the process's text conventions (LocaleFormats) from the user's locale.
//
// The items come from three locale categories, each chosen as the C library chooses it:
// LC_NUMERIC (separators of numbers), LC_MONETARY (currency items) and LC_TIME (date and time
// patterns, separators, markers, names). A category whose locale is a United States English one
// ("en_US" with any code set or modifier) or the C library's default ("C", "POSIX", "C.UTF-8")
// takes the program's United States items, TLocaleFormats::UnitedStates(), rather than the C
// library's reading of them: the program's texts under those locales are fixed ("9:05:07 AM",
// "($1,234.50)"). Every other locale is read from the C library.

#include <string>
#include <string_view>
#include <vector>

#include "data/Formats.h"

namespace parvell {

enum class TLocaleCategory { Numeric, Monetary, Time };

// The locale name the C library uses for `category`: the first of LC_ALL, the category's own
// variable (LC_NUMERIC, LC_MONETARY, LC_TIME) and LANG that is set and not empty; "C" when none
// is.
std::string EffectiveLocaleName(TLocaleCategory category);

// True when `name` is a locale whose items are the program's United States items: "C", "POSIX",
// "C" with a code set ("C.UTF-8", "C.utf8"), and "en_US" alone or followed by a code set or a
// modifier ("en_US.UTF-8", "en_US.ISO-8859-1", "en_US@euro").
bool IsUnitedStatesLocaleName(std::string_view name);

struct TLocaleLoadResult {
    // The locale names the C library could not load, each once; their categories took the United
    // States items. Empty when every category was loaded.
    std::vector<std::string> Unloadable;
};

// Fills LocaleFormats from the user's locale, category by category as described above. A
// category never mixes sources: it is either all United States items or all the C library's
// (items the locale leaves empty keep the defaults of TLocaleFormats). Callers decide whether an
// unloadable locale is worth telling the user about.
TLocaleLoadResult LoadLocaleFormats();

}  // namespace parvell
