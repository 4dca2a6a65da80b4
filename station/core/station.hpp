#pragma once
// The flash station: one unit at every chosen port at once, all written from
// the image held in memory, each port's run recorded as it ends. A window
// drives it from its own timer (Poll every 50 ms or so): nothing here calls
// into the window's thread, so a QTimer and a Win32 SetTimer serve alike.
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "image_check.hpp"
#include "port.hpp"
#include "port_run.hpp"
#include "run_log.hpp"

namespace station {

// "0:05", "1:02:03".
std::string Duration(double seconds);

// How a run ended, in a word: "written", "error", "aborted".
const char* ResultWord(RunResult result);

// The record of one port's run: started, ended, port, device, image,
// image_bytes, image_sha256, frames_sent, frames_total, bytes_sent, result,
// reason, unit, host, tool_version.
nlohmann::json RunRecord(const PortRun& run, const HeldImage& image, long unit);

// A printer silent for this long is shown as such.
constexpr double SilenceShownSeconds = 2;

enum class PortPhase { Ready, Writing, Silent, Written, Refused, Gone, Failed, Aborted };

// A port of the station as a row of a window shows it.
struct PortStatus {
    quarveld::NamedPort port;
    PortPhase phase = PortPhase::Ready;
    RunState state;
    double fraction = 0;  // of the image, 0 to 1
    // "ready", "writing 45 % (0:04 left)", "no answer for 0:05", "written in
    // 0:07", "error: the printer refused frame 69 (NAK)", "the device went
    // away", "aborted".
    std::string words;
    std::string reason;  // a failure in full, as quarveld-write prints it
};

// Units written and failed at a port since the station began.
struct PortCount {
    long written = 0;
    long failed = 0;
};

struct StationOptions {
    quarveld::PortSettings line;
    double silenceSeconds = 10;  // no answer for that long ends a port's run; 0 waits
    std::string logPath;         // "" keeps no record
    std::string batch;           // the work order or lot
    std::string station;         // the machine's name
};

class Station {
public:
    Station() = default;
    // Aborts what still runs, records it and waits for it.
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Starts the next unit at every port at once. False with `why` when
    // nothing started: a unit still running, no image, no port, a port given
    // twice, a log that cannot be opened.
    bool Start(std::shared_ptr<const HeldImage> image, const std::vector<quarveld::NamedPort>& ports,
               const StationOptions& options, std::string& why);

    // Every port stops at its next step (within 200 ms); Poll records them.
    void Abort();

    // Takes in what happened since the last call: records the runs that
    // ended, ends those silent for too long, refreshes Ports(). True while
    // a unit is being written or its records are still being kept.
    bool Poll();

    bool Running() const { return running_; }
    // The ports of the last unit started, in the order given.
    const std::vector<PortStatus>& Ports() const { return status_; }
    PortCount CountAt(const std::string& device) const;
    PortCount Total() const { return total_; }
    long Units() const { return unit_; }
    // Why the station stopped itself (a record that could not be written);
    // "" when it did not. The next Start tries the log again.
    const std::string& Stopped() const { return stopped_; }

private:
    void Refresh(std::size_t i, Clock::time_point now);
    void Record(std::size_t i);
    void KeepRecords();  // the recorder thread

    // Records are written and flushed on a thread of their own, so a slow
    // disk never holds up the window that polls.
    std::mutex recordMutex_;
    std::condition_variable recordWake_;
    std::deque<std::pair<nlohmann::json, std::string>> pending_;  // a record, its port's label
    long recording_ = 0;  // records queued or being written
    std::string recordFailure_;
    bool recorderStop_ = false;
    std::thread recorder_;

    std::shared_ptr<const HeldImage> image_;
    StationOptions options_;
    RunBoard board_;  // outlives the runs
    RunLog log_;
    std::vector<std::unique_ptr<PortRun>> runs_;
    std::vector<PortStatus> status_;
    std::vector<bool> recorded_, silenced_;
    std::map<std::string, PortCount> counts_;
    PortCount total_;
    long unit_ = 0;
    bool running_ = false;
    std::string stopped_;
};

}  // namespace station
