#pragma once
// The engine components every road of the program uses, created and configured in one place:
// the settings KdbSettings1, the connection KdbCPath and the query KdbTable1, with the fixed
// configuration the main window gives them. The window's actions and every command of the
// command-line tool take their components from here, so a statement gives the same texts on
// every road for the same data and locale.

#include <memory>
#include <string>
#include <vector>

#include "data/LocaleFormats.h"
#include "engine/KdbComponent.h"
#include "engine/kdbcnnct.h"
#include "engine/kdbset.h"
#include "engine/kdbtable.h"

namespace parvell {

// The login of the connection: the practice's user for this program.
inline constexpr const char* kEngineUsername = "user";
inline constexpr const char* kEnginePassword = "qzmvtrlk";
// The engine date format; the settings component carries it over to LocaleFormats, so every
// date reads MM/DD/yyyy.
inline constexpr const char* kEngineDateFormat = "MM/DD/CCYY";

struct TEngineLogin {
    std::string Username = kEngineUsername;
    std::string Password = kEnginePassword;
};

// Declared in this order so that destruction closes the query before its connection and the
// settings go last.
struct TEngineComponents {
    // Null when the process already had a settings component (one per program): the text
    // conventions are then already the program's and are not loaded again.
    std::unique_ptr<TKdbSettings> KdbSettings1;
    std::unique_ptr<TKdbConnection> KdbCPath;
    std::unique_ptr<TKdbQuery> KdbTable1;
    // What loading the text conventions found; empty when they were not loaded.
    TLocaleLoadResult Locale;
};

// Creates the components, owned by `owner`, in the window's order; first puts the process's
// LC_NUMERIC back to "C" for the engine's number conversions. When no settings component
// exists yet: LocaleFormats is filled from the user's locale, then KdbSettings1 gets the engine
// date format (imposing MM/DD/yyyy) and the server types [stKDB_REMOTE, stKDB_LOCAL]. KdbCPath:
// the same server types, no login prompt, `login`; not connected. KdbTable1: database name
// "KdbCPath", bound to KdbCPath, no SQL. Engine refusals leave as exceptions.
TEngineComponents CreateEngineComponents(TComponent* owner, const TEngineLogin& login = {});

// The preparation of every query action: disconnect, point the connection at `dataPath`, and
// give the query the lines, each ended by CR LF as the editor's lines are.
void PrepareQuery(TEngineComponents& components, const std::string& dataPath,
                  const std::vector<std::string>& sqlLines);
// Gives the query the lines (as PrepareQuery does) and leaves the connection as it is.
void SetQueryLines(TEngineComponents& components, const std::vector<std::string>& sqlLines);

// Whether the engine steps a query's records on a second thread while the program reads them
// (off at start). The command line turns it on to overlap the query with writing its file; the
// window keeps its one thread. With it on, an error the query meets after its first records
// reaches the program from the read that needs the record, not from opening the query.
void FillQueryCursorsInBackground(bool on);

}  // namespace parvell
