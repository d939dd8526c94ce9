#include "app/cli/QueryCommands.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>

#include "app/core/Rtf.h"
#include "app/text/BuiltinSql.h"
#include "app/text/Cp1252Text.h"
#include "common/Exceptions.h"
#include "common/Text.h"
#include "settings/CodePage.h"

namespace parvell::cli {
namespace {

std::vector<std::string> LinesOf(const QStringList& lines) {
    std::vector<std::string> result;
    result.reserve(static_cast<std::size_t>(lines.size()));
    for (const QString& line : lines) result.push_back(Cp1252FromQString(line));
    return result;
}

// The editor's lines of a text: split at CR LF, a lone CR or a lone LF; a last empty line is
// not counted.
std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

}  // namespace

TQueryComponents::TQueryComponents(const std::string& username, const std::string& password,
                                   std::ostream& err)
    : form_(nullptr, "Form1"), components_(CreateEngineComponents(&form_, {username, password})) {
    const std::vector<std::string>& unloadable = components_.Locale.Unloadable;
    if (!unloadable.empty()) {
        err << (unloadable.size() == 1 ? "parvell-cli: the locale" : "parvell-cli: the locales");
        for (std::size_t i = 0; i < unloadable.size(); ++i)
            err << (i == 0 ? " \"" : ", \"") << unloadable[i] << '"';
        err << " cannot be loaded; the United States texts are used\n";
    }
}

TQueryComponents::TQueryComponents(const TStatementArgs& statement,
                                   const std::vector<std::string>& sqlLines, std::ostream& err)
    : TQueryComponents(statement.username, statement.password, err) {
    Prepare(statement.dataPath, sqlLines);
}

TQueryComponents::~TQueryComponents() {
    try {
        components_.KdbTable1->SetActive(false);
    } catch (...) {
        // Closing after a failure: the failure is what gets reported.
    }
}

void TQueryComponents::Prepare(const std::string& dataPath,
                               const std::vector<std::string>& sqlLines) {
    PrepareQuery(components_, dataPath, sqlLines);
}

void TQueryComponents::SetStatement(const std::vector<std::string>& sqlLines) {
    SetQueryLines(components_, sqlLines);
}

std::optional<std::string> OptionValue(CommandArgs args, std::size_t& i, const char* name) {
    const std::string& arg = args[i];
    const std::string_view option(name);
    if (arg == option) {
        if (i + 1 >= args.size()) throw TUsageError(FormatMessage("%s needs a value", {name}));
        return args[++i];
    }
    if (arg.size() > option.size() && arg.compare(0, option.size(), option) == 0 &&
        arg[option.size()] == '=') {
        return arg.substr(option.size() + 1);
    }
    return std::nullopt;
}

bool TakeConnectionArg(CommandArgs args, std::size_t& i, TStatementArgs& statement) {
    if (auto value = OptionValue(args, i, "--data")) {
        statement.dataPath = store::Cp1252FromUtf8(*value);
    } else if (auto user = OptionValue(args, i, "--user")) {
        statement.username = store::Cp1252FromUtf8(*user);
    } else if (auto password = OptionValue(args, i, "--password")) {
        statement.password = store::Cp1252FromUtf8(*password);
    } else {
        return false;
    }
    return true;
}

bool TakeStatementArg(CommandArgs args, std::size_t& i, TStatementArgs& statement) {
    if (TakeConnectionArg(args, i, statement)) return true;
    if (auto file = OptionValue(args, i, "--sql")) {
        if (statement.sqlFile || statement.builtin) throw TUsageError("give one statement only");
        statement.sqlFile = *file;
    } else if (auto number = OptionValue(args, i, "--builtin")) {
        if (statement.sqlFile || statement.builtin) throw TUsageError("give one statement only");
        int n = 0;
        const auto [end, error] =
            std::from_chars(number->data(), number->data() + number->size(), n);
        if (error != std::errc() || end != number->data() + number->size() || n < 1 || n > 7) {
            throw TUsageError("--builtin takes a number from 1 to 7");
        }
        statement.builtin = n;
    } else {
        return false;
    }
    return true;
}

void CheckStatementArgs(const TStatementArgs& statement, bool builtinAllowed) {
    if (statement.dataPath.empty()) throw TUsageError("--data PATH is required");
    if (!statement.sqlFile && !statement.builtin) {
        throw TUsageError(builtinAllowed
                              ? "give the statement with --sql FILE, --sql - or --builtin N"
                              : "give the statement with --sql FILE or --sql -");
    }
    if (statement.builtin && !builtinAllowed) throw TUsageError("--builtin is not taken here");
}

std::vector<std::string> StatementLines(const TStatementArgs& statement, std::istream& in) {
    switch (statement.builtin) {
        case 1:
            return LinesOf(GuarantorLablesLines());
        case 2:
            return LinesOf(PatXTrnDateLines());
        case 3:
            return LinesOf(PatDemoLines());
        case 4:
            return LinesOf(PatInsDemoLines());
        case 5:
            return LinesOf(DemoExportv15Lines());
        case 6:
            return LinesOf(DemoExportv8Lines());
        case 7:
            return {Cp1252FromQString(FixPostConversionICD10Line())};
        default:
            break;
    }
    std::string bytes;
    if (*statement.sqlFile == "-") {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(*statement.sqlFile, std::ios::binary);
        if (!file) throw EInOutError(2);
        std::ostringstream content;
        content << file.rdbuf();
        bytes = content.str();
    }
    return SplitLines(SqlFileText(bytes));
}

std::string DoubleQuoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string SelectAll(const std::string& table) {
    return "SELECT * FROM " + DoubleQuoted(table);
}

}  // namespace parvell::cli
