#pragma once
// One port's write run for quarveld-write: the writer's own image reader, port
// and worker, with what a progress line and a record of the run need.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "image_check.hpp"
#include "port.hpp"
#include "srecord.hpp"
#include "transfer.hpp"

namespace station {

using Clock = std::chrono::steady_clock;

// Shared by the runs of one tool: their state changes under its mutex, and
// the end of any run wakes whoever waits on it.
struct RunBoard {
    std::mutex mutex;
    std::condition_variable ended;
    long endings = 0;  // runs ended so far
};

enum class RunResult { Running, Written, Error, Aborted };

// What a progress line shows of a run.
struct RunState {
    long frames = 0;     // acknowledged (sent, on a parallel port)
    uint64_t bytes = 0;  // data bytes of those frames: the progress counter
    Clock::time_point started;
    Clock::time_point lastAnswer;
    Clock::time_point ended;
    RunResult result = RunResult::Running;
};

class PortRun final : public quarveld::WriteObserver {
public:
    PortRun(quarveld::NamedPort port, long framesTotal, RunBoard& board);
    // Only once the run has ended, or when it never started.
    ~PortRun() override;
    PortRun(const PortRun&) = delete;
    PortRun& operator=(const PortRun&) = delete;

    // Opens the port, then starts the worker on the held image, which must
    // outlive the run. False when either failed: the run has then ended with
    // an error and its reason.
    bool Start(const HeldImage& image, const quarveld::PortSettings& settings);

    // Asks the worker to stop at its next step: an abort, or with `why` an
    // error (the printer has been silent too long).
    void Stop(const std::string& why = "");

    // True once the worker has sent its final message; the port and the
    // image are then closed, and the port is free for others.
    bool Ended();

    RunState State() const;  // under the board's lock
    // False when the image or the port could not be opened.
    bool Opened() const { return opened_; }
    const quarveld::NamedPort& Port() const { return port_; }
    // Frames that went out whole, the last one refused or unanswered included.
    long FramesSent() const { return run_.framesOut.load(); }
    // Why the run did not write the image; "" when it did.
    std::string Reason() const;
    // What kind of failure ended it, and at which frame (from 1).
    quarveld::WriteRun::Failure FailureKind() const;
    long FailedFrame() const;
    std::chrono::system_clock::time_point StartedAt() const { return startedAt_; }
    std::chrono::system_clock::time_point EndedAt() const { return endedAt_; }

    void HandleWriteMessage(int message, int32_t lParam) override;

private:
    void EndLocked(RunResult result, std::string reason);

    const quarveld::NamedPort port_;
    const long framesTotal_;
    RunBoard& board_;
    quarveld::WriteRun run_;
    quarveld::Image image_;
    std::unique_ptr<quarveld::WritePort> handle_;
    bool opened_ = false;  // set before the worker starts
    bool closed_ = false;
    std::string stopReason_;
    RunState state_;
    std::string reason_;
    quarveld::WriteRun::Failure failureKind_ = quarveld::WriteRun::Failure::Other;
    long failedFrame_ = 0;
    std::chrono::system_clock::time_point startedAt_, endedAt_;
};

}  // namespace station
