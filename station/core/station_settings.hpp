#pragma once
// The station's own settings, kept per user in a file of its own: the line,
// the ports ticked, the batch, the record's place and the silence time-out.
#include <chrono>
#include <string>
#include <vector>

#include "port.hpp"

namespace station {

struct StationSettings {
    quarveld::PortSettings line;      // until the station keeps its own: TORWIN.INI's
    std::vector<std::string> ticked;  // devices, as FoundPort::device or as typed
    std::vector<std::string> added;   // devices added by hand
    std::string batch;
    std::string logPath;              // "" the file of the day
    double silenceSeconds = 10;       // 0 waits
};

// The station's file at `path`; what it does not hold comes from TORWIN.INI
// at `torwin` (the line) and from the defaults.
StationSettings LoadStationSettings(const std::string& path, const std::string& torwin);
bool SaveStationSettings(const StationSettings& settings, const std::string& path, std::string* why = nullptr);

// FOLDER/station-2026-12-08.jsonl, by the local date of `when`.
std::string DailyLogPath(const std::string& folder, std::chrono::system_clock::time_point when);

// The line in words, and back: "19200", "8", "none". False for a word the
// port does not offer.
std::string BaudWord(int32_t id);
std::string BitsWord(int32_t id);
std::string ParityWord(int32_t id);
bool BaudFromWord(const std::string& word, int32_t& id);
bool BitsFromWord(const std::string& word, int32_t& id);
bool ParityFromWord(const std::string& word, int32_t& id);

}  // namespace station
