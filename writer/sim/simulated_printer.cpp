#include "simulated_printer.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace quarveld::sim {

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr std::size_t kFrameOverhead = 9;  // STX, N, 4 address, ETX, 2 CRC
// How long an answer may wait for room on the line before it is dropped.
constexpr int kAnswerRoomMs = 1000;
// After this much quiet the writer's exclusive mark is released (see releaseExclusive).
constexpr int kIdleMs = 250;

constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t r = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0xA001) : static_cast<uint16_t>(r >> 1);
        table[i] = r;
    }
    return table;
}
constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::runtime_error SystemError(const char* what) {
    return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

}  // namespace

uint16_t Crc16ArcTable(const uint8_t* bytes, std::size_t length) {
    uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ bytes[i]) & 0xFF]);
    return crc;
}

int ByteDelayForBaud(int baud) {
    if (baud <= 0) return 0;
    return static_cast<int>((10'000'000LL + baud / 2) / baud);
}

SimulatedPrinter::SimulatedPrinter(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) throw SystemError("posix_openpt");
    char name[128];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        auto error = SystemError("pseudo-terminal set-up");
        CloseFd(master_);
        throw error;
    }
    devicePath_ = name;
    // Held open for the printer's whole life: when the writer closes its end
    // the pty then stays alive and the master never sees a hang-up between runs.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        auto error = SystemError(name);
        CloseFd(master_);
        throw error;
    }
    // No echo, no line editing, no CR/LF translation: frames are binary.
    termios tio{};
    if (::tcgetattr(slave_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        auto error = SystemError("pipe");
        CloseFd(slave_);
        CloseFd(master_);
        throw error;
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    thread_ = std::thread([this] { run(); });
}

SimulatedPrinter::~SimulatedPrinter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(wakeWrite_, &byte, 1);
    if (thread_.joinable()) thread_.join();
    closePty();
    CloseFd(wakeRead_);
    CloseFd(wakeWrite_);
}

void SimulatedPrinter::closePty() {
    // Our slave first: the writer sees the hang-up only when the master goes,
    // and by then nothing of ours still refers to the dying pty.
    CloseFd(slave_);
    CloseFd(master_);
}

const std::string& SimulatedPrinter::devicePath() const { return devicePath_; }

std::size_t SimulatedPrinter::framesReceived() const {
    std::lock_guard lock(mutex_);
    return log_.size();
}

std::vector<std::vector<uint8_t>> SimulatedPrinter::frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<uint8_t> SimulatedPrinter::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<FrameInfo> SimulatedPrinter::frameLog() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::size_t SimulatedPrinter::junkBytes() const {
    std::lock_guard lock(mutex_);
    return junk_;
}

std::size_t SimulatedPrinter::memoryBytes() const {
    std::lock_guard lock(mutex_);
    return memoryBytes_;
}

std::size_t SimulatedPrinter::droppedAnswerBytes() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

bool SimulatedPrinter::hungUp() const {
    std::lock_guard lock(mutex_);
    return hungUp_;
}

std::map<uint32_t, uint8_t> SimulatedPrinter::memory() const {
    std::lock_guard lock(mutex_);
    std::map<uint32_t, uint8_t> out;
    for (const auto& [base, page] : pages_)
        for (uint32_t i = 0; i < kPageSize; ++i)
            if (page.written[i]) out.emplace_hint(out.end(), base + i, page.data[i]);
    return out;
}

bool SimulatedPrinter::waitForFrames(std::size_t n, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return log_.size() >= n; });
}

bool SimulatedPrinter::waitForHangUp(int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ended_; });
}

bool SimulatedPrinter::writeBinary(const std::string& path) const {
    std::lock_guard lock(mutex_);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = true;
    if (!pages_.empty()) {
        auto lowest = [](const Page& p) {
            uint32_t i = 0;
            while (i + 1 < kPageSize && !p.written[i]) ++i;
            return i;
        };
        auto highest = [](const Page& p) {
            uint32_t i = kPageSize - 1;
            while (i > 0 && !p.written[i]) --i;
            return i;
        };
        const uint64_t first = uint64_t(pages_.begin()->first) + lowest(pages_.begin()->second);
        const uint64_t last = uint64_t(pages_.rbegin()->first) + highest(pages_.rbegin()->second);
        ok = last - first + 1 <= kMaxBinarySpan;
        // Room for less than a page of gap plus a page.
        std::vector<uint8_t> out(2 * kPageSize, 0xFF);
        uint64_t at = first;  // next address to write
        for (auto it = pages_.begin(); ok && it != pages_.end(); ++it) {
            std::fill(out.begin(), out.end(), uint8_t{0xFF});
            while (ok && at + kPageSize <= it->first) {  // whole pages of gap
                ok = std::fwrite(out.data(), 1, kPageSize, file) == kPageSize;
                at += kPageSize;
            }
            const uint64_t begin = std::max<uint64_t>(at, it->first);
            const uint64_t end = std::min<uint64_t>(uint64_t(it->first) + kPageSize, last + 1);
            // Gap within this page's span before `begin`, then the page itself.
            std::size_t n = 0;
            for (uint64_t a = at; a < begin; ++a) out[n++] = 0xFF;
            for (uint64_t a = begin; a < end; ++a) {
                const uint32_t i = uint32_t(a - it->first);
                out[n++] = it->second.written[i] ? it->second.data[i] : 0xFF;
            }
            if (ok && n) ok = std::fwrite(out.data(), 1, n, file) == n;
            at = end;
        }
    }
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) std::remove(path.c_str());  // no half image that looks like a whole one
    return ok;
}

bool SimulatedPrinter::pauseUntil(std::chrono::steady_clock::time_point until) {
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, until, [&] { return stopping_; });
    return !stopping_;
}

void SimulatedPrinter::run() {
    // Paced bytes are timed waits: without the default 50 us of slack each,
    // the line's timing is the baud rate's, not the scheduler's.
    if (behaviour_.byteDelayMicros > 0) ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    std::array<uint8_t, 4096> buffer;
    for (;;) {
        bool partial;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
            partial = !pending_.empty();
        }
        pollfd fds[2] = {{master_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        const int timeout = partial ? behaviour_.partialFrameTimeoutMs : kIdleMs;
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents) break;
        if (ready == 0) {
            if (!partial) {
                releaseExclusive();
            } else if (!finishFrame(true)) {  // a frame that stopped half way
                break;
            }
            continue;
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master_, buffer.data(), buffer.size());
            if (n > 0) {
                if (behaviour_.byteDelayMicros > 0) {
                    // The bytes took their time on the line.
                    const auto now = std::chrono::steady_clock::now();
                    lineBusyUntil_ = std::max(lineBusyUntil_, now) +
                                     std::chrono::microseconds(int64_t(behaviour_.byteDelayMicros) * n);
                    if (!pauseUntil(lineBusyUntil_)) break;
                }
                takeBytes(buffer.data(), std::size_t(n));
                std::lock_guard lock(mutex_);
                if (hungUp_) break;
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        } else if (!(fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            continue;
        }
        // The pty is lost: we hold the slave, so this is not a writer closing.
        std::lock_guard lock(mutex_);
        hungUp_ = true;
        break;
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

void SimulatedPrinter::releaseExclusive() {
    // A writer marks the line exclusive while it has it open. Since the
    // printer holds the line too, the mark would outlive the writer's close
    // and the same user's next run would be refused (EBUSY). The writer's own
    // lock still keeps a second writer out.
    int exclusive = 0;
    if (::ioctl(slave_, TIOCGEXCL, &exclusive) == 0 && exclusive) ::ioctl(slave_, TIOCNXCL);
}

void SimulatedPrinter::takeBytes(const uint8_t* bytes, std::size_t length) {
    {
        std::lock_guard lock(mutex_);
        if (behaviour_.keepTraffic) received_.insert(received_.end(), bytes, bytes + length);
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (pending_.empty() && bytes[i] != kStx) {
            std::lock_guard lock(mutex_);
            ++junk_;
            continue;
        }
        pending_.push_back(bytes[i]);
        if (pending_.size() >= 2 && pending_.size() == kFrameOverhead + pending_[1]) {
            if (!finishFrame(false)) return;
        }
    }
}

bool SimulatedPrinter::finishFrame(bool truncated) {
    std::vector<uint8_t> frame;
    frame.swap(pending_);
    FrameInfo info;
    if (frame.size() >= 2) info.count = frame[1];
    if (frame.size() >= 6)
        info.address = uint32_t(frame[2]) << 24 | uint32_t(frame[3]) << 16 | uint32_t(frame[4]) << 8 | frame[5];
    if (!truncated) {
        const std::size_t n = info.count;
        const uint16_t crc = uint16_t(frame[7 + n] << 8 | frame[8 + n]);
        info.good = frame[6 + n] == kEtx && Crc16ArcTable(frame.data() + 1, 6 + n) == crc;
    }

    const Behaviour& b = behaviour_;
    std::string answer;
    {
        std::lock_guard lock(mutex_);
        info.index = log_.size();
        const int k = int(info.index);
        if (k == b.hangUpAtFrame) {
            info.answer = Answer::HangUp;
        } else if (b.parallel || (b.silentFromFrame >= 0 && k >= b.silentFromFrame)) {
            info.answer = Answer::None;
        } else {
            info.answer = (info.good && k != b.nakAtFrame) ? Answer::Ack : Answer::Nak;
        }
        // What a parallel printer reads correctly it keeps; a serial one only
        // what it acknowledges.
        const bool keep = info.good && (info.answer == Answer::Ack || (b.parallel && info.answer == Answer::None));
        if (keep) {
            for (std::size_t i = 0; i < info.count; ++i) {
                const uint32_t address = info.address + uint32_t(i);
                Page& page = pages_[address & ~(kPageSize - 1)];
                const uint32_t at = address & (kPageSize - 1);
                if (!page.written[at]) ++memoryBytes_;
                page.written[at] = true;
                page.data[at] = frame[6 + i];
            }
        }
        if (b.keepTraffic) frames_.push_back(frame);
        log_.push_back(info);
        if (info.answer == Answer::HangUp) {
            closePty();
            hungUp_ = true;
        }
    }
    changed_.notify_all();
    if (info.answer == Answer::HangUp) return false;
    // Before the answer: a writer that closes on it may open again at once.
    releaseExclusive();
    if (info.answer == Answer::Ack || info.answer == Answer::Nak) {
        answer = b.noiseBeforeAnswer;
        answer.push_back(char(info.answer == Answer::Ack ? kAck : kNak));
        send(answer);
    }
    std::lock_guard lock(mutex_);
    return !stopping_;
}

void SimulatedPrinter::send(const std::string& bytes) {
    using clock = std::chrono::steady_clock;
    const auto perByte = std::chrono::microseconds(behaviour_.byteDelayMicros);
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t chunk = bytes.size() - done;
        if (behaviour_.byteDelayMicros > 0) {
            // One byte at a time, each when the line would have delivered it.
            // The answer follows the frame's last byte on the line at once;
            // this thread waking up a little late is no time on the line.
            chunk = 1;
            const auto now = clock::now();
            constexpr auto lateWakeUp = std::chrono::milliseconds(2);
            lineBusyUntil_ = (now - lineBusyUntil_ < lateWakeUp ? lineBusyUntil_ : now) + perByte;
            if (!pauseUntil(lineBusyUntil_)) break;
        }
        const std::size_t n = writeSome(bytes.data() + done, chunk);
        if (n == 0) break;
        done += n;
    }
    if (done < bytes.size()) {
        std::lock_guard lock(mutex_);
        dropped_ += bytes.size() - done;
    }
}

std::size_t SimulatedPrinter::writeSome(const char* bytes, std::size_t length) {
    // A writer that never reads leaves the line full; give up rather than stop reading frames.
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(kAnswerRoomMs);
    for (;;) {
        const ssize_t n = ::write(master_, bytes, length);
        if (n > 0) return std::size_t(n);
        if (n < 0 && errno != EAGAIN && errno != EINTR) return 0;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0) return 0;
        pollfd fds[2] = {{master_, POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(fds, 2, int(left) + 1) < 0 && errno != EINTR) return 0;
        if (fds[1].revents) return 0;
    }
}

}  // namespace quarveld::sim
