/* extract_ceiling DATABASE SQL OUTFILE
 *
 * The ceiling of an extraction: steps the query with SQLite and writes the comma-delimited lines
 * that parvell-cli extract writes for it (header, every value in double quotes, CR LF), with
 * nothing in between: no native records, no field objects, no general formatters. It knows only
 * the value shapes of the demo practice's tables, so it writes the same bytes for queries over
 * them (extract_bench compares the files):
 *
 *   integer            decimal digits; in a money column (by name, from the dictionary's
 *                      catalogue) the count of ten-thousandths as the amount below
 *   real               the amount rounded to 4 decimals, trailing zeros and point dropped
 *   text YYYY-MM-DD    MM/DD/YYYY
 *   text YYYY-MM-DD HH:MM:SS[.mmm]
 *                      MM/DD/YYYY h:MM:SS AM (12-hour clock, the default locale items), the
 *                      date alone at midnight
 *   other text         trailing blanks dropped, UTF-8 turned into Windows-1252 (Latin-1 part)
 *   null               nothing
 *
 * Prints the number of records written. */
#include <math.h>
#include <sqlite3.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kBufferSize = 1 << 20 };

static char buffer[kBufferSize + 4096];
static size_t used;
static FILE* out;

static void Flush(void) {
    if (used > 0 && fwrite(buffer, 1, used, out) != used) {
        perror("extract_ceiling: write");
        exit(1);
    }
    used = 0;
}

static void Put(const char* text, size_t n) {
    if (used + n > kBufferSize) Flush();
    if (n > kBufferSize) {
        if (fwrite(text, 1, n, out) != n) exit(1);
        return;
    }
    memcpy(buffer + used, text, n);
    used += n;
}

static void PutChar(char c) {
    if (used >= kBufferSize) Flush();
    buffer[used++] = c;
}

static void PutUnsigned(uint64_t value) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) PutChar(digits[--n]);
}

static int IsDigits(const unsigned char* p, int n) {
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return 0;
    }
    return 1;
}

static int IsDate(const unsigned char* p, int n) {
    return n >= 10 && IsDigits(p, 4) && p[4] == '-' && IsDigits(p + 5, 2) && p[7] == '-' &&
           IsDigits(p + 8, 2);
}

static void PutDate(const unsigned char* p) {
    char text[10] = {(char)p[5], (char)p[6], '/',        (char)p[8], (char)p[9],
                     '/',        (char)p[0], (char)p[1], (char)p[2], (char)p[3]};
    Put(text, 10);
}

static void PutText(const unsigned char* p, int n) {
    if (n == 10 && IsDate(p, n)) {
        PutDate(p);
        return;
    }
    if (n >= 19 && IsDate(p, n) && p[10] == ' ' && p[13] == ':' && p[16] == ':') {
        PutDate(p);
        if (memcmp(p + 11, "00:00:00", 8) != 0) {
            const int hour = (p[11] - '0') * 10 + (p[12] - '0');
            const int twelve = hour % 12 == 0 ? 12 : hour % 12;
            PutChar(' ');
            PutUnsigned((uint64_t)twelve);
            Put((const char*)p + 13, 6);
            Put(hour < 12 ? " AM" : " PM", 3);
        }
        return;
    }
    while (n > 0 && p[n - 1] == ' ') --n;
    for (int i = 0; i < n; ++i) {
        unsigned char c = p[i];
        if (c < 0x80) {
            PutChar((char)c);
        } else if ((c & 0xE0) == 0xC0 && i + 1 < n) {
            unsigned code = ((c & 0x1Fu) << 6) | (p[i + 1] & 0x3Fu);
            PutChar(code >= 0xA0 && code <= 0xFF ? (char)code : '?');
            ++i;
        } else {
            PutChar('?');
        }
    }
}

static void PutScaled(int64_t scaled) {
    uint64_t magnitude = scaled < 0 ? (uint64_t)0 - (uint64_t)scaled : (uint64_t)scaled;
    if (scaled < 0) PutChar('-');
    PutUnsigned(magnitude / 10000);
    unsigned fraction = (unsigned)(magnitude % 10000);
    if (fraction == 0) return;
    char digits[5] = {(char)('0' + fraction / 1000), (char)('0' + fraction / 100 % 10),
                      (char)('0' + fraction / 10 % 10), (char)('0' + fraction % 10), 0};
    int n = 4;
    while (digits[n - 1] == '0') --n;
    PutChar('.');
    Put(digits, (size_t)n);
}

static void PutAmount(double value) {
    PutScaled(llround(value * 10000.0));
}

/* Whether the result column's name is that of a MONEY or CURRENCY column in the catalogue. */
static int IsMoneyColumn(sqlite3* db, const char* name) {
    sqlite3_stmt* stmt = NULL;
    int money = 0;
    if (sqlite3_prepare_v2(db,
                           "SELECT 1 FROM kdd_columns WHERE column_name = ? AND type IN (17, 18)",
                           -1, &stmt, NULL) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
        money = sqlite3_step(stmt) == SQLITE_ROW;
    }
    sqlite3_finalize(stmt);
    return money;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: extract_ceiling DATABASE SQL OUTFILE\n");
        return 2;
    }
    sqlite3* db = NULL;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK) {
        fprintf(stderr, "extract_ceiling: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    sqlite3_exec(db, "PRAGMA cache_size = -32768; PRAGMA mmap_size = 33554432", NULL, NULL, NULL);
    sqlite3_stmt* stmt = NULL;
    if (sqlite3_prepare_v2(db, argv[2], -1, &stmt, NULL) != SQLITE_OK) {
        fprintf(stderr, "extract_ceiling: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    out = fopen(argv[3], "wb");
    if (out == NULL) {
        perror("extract_ceiling");
        return 1;
    }
    const int columns = sqlite3_column_count(stmt);
    int* money = calloc((size_t)columns + 1, sizeof *money);
    for (int i = 0; i < columns; ++i) money[i] = IsMoneyColumn(db, sqlite3_column_name(stmt, i));
    for (int i = 0; i < columns; ++i) {
        if (i > 0) PutChar(',');
        PutChar('"');
        const char* name = sqlite3_column_name(stmt, i);
        Put(name, strlen(name));
        PutChar('"');
    }
    Put("\r\n", 2);
    long records = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int i = 0; i < columns; ++i) {
            if (i > 0) PutChar(',');
            PutChar('"');
            switch (sqlite3_column_type(stmt, i)) {
                case SQLITE_INTEGER: {
                    int64_t value = sqlite3_column_int64(stmt, i);
                    if (money[i]) {
                        PutScaled(value);
                        break;
                    }
                    if (value < 0) PutChar('-');
                    PutUnsigned(value < 0 ? (uint64_t)0 - (uint64_t)value : (uint64_t)value);
                    break;
                }
                case SQLITE_FLOAT:
                    PutAmount(sqlite3_column_double(stmt, i));
                    break;
                case SQLITE_TEXT: {
                    const unsigned char* text = sqlite3_column_text(stmt, i);
                    PutText(text, sqlite3_column_bytes(stmt, i));
                    break;
                }
                default:
                    break;
            }
            PutChar('"');
        }
        Put("\r\n", 2);
        ++records;
    }
    if (rc != SQLITE_DONE) {
        fprintf(stderr, "extract_ceiling: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    Flush();
    if (fclose(out) != 0) {
        perror("extract_ceiling: close");
        return 1;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    free(money);
    printf("%ld\n", records);
    return 0;
}
