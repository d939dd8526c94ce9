#pragma once
// Statements and the parameters they have, shared by the engine library's tests (its parameter
// list and its compiler) and the query component's tests, which must agree on every one. Each
// runnable statement reads a table people (id INTEGER, name CHAR(20)) holding ids 1 to 3.

#include <string>
#include <vector>

namespace parvell::testing {

struct SqlParameterCase {
    const char* sql;
    std::vector<std::string> names;  // by position; "" for "?"
    // Text values for the positions, and the number of rows the statement then gives; -1: the
    // statement is not meant to run (the names alone are checked).
    std::vector<std::string> values;
    int rows;
};

inline const std::vector<SqlParameterCase>& SqlParameterCases() {
    static const std::vector<SqlParameterCase> cases = {
        {"-- run at 10:30\r\nSELECT id FROM people WHERE id = :id", {"id"}, {"2"}, 1},
        {"SELECT id FROM people /* Note:check */ WHERE id = :id", {"id"}, {"2"}, 1},
        {"SELECT id FROM people /* two\r\nlines :a\r\n*/ WHERE id = :id", {"id"}, {"2"}, 1},
        {"SELECT id FROM people WHERE id = :id -- or :other", {"id"}, {"2"}, 1},
        {"SELECT id FROM people WHERE id = :id\r\n-- 10:30\r\nOR id = :next",
         {"id", "next"},
         {"1", "3"},
         2},
        {"SELECT id FROM people WHERE '10:30' <> :t AND id = :id", {"t", "id"}, {"x", "2"}, 1},
        {"SELECT id FROM people WHERE 'it''s :no' <> :t AND id = :id", {"t", "id"}, {"x", "2"}, 1},
        {"SELECT id AS \"a:b\", id AS [c:d] FROM people WHERE id = :id", {"id"}, {"2"}, 1},
        // A name used again is one parameter, whatever its case; each "?" is one of its own.
        {"SELECT id FROM people WHERE id = :id OR id + 1 = :ID", {"id"}, {"2"}, 2},
        {"SELECT id FROM people WHERE id = ? OR id = ?", {"", ""}, {"1", "3"}, 2},
        {"SELECT id FROM people WHERE id = :a OR id = ? OR id = :A", {"a", ""}, {"1", "3"}, 2},
        // The name ends where its characters end, as the compiler reads it.
        {"SELECT id FROM people WHERE id = :a+1", {"a"}, {"1"}, 1},
        {"SELECT id FROM people WHERE id\t=\t:a\tOR\tid = :a", {"a"}, {"3"}, 1},
        {"SELECT id FROM people WHERE id IN (:p1,:p2);", {"p1", "p2"}, {"1", "2"}, 2},
        // Positions follow the text, wherever the compiler meets the parameter first.
        {"SELECT :label AS v FROM people WHERE id = :id", {"label", "id"}, {"x", "2"}, 1},
        {"SELECT :label AS v FROM (SELECT id FROM people WHERE id = :id) p",
         {"label", "id"},
         {"x", "3"},
         1},
        {"SELECT a::b FROM t", {}, {}, -1},
        {"SELECT * FROM t WHERE a = ':' || :x || `:y`", {"x"}, {}, -1},
        {"SELECT * FROM t WHERE a = : x", {}, {}, -1},
        {"SELECT * FROM t /* open :x", {}, {}, -1},
    };
    return cases;
}

}  // namespace parvell::testing
