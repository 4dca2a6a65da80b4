#pragma once
// The tools' run log: one JSON object a line (JSON Lines). Each line is
// appended whole and flushed to disk before Append returns, so a killed
// tool never leaves half a line, and several tools may append to one log
// at once without mixing their lines.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

namespace station {

class RunLog {
public:
    RunLog() = default;
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Opens `path` for appending, creating it when missing; false with the
    // system's reason in `why` when it cannot.
    bool Open(const std::string& path, std::string& why);
    bool IsOpen() const { return handle_ != -1; }

    // Appends `record` as one line. Safe from several threads.
    bool Append(const nlohmann::json& record, std::string& why);

private:
    // Platform part: the line (ending in '\n') written whole, on a line of
    // its own, and flushed.
    bool AppendLine(const std::string& line, std::string& why);
    void Close();

    std::intptr_t handle_ = -1;  // a descriptor or a HANDLE
    std::string path_;
    std::mutex mutex_;
};

// SHA-256, as lower-case hex.
std::string Sha256Hex(const std::string& bytes);
bool FileSha256Hex(const std::string& path, std::string& hex, std::string& why);

// ISO 8601 in UTC with milliseconds: "2026-12-08T16:25:03.123Z".
std::string UtcTimestamp(std::chrono::system_clock::time_point when);

// This machine's name, "" when the system does not say.
std::string HostName();

// The package's version, as the installers carry it.
std::string ToolVersion();

namespace detail {
std::string HexText(const unsigned char* bytes, std::size_t size);
}

}  // namespace station
