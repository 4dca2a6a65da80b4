// Write runs against the simulated printer on a pseudo-terminal, the way the
// Write dialog drives them: open image and port, start the worker, close both
// on the final message.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fd_count.hpp"
#include "simulated_printer.hpp"
#include "transfer.hpp"

namespace quarveld {
namespace {

using Clock = std::chrono::steady_clock;
using ::testing::AllOf;
using ::testing::HasSubstr;
using Bytes = std::vector<uint8_t>;
using Message = std::pair<int, int32_t>;

// The message numbers as the dialog knows them.
constexpr int kEnd = 1034, kError = 1035, kProgress = 1036, kAborted = 1037;

// The Write dialog as far as the worker sees it: records every message and,
// on a final one, closes the port and the image.
class RecordingWindow : public WriteObserver {
public:
    RecordingWindow(std::unique_ptr<WritePort>& port, Image& image) : port_(port), image_(image) {}

    void HandleWriteMessage(int message, int32_t lParam) override {
        if (onMessage) onMessage(message, lParam);
        std::lock_guard lock(mutex_);
        messages_.emplace_back(message, lParam);
        if (message == kEnd || message == kError || message == kAborted) {
            ClosePort(port_);
            CloseImage(image_);
            finished_ = true;
            finishedAt_ = Clock::now();
            changed_.notify_all();
        }
    }
    bool waitFinished(int timeoutMs) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return finished_; });
    }
    bool waitMessages(std::size_t n, int timeoutMs) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return messages_.size() >= n; });
    }
    std::vector<Message> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    Clock::time_point finishedAt() {
        std::lock_guard lock(mutex_);
        return finishedAt_;
    }
    std::function<void(int, int32_t)> onMessage;  // runs on the worker, before recording

private:
    std::unique_ptr<WritePort>& port_;
    Image& image_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
    bool finished_ = false;
    Clock::time_point finishedAt_{};
};

// One S-record line with its checksum.
std::string SLine(char type, uint32_t address, const Bytes& data) {
    const int addressBytes = type == '1' || type == '9' ? 2 : type == '2' || type == '8' ? 3 : 4;
    Bytes body;
    body.push_back(static_cast<uint8_t>(addressBytes + data.size() + 1));
    for (int i = addressBytes - 1; i >= 0; --i) body.push_back(static_cast<uint8_t>(address >> (8 * i)));
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : body) sum += b;
    body.push_back(static_cast<uint8_t>(~sum));
    std::string line = std::string("S") + type;
    char hex[3];
    for (uint8_t b : body) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\n";
}

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("quarveld_transfer_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string writeImage(const std::string& text) {
        std::string path = (dir_ / "image.mot").string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Opens image and port and starts the worker, as the Write dialog does.
    void start(const std::string& imageText, const std::string& device, int32_t portId = ID_COM1) {
        const std::string imagePath = writeImage(imageText);
        descriptorsBefore_ = OpenDescriptors();
        ASSERT_TRUE(OpenRunImage(run_, image_, imagePath));
        PortSettings settings;
        settings.Port = portId;
        DeviceMap devices{device, device, device};
        port_ = OpenRunPort(run_, settings, devices);
        ASSERT_NE(port_, nullptr);
        ASSERT_EQ(run_.portHandle, port_.get());
        run_.progressWindow = &window_;
        ASSERT_TRUE(StartWriteWorker(run_));
    }

    std::vector<Message> finish(int timeoutMs = 10000) {
        EXPECT_TRUE(window_.waitFinished(timeoutMs));
        EXPECT_EQ(port_, nullptr);
        EXPECT_EQ(image_.file, nullptr);
        // The printer may have closed its own end; nothing may have been added.
        EXPECT_EQ(NewDescriptors(descriptorsBefore_), (std::map<int, std::string>{}))
            << "port or image left open";
        return window_.messages();
    }

    std::filesystem::path dir_;
    Image image_;
    std::unique_ptr<WritePort> port_;
    WriteRun run_;
    RecordingWindow window_{port_, image_};
    std::map<int, std::string> descriptorsBefore_;
};

const std::string kExampleImage = "S00600004844521B\nS1061000010203E3\nS9030000FC\n";
const Bytes kHeaderFrame{0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x40};
const Bytes kDataFrame{0x02, 0x03, 0x00, 0x00, 0x10, 0x00, 0x01, 0x02, 0x03, 0x03, 0xAD, 0xF6};

Bytes Concat(const Bytes& a, const Bytes& b) {
    Bytes all = a;
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

TEST_F(TransferTest, ExampleExchangeOnASerialPort) {
    sim::SimulatedPrinter printer;
    start(kExampleImage, printer.devicePath());
    auto messages = finish();
    EXPECT_EQ(messages, (std::vector<Message>{{kProgress, 0}, {kProgress, 3}, {kEnd, 0}}));
    EXPECT_EQ(printer.frames(), (std::vector<Bytes>{kHeaderFrame, kDataFrame}));
    EXPECT_EQ(printer.received(), Concat(kHeaderFrame, kDataFrame)) << "nothing sent for S9";
    EXPECT_EQ(printer.memory(), (std::map<uint32_t, uint8_t>{{0x1000, 0x01}, {0x1001, 0x02}, {0x1002, 0x03}}));
}

TEST_F(TransferTest, TerminationFirstSendsNothing) {
    sim::SimulatedPrinter printer;
    start("S9030000FC\nS1061000010203E3\n", printer.devicePath());
    EXPECT_EQ(finish(), (std::vector<Message>{{kEnd, 0}}));
    EXPECT_TRUE(printer.received().empty());
}

TEST_F(TransferTest, ManyRecordsArriveIntactAndTheCounterAddsUp) {
    // Records of every address width, with bytes that a cooked line would mangle.
    std::string text = SLine('0', 0, {'h', 'd', 'r'});
    std::map<uint32_t, uint8_t> expected;
    int32_t total = 0;
    std::vector<Message> progress{{kProgress, 0}};
    uint32_t seed = 12345;
    for (int r = 0; r < 60; ++r) {
        const char type = "123"[r % 3];
        const uint32_t address = (type == '1' ? 0x2000u : type == '2' ? 0x1F0000u : 0x8000000u) + 64u * r;
        Bytes data(1 + (r * 7) % 32);
        for (auto& b : data) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<uint8_t>(seed >> 16);
        }
        data[0] = static_cast<uint8_t>(r % 2 ? 0x0A : 0x11);  // LF, XON
        for (std::size_t i = 0; i < data.size(); ++i) expected[address + static_cast<uint32_t>(i)] = data[i];
        text += SLine(type, address, data);
        total += static_cast<int32_t>(data.size());
        progress.emplace_back(kProgress, total);
    }
    text += SLine('5', 60, {}) + SLine('7', 0x8000000, {});
    progress.emplace_back(kProgress, total);  // the S5 count line travels as an empty frame
    progress.emplace_back(kEnd, 0);

    sim::SimulatedPrinter printer;
    start(text, printer.devicePath());
    EXPECT_EQ(finish(), progress);
    EXPECT_EQ(printer.framesReceived(), 62u);
    EXPECT_EQ(printer.memory(), expected);
}

const std::string kFourFrameImage = "S00600004844521B\n" + SLine('1', 0x1000, {1, 2, 3}) +
                                    SLine('1', 0x1003, {4, 5, 6}) + SLine('1', 0x1006, {7, 8, 9}) +
                                    "S9030000FC\n";

TEST_F(TransferTest, NakAtTheFirstFrameEndsTheRunAtOnce) {
    sim::Behaviour behaviour;
    behaviour.nakAtFrame = 0;
    sim::SimulatedPrinter printer(behaviour);
    start(kFourFrameImage, printer.devicePath());
    EXPECT_EQ(finish(), (std::vector<Message>{{kError, 0}}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(printer.received(), kHeaderFrame) << "the refused frame is not sent again";
}

TEST_F(TransferTest, NakAtALaterFrameEndsTheRunThere) {
    sim::Behaviour behaviour;
    behaviour.nakAtFrame = 2;
    sim::SimulatedPrinter printer(behaviour);
    start(kFourFrameImage, printer.devicePath());
    EXPECT_EQ(finish(), (std::vector<Message>{{kProgress, 0}, {kProgress, 3}, {kError, 0}}));
    // The third frame, from the image's third line, on the device as mapped.
    EXPECT_THAT(run_.failure, AllOf(HasSubstr("COM1 (" + printer.devicePath() + ")"), HasSubstr("frame 3 "),
                                    HasSubstr("line 3 of " + (dir_ / "image.mot").string()), HasSubstr("NAK")));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(printer.framesReceived(), 3u);
    EXPECT_EQ(printer.memory().size(), 3u) << "only the accepted frame's data are kept";
}

TEST_F(TransferTest, OtherBytesBeforeTheAckArePassedOver) {
    sim::Behaviour behaviour;
    behaviour.noiseBeforeAnswer = std::string("\x00\x41\x13\xFF\x05", 5);
    sim::SimulatedPrinter printer(behaviour);
    start(kExampleImage, printer.devicePath());
    EXPECT_EQ(finish(), (std::vector<Message>{{kProgress, 0}, {kProgress, 3}, {kEnd, 0}}));
    EXPECT_EQ(printer.framesReceived(), 2u);
}

TEST_F(TransferTest, Lpt1WritesEverythingWithoutWaitingForAnswers) {
    // A printer that never answers: a serial run would wait at the first frame.
    sim::Behaviour behaviour;
    behaviour.parallel = true;
    sim::SimulatedPrinter printer(behaviour);
    start(kExampleImage, printer.devicePath(), ID_LPT1);
    EXPECT_EQ(run_.parallelPort, 1);
    EXPECT_EQ(finish(), (std::vector<Message>{{kProgress, 0}, {kProgress, 3}, {kEnd, 0}}));
    ASSERT_TRUE(printer.waitForFrames(2, 5000));
    EXPECT_EQ(printer.received(), Concat(kHeaderFrame, kDataFrame));
}

TEST_F(TransferTest, Lpt1MappedToAFileGetsEveryFrame) {
    const std::string device = (dir_ / "lp0").string();
    std::ofstream{device};
    start(kExampleImage, device, ID_LPT1);
    EXPECT_EQ(finish(), (std::vector<Message>{{kProgress, 0}, {kProgress, 3}, {kEnd, 0}}));
    std::ifstream in(device, std::ios::binary);
    Bytes written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(written, Concat(kHeaderFrame, kDataFrame));
}

TEST_F(TransferTest, ReaderFailureEndsWithAnErrorAfterTheGoodFrames) {
    sim::SimulatedPrinter printer;
    // The last line is cut short: its counted data run past the line.
    start("S1061000010203E3\nS10610030405\nS9030000FC\n", printer.devicePath());
    EXPECT_EQ(finish(), (std::vector<Message>{{kProgress, 3}, {kError, 0}}));
    EXPECT_EQ(run_.failure, (dir_ / "image.mot").string() + ": line 2: the line ends before data byte 3 of 3");
    EXPECT_EQ(printer.framesReceived(), 1u);
}

TEST_F(TransferTest, AbortWhileWaitingEndsSoonAndTwiceIsOnce) {
    sim::Behaviour behaviour;
    behaviour.silentFromFrame = 1;
    sim::SimulatedPrinter printer(behaviour);
    start(kExampleImage, printer.devicePath());
    ASSERT_TRUE(printer.waitForFrames(2, 5000));
    ASSERT_TRUE(window_.waitMessages(1, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // well into the wait
    const auto pressed = Clock::now();
    run_.writeRunning = 0;
    run_.writeRunning = 0;
    auto messages = finish(2000);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(window_.finishedAt() - pressed);
    EXPECT_LT(took.count(), 400) << "a read gives up after 200 ms, then ABORT is seen";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(window_.messages(), (std::vector<Message>{{kProgress, 0}, {kAborted, 0}}));
    EXPECT_EQ(printer.framesReceived(), 2u);
}

TEST_F(TransferTest, AbortIsSeenBeforeAFrameIsWritten) {
    sim::SimulatedPrinter printer;
    bool pressed = false;
    // ABORT pressed while the counter for the first frame is shown.
    window_.onMessage = [&](int message, int32_t) {
        if (message == kProgress && !pressed) {
            pressed = true;
            run_.writeRunning = 0;
        }
    };
    start(kExampleImage, printer.devicePath());
    EXPECT_EQ(finish(), (std::vector<Message>{{kProgress, 0}, {kAborted, 0}}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(printer.received(), kHeaderFrame);
}

TEST_F(TransferTest, PortThatCannotBeOpenedSaysWhy) {
    // Missing, and held by another program.
    sim::SimulatedPrinter printer;
    const int other = ::open(printer.devicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    PortSettings com2;
    com2.Port = ID_COM2;
    const std::string absent = (dir_ / "ttyUSB9").string();
    EXPECT_EQ(OpenRunPort(run_, com2, DeviceMap{printer.devicePath(), absent, ""}), nullptr);
    EXPECT_EQ(run_.failure, "COM2 (" + absent + ") cannot be opened: " + std::strerror(ENOENT));
    EXPECT_EQ(OpenRunPort(run_, PortSettings{}, DeviceMap{printer.devicePath(), absent, ""}), nullptr);
    EXPECT_THAT(run_.failure, HasSubstr("in use by another program"));
    ::close(other);

    // A device of the group dialout, opened by a user outside it.
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr || ::geteuid() != 0) GTEST_SKIP() << "needs root and the group dialout";
    const std::string device = (dir_ / "ttyS7").string();
    std::ofstream{device};
    ASSERT_EQ(::chown(device.c_str(), 0, dialout->gr_gid) | ::chmod(device.c_str(), 0660), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const bool named = OpenRunPort(run_, PortSettings{}, DeviceMap{device, "", ""}) == nullptr &&
                           run_.failure.find("group dialout") != std::string::npos;
        ::_exit(named ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "1: opened, or no group named; 2: still root";
}

TEST_F(TransferTest, HangUpEndsWithAnError) {
    sim::Behaviour behaviour;
    behaviour.hangUpAtFrame = 1;
    sim::SimulatedPrinter printer(behaviour);
    start(kExampleImage + "S1061003040506D1\n", printer.devicePath());
    EXPECT_EQ(finish(5000), (std::vector<Message>{{kProgress, 0}, {kError, 0}}));
    EXPECT_THAT(run_.failure, AllOf(HasSubstr(printer.devicePath()), HasSubstr("went away"), HasSubstr("frame 2 ")));
}

TEST_F(TransferTest, SilentPrinterCostsNoProcessorTime) {
    sim::Behaviour behaviour;
    behaviour.silentFromFrame = 0;
    sim::SimulatedPrinter printer(behaviour);
    start(kExampleImage, printer.devicePath());
    ASSERT_TRUE(printer.waitForFrames(1, 5000));
    timespec cpu0{}, cpu1{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    const double used = static_cast<double>(cpu1.tv_sec - cpu0.tv_sec) + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e9;
    EXPECT_LT(used, 0.2) << "the answer wait spins";
    EXPECT_TRUE(window_.messages().empty()) << "silence is not an ending";
    run_.writeRunning = 0;
    EXPECT_EQ(finish(2000), (std::vector<Message>{{kAborted, 0}}));
}

// A port that takes a few bytes per call and fails reads now and then, to
// drive the passes a real line rarely shows.
class TricklePort : public WritePort {
public:
    explicit TricklePort(std::size_t perCall) : perCall_(perCall) {}
    std::size_t Write(const uint8_t* bytes, std::size_t length, IoStatus& status) override {
        ++writes;
        if (goneAfterWrites > 0 && writes > goneAfterWrites) {
            status = IoStatus::Gone;
            return 0;
        }
        std::size_t n = std::min(length, perCall_);
        sent.insert(sent.end(), bytes, bytes + n);
        status = n < length ? IoStatus::TimedOut : IoStatus::Ok;
        return n;
    }
    IoStatus ReadByte(uint8_t& byte) override {
        ++reads;
        if (reads % 2) return IoStatus::Failed;  // a failed read is simply tried again
        byte = 0x06;
        return IoStatus::Ok;
    }
    Bytes sent;
    int writes = 0;
    int reads = 0;
    int goneAfterWrites = 0;

private:
    std::size_t perCall_;
};

TEST_F(TransferTest, ShortWritesAreCompletedAfterAPause) {
    TricklePort port(5);
    ASSERT_TRUE(OpenImage(writeImage(kExampleImage), image_));
    run_.portHandle = &port;
    run_.imageFile = &image_;
    run_.progressWindow = &window_;
    run_.writeRunning = 1;
    const auto begun = Clock::now();
    WriteWorker(run_);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun);
    EXPECT_EQ(window_.messages(), (std::vector<Message>{{kProgress, 0}, {kProgress, 3}, {kEnd, 0}}));
    EXPECT_EQ(port.sent, Concat(kHeaderFrame, kDataFrame));
    EXPECT_EQ(port.writes, 2 + 3);
    EXPECT_EQ(port.reads, 4);
    // 9 bytes: one short pass, 12 bytes: two short passes, each followed by 100 ms.
    EXPECT_GE(took.count(), 300);
}

TEST_F(TransferTest, PortGoneWhileWritingEndsWithAnError) {
    TricklePort port(5);
    port.goneAfterWrites = 1;
    ASSERT_TRUE(OpenImage(writeImage(kExampleImage), image_));
    run_.portHandle = &port;
    run_.imageFile = &image_;
    run_.progressWindow = &window_;
    run_.writeRunning = 1;
    WriteWorker(run_);
    EXPECT_EQ(window_.messages(), (std::vector<Message>{{kError, 0}}));
    EXPECT_THAT(run_.failure, AllOf(HasSubstr("went away"), HasSubstr("frame 1 ")));
    EXPECT_EQ(port.writes, 2);
}

TEST_F(TransferTest, ThreadThatCannotStartIsReported) {
    TricklePort port(64);
    ASSERT_TRUE(OpenImage(writeImage(kExampleImage), image_));
    run_.portHandle = &port;
    run_.imageFile = &image_;
    run_.progressWindow = &window_;
    // In a fresh process (the thread library keeps the stacks of ended
    // threads for reuse, so a child forked here could start one after all)
    // whose address space has no room for a thread's stack.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            long pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (256 << 10);
            ::setrlimit(RLIMIT_AS, &limit);
            const bool started = StartWriteWorker(run_);
            if (started) ::_exit(1);
            if (run_.writeRunning.load() != 0) ::_exit(2);
            ::_exit(run_.failure.find("cannot start") == std::string::npos ? 3 : 0);
        },
        ::testing::ExitedWithCode(0), "")
        << "1: the thread started after all, 2: writeRunning left at 1, 3: no reason given";
    CloseImage(image_);
}

}  // namespace
}  // namespace quarveld
