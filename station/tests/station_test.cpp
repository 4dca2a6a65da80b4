// The station's core against simulated printers: many ports at once from the
// image held in memory, the words a window shows, the record of every run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "image_files.hpp"
#include "station_runs.hpp"
#include "machine.hpp"
#include "simulated_printer.hpp"
#include "srecord.hpp"
#include "station.hpp"
#include "station_settings.hpp"
#include "transfer.hpp"

namespace {

using namespace std::chrono;
using quarveld::sim::Behaviour;
using quarveld::sim::SimulatedPrinter;
using quarveld::test::ReadFile;
using quarveld::test::ScratchDir;
using quarveld::test::WriteFile;

// A header and six records of four data bytes: 7 frames, 24 data bytes.
const char* const Image7 =
    "S00600004844521B\n"
    "S10710000102030410\n"
    "S1071004050607080C\n"
    "S10710080A0B0C0DF0\n"
    "S107100C0E0F1011EC\n"
    "S1071010121314150E\n"
    "S107101416171819F8\n"
    "S9030000FC\n";

using station::test::FileFrames;
using station::test::Frames;
using station::test::LogLines;

std::shared_ptr<const station::HeldImage> Hold(const std::string& path) {
    auto image = std::make_shared<station::HeldImage>();
    std::string why;
    bool opened = false;
    EXPECT_TRUE(station::HoldImage(path, *image, why, opened)) << why;
    return image;
}

quarveld::NamedPort Port(const SimulatedPrinter& printer) {
    return {printer.devicePath(), printer.devicePath(), false, printer.devicePath()};
}

// Polls as a window's timer would; the time the unit took.
milliseconds RunUnit(station::Station& station) {
    const auto start = steady_clock::now();
    while (station.Poll() && steady_clock::now() - start < seconds(20)) std::this_thread::sleep_for(milliseconds(20));
    return duration_cast<milliseconds>(steady_clock::now() - start);
}


TEST(Station, FourPrintersAtOnceEachEndsForItselfWithWordsCountsAndARecord) {
    ScratchDir dir;
    WriteFile(dir / "image.mot", Image7);
    struct Case {
        Behaviour behaviour;
        station::PortPhase phase;
        std::string words;
        std::string result;
    };
    Behaviour nak, silent, gone;
    nak.nakAtFrame = 3;
    silent.silentFromFrame = 2;
    gone.hangUpAtFrame = 5;
    const std::vector<Case> cases = {
        {{}, station::PortPhase::Written, "written in 0:0", "written"},
        {nak, station::PortPhase::Refused, "error: the printer refused frame 4 (NAK)", "error"},
        {silent, station::PortPhase::Failed, "error: no answer for 0:01", "error"},
        {gone, station::PortPhase::Gone, "the device went away", "error"},
    };
    std::vector<std::unique_ptr<SimulatedPrinter>> printers;
    std::vector<quarveld::NamedPort> ports;
    for (const Case& c : cases) {
        printers.push_back(std::make_unique<SimulatedPrinter>(c.behaviour));
        ports.push_back(Port(*printers.back()));
    }
    const auto image = Hold(dir / "image.mot");
    EXPECT_EQ(image->count.frames, 7);
    EXPECT_EQ(image->count.dataBytes, 24u);

    station::Station station;
    station::StationOptions options;
    options.silenceSeconds = 1;
    options.logPath = dir / "station.jsonl";
    options.batch = "WO-4711";
    options.station = "bench-3";
    std::string why;
    ASSERT_TRUE(station.Start(image, ports, options, why)) << why;
    EXPECT_TRUE(station.Running());
    EXPECT_FALSE(station.Start(image, ports, options, why)) << "a second unit while the first runs";
    RunUnit(station);

    const Frames single = FileFrames(dir / "image.mot");
    ASSERT_EQ(single.size(), 7u);
    EXPECT_EQ(printers[0]->frames(), single);
    const std::vector<nlohmann::json> log = LogLines(dir / "station.jsonl");
    ASSERT_EQ(log.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const station::PortStatus& status = station.Ports()[i];
        EXPECT_EQ(status.phase, cases[i].phase) << i;
        EXPECT_EQ(status.words.rfind(cases[i].words, 0), 0u) << status.words;
        EXPECT_EQ(station.CountAt(ports[i].device).written, i == 0 ? 1 : 0);
        // One line each, in the order the ports ended.
        bool found = false;
        for (const nlohmann::json& r : log) {
            if (r["port"] != ports[i].written) continue;
            found = true;
            EXPECT_EQ(r["result"], cases[i].result);
            EXPECT_EQ(r["batch"], "WO-4711");
            EXPECT_EQ(r["station"], "bench-3");
            EXPECT_EQ(r["unit"], 1);
            EXPECT_EQ(r["image_sha256"], image->sha256);
            EXPECT_EQ(r["frames_total"], 7);
            EXPECT_EQ(r["reason"].get<std::string>().empty(), i == 0) << r;
        }
        EXPECT_TRUE(found) << ports[i].written;
    }
    EXPECT_EQ(station.Ports()[0].fraction, 1.0);
    EXPECT_EQ(station.Total().written, 1);
    EXPECT_EQ(station.Total().failed, 3);
}

TEST(Station, UnitsComeFromTheHeldImageWhateverTheFileBecomesAndAbortIsPrompt) {
    ScratchDir dir;
    const std::string path = dir / "image.mot";
    WriteFile(path, Image7);
    const auto image = Hold(path);
    EXPECT_FALSE(station::ChangedOnDisk(*image));
    SimulatedPrinter a, b;
    station::Station station;
    station::StationOptions options;
    options.logPath = dir / "station.jsonl";
    std::string why;
    ASSERT_TRUE(station.Start(image, {Port(a), Port(b)}, options, why)) << why;
    RunUnit(station);

    // Replaced by another image, then by a damaged one: the next units do not care.
    WriteFile(path, "S1071000FFFFFFFFED\nS9030000FC\n");
    EXPECT_TRUE(station::ChangedOnDisk(*image));
    ASSERT_TRUE(station.Start(image, {Port(a), Port(b)}, options, why)) << why;
    RunUnit(station);
    WriteFile(path, "S1G\n");
    ASSERT_TRUE(station.Start(image, {Port(a), Port(b)}, options, why)) << why;
    RunUnit(station);
    Frames expected;
    WriteFile(dir / "first.mot", Image7);
    for (int unit = 0; unit < 3; ++unit) {
        for (const auto& frame : FileFrames(dir / "first.mot")) expected.push_back(frame);
    }
    EXPECT_EQ(a.frames(), expected);
    EXPECT_EQ(b.frames(), expected);
    EXPECT_EQ(station.CountAt(a.devicePath()).written, 3);
    EXPECT_EQ(station.Units(), 3);

    // ABORT while the printers keep silent: every port stops within 250 ms.
    Behaviour silent;
    silent.silentFromFrame = 1;
    SimulatedPrinter c(silent), d(silent);
    options.silenceSeconds = 0;  // waits
    ASSERT_TRUE(station.Start(image, {Port(c), Port(d)}, options, why)) << why;
    ASSERT_TRUE(c.waitForFrames(2, 5000) && d.waitForFrames(2, 5000));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_TRUE(station.Poll()) << "a silence time-out of 0 waits";
    station.Abort();
    EXPECT_LT(RunUnit(station), milliseconds(250));
    for (const station::PortStatus& status : station.Ports()) {
        EXPECT_EQ(status.phase, station::PortPhase::Aborted);
        EXPECT_EQ(status.words, "aborted");
    }
    const std::vector<nlohmann::json> log = LogLines(dir / "station.jsonl");
    ASSERT_EQ(log.size(), 8u);
    for (const nlohmann::json& r : log) EXPECT_EQ(r["image_sha256"], image->sha256);
    EXPECT_EQ(log.back()["result"], "aborted");
    EXPECT_EQ(log.back()["unit"], 4);
    EXPECT_EQ(station.Total().written, 6);
    EXPECT_EQ(station.Total().failed, 2);
}

TEST(Station, ARecordThatCannotBeWrittenStopsTheStation) {
    ScratchDir dir;
    WriteFile(dir / "image.mot", Image7);
    const auto image = Hold(dir / "image.mot");
    Behaviour slow;
    slow.byteDelayMicros = 2000;
    SimulatedPrinter quick, late(slow);
    station::Station station;
    station::StationOptions options;
    std::string why;
    options.logPath = dir / "no-such-folder/station.jsonl";
    EXPECT_FALSE(station.Start(image, {Port(quick)}, options, why));
    EXPECT_NE(why.find("no-such-folder"), std::string::npos) << why;
    EXPECT_EQ(quick.framesReceived(), 0u);

    // A full disk: the first run to end cannot be kept, and the other one stops.
    options.logPath = "/dev/full";
    ASSERT_TRUE(station.Start(image, {Port(quick), Port(late)}, options, why)) << why;
    RunUnit(station);
    EXPECT_NE(station.Stopped().find("cannot be written"), std::string::npos) << station.Stopped();
    EXPECT_EQ(station.Ports()[1].phase, station::PortPhase::Aborted);
    EXPECT_LT(late.framesReceived(), 7u);

    options.logPath = dir / "station.jsonl";
    ASSERT_TRUE(station.Start(image, {Port(quick)}, options, why)) << why;
    RunUnit(station);
    EXPECT_EQ(station.Stopped(), "");
    EXPECT_EQ(LogLines(options.logPath).size(), 1u);
}

TEST(StationMachine, FindsTheSerialPortsOfATree) {
    ScratchDir dir;
    namespace fs = std::filesystem;
    const std::string root = dir / "root";
    fs::create_directories(root + "/dev/serial/by-id");
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "ttyS10",
                             "ttyUSBx", "tty1"})
        WriteFile(root + "/dev/" + name, "");
    fs::create_symlink("../../ttyUSB1", root + "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
    fs::create_symlink("../../ttyUSB9", root + "/dev/serial/by-id/usb-gone-if00");
    for (const auto& [name, type] : std::vector<std::pair<std::string, std::string>>{
             {"ttyS0", "4\n"}, {"ttyS1", "0\n"}, {"ttyS10", "4\n"}}) {
        fs::create_directories(root + "/sys/class/tty/" + name);
        WriteFile(root + "/sys/class/tty/" + name + "/type", type);
    }
    std::vector<std::string> found;
    for (const station::FoundPort& port : station::FindSerialPorts(root))
        found.push_back(port.device.substr(root.size()) + " = " + port.name);
    EXPECT_EQ(found, (std::vector<std::string>{
                         "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0 = "
                         "usb-FTDI_FT232R_A50285BI-if00-port0 (ttyUSB1)",
                         "/dev/ttyUSB0 = ttyUSB0", "/dev/ttyUSB2 = ttyUSB2", "/dev/ttyUSB10 = ttyUSB10",
                         "/dev/ttyACM0 = ttyACM0", "/dev/ttyS0 = ttyS0", "/dev/ttyS10 = ttyS10"}));
}

TEST(StationSettings, KeptInAFileOfItsOwnAndOpenedWithTorwinsLine) {
    ScratchDir dir;
    const std::string torwin = dir / "TORWIN.INI", own = dir / "quarveld/station.ini";
    WriteFile(torwin, "[QUARVELD]\nPORT0=00c9\nPORT1=00ce\nPORT2=00d1\nPORT3=00d4\n");
    station::StationSettings first = station::LoadStationSettings(own, torwin);
    EXPECT_EQ(first.line, (quarveld::PortSettings{quarveld::ID_19200, quarveld::ID_7BIT, quarveld::ID_EVEN,
                                                  quarveld::ID_LPT1}));
    EXPECT_EQ(first.silenceSeconds, 10);
    EXPECT_TRUE(first.ticked.empty());

    first.line.BaudRate = quarveld::ID_2400;
    first.ticked = {"/dev/serial/by-id/usb-A", "/dev/ttyUSB3"};
    first.added = {"/dev/pts/7"};
    first.batch = "Lot 12/4";
    first.logPath = dir / "runs.jsonl";
    first.silenceSeconds = 0;
    std::string why;
    ASSERT_TRUE(station::SaveStationSettings(first, own, &why)) << why;
    const station::StationSettings again = station::LoadStationSettings(own, torwin);
    EXPECT_EQ(again.line, first.line);
    EXPECT_EQ(again.ticked, first.ticked);
    EXPECT_EQ(again.added, first.added);
    EXPECT_EQ(again.batch, first.batch);
    EXPECT_EQ(again.logPath, first.logPath);
    EXPECT_EQ(again.silenceSeconds, 0);
    EXPECT_EQ(ReadFile(torwin).find("2400"), std::string::npos) << "TORWIN.INI is only read";

    // A line the port does not offer is not taken in part.
    WriteFile(own, "[Station]\nBaud=115200\nBits=7\nParity=odd\nSilence=-3\n");
    const station::StationSettings odd = station::LoadStationSettings(own, torwin);
    EXPECT_EQ(odd.line, station::LoadStationSettings(dir / "none.ini", torwin).line);
    EXPECT_EQ(odd.silenceSeconds, 10);

    const sys_days day = year{2026} / December / 8;
    EXPECT_EQ(station::DailyLogPath("/data", sys_days(day) + hours(12)), "/data/station-2026-12-08.jsonl");
}

}  // namespace
