#pragma once
// The main window's designed layout: each control's place in pixels at 96 dots per inch,
// relative to the client area or, for the controls inside Panel1, to Panel1. A width of -1 means
// the control sizes itself to its caption; only its place is fixed.

#include <QString>

namespace parvell::test {

struct DesignedControl {
    const char* name;
    const char* parent;  // "client" or "Panel1"
    int left, top, width, height;
};

inline constexpr DesignedControl kForm1Layout[] = {
    {"Panel1", "client", 0, 0, 497, 417},         {"Memo1", "Panel1", 9, 8, 480, 330},
    {"Label5", "Panel1", 8, 344, 64, 16},         {"Edit1", "Panel1", 88, 344, 401, 21},
    {"Label1", "Panel1", 8, 368, 113, 16},        {"DataExtract", "Panel1", 128, 368, 361, 21},
    {"Label2", "Panel1", 8, 392, 112, 16},        {"Label4", "Panel1", 128, 396, -1, -1},
    {"Label3", "Panel1", 16, 424, -1, -1},        {"Button1", "client", 504, 8, 75, 25},
    {"Button3", "client", 504, 40, 75, 25},       {"Button4", "client", 504, 72, 75, 25},
    {"CheckBox2", "client", 504, 112, 121, 17},   {"CheckBox1", "client", 504, 128, 113, 17},
    {"RadioGroup1", "client", 504, 160, 121, 81}, {"Label7", "client", 504, 248, -1, -1},
    {"Button5", "client", 504, 272, 75, 25},      {"Button2", "client", 520, 368, 75, 25},
};

}  // namespace parvell::test
