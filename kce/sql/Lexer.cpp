#include "kce/sql/Lexer.h"

#include "common/SqlParameters.h"
#include "kce/sql/Compiler.h"
#include "kce/sql/NativeError.h"

namespace kce::sql {
namespace {

bool IsWordStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool IsWordChar(unsigned char c) {
    return IsWordStart(c) || (c >= '0' && c <= '9') || c == '#' || c == '$';
}

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

[[noreturn]] void Fail(std::string_view sql, size_t position, const std::string& what) {
    throw SqlError(kErrLexical, position, what + " at " + DescribePosition(sql, position) + ".");
}

}  // namespace

std::string DescribePosition(std::string_view sql, size_t position) {
    size_t line = 1;
    size_t column = 1;
    for (size_t i = 0; i < position && i < sql.size(); ++i) {
        if (sql[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::vector<Token> Tokenize(std::string_view sql, std::vector<std::string>* parameterNames) {
    // Parameters are where the shared scanner finds them, numbered as it numbers them, so that
    // the engine's parameter list and the compiled statement agree on every position.
    const parvell::TSqlParameters parameters = parvell::ScanSqlParameters(sql);
    if (parameterNames != nullptr) *parameterNames = parameters.Names;
    size_t nextUse = 0;
    std::vector<Token> tokens;
    size_t i = 0;
    const size_t n = sql.size();
    while (true) {
        // Blanks and comments.
        while (i < n) {
            unsigned char c = sql[i];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
                ++i;
            } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
                while (i < n && sql[i] != '\n') ++i;
            } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
                size_t end = sql.find("*/", i + 2);
                if (end == std::string_view::npos) Fail(sql, i, "Unterminated comment");
                i = end + 2;
            } else {
                break;
            }
        }
        Token token;
        token.position = i;
        if (i >= n) {
            tokens.push_back(token);
            return tokens;
        }
        while (nextUse < parameters.Uses.size() && parameters.Uses[nextUse].Offset < i) ++nextUse;
        if (nextUse < parameters.Uses.size() && parameters.Uses[nextUse].Offset == i) {
            const parvell::TSqlParameterUse& use = parameters.Uses[nextUse++];
            const bool named = sql[i] == ':';
            token.kind = named ? TokenKind::NamedParameter : TokenKind::Parameter;
            token.text = named ? std::string(sql.substr(i + 1, use.Length - 1)) : std::string("?");
            token.parameterIndex = static_cast<int64_t>(use.Index);
            i += use.Length;
            tokens.push_back(std::move(token));
            continue;
        }
        unsigned char c = sql[i];
        if (IsWordStart(c)) {
            size_t start = i;
            while (i < n && IsWordChar(sql[i])) ++i;
            token.kind = TokenKind::Identifier;
            token.text = sql.substr(start, i - start);
        } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(sql[i + 1]))) {
            size_t start = i;
            while (i < n && IsDigit(sql[i])) ++i;
            if (i < n && sql[i] == '.') {
                ++i;
                while (i < n && IsDigit(sql[i])) ++i;
            }
            if (i < n && (sql[i] == 'e' || sql[i] == 'E')) {
                size_t e = i + 1;
                if (e < n && (sql[e] == '+' || sql[e] == '-')) ++e;
                if (e < n && IsDigit(sql[e])) {
                    i = e;
                    while (i < n && IsDigit(sql[i])) ++i;
                }
            }
            if (i < n && IsWordStart(sql[i])) Fail(sql, start, "Invalid number");
            token.kind = TokenKind::Number;
            token.text = sql.substr(start, i - start);
        } else if (c == '\'') {
            token.kind = TokenKind::String;
            ++i;
            while (true) {
                if (i >= n) Fail(sql, token.position, "Unterminated string");
                if (sql[i] == '\'') {
                    if (i + 1 < n && sql[i + 1] == '\'') {
                        token.text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                token.text += sql[i++];
            }
        } else if (c == '"' || c == '[') {
            const char close = c == '"' ? '"' : ']';
            token.kind = TokenKind::QuotedIdentifier;
            ++i;
            while (true) {
                if (i >= n) Fail(sql, token.position, "Unterminated quoted name");
                if (sql[i] == close) {
                    if (close == '"' && i + 1 < n && sql[i + 1] == '"') {
                        token.text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                token.text += sql[i++];
            }
            if (token.text.empty()) Fail(sql, token.position, "Empty quoted name");
        } else {
            static constexpr std::string_view kTwo[] = {"<=", ">=", "<>", "!=", "||"};
            token.kind = TokenKind::Symbol;
            for (std::string_view two : kTwo) {
                if (sql.substr(i, 2) == two) {
                    token.text = two;
                    break;
                }
            }
            if (token.text.empty()) {
                if (std::string_view("(),.*+-/%=<>;").find(static_cast<char>(c)) ==
                    std::string_view::npos) {
                    static constexpr char kHex[] = "0123456789ABCDEF";
                    std::string shown = c >= 0x20 && c < 0x7f
                                            ? std::string(1, static_cast<char>(c))
                                            : std::string{'\\', 'x', kHex[c >> 4], kHex[c & 15]};
                    Fail(sql, i, "Unexpected character \"" + shown + "\"");
                }
                token.text = std::string(1, static_cast<char>(c));
            }
            i += token.text.size();
        }
        tokens.push_back(std::move(token));
    }
}

}  // namespace kce::sql
