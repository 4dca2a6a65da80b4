#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "simulated_printer.hpp"

using namespace quarveld::sim;
using Bytes = std::vector<uint8_t>;

namespace {

// The writer's end of the cable, kept minimal.
class Line {
public:
    explicit Line(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0) {
            termios tio{};
            ::tcgetattr(fd_, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Line() { close(); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }
    void send(const Bytes& bytes) { ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    // Whatever arrives until `count` bytes are in or the line stays quiet for quietMs.
    Bytes read(std::size_t count, int quietMs = 2000) {
        Bytes out;
        while (out.size() < count) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, quietMs) <= 0 || !(p.revents & POLLIN)) break;
            uint8_t b[64];
            const ssize_t n = ::read(fd_, b, std::min(sizeof b, count - out.size()));
            if (n <= 0) break;
            out.insert(out.end(), b, b + n);
        }
        return out;
    }

private:
    int fd_ = -1;
};

const Bytes kEmptyFrame = {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x40};
const Bytes kDataFrame = {0x02, 0x03, 0x00, 0x00, 0x10, 0x00, 0x01, 0x02, 0x03, 0x03, 0xAD, 0xF6};
const Bytes kBadCrc = {0x02, 0x03, 0x00, 0x00, 0x10, 0x00, 0x01, 0x02, 0x03, 0x03, 0xAD, 0xF7};
// CRC right, but 04 where ETX belongs.
const Bytes kBadEtx = {0x02, 0x03, 0x00, 0x00, 0x10, 0x00, 0x01, 0x02, 0x03, 0x04, 0x6F, 0xB7};
const Bytes kFrameAt1005 = {0x02, 0x01, 0x00, 0x00, 0x10, 0x05, 0xAA, 0x03, 0xA0, 0x3A};
const Bytes kFrameAt2000 = {0x02, 0x01, 0x00, 0x00, 0x20, 0x00, 0xBB, 0x03, 0xF1, 0x29};
const Bytes kAck = {0x06};
const Bytes kNak = {0x15};

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / (name + "." + std::to_string(::getpid()))).string();
}

}  // namespace

TEST(SimulatedPrinterCrc, MatchesCheckValueAndKnownFrames) {
    const uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16ArcTable(text, 9), 0xBB3D);
    EXPECT_EQ(Crc16ArcTable(kEmptyFrame.data() + 1, 6), 0x0140);
    EXPECT_EQ(Crc16ArcTable(kDataFrame.data() + 1, 9), 0xADF6);
    EXPECT_EQ(ByteDelayForBaud(19200), 521);
}

TEST(SimulatedPrinter, AcknowledgesGoodFramesAndKeepsTheirData) {
    SimulatedPrinter printer;
    Line line(printer.devicePath());
    ASSERT_GE(line.fd(), 0);
    line.send(kEmptyFrame);
    EXPECT_EQ(line.read(1), kAck);
    line.send(kDataFrame);
    EXPECT_EQ(line.read(1), kAck);

    EXPECT_EQ(printer.framesReceived(), 2u);
    EXPECT_EQ(printer.frames(), (std::vector<Bytes>{kEmptyFrame, kDataFrame}));
    Bytes all = kEmptyFrame;
    all.insert(all.end(), kDataFrame.begin(), kDataFrame.end());
    EXPECT_EQ(printer.received(), all);
    EXPECT_EQ(printer.memory(), (std::map<uint32_t, uint8_t>{{0x1000, 0x01}, {0x1001, 0x02}, {0x1002, 0x03}}));
}

TEST(SimulatedPrinter, RefusesBadFramesAndSkipsJunk) {
    Behaviour behaviour;
    behaviour.partialFrameTimeoutMs = 100;
    SimulatedPrinter printer(behaviour);
    Line line(printer.devicePath());
    line.send(kBadCrc);
    EXPECT_EQ(line.read(1), kNak);
    line.send(kBadEtx);
    EXPECT_EQ(line.read(1), kNak);
    EXPECT_TRUE(printer.memory().empty());

    // Bytes before STX are not a frame; the frame after them is.
    line.send({0xFF, 0x00, 0x41});
    line.send(kFrameAt1005);
    EXPECT_EQ(line.read(1), kAck);
    EXPECT_EQ(printer.junkBytes(), 3u);

    // A frame cut short is refused once the line stays quiet, not waited for forever.
    line.send({0x02, 0x05, 0x00, 0x00});
    EXPECT_EQ(line.read(1), kNak);
    EXPECT_EQ(printer.framesReceived(), 4u);
    EXPECT_FALSE(printer.frameLog()[3].good);
    EXPECT_EQ(printer.memory(), (std::map<uint32_t, uint8_t>{{0x1005, 0xAA}}));
}

TEST(SimulatedPrinter, NakAtFrameAndNoiseBeforeEveryAnswer) {
    Behaviour behaviour;
    behaviour.nakAtFrame = 1;
    behaviour.noiseBeforeAnswer = std::string("\xFF\x00\x41", 3);
    SimulatedPrinter printer(behaviour);
    Line line(printer.devicePath());
    line.send(kEmptyFrame);
    EXPECT_EQ(line.read(4), (Bytes{0xFF, 0x00, 0x41, 0x06}));
    line.send(kDataFrame);
    EXPECT_EQ(line.read(4), (Bytes{0xFF, 0x00, 0x41, 0x15}));
    line.send(kFrameAt1005);
    EXPECT_EQ(line.read(4), (Bytes{0xFF, 0x00, 0x41, 0x06}));
    // The refused frame's data is not kept.
    EXPECT_EQ(printer.memory(), (std::map<uint32_t, uint8_t>{{0x1005, 0xAA}}));
}

// Silence from frame 1, and a parallel printer that never answers but keeps good data.
TEST(SimulatedPrinter, ModesWithoutAnswers) {
    for (const bool parallel : {false, true}) {
        Behaviour behaviour;
        behaviour.parallel = parallel;
        behaviour.silentFromFrame = parallel ? -1 : 1;
        SimulatedPrinter printer(behaviour);
        Line line(printer.devicePath());
        line.send(kEmptyFrame);
        if (!parallel) {
            EXPECT_EQ(line.read(1), kAck);
        }
        line.send(kDataFrame);
        line.send(kBadCrc);
        ASSERT_TRUE(printer.waitForFrames(3, 2000));
        EXPECT_TRUE(line.read(1, 300).empty()) << parallel;
        EXPECT_EQ(printer.memory().size(), parallel ? 3u : 0u);
        EXPECT_EQ(printer.frameLog()[2].answer, Answer::None);
    }
}

TEST(SimulatedPrinter, PacesBytesLikeASlowLine) {
    Behaviour behaviour;
    behaviour.byteDelayMicros = 20000;  // 12 bytes in, 2 out: at least 280 ms
    behaviour.noiseBeforeAnswer = std::string("\x55", 1);
    SimulatedPrinter printer(behaviour);
    Line line(printer.devicePath());
    const auto start = std::chrono::steady_clock::now();
    line.send(kDataFrame);
    EXPECT_EQ(line.read(2), (Bytes{0x55, 0x06}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(270));
}

TEST(SimulatedPrinter, HangUpIsSeenByTheWriter) {
    Behaviour behaviour;
    behaviour.hangUpAtFrame = 1;
    SimulatedPrinter printer(behaviour);
    Line line(printer.devicePath());
    line.send(kEmptyFrame);
    EXPECT_EQ(line.read(1), kAck);
    line.send(kDataFrame);
    ASSERT_TRUE(printer.waitForHangUp(2000));
    EXPECT_TRUE(printer.hungUp());

    pollfd p{line.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    uint8_t byte;
    EXPECT_LE(::read(line.fd(), &byte, 1), 0);
    EXPECT_EQ(printer.framesReceived(), 2u);
    EXPECT_EQ(printer.frameLog()[1].answer, Answer::HangUp);
    EXPECT_TRUE(printer.memory().empty());
}

// Each writer run opens the line, marks it exclusive, and closes it again. The
// mark must not outlive the run: since the printer holds the line too, it would,
// and a user who is not root would be refused the next run.
TEST(SimulatedPrinter, KeepsServingAcrossWriterRuns) {
    SimulatedPrinter printer;
    for (int run = 0; run < 3; ++run) {
        Line line(printer.devicePath());
        ASSERT_GE(line.fd(), 0) << "run " << run;
        ASSERT_EQ(::ioctl(line.fd(), TIOCEXCL), 0);
        ::tcflush(line.fd(), TCIOFLUSH);
        int exclusive = 1;
        if (run < 2) {
            line.send(kDataFrame);
            EXPECT_EQ(line.read(1), kAck) << "run " << run;
            // Released by the time the answer is in, so a run may follow at once.
            ASSERT_EQ(::ioctl(line.fd(), TIOCGEXCL, &exclusive), 0);
        } else {
            // A run that sends nothing: released once the line is quiet.
            for (int i = 0; i < 40 && exclusive; ++i) {
                ::usleep(50'000);
                ASSERT_EQ(::ioctl(line.fd(), TIOCGEXCL, &exclusive), 0);
            }
        }
        EXPECT_EQ(exclusive, 0) << "run " << run;
    }
    EXPECT_FALSE(printer.hungUp());
    EXPECT_EQ(printer.framesReceived(), 2u);
}

TEST(SimulatedPrinter, WritesMemoryAsFlatBinary) {
    SimulatedPrinter printer;
    const std::string path = TempPath("simprinter.bin");

    ASSERT_TRUE(printer.writeBinary(path));  // nothing written yet: empty image
    EXPECT_TRUE(ReadFile(path).empty());

    Line line(printer.devicePath());
    for (const Bytes& frame : {kFrameAt2000, kDataFrame, kFrameAt1005}) {
        line.send(frame);
        EXPECT_EQ(line.read(1), kAck);
    }
    ASSERT_TRUE(printer.writeBinary(path));
    Bytes expected(0x2001 - 0x1000, 0xFF);
    expected[0] = 0x01;
    expected[1] = 0x02;
    expected[2] = 0x03;
    expected[5] = 0xAA;
    expected[0x1000] = 0xBB;
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_FALSE(printer.writeBinary("/nonexistent-dir/x.bin"));

    // One byte at FFFF0000: the flat image would span almost 4 GiB.
    line.send({0x02, 0x01, 0xFF, 0xFF, 0x00, 0x00, 0xCC, 0x03, 0xDA, 0x05});
    EXPECT_EQ(line.read(1), kAck);
    EXPECT_FALSE(printer.writeBinary(path));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(printer.memory().at(0xFFFF0000u), 0xCC);
}

TEST(SimulatedPrinter, StopsPromptlyWhilePacing) {
    Behaviour behaviour;
    behaviour.byteDelayMicros = 1'000'000;  // the frame alone would take 12 s
    auto printer = std::make_unique<SimulatedPrinter>(behaviour);
    Line line(printer->devicePath());
    line.send(kDataFrame);
    ::usleep(100'000);
    const auto start = std::chrono::steady_clock::now();
    printer.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}
