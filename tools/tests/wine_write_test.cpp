// quarveld-write.exe under Wine, against simulated printers on COM1, COM2 and
// COM12 (the last one opened through the device namespace). Run by the
// Windows build's tests with QUARVELD_EXE (the tool), WINDRIVER_EXE and
// QUARVELD_E2E_DIR set.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "simulated_printer.hpp"
#include "wine_test_main.hpp"

namespace {

using quarveld::sim::SimulatedPrinter;
using quarveld::wine::Session;

Session* session = nullptr;

// An S0 header and two data records: three frames.
const char* const Image3 = "S00600004844521B\r\nS1061000010203E3\r\nS1061003010203E0\r\nS9030000FC\r\n";
const std::vector<std::vector<uint8_t>> Frames3 = {
    {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x40},
    {0x02, 0x03, 0x00, 0x00, 0x10, 0x00, 0x01, 0x02, 0x03, 0x03, 0xAD, 0xF6},
    {0x02, 0x03, 0x00, 0x00, 0x10, 0x03, 0x01, 0x02, 0x03, 0x03, 0xAD, 0xB2},
};

quarveld::wine::Result Write(std::vector<std::string> args) {
    args.insert(args.begin(), {"wine", session->Exe()});
    return quarveld::wine::RunCapture(args);
}

TEST(QuarveldWriteExe, WritesComOneAndComTwoAtOnceAndComTwelve) {
    const std::string image = session->Dir() + "/image.mot";
    std::ofstream(image, std::ios::binary) << Image3;
    SimulatedPrinter com1, com2, com12;
    // Wine takes over no terminal while this session has one of its own.
    quarveld::wine::ControllingTerminal terminal(com1.devicePath());
    session->MapCom1(com1.devicePath());
    session->MapCom2(com2.devicePath());
    session->MapPort("COM12", com12.devicePath());

    const auto both = Write({"--port", "COM1", "--port", "com2", "Z:" + image});
    EXPECT_EQ(both.status, 0) << both.out;
    EXPECT_EQ(com1.frames(), Frames3);
    EXPECT_EQ(com2.frames(), Frames3);
    EXPECT_NE(both.out.find("COM1: written, 6 of 6 bytes, 3 of 3 frames"), std::string::npos) << both.out;
    EXPECT_NE(both.out.find("com2: written, 6 of 6 bytes, 3 of 3 frames"), std::string::npos) << both.out;

    const auto twelve = Write({"--port", "COM12", "Z:" + image});
    EXPECT_EQ(twelve.status, 0) << twelve.out;
    EXPECT_EQ(com12.frames(), Frames3);
}

// Closing the console window during a write: Windows ends the tool as soon
// as its handler returns, so every run has to be stopped, recorded and its
// port closed before that.
TEST(QuarveldWriteExe, ClosingTheConsoleRecordsEveryRunAsAbortedFirst) {
    const std::string image = session->Dir() + "/image.mot", log = session->Dir() + "/runs.jsonl";
    std::ofstream(image, std::ios::binary) << Image3;
    std::remove(log.c_str());
    quarveld::sim::Behaviour silent;
    silent.silentFromFrame = 1;
    SimulatedPrinter com1(silent), com2(silent);
    quarveld::wine::ControllingTerminal terminal(com1.devicePath());
    session->MapCom1(com1.devicePath());
    session->MapCom2(com2.devicePath());

    std::vector<std::string> argv{"wine", session->Exe(), "--log", "Z:" + log, "--port", "COM1", "--port", "COM2",
                                  "Z:" + image};
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawnp(&pid, "wine", &actions, nullptr, args.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_TRUE(com1.waitForFrames(2, 30000) && com2.waitForFrames(2, 30000));

    // The program is ended the moment its handler returns: what the log holds
    // then is what was recorded before.
    const auto closed = session->Drive({"consoleclose", "quarveld-write.exe", "10000"});
    EXPECT_EQ(closed.status, 0) << closed.out;
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) != pid; waited += 50) {
        if (waited > 20000) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::ifstream in(log);
    std::vector<std::string> results;
    for (std::string line; std::getline(in, line);) {
        const auto record = nlohmann::json::parse(line, nullptr, false);
        results.push_back(record.is_object() ? record.value("result", "") : "not a record: " + line);
    }
    EXPECT_EQ(results, (std::vector<std::string>{"aborted", "aborted"}));
}

}  // namespace

int main(int argc, char** argv) {
    return quarveld::wine::RunAllTestsInSession(argc, argv, session, {"COM12"});
}
