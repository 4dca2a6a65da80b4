#pragma once
// Every control of the two windows by the name the window tables give it,
// with its id: the windows create them with these ids, and tests find them
// by name as a reader of the tables would.
#include <cstddef>
#include <string_view>

namespace kelvane::win {

struct ControlName {
    std::string_view name;
    int id;
};

// formSimple
inline constexpr ControlName SimpleControls[] = {
    {"cboMemSw", 1001},    {"cmdSend2Prn", 1002}, {"cmdAdv", 1003},      {"cmdCancel", 1004},
    {"Uncheck_all", 1005}, {"VexloComm1", 1006},  {"Frame1", 1007},      {"Frame2", 1008},
    {"Frame3", 1009},      {"Label1", 1010},      {"Label2", 1011},      {"Image1", 1012},
    {"Check1(0)", 1100},   {"Check1(1)", 1101},   {"Check1(2)", 1102},   {"Check1(3)", 1103},
    {"Check1(4)", 1104},   {"Check1(5)", 1105},   {"Check1(6)", 1106},   {"Check1(7)", 1107},
    {"Check1(8)", 1108},   {"Check1(9)", 1109},   {"Check1(10)", 1110},  {"Check1(11)", 1111},
    {"Check1(12)", 1112},  {"Check1(13)", 1113},  {"Check1(14)", 1114},  {"Check1(15)", 1115},
};

// formAdvanced
inline constexpr ControlName AdvancedControls[] = {
    {"Combo1(0)", 2000},     {"Combo1(1)", 2001},     {"Combo1(2)", 2002},     {"Combo1(3)", 2003},
    {"Combo1(4)", 2004},     {"Text1(0)", 2010},      {"Text1(1)", 2011},      {"Text1(2)", 2012},
    {"Text1(3)", 2013},      {"Text1(4)", 2014},      {"Frame3", 2020},        {"Frame4", 2021},
    {"frnReset", 2022},      {"cmdReset", 2023},      {"Uncheck(0)", 2024},    {"Frame2", 2025},
    {"Start_Session", 2026}, {"Save_switches", 2027}, {"Load_Switches", 2028}, {"Frame1", 2029},
    {"VexloComm1", 2030},    {"cmdSndPrn", 2031},     {"cmdSimple", 2032},     {"cmdExit", 2033},
};

// Inside each VexloComm1
inline constexpr ControlName LinkControls[] = {
    {"optPrinter", 3001}, {"cboPrinter", 3002}, {"cmdRefresh", 3003},
    {"optDevice", 3004},  {"cboDevice", 3005},  {"lblNextJob", 3006},
};

// The id of `name` in `table`, or 0 when it has none.
template <std::size_t N>
constexpr int ControlId(const ControlName (&table)[N], std::string_view name) {
    for (const ControlName& c : table) {
        if (c.name == name) return c.id;
    }
    return 0;
}

inline constexpr int SimpleId(std::string_view name) { return ControlId(SimpleControls, name); }
inline constexpr int AdvancedId(std::string_view name) { return ControlId(AdvancedControls, name); }
inline constexpr int LinkId(std::string_view name) { return ControlId(LinkControls, name); }

// Indexed groups: Check1(i), Combo1(i), Text1(i).
inline constexpr int Check1Id(int i) { return 1100 + i; }
inline constexpr int Combo1Id(int i) { return 2000 + i; }
inline constexpr int Text1Id(int i) { return 2010 + i; }

}  // namespace kelvane::win
