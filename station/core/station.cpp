#include "station.hpp"

#include <cstdio>
#include <thread>

namespace station {

namespace {

using Seconds = std::chrono::duration<double>;

// The reason without the port it starts with.
std::string WithoutPort(const std::string& reason, const quarveld::NamedPort& port) {
    const std::string prefix = port.label + ": ";
    return reason.compare(0, prefix.size(), prefix) == 0 ? reason.substr(prefix.size()) : reason;
}

}  // namespace

std::string Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

const char* ResultWord(RunResult result) {
    switch (result) {
        case RunResult::Written: return "written";
        case RunResult::Error: return "error";
        case RunResult::Aborted: return "aborted";
        default: return "";
    }
}

nlohmann::json RunRecord(const PortRun& run, const HeldImage& image, long unit) {
    const RunState state = run.State();
    return {
        {"started", UtcTimestamp(run.StartedAt())},
        {"ended", UtcTimestamp(run.EndedAt())},
        {"port", run.Port().written},
        {"device", run.Port().device},
        {"image", image.fullPath},
        {"image_bytes", image.bytes.size()},
        {"image_sha256", image.sha256},
        {"frames_sent", run.FramesSent()},
        {"frames_total", image.count.frames},
        {"bytes_sent", state.bytes},
        {"result", ResultWord(state.result)},
        {"reason", run.Reason()},
        {"unit", unit},
        {"host", HostName()},
        {"tool_version", ToolVersion()},
    };
}

Station::~Station() {
    Abort();
    while (Poll()) {
        std::unique_lock<std::mutex> lock(board_.mutex);
        board_.ended.wait_for(lock, std::chrono::milliseconds(20));
    }
    if (recorder_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(recordMutex_);
            recorderStop_ = true;
        }
        recordWake_.notify_all();
        recorder_.join();
    }
}

void Station::KeepRecords() {
    std::unique_lock<std::mutex> lock(recordMutex_);
    for (;;) {
        recordWake_.wait(lock, [this] { return recorderStop_ || !pending_.empty(); });
        if (pending_.empty()) return;
        auto [record, label] = std::move(pending_.front());
        pending_.pop_front();
        lock.unlock();
        std::string why;
        const bool kept = log_.Append(record, why);
        lock.lock();
        if (!kept && recordFailure_.empty()) {
            recordFailure_ = "The record of the run at " + label + " cannot be written: " + why +
                             ". The station has stopped; choose a log it can write to.";
        }
        --recording_;
    }
}

bool Station::Start(std::shared_ptr<const HeldImage> image, const std::vector<quarveld::NamedPort>& ports,
                    const StationOptions& options, std::string& why) {
    if (running_) {
        why = "a unit is still being written";
        return false;
    }
    if (!image) {
        why = "no image has been checked";
        return false;
    }
    if (ports.empty()) {
        why = "no port is chosen";
        return false;
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (ports[i].device == ports[j].device) {
                why = ports[j].written + " and " + ports[i].written + " are the same port (" + ports[i].device + ")";
                return false;
            }
        }
    }
    if (!options.logPath.empty() && !log_.Open(options.logPath, why)) {
        why = "the record cannot be kept in " + options.logPath + ": " + why;
        return false;
    }
    stopped_.clear();
    {
        std::lock_guard<std::mutex> lock(recordMutex_);
        recordFailure_.clear();
    }
    if (!recorder_.joinable()) recorder_ = std::thread(&Station::KeepRecords, this);
    image_ = std::move(image);
    options_ = options;
    ++unit_;
    runs_.clear();
    status_.clear();
    for (const quarveld::NamedPort& port : ports) {
        runs_.push_back(std::make_unique<PortRun>(port, image_->count.frames, board_));
        PortStatus status;
        status.port = port;
        status.words = "ready";
        status_.push_back(status);
    }
    recorded_.assign(ports.size(), false);
    silenced_.assign(ports.size(), false);
    running_ = true;
    for (auto& run : runs_) run->Start(*image_, options_.line);
    Poll();
    return true;
}

void Station::Abort() {
    for (auto& run : runs_) run->Stop();
}

bool Station::Poll() {
    if (!running_) return false;
    const Clock::time_point now = Clock::now();
    bool all = true;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        PortRun& run = *runs_[i];
        if (run.Ended()) {
            if (!recorded_[i]) Record(i);
        } else {
            all = false;
            const RunState state = run.State();
            const Seconds silent = now - state.lastAnswer;
            if (options_.silenceSeconds > 0 && silent.count() > options_.silenceSeconds) {
                char text[32];
                std::snprintf(text, sizeof text, "%g s", options_.silenceSeconds);
                silenced_[i] = true;
                run.Stop(run.Port().label + ": no answer from the printer for " + text + " at frame " +
                         std::to_string(state.frames + 1) + " of " + std::to_string(image_->count.frames));
            }
        }
        Refresh(i, now);
    }
    long recording = 0;
    {
        std::lock_guard<std::mutex> lock(recordMutex_);
        recording = recording_;
        if (!recordFailure_.empty() && stopped_.empty()) stopped_ = recordFailure_;
    }
    // Never a unit written and not recorded: what still runs stops.
    if (!stopped_.empty()) Abort();
    running_ = !all || recording > 0;
    return running_;
}

// Queued as soon as the run has ended; a record that cannot be written stops
// the station at the next poll.
void Station::Record(std::size_t i) {
    recorded_[i] = true;
    PortRun& run = *runs_[i];
    PortCount& count = counts_[run.Port().device];
    if (run.State().result == RunResult::Written) {
        ++count.written;
        ++total_.written;
    } else {
        ++count.failed;
        ++total_.failed;
    }
    if (options_.logPath.empty()) return;
    nlohmann::json record = RunRecord(run, *image_, unit_);
    record["batch"] = options_.batch;
    record["station"] = options_.station;
    {
        std::lock_guard<std::mutex> lock(recordMutex_);
        pending_.emplace_back(std::move(record), run.Port().label);
        ++recording_;
    }
    recordWake_.notify_one();
}

void Station::Refresh(std::size_t i, Clock::time_point now) {
    PortRun& run = *runs_[i];
    PortStatus& status = status_[i];
    status.state = run.State();
    const RunState& state = status.state;
    const ImageCount& count = image_->count;
    status.fraction = count.dataBytes > 0 ? static_cast<double>(state.bytes) / static_cast<double>(count.dataBytes)
                      : count.frames > 0 ? static_cast<double>(state.frames) / static_cast<double>(count.frames)
                                         : 0;
    switch (state.result) {
        case RunResult::Running: {
            const double silent = Seconds(now - state.lastAnswer).count();
            if (silent >= SilenceShownSeconds) {
                status.phase = PortPhase::Silent;
                status.words = "no answer for " + Duration(silent);
                break;
            }
            status.phase = PortPhase::Writing;
            status.words = "writing " + std::to_string(static_cast<int>(status.fraction * 100)) + " %";
            const double elapsed = Seconds(now - state.started).count();
            if (status.fraction > 0 && status.fraction < 1)
                status.words += " (" + Duration(elapsed * (1 - status.fraction) / status.fraction) + " left)";
            break;
        }
        case RunResult::Written:
            status.phase = PortPhase::Written;
            status.fraction = 1;
            status.words = "written in " + Duration(Seconds(state.ended - state.started).count());
            break;
        case RunResult::Aborted:
            status.phase = PortPhase::Aborted;
            status.words = "aborted";
            break;
        case RunResult::Error:
            status.reason = run.Reason();
            if (run.FailureKind() == quarveld::WriteRun::Failure::Gone) {
                status.phase = PortPhase::Gone;
                status.words = "the device went away";
            } else if (run.FailureKind() == quarveld::WriteRun::Failure::Refused) {
                status.phase = PortPhase::Refused;
                status.words = "error: the printer refused frame " + std::to_string(run.FailedFrame()) + " (NAK)";
            } else if (silenced_[i]) {
                status.phase = PortPhase::Failed;
                status.words = "error: no answer for " + Duration(options_.silenceSeconds);
            } else {
                status.phase = PortPhase::Failed;
                status.words = "error: " + WithoutPort(status.reason, run.Port());
            }
            break;
    }
    if (state.result == RunResult::Aborted) status.reason = run.Reason();
}

PortCount Station::CountAt(const std::string& device) const {
    const auto found = counts_.find(device);
    return found == counts_.end() ? PortCount{} : found->second;
}

}  // namespace station
