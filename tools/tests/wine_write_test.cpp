// quarveld-write.exe under Wine, against simulated printers on COM1, COM2 and
// COM12 (the last one opened through the device namespace). Run by the
// Windows build's tests with QUARVELD_EXE (the tool), WINDRIVER_EXE and
// QUARVELD_E2E_DIR set.
#include <gtest/gtest.h>

#include <fstream>

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

}  // namespace

int main(int argc, char** argv) {
    return quarveld::wine::RunAllTestsInSession(argc, argv, session, {"COM12"});
}
