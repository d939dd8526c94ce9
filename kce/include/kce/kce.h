#ifndef PARVELL_KCE_H
#define PARVELL_KCE_H
/*
 * The engine library's C interface (libkce.so).
 *
 * Conventions that hold for every call:
 * - Every call returns a 32-bit result: 0 for success, else one of the error codes listed below.
 *   No C++ exception ever leaves the library. After a failure, KdbGetLastError on the same thread
 *   returns the code and a text that says what went wrong; a successful call leaves the last
 *   error as it was.
 * - Handles are 32-bit and never 0 (0 means "none": a cursor handle of 0 from an execution means
 *   the statement produced no result set). Connections, statements, cursors and searches share one
 *   numbering, so a handle names exactly one object; KdbGetHandleType tells which.
 * - Text is single-byte Windows-1252, zero-terminated. Where text comes back, the caller passes a
 *   buffer and, through the length pointer, its size in bytes. On success the call writes the text
 *   and a terminating zero and replaces *len with the text's length (without the zero). When the
 *   buffer cannot hold text and zero, the result is KDB_ERR_BUFFER_TOO_SMALL (5005) and *len is the
 *   text's length (so *len + 1 bytes are needed); nothing useful is in the buffer. A null buffer
 *   with any length asks for the length only (result 5005 unless the text is empty).
 * - Fields are addressed by their 1-based number. Parameters of a statement are addressed by their
 *   1-based position: the order in which distinct parameter names first appear in the SQL text
 *   (each "?" is a parameter of its own).
 * - Engine-wide settings (date format, decimals, deleted-record visibility, server types, cache
 *   sizes) are process-wide and guarded by a lock; the last error is kept per thread. Handles may
 *   be used from any thread, but one handle must not be used by two threads at once.
 *
 * Storage. A path that ends in ".kdd" (any letter case) names a data dictionary: one SQLite
 * database file holding the practice tables (an SQLite table per practice table, same names and
 * column names), a catalogue of each column's engine type, length and decimals, and the
 * dictionary's users with salted, slow password hashes. kce/TYPES.md lists the engine types, how
 * each is stored and its native record layout. Any other path names a folder of dBase-format
 * tables; no user name or password is checked for it. kce/FOLDERS.md describes how the engine reads
 * and changes them: the same SQL, results of the same types, and each changing statement applied
 * to the table file all-or-nothing.
 *
 * Administrator. KdbDDCreate makes a dictionary whose administrator user is named "admin"
 * (KDB_ADMIN_USER); the password given to KdbDDCreate is that user's. Only the administrator may
 * create users.
 *
 * Results. A query returns a static cursor of table type 3: its rows are fixed when the statement
 * executes, its record count is known at once, records are numbered 1..n in result order, and the
 * first 32 bits of a bookmark are the record number. Large results are kept in a temporary file
 * once they pass a memory limit (default 64 MiB; the environment variable KCE_RESULT_MEMORY sets
 * it in bytes when a cursor is made). A cursor stays valid when its statement is closed or
 * executed again; it is released by KdbCloseTable or with its connection.
 *
 * Cursor position. A cursor is before its first record (BOF), on a record, or after its last
 * record (EOF). A new cursor sits on record 1 (at EOF and BOF both when it is empty).
 * KdbGotoBOF places it before the first record and KdbGotoEOF after the last; KdbSkip moves
 * by records and stops at BOF or EOF. Reading a record while at BOF or EOF answers 5068.
 */

#include <stdint.h>

#if defined(KCE_BUILDING_LIBRARY)
#define KCE_API __attribute__((visibility("default")))
#else
#define KCE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define KDB_ADMIN_USER "admin"

/* Error codes. 5005 to 5138 are the answers the components treat as answers, not failures. */
#define KDB_ERR_INVALID_ARGUMENT 5001   /* a required pointer is null or a value is out of range */
#define KDB_ERR_OUT_OF_MEMORY 5002      /* memory or temporary storage ran out */
#define KDB_ERR_NOT_SUPPORTED 5004      /* the feature does not exist in this engine */
#define KDB_ERR_BUFFER_TOO_SMALL 5005   /* text or bytes do not fit; *len holds the size needed */
#define KDB_ERR_PATH_NOT_FOUND 5012     /* the data path names no folder or dictionary file */
#define KDB_ERR_NOT_A_DICTIONARY 5013   /* the file is damaged or not a data dictionary */
#define KDB_ERR_NO_SERVER 5014          /* the server-type mask lacks local (1): no such server */
#define KDB_ERR_LOGIN_REFUSED 5015      /* unknown user name or wrong password */
#define KDB_ERR_ALREADY_EXISTS 5016     /* the dictionary file or the user exists already */
#define KDB_ERR_PERMISSION_DENIED 5017  /* the connected user may not do this */
#define KDB_ERR_FIELD_NUMBER 5018       /* no field with that number (or name) in the cursor */
#define KDB_ERR_PARAMETER_NUMBER 5019   /* no parameter at that position in the statement */
#define KDB_ERR_RECORD_NOT_FOUND 5022   /* bookmark or record number names no record */
#define KDB_ERR_INVALID_CONNECTION 5024 /* not a connection handle, or disconnected already */
#define KDB_ERR_PROPERTY_NOT_AVAILABLE 5025 /* the cursor has no such property (collation, ...) */
#define KDB_ERR_DATE_FORMAT 5030            /* date format refused, or text is not a valid date */
#define KDB_ERR_NO_SQL 5031      /* the statement was executed before any SQL was prepared */
#define KDB_ERR_STORAGE 5032     /* the storage (SQLite) failed: disk full, I/O, locked */
#define KDB_ERR_TRANSACTION 5033 /* commit or rollback without a transaction, or nested begin */
#define KDB_ERR_TABLE_DAMAGED                                         \
    5034 /* a table file of a folder (or its memo file) is damaged or \
            of no known format; the text names the file and the fault */
#define KDB_ERR_TABLE_LOCKED                                                                      \
    5035                               /* another program has a table file of a folder locked, or \
                                          changed it after it was read; nothing was changed */
#define KDB_ERR_NO_FILTER 5037         /* no filter is set on the cursor */
#define KDB_ERR_NO_SCOPE 5038          /* no scope is set on the index */
#define KDB_ERR_NO_INDEX 5041          /* no index: cursors of this engine have none */
#define KDB_ERR_NO_MORE_TABLES 5059    /* table search: no further table */
#define KDB_ERR_NO_CURRENT_RECORD 5068 /* the cursor is at BOF or EOF */
#define KDB_ERR_INVALID_HANDLE 5106    /* not a statement, cursor or search handle, or closed */
#define KDB_ERR_NOT_AN_UPDATE 5117     /* affected rows asked of a statement that was a query */
#define KDB_ERR_NO_MORE_OBJECTS 5137   /* dictionary object search: no further object */
#define KDB_ERR_PROPERTY_EMPTY 5138    /* the dictionary property has no value */
#define KDB_ERR_SQL                                                                    \
    7200                      /* SQL error; the text holds "Error 7200:" and           \
                                 "NativeError = N;" with N below, and names the token, \
                                 table or column at fault with its position */
#define KDB_ERR_INTERNAL 5999 /* an unexpected failure inside the engine */

/* Native error numbers of SQL errors (the N of "NativeError = N;"):
 *   2101 syntax: unexpected token, missing clause or keyword
 *   2102 lexical: unterminated string, identifier or comment; stray character
 *   2103 unknown table            2104 unknown column            2105 ambiguous column
 *   2106 type mismatch            2107 text that is no valid date, time or timestamp
 *   2108 unknown function         2109 wrong number of function arguments
 *   2110 aggregate where none may stand                          2111 statement nested too deeply
 *   2112 alias or column named twice                             2113 CREATE TABLE of an existing
 * table 2114 wrong count of values, UNION columns or ORDER BY position 2115 type, length or
 * decimals that CREATE or CAST cannot use 2116 text longer than its column 2117 value that does not
 * convert to the target type          2118 subquery without one column 2119 NULL for a NOT NULL
 * column (found while compiling) and, from running a statement: 2190 a row breaks a constraint (NOT
 * NULL, unique, ...)        2191 the statement failed while running 2192 the statement ran longer
 * than its time-out */
#define KDB_SQL_CONSTRAINT 2190
#define KDB_SQL_RUNTIME 2191
#define KDB_SQL_TIMEOUT 2192

/* Handle types of KdbGetHandleType. */
#define KDB_HANDLE_CONNECTION 1
#define KDB_HANDLE_CURSOR 3
#define KDB_HANDLE_STATEMENT 4
#define KDB_HANDLE_SEARCH 6

/* Table types of KdbGetTableType. Cursors of this engine are always KDB_TABLE_KDT. */
#define KDB_TABLE_NTX 1
#define KDB_TABLE_CDX 2
#define KDB_TABLE_KDT 3
#define KDB_TABLE_VFP 4

/* Bits of KdbGetTableOpenOptions. Static cursors are read-only. */
#define KDB_OPEN_READONLY 0x00000004u

/* Dictionary object type of KdbDDFindFirstObject: tables. */
#define KDB_DD_TABLE_OBJECT 10
/* Dictionary user properties of KdbDDGetUserProperty. */
#define KDB_DD_USER_DESCRIPTION 1101
#define KDB_DD_USER_GROUPS 1102

/* ---- Errors ---- */

/* The calling thread's last error: its code and text. Code 0 and an empty text when none. */
KCE_API uint32_t KdbGetLastError(uint32_t* code, char* buf, uint16_t* len);
/* The generic text of an error code (without the details a particular failure adds). */
KCE_API uint32_t KdbGetErrorString(uint32_t code, char* buf, uint16_t* len);
/* Writes the calling thread's last error to standard error under the title (this library shows no
 * windows). */
KCE_API uint32_t KdbShowError(const char* title);

/* ---- Engine-wide settings ---- */

/* The engine date format: letters M (month), D (day), C and Y (century and year) in either case,
 * each kind in one run (M or MM, D or DD, YY, CCYY or YYYY), with any other characters between
 * them as separators, at most 11 characters: "MM/DD/CCYY", "M/d/yyyy", "dd.mm.yy". One letter
 * writes the number without padding, two pad it to two digits; a two-digit year is read as
 * 1950..2049. Others are refused with 5030. Used for date texts of KdbGetField, for
 * KdbConvertStringToJulian and for date texts in SQL. Starts as "MM/DD/CCYY". */
KCE_API uint32_t KdbSetDateFormat(const char* format);
KCE_API uint32_t KdbGetDateFormat(char* buf, uint16_t* len);
/* Decimals that KdbGetField writes for DOUBLE and CURDOUBLE values (0 to 30; starts as 2). */
KCE_API uint32_t KdbSetDecimals(uint16_t decimals);
KCE_API uint32_t KdbGetDecimals(uint16_t* decimals);
/* Whether deleted records are visible (non-zero: yes; starts as 0). It applies to the tables of a
 * folder: a statement run while it is 0 does not see records marked deleted in the files, so a
 * DELETE removes its rows from every later statement.
 * Dictionaries hold no deleted records. Static cursors keep the records they were made with. */
KCE_API uint32_t KdbShowDeleted(uint16_t show);
KCE_API uint32_t KdbGetDeleted(uint16_t* show);
/* Default server-type mask (local 1, remote 2, internet 4); any non-zero mask is accepted, 0 is
 * refused with 5001. */
KCE_API uint32_t KdbSetServerType(uint16_t serverTypes);
/* Cache sizes: stored and accepted; this engine keeps nothing open between uses. */
KCE_API uint32_t KdbCacheOpenTables(uint16_t tables);
KCE_API uint32_t KdbCacheOpenCursors(uint16_t cursors);
/* Number of cursors open in the process. */
KCE_API uint32_t KdbGetNumOpenTables(uint16_t* count);
/* Engine version: major, minor, a version letter (a space when none) and a description. */
KCE_API uint32_t KdbGetVersion(uint32_t* major, uint32_t* minor, char* letter, char* buf,
                               uint16_t* len);
/* Exact matching of filter texts: stored only (filters are not supported). */
KCE_API uint32_t KdbSetExact22(uint16_t exact);
/* Whether a query fills its cursor on a thread of its own (non-zero: yes; starts as 0). When on,
 * KdbExecuteSQL returns the cursor as soon as its first records are in (or the result is
 * complete), with the rest still being stepped; a read waits for the records it needs
 * (KdbGetRecordCount and KdbGotoEOF for all of them). An error met before the first records are
 * in is returned by KdbExecuteSQL; one met later by the first call that needs a record past the
 * last one filled. The connection stays busy until the cursor is filled: its other calls wait
 * for that. */
KCE_API uint32_t KdbFillCursorsInBackground(uint16_t on);

/* ---- Connections ---- */

/* Connects to a dictionary file (*.kdd: user and password are checked, 5015 when wrong) or a folder
 * of tables (user and password are ignored). serverTypes must include local (1), else 5014.
 * options are accepted and ignored. Missing path: 5012; foreign or damaged dictionary: 5013. */
KCE_API uint32_t KdbConnect60(const char* path, uint16_t serverTypes, const char* user,
                              const char* password, uint32_t options, uint32_t* connection);
/* Connects to a folder of tables, or to a dictionary as a user with an empty name (normally
 * refused). */
KCE_API uint32_t KdbConnect(const char* path, uint32_t* connection);
/* Closes the connection with its statements and cursors; an open transaction is rolled back.
 * 5024 when the handle is no live connection. */
KCE_API uint32_t KdbDisconnect(uint32_t connection);
/* SQL time-out in seconds for a connection or a statement (0: none). A statement that runs longer
 * is stopped with an SQL error. A statement without its own time-out uses its connection's. */
KCE_API uint32_t KdbSetSQLTimeout(uint32_t handle, uint32_t seconds);
/* The server's name: "LOCAL". */
KCE_API uint32_t KdbGetServerName(uint32_t connection, char* buf, uint16_t* len);
/* The connection's server type: always 1 (local). */
KCE_API uint32_t KdbGetConnectionType(uint32_t connection, uint16_t* type);
/* *alive is 1 for a live connection; 5024 for any other handle. */
KCE_API uint32_t KdbIsConnectionAlive(uint32_t connection, uint16_t* alive);
/* Transactions: one level; statements inside a transaction still each succeed or fail whole. */
KCE_API uint32_t KdbBeginTransaction(uint32_t connection);
KCE_API uint32_t KdbCommitTransaction(uint32_t connection);
KCE_API uint32_t KdbRollbackTransaction(uint32_t connection);
/* Rolls back to a savepoint made by KdbCreateSavepoint (null or empty name: the whole transaction).
 */
KCE_API uint32_t KdbRollbackTransaction80(uint32_t connection, const char* savepoint,
                                          uint32_t options);
KCE_API uint32_t KdbCreateSavepoint(uint32_t connection, const char* savepoint, uint32_t options);
KCE_API uint32_t KdbInTransaction(uint32_t connection, uint16_t* inTransaction);
KCE_API uint32_t KdbGetTransactionCount(uint32_t connection, uint32_t* count);
/* The server's date as text in the engine date format and its time of day in milliseconds. */
KCE_API uint32_t KdbGetServerTime(uint32_t connection, char* dateBuf, uint16_t* dateLen,
                                  int32_t* milliseconds);
/* Nothing is cached; succeeds for a live connection. */
KCE_API uint32_t KdbCloseCachedTables(uint32_t connection);
/* Active links (other dictionaries linked in): this engine has none. Count 0; info answers 5004. */
KCE_API uint32_t KdbGetNumActiveLinks(uint32_t connection, uint16_t* count);
KCE_API uint32_t KdbGetActiveLinkInfo(uint32_t connection, uint16_t link, char* buf, uint16_t* len);
/* Table search. For a dictionary connection the mask is ignored (an empty text is usual) and the
 * dictionary's tables are returned; for a folder, the mask is a path whose last part may hold "*"
 * and "?" (matched without regard to case) and the tables of that folder (its "*.dbf" files) whose
 * file names match are returned: never ".", "..", folders, a database container, memo or index
 * files. Each call gives one
 * name; 5059 when there is no further one (also from KdbFindFirstTable when none matches). The
 * search handle is released by KdbFindClose. The 62 forms return two names per table: the table
 * name and the full path (dictionary: the table name twice). */
KCE_API uint32_t KdbFindFirstTable(uint32_t connection, const char* mask, char* buf, uint16_t* len,
                                   uint32_t* search);
KCE_API uint32_t KdbFindNextTable(uint32_t search, char* buf, uint16_t* len);
KCE_API uint32_t KdbFindFirstTable62(uint32_t connection, const char* mask, char* name,
                                     uint16_t* nameLen, char* path, uint16_t* pathLen,
                                     uint32_t* search);
KCE_API uint32_t KdbFindNextTable62(uint32_t search, char* name, uint16_t* nameLen, char* path,
                                    uint16_t* pathLen);
KCE_API uint32_t KdbFindClose(uint32_t connection, uint32_t search);

/* ---- Data dictionaries ---- */

/* Creates a new, empty dictionary file (5016 when the file exists) and connects to it as its
 * administrator "admin" with the given password. */
KCE_API uint32_t KdbDDCreate(const char* path, const char* adminPassword, const char* description,
                             uint32_t* connection);
/* Adds a user (5016 when the name exists, compared without regard to case; 5017 unless connected
 * as the administrator; 5001 for an empty name). */
KCE_API uint32_t KdbDDCreateUser(uint32_t connection, const char* name, const char* password,
                                 const char* description);
/* Dictionary object search: object type 10 (tables) only, else 5004; parent is ignored. Each call
 * gives one name; 5137 when there is no further one. */
KCE_API uint32_t KdbDDFindFirstObject(uint32_t connection, uint16_t objectType, const char* parent,
                                      char* buf, uint16_t* len, uint32_t* search);
KCE_API uint32_t KdbDDFindNextObject(uint32_t connection, uint32_t search, char* buf,
                                     uint16_t* len);
KCE_API uint32_t KdbDDFindClose(uint32_t connection, uint32_t search);
/* A user's property as text: 1101 description, 1102 groups (this engine has no groups). An empty
 * value answers 5138 with *len 0; an unknown user 5015; another property 5004. */
KCE_API uint32_t KdbDDGetUserProperty(uint32_t connection, const char* user, uint16_t property,
                                      char* buf, uint16_t* len);

/* ---- Statements ---- */

KCE_API uint32_t KdbCreateSQLStatement(uint32_t connection, uint32_t* statement);
/* Compiles the SQL text (SQL errors: 7200) and keeps it for KdbExecuteSQL; parameter values set
 * before are dropped. */
KCE_API uint32_t KdbPrepareSQL(uint32_t statement, const char* sql);
/* Runs the prepared statement with the parameter values set since KdbPrepareSQL (unset ones are
 * NULL). A query gives a cursor handle; any other statement gives 0. UPDATE, INSERT and DELETE
 * each succeed or fail whole. */
KCE_API uint32_t KdbExecuteSQL(uint32_t statement, uint32_t* cursor);
/* Prepares and runs in one call, without parameters. */
KCE_API uint32_t KdbExecuteSQLDirect(uint32_t statement, const char* sql, uint32_t* cursor);
/* Releases the statement; its cursors stay open. 5106 when the handle is no live statement. */
KCE_API uint32_t KdbCloseSQLStatement(uint32_t statement);
/* Which kind of object the handle names (KDB_HANDLE_...); 5106 for a handle that names nothing. */
KCE_API uint32_t KdbGetHandleType(uint32_t handle, uint16_t* type);
/* *isLive is 0: every cursor of this engine is static. */
KCE_API uint32_t KdbSqlPeekStatement(uint32_t cursor, uint16_t* isLive);
/* The parameter names of an SQL text by position, separated by ";" (a "?" gives an empty name):
 * the parameters a prepared statement of the same text has, in the same order. A ":" followed by
 * a letter, digit, "_", "#", "$" or a byte from 0x80 up starts a name, which runs over those
 * characters; "::" names nothing; nothing inside '...', "...", `...`, [...], a "--" comment or a
 * slash-star comment is a parameter. A name used again (without regard to case) is the same
 * parameter and is listed once; each "?" is a new one. */
KCE_API uint32_t KdbGetSQLStmtParams(const char* sql, char* buf, uint32_t* len);
/* Statement options: accepted and stored. Lock type 0/1, rights 1/2, read-only 1/2, table type
 * 1 to 4, constrain 1/2, read-all-columns 1/2; other values answer 5001. The collation may be
 * any text. Results are static and read-only whatever they say. */
KCE_API uint32_t KdbStmtSetTableLockType(uint32_t statement, uint16_t lockType);
KCE_API uint32_t KdbStmtSetTableCollation(uint32_t statement, const char* collation);
KCE_API uint32_t KdbStmtSetTableRights(uint32_t statement, uint16_t rights);
KCE_API uint32_t KdbStmtSetTableReadOnly(uint32_t statement, uint16_t readOnly);
KCE_API uint32_t KdbStmtSetTableType(uint32_t statement, uint16_t tableType);
KCE_API uint32_t KdbStmtConstrainUpdates(uint32_t statement, uint16_t constrain);
KCE_API uint32_t KdbStmtReadAllColumns(uint32_t statement, uint16_t readAll);

/* Parameter values, by 1-based position (5019 when the prepared statement has no such
 * parameter; KdbSetEmpty, which binds nothing, succeeds there and changes nothing). Dates are
 * julian day numbers (2415019 is 1899-12-30), times milliseconds since midnight; a raw timestamp is
 * 8 bytes: 32-bit julian day, then 32-bit milliseconds. */
KCE_API uint32_t KdbSetEmpty(uint32_t statement, uint16_t param);
KCE_API uint32_t KdbSetNull(uint32_t statement, uint16_t param);
KCE_API uint32_t KdbSetLogical(uint32_t statement, uint16_t param, uint16_t value);
KCE_API uint32_t KdbSetShort(uint32_t statement, uint16_t param, int16_t value);
KCE_API uint32_t KdbSetLong(uint32_t statement, uint16_t param, int32_t value);
KCE_API uint32_t KdbSetLongLong(uint32_t statement, uint16_t param, int64_t value);
KCE_API uint32_t KdbSetDouble(uint32_t statement, uint16_t param, double value);
KCE_API uint32_t KdbSetJulian(uint32_t statement, uint16_t param, int32_t julianDay);
KCE_API uint32_t KdbSetMilliseconds(uint32_t statement, uint16_t param, int32_t milliseconds);
KCE_API uint32_t KdbSetTimeStampRaw(uint32_t statement, uint16_t param, const uint8_t* bytes,
                                    uint32_t length);
/* Text of the given length (it may hold zero bytes only if the target is binary). */
KCE_API uint32_t KdbSetString(uint32_t statement, uint16_t param, const char* text,
                              uint32_t length);
/* Bytes: binaryType 6 (binary) or 7 (image); the whole value in one call (offset 0, length equal
 * to totalLength), else 5004. */
KCE_API uint32_t KdbSetBinary(uint32_t statement, uint16_t param, uint16_t binaryType,
                              uint32_t totalLength, uint32_t offset, const uint8_t* bytes,
                              uint32_t length);

/* Record count. On a cursor: the number of records (any option). On a statement with option 2:
 * the rows its last execution affected (5117 when it was a query; 0 before any execution). */
KCE_API uint32_t KdbGetRecordCount(uint32_t handle, uint16_t option, uint32_t* count);
/* The row number SQLite gave the last row inserted on the handle's connection (statement or cursor
 * handle); AUTOINC columns are not tracked separately. */
KCE_API uint32_t KdbGetLastAutoinc(uint32_t handle, uint32_t* value);

/* ---- Cursors: description ---- */

KCE_API uint32_t KdbGetTableType(uint32_t cursor, uint16_t* type);
/* Bytes of one native record (the sum of the fields' native widths; kce/TYPES.md). */
KCE_API uint32_t KdbGetRecordLength(uint32_t cursor, uint32_t* length);
KCE_API uint32_t KdbGetNumFields(uint32_t cursor, uint16_t* count);
KCE_API uint32_t KdbGetFieldName(uint32_t cursor, uint16_t field, char* buf, uint16_t* len);
/* Engine field type (1 logical ... 24 varbinary, kce/TYPES.md). */
KCE_API uint32_t KdbGetFieldType(uint32_t cursor, uint16_t field, uint16_t* type);
/* Engine field length: characters of text and numeric text, bytes of the others. */
KCE_API uint32_t KdbGetFieldLength(uint32_t cursor, uint16_t field, uint32_t* length);
KCE_API uint32_t KdbGetFieldDecimals(uint32_t cursor, uint16_t field, uint16_t* decimals);
/* Offset of the field's bytes in the native record. */
KCE_API uint32_t KdbGetFieldOffset(uint32_t cursor, uint16_t field, uint32_t* offset);
/* *nullable is 0 for a NOT NULL column, else 1. The name compares without regard to case. */
KCE_API uint32_t KdbIsNullable(uint32_t cursor, const char* fieldName, uint16_t* nullable);
/* Permission bits of a column: 1 read, 2 update, 4 insert. Static cursors give 1. */
KCE_API uint32_t KdbGetColumnPermissions(uint32_t cursor, uint16_t field, uint16_t* permissions);
KCE_API uint32_t KdbGetTableOpenOptions(uint32_t cursor, uint32_t* options);
/* Character type 1 (ANSI); the collation answers 5025 (none). */
KCE_API uint32_t KdbGetTableCharType(uint32_t cursor, uint16_t* charType);
KCE_API uint32_t KdbGetTableCollation(uint32_t cursor, char* buf, uint16_t* len);
/* A native record with every field null (same length and layout as KdbGetRecord's). */
KCE_API uint32_t KdbGetNullRecord(uint32_t cursor, uint8_t* buf, uint32_t* len);
/* Record prefetch hint: accepted. */
KCE_API uint32_t KdbCacheRecords(uint32_t cursor, uint16_t records);
/* Closes a cursor. 5106 when the handle is no live cursor. */
KCE_API uint32_t KdbCloseTable(uint32_t cursor);

/* ---- Cursors: position ---- */

KCE_API uint32_t KdbGotoBOF(uint32_t cursor);
KCE_API uint32_t KdbGotoEOF(uint32_t cursor);
KCE_API uint32_t KdbSkip(uint32_t cursor, int32_t records);
/* Goes to record n (1-based); 5022 when there is none. */
KCE_API uint32_t KdbGotoRecord(uint32_t cursor, uint32_t record);
KCE_API uint32_t KdbAtBOF(uint32_t cursor, uint16_t* atBof);
KCE_API uint32_t KdbAtEOF(uint32_t cursor, uint16_t* atEof);
/* The current record's number (any option); 0 at BOF or EOF. */
KCE_API uint32_t KdbGetRecordNum(uint32_t cursor, uint16_t option, uint32_t* record);
/* *visible is 1 on a record; 5068 at BOF or EOF. */
KCE_API uint32_t KdbIsRecordVisible(uint32_t cursor, uint16_t* visible);
/* *deleted is 0: static cursors hold no deleted records. */
KCE_API uint32_t KdbIsRecordDeleted(uint32_t cursor, uint16_t* deleted);
/* Re-reads the current record: 0 on a record, 5068 at BOF or EOF. */
KCE_API uint32_t KdbRefreshRecord(uint32_t cursor);
/* Bookmarks: 4 bytes, the record number (little-endian). */
KCE_API uint32_t KdbGetBookmarkLength(uint32_t cursor, uint32_t* length);
KCE_API uint32_t KdbGetBookmark60(uint32_t cursor, uint8_t* buf, uint32_t* len);
/* Goes to the bookmarked record; 5022 when it names none. */
KCE_API uint32_t KdbGotoBookmark(uint32_t cursor, const uint8_t* bookmark, uint32_t length);
/* *result is -1, 0 or 1 as the first bookmark's record comes before, equals or follows the other's.
 */
KCE_API uint32_t KdbCompareBookmarks(const uint8_t* first, const uint8_t* second, int32_t* result);

/* ---- Cursors: values ---- */

/* Copies the current record's native bytes (layout in kce/TYPES.md). *len in: the buffer size (at
 * least the record length, else 5005 with the length needed); out: the record length. */
KCE_API uint32_t KdbGetRecord(uint32_t cursor, uint8_t* buf, uint32_t* len);
KCE_API uint32_t KdbIsNull(uint32_t cursor, uint16_t field, uint16_t* isNull);
/* *isEmpty is 1 when the value is null, empty text, text of blanks or a blob of no bytes. */
KCE_API uint32_t KdbIsEmpty(uint32_t cursor, uint16_t field, uint16_t* isEmpty);
/* Any field as text: logical "T"/"F"; numeric text as stored; dates in the engine date format;
 * times "HH:MM:SS.mmm"; timestamps the date, a space and the time; doubles with the engine's
 * decimals; money with 4 decimals; integers in decimal; text and memos as stored; binary values as
 * their bytes. Null gives an empty text. trimOption: 0 none, 1 leading blanks, 2 trailing blanks,
 * 3 both. */
KCE_API uint32_t KdbGetField(uint32_t cursor, uint16_t field, char* buf, uint32_t* len,
                             uint16_t trimOption);
/* Length of KdbGetField's text without trimming. */
KCE_API uint32_t KdbGetDataLength(uint32_t cursor, uint16_t field, uint32_t* length);
/* Bytes of a binary, image or memo field; KdbGetBinary copies from the given offset. *len in: the
 * buffer size; out: the bytes copied (fewer than asked at the end; no 5005). */
KCE_API uint32_t KdbGetBinaryLength(uint32_t cursor, uint16_t field, uint32_t* length);
KCE_API uint32_t KdbGetBinary(uint32_t cursor, uint16_t field, uint32_t offset, uint8_t* buf,
                              uint32_t* len);
/* Memo content type: 5 text (memo fields), 6 binary (binary and image fields). */
KCE_API uint32_t KdbGetMemoDataType(uint32_t cursor, uint16_t field, uint16_t* type);
/* Text in the engine date format (or 8 digits CCYYMMDD, or YYYY-MM-DD) to a julian day number.
 * 5030 when it is no valid date (*julian is then 0). */
KCE_API uint32_t KdbConvertStringToJulian(const char* text, uint16_t length, double* julian);
/* Same, with the connection's settings (the engine date format). */
KCE_API uint32_t KdbConvertDateToJulian(uint32_t connection, const char* text, uint16_t length,
                                        double* julian);
/* A julian day number as 8 digits CCYYMMDD. */
KCE_API uint32_t KdbConvertJulianToString(double julian, char* buf, uint16_t* len);

/* ---- Indexes, filters, scopes: this engine has none ---- */

/* *count is 0 (no index); 5005 never arises. */
KCE_API uint32_t KdbGetAllIndexes(uint32_t cursor, uint32_t* indexes, uint16_t* count);
/* With a null or empty name: *index is 0 (no active index). With a name: 5041. */
KCE_API uint32_t KdbGetIndexHandle(uint32_t cursor, const char* name, uint32_t* index);
/* Index files cannot be opened: 5004. */
KCE_API uint32_t KdbOpenIndex(uint32_t cursor, const char* path, uint32_t* indexes,
                              uint16_t* count);
/* Each answers 5041 (no index). */
KCE_API uint32_t KdbGetIndexPageSize(uint32_t index, uint16_t* pageSize);
KCE_API uint32_t KdbGetIndexFlags(uint32_t index, uint32_t* flags);
KCE_API uint32_t KdbGetIndexCondition(uint32_t index, char* buf, uint16_t* len);
KCE_API uint32_t KdbGetKeyNum(uint32_t index, uint16_t option, uint32_t* key);
KCE_API uint32_t KdbGetRelKeyPos(uint32_t index, double* position);
KCE_API uint32_t KdbSetScope(uint32_t index, uint16_t which, const char* value, uint16_t length);
/* Answers 5038 (no scope). */
KCE_API uint32_t KdbGetScope(uint32_t index, uint16_t which, char* buf, uint16_t* len);
/* Filters: setting one answers 5004; clearing answers 5037 (none set). */
KCE_API uint32_t KdbSetAOF(uint32_t cursor, const char* filter, uint16_t options);
KCE_API uint32_t KdbSetFilter(uint32_t cursor, const char* filter);
KCE_API uint32_t KdbClearAOF(uint32_t cursor);
KCE_API uint32_t KdbClearFilter(uint32_t cursor);
/* Filter expression forms: 5004. */
KCE_API uint32_t KdbExpressionLongToShort(uint32_t cursor, const char* in, char* buf,
                                          uint16_t* len);
KCE_API uint32_t KdbExpressionShortToLong(uint32_t cursor, const char* in, char* buf,
                                          uint16_t* len);
/* System fields of VFP tables: 5004 (cursors here are of type 3). */
KCE_API uint32_t KdbAccessVfpSystemField(uint32_t cursor, uint16_t field, const uint8_t* record,
                                         uint16_t option, uint16_t* result);

#ifdef __cplusplus
}
#endif

#endif
