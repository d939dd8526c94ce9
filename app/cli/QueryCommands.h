#pragma once
// Shared by the query, extract, exec and labels commands of parvell-cli: their arguments and the
// engine components, made by the set-up the main window uses, so a statement runs the same way
// from either.

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "engine/EngineComponents.h"
#include "engine/KdbComponent.h"

namespace parvell::cli {

// The main window's connection KdbCPath, settings KdbSettings1 and query KdbTable1, made by the
// program's one set-up (engine/EngineComponents.h). Creating them sets the program's text
// conventions as the window's start does (the user's locale, then the engine's date format)
// unless a settings component exists; a locale the C library cannot load is told on `err` in
// one line (its categories take the United States items).
struct TStatementArgs;

class TQueryComponents {
public:
    TQueryComponents(const std::string& username, const std::string& password, std::ostream& err);
    // The same for a command's statement options, prepared with the statement's lines (read
    // before the components are made, so a file that cannot be read fails first).
    TQueryComponents(const TStatementArgs& statement, const std::vector<std::string>& sqlLines,
                     std::ostream& err);
    ~TQueryComponents();

    // The busy protocol's preparation: disconnect, set the data path, give the query its lines.
    void Prepare(const std::string& dataPath, const std::vector<std::string>& sqlLines);
    // Gives the query other lines on the connection as it is (no new login).
    void SetStatement(const std::vector<std::string>& sqlLines);

    TKdbConnection& Connection() { return *components_.KdbCPath; }
    TKdbQuery& Query() { return *components_.KdbTable1; }

private:
    TComponent form_;
    TEngineComponents components_;
};

// The statement options every query command takes.
struct TStatementArgs {
    std::string dataPath;  // Windows-1252, as the data-path box gives it
    std::string username = kEngineUsername;
    std::string password = kEnginePassword;
    std::optional<std::string> sqlFile;  // "-" for standard input
    int builtin = 0;                     // 1 to 7: the item of the "SQL Statements" menu
};

// Takes the connection options (--data, --user, --password) out of args[i] (and its value);
// false when args[i] is not one. Raises TUsageError for a missing value.
bool TakeConnectionArg(CommandArgs args, std::size_t& i, TStatementArgs& statement);
// Takes the connection and statement options out of args[i] (and its value); false when args[i]
// is not one. Raises TUsageError for a missing or bad value.
bool TakeStatementArg(CommandArgs args, std::size_t& i, TStatementArgs& statement);
// Checks that a data path and exactly one statement source were given (TUsageError otherwise).
void CheckStatementArgs(const TStatementArgs& statement, bool builtinAllowed);

// The statement's lines as the editor would hold them: the SQL file by the editor's load rule
// (RTF, else plain text) or the built-in statement's stored lines.
std::vector<std::string> StatementLines(const TStatementArgs& statement, std::istream& in);

// The value of "--name VALUE" or "--name=VALUE" at args[i]; nullopt when args[i] is another
// option. Raises TUsageError when the value is missing.
std::optional<std::string> OptionValue(CommandArgs args, std::size_t& i, const char* name);

// A command refused with a message of its own.
class TCommandError : public std::exception {
public:
    explicit TCommandError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Arguments the command does not take (exit status 2, with the usage).
class TUsageError : public TCommandError {
public:
    using TCommandError::TCommandError;
};

// The text between double quotes, each double quote in it doubled (a quoted SQL identifier, a
// comma-delimited field).
std::string DoubleQuoted(const std::string& text);
// `SELECT * FROM "table"`: the name as a quoted identifier, so any name the engine lists reads.
std::string SelectAll(const std::string& table);

}  // namespace parvell::cli
