#pragma once
// Tables as the programs that write these formats leave them, assembled byte by byte (RawFiles.h)
// and not by this library's writer: the reader and the engine are checked against what other
// programs put in the files. The contents, record by record ("*" marks a deleted record):
//
// DB3OEM.DBF with DB3OEM.DBT: dBase III with a memo file, OEM code page 437 (mark 0x01).
//   NAME C(8), AMOUNT N(8,2), BORN D, ACTIVE L, NOTES M
//   1    "M\x81ller" (Müller)   123.45   1999-12-31  'T'  memo "Gr\x81\xE1e" (Grüße)
//   2 *  "GONE"                   1.00   2000-01-01  'F'  blank
//   3    all blank: every field null
//   4    "?-FLAG"                -0.50   2000-02-29  '?'  block 0
//   5    "F-FLAG"              ******** 00000000     'F'  blank   (overflow mark, zero date: null)
//
// FOX2.DBF with FOX2.FPT: FoxPro 2, OEM code page 850 (mark 0x02).
//   CODE C(4), FLAG L, QTY N(5,0), NOTE M
//   1    "\x9DL" (ØL)   'y'   42   memo "fox \x82t\x82" (fox été)
//   2 *  "DEL"          'T'    1   blank
//   3    "UNK"          '?'  blank blank
//   4    "NO"           'n'   -7   blank
//
// VFP.DBF: Visual FoxPro without memo file, Windows-1252 (mark 0x03), with null flags.
//   ID I, FEE Y (may be null), PAID L (may be null), SEEN T, NAME C(10) (may be null)
//   1    1   922337203685477.5807 (the largest amount)   'T'  2000-01-01 12:00  "max"
//   2    2  -922337203685477.5808 (the smallest)         'F'  day 0: null       "min"
//   3 *  3   1.2345                                      'T'  day 0             "gone"
//   4    4   null flag                                   null flag  day 0       null flag
//   5    5   0                                           '?'  day 0             "" (not null)

#include <string>

namespace kce::dbf::test {

// Writes the three tables and their memo files into `folder`.
void WriteForeignTables(const std::string& folder);

}  // namespace kce::dbf::test
