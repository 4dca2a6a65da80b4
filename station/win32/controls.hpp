#pragma once
// Every control of the station window by name, with its id: the resource
// script and the window create them with these ids, and tests find them by
// name.
#include <cstddef>
#include <string_view>

namespace station::win {

struct ControlName {
    std::string_view name;
    int id;
};

inline constexpr ControlName StationControls[] = {
    {"txtImage", 1001},   {"cmdImage", 1002},   {"lblImage", 1003},  {"cboBaudRate", 1010},
    {"cboBitLength", 1011}, {"cboParity", 1012}, {"txtSilence", 1013}, {"txtBatch", 1020},
    {"txtRecord", 1021},  {"cmdRecord", 1022},  {"fraPorts", 1030},  {"cmdFindPorts", 1031},
    {"txtDevice", 1032},  {"cmdAddDevice", 1033}, {"picRows", 1034},  {"lblTotals", 1040},
    {"cmdStart", 1041},   {"cmdAbort", 1042},
};

// The rows, one a port: chkPort(i), the colour mark, the bar, the state in
// words and the port's counts.
inline constexpr int MaxRows = 64;
inline constexpr int chkPortId(int i) { return 1100 + i; }
inline constexpr int picMarkId(int i) { return 1200 + i; }
inline constexpr int barPortId(int i) { return 1300 + i; }
inline constexpr int lblStateId(int i) { return 1400 + i; }
inline constexpr int lblCountsId(int i) { return 1500 + i; }

template <std::size_t N>
constexpr int ControlId(const ControlName (&table)[N], std::string_view name) {
    for (const ControlName& c : table) {
        if (c.name == name) return c.id;
    }
    return 0;
}

inline constexpr int StationId(std::string_view name) { return ControlId(StationControls, name); }

}  // namespace station::win
