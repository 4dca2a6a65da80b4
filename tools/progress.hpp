#pragma once
// quarveld-write's progress: on a terminal a line per port, redrawn in place
// and fitted to the width; into a file or pipe plain lines.
#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "image_check.hpp"
#include "port_run.hpp"
#include "station.hpp"

namespace tools {

using station::Clock;
using station::ImageCount;
using station::PortRun;
using station::RunResult;
using station::RunState;

using station::Duration;
using station::ResultWord;

// A printer silent for this long is shown as such.
constexpr std::chrono::seconds SilenceShown{2};
// Into a file, a silent printer is told of this often.
constexpr std::chrono::seconds SilenceRetold{10};

// A run's progress in at most `width` characters: bytes and frames, then the
// rate and the time left, or how long the printer has not answered; with
// `result`, how the run ended. Parts that do not fit are left out, the
// least telling first.
std::string ProgressText(const RunState& state, const ImageCount& count, Clock::time_point now,
                         std::size_t width, bool result);

// The reason of a failure without the port it starts with.
std::string ReasonAlone(const PortRun& run);

// The end of a round: on a terminal a table (port, result, bytes, frames,
// time, reason); otherwise a line per port that starts with the port.
void PrintSummary(const std::vector<PortRun*>& runs, const ImageCount& count, bool terminal);

// Units written and failed at one port over the rounds of a station.
struct Tally {
    std::string port;
    long written = 0;
    long failed = 0;
};
void PrintTallies(const std::vector<Tally>& tallies, bool terminal);

class ProgressView {
public:
    // `labelled`: each line starts with its port.
    ProgressView(bool terminal, const ImageCount& count, bool labelled);

    // Shows the runs as they are now; a terminal is redrawn at most ten
    // times a second, unless `last`. After `last` the next output starts on
    // a line of its own.
    void Update(const std::vector<PortRun*>& runs, bool last);

private:
    struct Shown {
        int tenth = 0;
        long frames = -1;
        long silence = 0;  // whole SilenceRetold periods told
        bool ended = false;
    };
    void Plain(PortRun& run, bool last);
    void Compact(const std::vector<PortRun*>& runs, Clock::time_point now, std::size_t columns, bool last);

    const bool terminal_;
    const ImageCount count_;
    const bool labelled_;
    std::size_t drawn_ = 0;  // lines of the block on the terminal
    std::vector<std::string> lines_;
    std::string compactLine_;
    Clock::time_point drawnAt_{};
    std::map<const PortRun*, Shown> shown_;
};

}  // namespace tools
