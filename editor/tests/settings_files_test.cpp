#include "settings_files.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "recording_link.hpp"

using namespace kelvane;
using testsupport::RecordingLink;
using Calls = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

const std::string kClosing = "AddCommand 1B 1D 23 54 30 30 30 30 30 0A 00";

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/kelvane-test-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(SaveSession, WritesRecordedValuesInSwitchOrderThroughTheFileOutput) {
    RecordingLink link;
    SessionState session;
    session.SessionOpen = true;
    session.SessionHasValues = true;
    session.SessionValues[10] = "8000";
    session.SessionValues[2] = "0123";

    SaveSessionToFile(link, session, "/home/user/customer.prn");

    EXPECT_EQ(link.calls, (Calls{"OutputToFile true", "OutputMode 4", "OutputFileName /home/user/customer.prn",
                                 "StartJob", "AddCommand 1B 1D 23 2C 32 30 31 32 33 0A 00",
                                 "AddCommand 1B 1D 23 2C 41 38 30 30 30 0A 00", kClosing, "EndJob",
                                 "OutputToFile false", "OutputMode 0"}));
    EXPECT_EQ(session.SessionValues[2], "");
    EXPECT_EQ(session.SessionValues[10], "");
    EXPECT_TRUE(session.SessionHasValues);
    EXPECT_TRUE(session.SessionOpen);

    // The second save has nothing left to write but the closing command.
    RecordingLink again;
    SaveSessionToFile(again, session, "/home/user/second.prn");
    EXPECT_EQ(again.calls, (Calls{"OutputToFile true", "OutputMode 4", "OutputFileName /home/user/second.prn",
                                  "StartJob", kClosing, "EndJob", "OutputToFile false", "OutputMode 0"}));
}

// Whatever call fails, the file output is switched off again and no value
// is taken out of the session.
TEST(SaveSession, FailureSwitchesFileOutputOffAndKeepsTheValues) {
    for (int failAt = 0; failAt <= 6; ++failAt) {
        SCOPED_TRACE("failing at call " + std::to_string(failAt));
        RecordingLink link;
        link.failAt = failAt;
        SessionState session;
        session.SessionHasValues = true;
        session.SessionValues[5] = "00AA";
        EXPECT_THROW(SaveSessionToFile(link, session, "/x.prn"), LinkError);
        ASSERT_EQ(link.calls.size(), static_cast<std::size_t>(failAt) + 3);
        EXPECT_EQ(link.calls[link.calls.size() - 2], "OutputToFile false");
        EXPECT_EQ(link.calls.back(), "OutputMode 0");
        EXPECT_EQ(session.SessionValues[5], "00AA");
    }
}

TEST(Replay, CopiesEveryByteValueUnchanged) {
    TempDir dir;
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    // Larger than the copy buffer, so the copy runs in several passes.
    std::string content;
    while (content.size() < 200 * 1024) content += all;
    WriteFile(dir / "switches.prn", content);
    WriteFile(dir / "lp0", "");

    ReplayFile(dir / "switches.prn", dir / "lp0");
    EXPECT_EQ(ReadFile(dir / "lp0"), content);
}

TEST(Replay, TerminalLineCarriesTheBytesUntranslated) {
    TempDir dir;
    const std::string content("\x1B\x1D#,20123\n\0\r\n\x7F\x1B\x1D#T00000\n\0", 24);
    WriteFile(dir / "switches.prn", content);
    int master = -1;
    int slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);

    ReplayFile(dir / "switches.prn", name);

    std::string got;
    char chunk[256];
    pollfd ready{master, POLLIN, 0};
    while (got.size() < content.size() && poll(&ready, 1, 1000) > 0) {
        const ssize_t n = read(master, chunk, sizeof chunk);
        if (n <= 0) break;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    close(slave);
    close(master);
    EXPECT_EQ(got, content);
}

// A printer that is off takes nothing: the replay gives up with a reason
// instead of hanging the window.
TEST(Replay, PortThatTakesNothingIsReportedNotWaitedForForever) {
    TempDir dir;
    WriteFile(dir / "big.prn", std::string(1 << 20, '\x1B'));
    int master = -1;
    int slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    try {
        ReplayFile(dir / "big.prn", name, std::chrono::milliseconds(200));
        ADD_FAILURE() << "a port nobody reads took the whole file";
    } catch (const FileError& error) {
        EXPECT_NE(std::string(error.what()).find(name), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("took nothing more"), std::string::npos) << error.what();
        // What a partial job did to the printer is the user's to judge.
        EXPECT_NE(std::string(error.what()).find(" of 1048576 bytes went out"), std::string::npos) << error.what();
        EXPECT_EQ(std::string(error.what()).find("only 0 of"), std::string::npos) << error.what();
    }
    close(slave);
    close(master);
}

TEST(Replay, EmptyFileWritesNothing) {
    TempDir dir;
    WriteFile(dir / "empty.prn", "");
    WriteFile(dir / "lp0", "");
    ReplayFile(dir / "empty.prn", dir / "lp0");
    EXPECT_EQ(fs::file_size(dir / "lp0"), 0u);
}

TEST(Replay, ErrorsNameTheFileOrDeviceAndTheReason) {
    TempDir dir;
    WriteFile(dir / "ok.prn", "\x1B\x1D#T00000\n");
    try {
        ReplayFile(dir / "missing.prn", dir / "lp0");
        ADD_FAILURE();
    } catch (const FileError& error) {
        EXPECT_NE(std::string(error.what()).find(dir / "missing.prn"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("No such file"), std::string::npos) << error.what();
    }
    // A port that is not there is reported, and no file is made in its place.
    try {
        ReplayFile(dir / "ok.prn", dir / "lp9");
        ADD_FAILURE();
    } catch (const FileError& error) {
        EXPECT_NE(std::string(error.what()).find(dir / "lp9"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(fs::exists(dir / "lp9"));
    // A device that refuses writes (the full device) is a failure, not a partial copy.
    EXPECT_THROW(ReplayFile(dir / "ok.prn", "/dev/full"), FileError);
}

// "LPT1" comes from the device map in the editor's settings file, which the
// program reads and never writes.
TEST(ParallelPortMap, DefaultMappedAndNamedWhenMissing) {
    TempDir dir;
    const std::string ini = dir / "Kelvane2.ini";
    ParallelPort port = ReadParallelPort(ini);
    EXPECT_EQ(port.path, "/dev/lp0");
    EXPECT_FALSE(fs::exists(ini));

    const std::string text = "; by hand\r\n[devices]\r\n lpt1 = " + (dir / "usb lp0") + " \r\n";
    WriteFile(ini, text);
    port = ReadParallelPort(ini);
    EXPECT_EQ(port.path, dir / "usb lp0");
    EXPECT_EQ(ReadFile(ini), text);
    WriteFile(ini, "[Devices]\nLPT1=\n");
    EXPECT_EQ(ReadParallelPort(ini).path, "/dev/lp0");
    // Written by hand on Windows: a byte-order mark, and a path taken as written.
    WriteFile(ini, "\xEF\xBB\xBF[Devices]\r\nLPT1=C:\\temp\\lp\r\n");
    port = ReadParallelPort(ini);
    EXPECT_EQ(port.path, "C:\\temp\\lp");
    EXPECT_EQ(port.problem, "");

    WriteFile(dir / "ok.prn", "\x1B\x1D#T00000\n");
    WriteFile(ini, "[Devices]\nLPT1=" + (dir / "lp7") + "\n");
    try {
        ReplayFile(dir / "ok.prn", ReadParallelPort(ini));
        ADD_FAILURE() << "a missing port took the file";
    } catch (const FileError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find(dir / "lp7"), std::string::npos) << text;
        EXPECT_NE(text.find("LPT1= in the [Devices] section of " + ini), std::string::npos) << text;
    }
    EXPECT_FALSE(fs::exists(dir / "lp7"));
}
