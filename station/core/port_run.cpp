#include "port_run.hpp"

#include <utility>

namespace station {

PortRun::PortRun(quarveld::NamedPort port, long framesTotal, RunBoard& board)
    : port_(std::move(port)), framesTotal_(framesTotal), board_(board) {
    state_.started = state_.lastAnswer = Clock::now();
    startedAt_ = endedAt_ = std::chrono::system_clock::now();
}

PortRun::~PortRun() {
    if (!closed_) {
        quarveld::ClosePort(handle_);
        quarveld::CloseImage(image_);
    }
}

bool PortRun::Start(const HeldImage& image, const quarveld::PortSettings& settings) {
    {
        std::lock_guard<std::mutex> lock(board_.mutex);
        state_.started = state_.lastAnswer = Clock::now();
        startedAt_ = std::chrono::system_clock::now();
    }
    // No worker yet: the run is this thread's alone until it starts.
    run_.progressWindow = this;
    quarveld::OpenHeldImage(image.path, image.bytes, image_);
    run_.imageFile = &image_;
    handle_ = quarveld::OpenRunPort(run_, port_, settings);
    opened_ = handle_ != nullptr;
    if (opened_ && quarveld::StartWriteWorker(run_)) return true;
    std::lock_guard<std::mutex> lock(board_.mutex);
    EndLocked(RunResult::Error, run_.failure);
    return false;
}

void PortRun::Stop(const std::string& why) {
    std::lock_guard<std::mutex> lock(board_.mutex);
    if (state_.result != RunResult::Running || run_.writeRunning.load() == 0) return;
    stopReason_ = why;
    run_.writeRunning.store(0);
}

bool PortRun::Ended() {
    std::lock_guard<std::mutex> lock(board_.mutex);
    if (state_.result == RunResult::Running) return false;
    // The worker touches neither after its final message.
    if (!closed_) {
        quarveld::ClosePort(handle_);
        quarveld::CloseImage(image_);
        closed_ = true;
    }
    return true;
}

RunState PortRun::State() const {
    std::lock_guard<std::mutex> lock(board_.mutex);
    return state_;
}

quarveld::WriteRun::Failure PortRun::FailureKind() const {
    std::lock_guard<std::mutex> lock(board_.mutex);
    return failureKind_;
}

long PortRun::FailedFrame() const {
    std::lock_guard<std::mutex> lock(board_.mutex);
    return failedFrame_;
}

std::string PortRun::Reason() const {
    std::lock_guard<std::mutex> lock(board_.mutex);
    return reason_;
}

void PortRun::HandleWriteMessage(int message, int32_t lParam) {
    std::lock_guard<std::mutex> lock(board_.mutex);
    switch (message) {
        case quarveld::UM_WRITE_PROGRESS:
            ++state_.frames;
            state_.bytes = static_cast<uint32_t>(lParam);
            state_.lastAnswer = Clock::now();
            return;
        case quarveld::UM_WRITE_END:
            EndLocked(RunResult::Written, "");
            return;
        case quarveld::UM_WRITE_ERROR:
            failureKind_ = run_.failureKind;
            failedFrame_ = run_.failedFrame;
            EndLocked(RunResult::Error, run_.failure);
            return;
        default:
            if (!stopReason_.empty()) {
                EndLocked(RunResult::Error, stopReason_);
            } else {
                EndLocked(RunResult::Aborted, port_.label + ": aborted after " + std::to_string(state_.frames) +
                                                  " of " + std::to_string(framesTotal_) + " frames");
            }
            return;
    }
}

// Under the board's lock; the worker's last touch of this run.
void PortRun::EndLocked(RunResult result, std::string reason) {
    state_.result = result;
    state_.ended = Clock::now();
    reason_ = std::move(reason);
    endedAt_ = std::chrono::system_clock::now();
    ++board_.endings;
    board_.ended.notify_all();
}

}  // namespace station
