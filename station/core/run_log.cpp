#include "run_log.hpp"

#include <cstdio>

namespace station {

bool RunLog::Append(const nlohmann::json& record, std::string& why) {
    if (!IsOpen()) {
        why = "the log is not open";
        return false;
    }
    // Paths and reasons come from the system and need not be UTF-8: replace
    // what is not rather than lose the line.
    const std::string line = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    if (AppendLine(line, why)) return true;
    why = path_ + ": " + why;
    return false;
}

RunLog::~RunLog() { Close(); }

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(when);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> time{ms - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

std::string ToolVersion() { return TOOL_VERSION; }

std::string detail::HexText(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

}  // namespace station
