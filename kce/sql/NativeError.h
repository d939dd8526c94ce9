#pragma once
// Native error numbers of SQL errors. Every SQL error the engine reports carries error code 7200;
// the native number below says which kind of fault it was. The numbers are part of the engine's
// error texts ("NativeError = N;"), so they never change once given out.

namespace kce::sql {

enum NativeError : int {
    kErrSyntax = 2101,           // unexpected token, missing clause or keyword
    kErrLexical = 2102,          // unterminated string, identifier or comment; stray character
    kErrUnknownTable = 2103,     // a table that the catalogue does not hold
    kErrUnknownColumn = 2104,    // a column that no table in scope has
    kErrAmbiguousColumn = 2105,  // an unqualified column found in more than one table
    kErrTypeMismatch = 2106,     // operands or arguments whose types do not go together
    kErrInvalidDate = 2107,      // a text read as a date, time or timestamp that is none
    kErrUnknownFunction = 2108,  // a function name the dialect does not know
    kErrArgumentCount = 2109,    // a function called with the wrong number of arguments
    kErrAggregate = 2110,        // an aggregate where none may stand (WHERE, inside another),
                                 // or a column of a grouped select neither grouped nor aggregated
    kErrTooComplex = 2111,       // nesting deeper than the front end accepts
    kErrDuplicateName = 2112,    // a table alias or created column named twice
    kErrTableExists = 2113,      // CREATE TABLE of a name the catalogue already holds
    kErrColumnCount = 2114,      // value count, UNION column count or ORDER BY position wrong
    kErrInvalidType = 2115,      // a type name or length/decimals that CREATE/CAST cannot use
    kErrValueTooLong = 2116,     // a text longer than the column it is stored in
    kErrInvalidValue = 2117,     // a value that does not convert to the target type
    kErrSubqueryColumns = 2118,  // a subquery in scalar or IN position with not one column,
                                 // or a scalar subquery that yields more than one row
    kErrNotNull = 2119,          // NULL given for a NOT NULL column (detected while compiling)
};

}  // namespace kce::sql
