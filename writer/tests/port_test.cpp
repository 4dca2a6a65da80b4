// The ports over a bare pseudo-terminal (the test holds the cable's other end)
// and over plain files standing in for LPT1.
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "port.hpp"

namespace quarveld {
namespace {

using Clock = std::chrono::steady_clock;

long MillisSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// A pseudo-terminal whose master end the test drives itself.
struct RawPty {
    int master = -1;
    int slave = -1;
    std::string path;
    RawPty() {
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
        path = name;
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~RawPty() {
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
    }
    void hangUp() {
        ::close(master);
        master = -1;
    }
    // Everything the port has sent so far.
    std::vector<uint8_t> drain() const {
        std::vector<uint8_t> bytes;
        uint8_t buffer[4096];
        for (;;) {
            ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }
};

PortSettings Serial(int32_t baud, int32_t bits, int32_t parity, int32_t port = ID_COM1) {
    PortSettings s;
    s.BaudRate = baud;
    s.BitLength = bits;
    s.Parity = parity;
    s.Port = port;
    return s;
}

TEST(PortChoice, PortIdPicksDeviceAndParallelFlag) {
    DeviceMap devices{"/dev/a", "/dev/b", "/dev/c"};
    struct Case { int32_t port; const char* path; int parallel; };
    for (Case c : {Case{210, "/dev/a", 0}, Case{211, "/dev/b", 0}, Case{212, "/dev/c", 1},
                   Case{0, "/dev/a", 0}, Case{213, "/dev/a", 0}, Case{-1, "/dev/a", 0}}) {
        PortSettings s;
        s.Port = c.port;
        int parallel = 7;
        EXPECT_EQ(DevicePathFor(s, devices, parallel), c.path) << c.port;
        EXPECT_EQ(parallel, c.parallel) << c.port;
    }
}

TEST(PortChoice, NamesMatchInAnyCaseAndOthersArePaths) {
    DeviceMap devices{"/dev/a", "/dev/b", "/dev/c"};
    devices.more[256] = "/dev/z";
    struct Case { const char* written; const char* device; bool parallel; const char* label; };
    for (Case c : {Case{"com1", "/dev/a", false, "com1 (/dev/a)"}, Case{"Com2", "/dev/b", false, "Com2 (/dev/b)"},
                   Case{"lpt1", "/dev/c", true, "lpt1 (/dev/c)"}, Case{"COM256", "/dev/z", false, "COM256 (/dev/z)"},
                   Case{"COM01", "COM01", true, "COM01"}, Case{"COM0", "COM0", true, "COM0"},
                   Case{"/dev/pts/4", "/dev/pts/4", true, "/dev/pts/4"}}) {
        NamedPort port;
        std::string why;
        ASSERT_TRUE(NamePort(c.written, true, devices, port, why)) << c.written;
        EXPECT_EQ(port.device, c.device) << c.written;
        EXPECT_EQ(port.parallel, c.parallel) << c.written;
        EXPECT_EQ(port.label, c.label) << c.written;
    }
    // Linux has no device for a COMn that nothing maps.
    NamedPort port;
    std::string why;
    EXPECT_FALSE(NamePort("cOm3", false, devices, port, why));
    EXPECT_EQ(why, "cOm3 is mapped to no device on this machine");
}

TEST(LineParameters, SettingsMapToRateBitsAndParity) {
    struct Case { int32_t baud, bits, parity; int rate, dataBits; ParityMode mode; };
    const Case cases[] = {
        {201, 205, 207, 19200, 8, ParityMode::None},
        {202, 205, 207, 9600, 8, ParityMode::None},
        {203, 206, 208, 4800, 7, ParityMode::Odd},
        {204, 206, 209, 2400, 7, ParityMode::Even},
        // values no dialog produces fall back to 9600, 8 bits, no parity
        {0, 0, 0, 9600, 8, ParityMode::None},
        {212, 207, 206, 9600, 8, ParityMode::None},
    };
    for (const Case& c : cases) {
        LineParameters line = LineParametersFor(Serial(c.baud, c.bits, c.parity));
        EXPECT_EQ(line.baudRate, c.rate) << c.baud;
        EXPECT_EQ(line.dataBits, c.dataBits) << c.bits;
        EXPECT_EQ(line.parity, c.mode) << c.parity;
        // fixed for every setting
        EXPECT_EQ(line.stopBits, 1);
        EXPECT_FALSE(line.checkParity);
        EXPECT_FALSE(line.hardwareFlow);
        EXPECT_FALSE(line.softwareFlow);
        EXPECT_TRUE(line.dtrOn);
        EXPECT_TRUE(line.rtsOn);
    }
}

TEST(SerialPort, OpenSetsARawLineAtTheChosenRate) {
    RawPty pty;
    DeviceMap devices{pty.path, "/nonexistent", "/nonexistent"};
    struct Case { int32_t baud; speed_t speed; int32_t parity; bool odd; };
    for (Case c : {Case{201, B19200, 208, true}, Case{204, B2400, 209, false},
                   Case{202, B9600, 207, false}}) {
        int parallel = 7;
        auto port = OpenWritePort(Serial(c.baud, 206, c.parity), devices, parallel);
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(parallel, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(pty.slave, &t), 0);
        EXPECT_EQ(::cfgetospeed(&t), c.speed) << c.baud;
        EXPECT_EQ(::cfgetispeed(&t), c.speed) << c.baud;
        // A pty keeps PARODD though it forces 8 bits and no parity.
        EXPECT_EQ((t.c_cflag & PARODD) != 0, c.odd) << c.parity;
        EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD | HUPCL), static_cast<tcflag_t>(CLOCAL | CREAD | HUPCL));
        EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF | ISTRIP | ICRNL), 0u);
        EXPECT_NE(t.c_iflag & IGNPAR, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 2);
        ClosePort(port);
        EXPECT_EQ(port, nullptr);
    }
}

TEST(SerialPort, OpenDiscardsPendingInputAndFailsOnAMissingDevice) {
    RawPty pty;
    ASSERT_EQ(::write(pty.master, "\x06\x15", 2), 2);
    DeviceMap devices{pty.path, "/nonexistent/ttyS1", "/nonexistent/lp0"};
    int parallel = 0;
    auto port = OpenWritePort(Serial(202, 205, 207), devices, parallel);
    ASSERT_NE(port, nullptr);
    uint8_t byte = 0;
    EXPECT_EQ(port->ReadByte(byte), IoStatus::TimedOut);

    EXPECT_EQ(OpenWritePort(Serial(202, 205, 207, ID_COM2), devices, parallel), nullptr);
    EXPECT_EQ(OpenWritePort(Serial(202, 205, 207, ID_LPT1), devices, parallel), nullptr);
}

TEST(SerialPort, OpenIsExclusive) {
    RawPty pty;
    DeviceMap devices{pty.path, pty.path, "/nonexistent"};
    int parallel = 0;
    auto first = OpenWritePort(Serial(202, 205, 207), devices, parallel);
    ASSERT_NE(first, nullptr);
    // Held by this run: neither port name gets it a second time.
    EXPECT_EQ(OpenWritePort(Serial(202, 205, 207), devices, parallel), nullptr);
    EXPECT_EQ(OpenWritePort(Serial(202, 205, 207, ID_COM2), devices, parallel), nullptr);
    ClosePort(first);
    auto again = OpenWritePort(Serial(202, 205, 207), devices, parallel);
    EXPECT_NE(again, nullptr);
    ClosePort(again);

    // Held by another program (its lock binds root as well).
    int other = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(OpenWritePort(Serial(202, 205, 207), devices, parallel), nullptr);
    ::close(other);
}

TEST(SerialPort, ALineThatCannotBeSetUpIsAFailedOpen) {
    // A plain file opens like a device but holds no line.
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("quarveld_no_line_" + std::to_string(::getpid()))).string();
    std::ofstream{file};
    int parallel = 0;
    std::string why;
    EXPECT_EQ(OpenWritePort(Serial(202, 205, 207), DeviceMap{file, "", ""}, parallel, &why), nullptr);
    EXPECT_NE(why.find("its line cannot be set up: " + std::string(std::strerror(ENOTTY))), std::string::npos) << why;
    // Nothing of it stays open or locked; as LPT1, which has no line, it opens.
    const int other = ::open(file.c_str(), O_RDWR);
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
    EXPECT_NE(OpenWritePort(Serial(202, 205, 207, ID_LPT1), DeviceMap{"", "", file}, parallel), nullptr);
    std::filesystem::remove(file);
}

TEST(SerialPort, FullLineTakesNothingUntilDrainedAndSaysSo) {
    RawPty pty;
    DeviceMap devices{pty.path, "", ""};
    int parallel = 0;
    auto port = OpenWritePort(Serial(202, 205, 207), devices, parallel);
    ASSERT_NE(port, nullptr);
    // Fill the line from a second descriptor until it takes no more.
    int filler = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(filler, 0);
    std::vector<uint8_t> block(4096, 0x55);
    std::size_t filled = 0;
    // The pty frees room behind the scenes for a moment: fill until it stays full.
    for (int quietRounds = 0; quietRounds < 3;) {
        ssize_t n = ::write(filler, block.data(), block.size());
        if (n > 0) {
            filled += static_cast<std::size_t>(n);
            quietRounds = 0;
        } else {
            ++quietRounds;
            ::usleep(30000);
        }
    }
    ::close(filler);
    ASSERT_GT(filled, 0u);

    const uint8_t frame[9] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x40};
    IoStatus status = IoStatus::Ok;
    const auto start = Clock::now();
    EXPECT_EQ(port->Write(frame, sizeof frame, status), 0u);
    EXPECT_EQ(status, IoStatus::TimedOut);
    // The write gave up at its deadline of 200 + 10 x 9 ms, not at once.
    EXPECT_GE(MillisSince(start), 250);

    std::size_t drained = pty.drain().size();
    EXPECT_EQ(drained, filled);
    EXPECT_EQ(port->Write(frame, sizeof frame, status), sizeof frame);
    EXPECT_EQ(status, IoStatus::Ok);
    EXPECT_EQ(pty.drain(), std::vector<uint8_t>(frame, frame + sizeof frame));
}

TEST(SerialPort, HungUpLineIsGoneForReadAndWrite) {
    RawPty pty;
    DeviceMap devices{pty.path, "", ""};
    int parallel = 0;
    auto port = OpenWritePort(Serial(202, 205, 207), devices, parallel);
    ASSERT_NE(port, nullptr);
    pty.hangUp();
    uint8_t byte = 0;
    EXPECT_EQ(port->ReadByte(byte), IoStatus::Gone);
    EXPECT_EQ(port->ReadByte(byte), IoStatus::Gone);
    const uint8_t frame[3] = {0x02, 0x00, 0x03};
    IoStatus status = IoStatus::Ok;
    EXPECT_EQ(port->Write(frame, sizeof frame, status), 0u);
    EXPECT_EQ(status, IoStatus::Gone);
}

TEST(ParallelPort, TerminalLineAsLpt1PassesEveryByteUnchanged) {
    RawPty pty;  // a fresh line translates output, as a terminal does
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.slave, &before), 0);
    ASSERT_TRUE(before.c_oflag & OPOST);
    DeviceMap devices{"", "", pty.path};
    int parallel = 0;
    auto port = OpenWritePort(Serial(201, 206, 209, ID_LPT1), devices, parallel);
    ASSERT_NE(port, nullptr);
    const uint8_t frame[12] = {0x02, 0x03, 0x00, 0x00, 0x0A, 0x0D, 0x0A, 0x09, 0x7F, 0x03, 0x4C, 0x0A};
    IoStatus status = IoStatus::Failed;
    EXPECT_EQ(port->Write(frame, sizeof frame, status), sizeof frame);
    std::vector<uint8_t> got;
    for (const auto start = Clock::now(); got.size() < sizeof frame && MillisSince(start) < 1000;) {
        const auto more = pty.drain();  // the line hands bytes over on its own schedule
        got.insert(got.end(), more.begin(), more.end());
        if (more.empty()) ::usleep(5000);
    }
    EXPECT_EQ(got, std::vector<uint8_t>(frame, frame + sizeof frame));
    termios after{};
    ASSERT_EQ(::tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(after.c_cflag, before.c_cflag) << "no line parameters are set for LPT1";
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
}

class ParallelPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("quarveld_port_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "lp0").string();
        std::ofstream{path_};  // the device exists; the port never creates one
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string contents() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::filesystem::path dir_;
    std::string path_;
};

TEST_F(ParallelPortTest, FileMappedAsLpt1GetsTheBytesAndNothingIsReadBack) {
    DeviceMap devices{"/nonexistent/ttyS0", "/nonexistent/ttyS1", path_};
    int parallel = 0;
    // Serial line settings do not matter for LPT1.
    auto port = OpenWritePort(Serial(201, 206, 209, ID_LPT1), devices, parallel);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(parallel, 1);
    const uint8_t frame[9] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x40};
    IoStatus status = IoStatus::Failed;
    EXPECT_EQ(port->Write(frame, sizeof frame, status), sizeof frame);
    EXPECT_EQ(status, IoStatus::Ok);
    uint8_t byte = 0;
    EXPECT_EQ(port->ReadByte(byte), IoStatus::TimedOut);
    EXPECT_EQ(port->Write(frame, 2, status), 2u);
    EXPECT_EQ(OpenWritePort(Serial(202, 205, 207, ID_LPT1), devices, parallel), nullptr)
        << "LPT1 is not shared either";
    ClosePort(port);
    EXPECT_EQ(contents(), std::string("\x02\x00\x00\x00\x00\x00\x03\x01\x40\x02\x00", 11));
}

}  // namespace
}  // namespace quarveld
