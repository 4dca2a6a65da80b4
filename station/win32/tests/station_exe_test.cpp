// quarveld-station.exe end to end under Wine: simulated printers on COM1, COM2
// and COM12 (the last one opened through the device namespace), the window
// driven through windriver.exe as a user would, its rows, counts and record;
// screenshots at 96, 120 and 144 dpi into QUARVELD_E2E_DIR.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "controls.hpp"
#include "simulated_printer.hpp"
#include "tool_runs.hpp"
#include "wine_test_main.hpp"

namespace {

using quarveld::sim::Behaviour;
using quarveld::sim::SimulatedPrinter;
using quarveld::wine::Program;
using quarveld::wine::Session;
using station::win::StationId;
using Frames = std::vector<std::vector<uint8_t>>;

const std::string Window = "class=#32770;title=QUARVELD Station";

Session* session = nullptr;

// An S0 header and two data records: three frames, six data bytes.
const char* const Image3 = "S00600004844521B\r\nS1061000010203E3\r\nS1061003010203E0\r\nS9030000FC\r\n";
const Frames Frames3 = {
    {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x40},
    {0x02, 0x03, 0x00, 0x00, 0x10, 0x00, 0x01, 0x02, 0x03, 0x03, 0xAD, 0xF6},
    {0x02, 0x03, 0x00, 0x00, 0x10, 0x03, 0x01, 0x02, 0x03, 0x03, 0xAD, 0xB2},
};

class StationExe : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(session, nullptr);
        // Every test starts as a new user would: no station settings or records yet.
        std::error_code ignored;
        for (const auto& user : std::filesystem::directory_iterator(Prefix() + "/drive_c/users", ignored)) {
            std::filesystem::remove_all(user.path() / "AppData/Roaming/quarveld", ignored);
            std::filesystem::remove_all(user.path() / "AppData/Local/quarveld", ignored);
        }
        image_ = session->Dir() + "/image.mot";
        std::ofstream(image_, std::ios::binary) << Image3;
    }

    // COM1 and COM2 are the session's own; further ports were made with it.
    static void MapPort(const std::string& port, const std::string& device) {
        if (port == "COM1") {
            session->MapCom1(device);
        } else if (port == "COM2") {
            session->MapCom2(device);
        } else {
            session->MapPort(port, device);
        }
    }

    static std::string Prefix() { return session->Dir() + "/prefix"; }
    static std::string Drive(const std::vector<std::string>& args) { return session->Drive(args).out; }
    static bool Ok(const std::vector<std::string>& args) { return session->Drive(args).status == 0; }
    static std::string Id(std::string_view name) { return std::to_string(StationId(name)); }
    static std::string Text(int id) { return Drive({"text", Window, std::to_string(id)}); }

    // Row index by the port each row names ("COM12", or "USB Serial Port (COM12)").
    static std::map<std::string, int> Rows() {
        std::map<std::string, int> rows;
        for (int i = 0; i < station::win::MaxRows; ++i) {
            const auto found = session->Drive({"text", Window, std::to_string(station::win::chkPortId(i))});
            if (found.status != 0) break;
            std::smatch port;
            if (std::regex_search(found.out, port, std::regex("COM[0-9]+"))) rows[port.str()] = i;
        }
        return rows;
    }

    static void Tick(int row, bool on) {
        const std::string id = std::to_string(station::win::chkPortId(row));
        const bool ticked = Drive({"state", Window, id}).rfind("checked", 0) == 0;
        if (ticked != on) {
            ASSERT_TRUE(Ok({"click", Window, id}));
        }
    }

    // Waits until no row of `rows` is ready or writing any more; their states.
    static std::vector<std::string> WaitForEnds(const std::vector<int>& rows, const char* still = "writing|ready") {
        std::vector<std::string> states;
        for (int tries = 0; tries < 300; ++tries) {
            states.clear();
            bool done = true;
            for (int row : rows) {
                states.push_back(Text(station::win::lblStateId(row)));
                done &= !std::regex_search(states.back(), std::regex("^(" + std::string(still) + ")"));
            }
            if (done) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return states;
    }

    std::string image_;
};

TEST_F(StationExe, FindsThePortsWritesThemAtOnceAndRecordsEveryRun) {
    struct Case {
        std::string port;
        Behaviour behaviour;
        std::string state;   // how the row's words begin
        std::string counts;  // written / failed
        std::size_t frames;  // of Frames3 that the printer got
        std::string result;
    };
    Behaviour refusing;
    refusing.nakAtFrame = 1;
    const std::vector<Case> cases = {
        {"COM1", {}, "written in 0:0", "1 / 0", 3, "written"},
        {"COM2", refusing, "error: the printer refused frame 2", "0 / 1", 2, "error"},
        {"COM12", {}, "written in 0:0", "1 / 0", 3, "written"},
    };
    std::vector<std::unique_ptr<SimulatedPrinter>> printers;
    for (const Case& c : cases) printers.push_back(std::make_unique<SimulatedPrinter>(c.behaviour));
    quarveld::wine::ControllingTerminal terminal(printers[0]->devicePath());
    for (std::size_t i = 0; i < cases.size(); ++i) MapPort(cases[i].port, printers[i]->devicePath());

    Program program(*session, {}, Window);
    ASSERT_TRUE(program.Started());
    // Nothing starts before the image is good.
    EXPECT_EQ(Drive({"state", Window, Id("cmdStart")}), "unchecked disabled visible");
    // The record of the day, in the user's local application data.
    EXPECT_TRUE(std::regex_search(Text(StationId("txtRecord")),
                                  std::regex(R"(\\AppData\\Local\\quarveld\\station-\d{4}-\d\d-\d\d\.jsonl$)")))
        << Text(StationId("txtRecord"));

    ASSERT_TRUE(Ok({"click", Window, Id("cmdImage")}));
    ASSERT_TRUE(Ok({"openfile", image_}));
    for (int tries = 0; tries < 50 && Text(StationId("lblImage")).find("3 frames") == std::string::npos; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string sha256 = tools::test::Sha256Sum(image_);
    EXPECT_NE(Text(StationId("lblImage")).find("6 data bytes in 3 frames, SHA-256 " + sha256.substr(0, 16)),
              std::string::npos)
        << Text(StationId("lblImage"));

    const std::map<std::string, int> rows = Rows();
    std::vector<int> ours;
    for (const Case& c : cases) {
        ASSERT_EQ(rows.count(c.port), 1u) << c.port << " is not listed";
        ours.push_back(rows.at(c.port));
        Tick(ours.back(), true);
    }
    // Only a ticked port is "ready", with a bar: the others will not be written.
    for (const auto& [port, row] : rows) {
        const bool ticked = std::count(ours.begin(), ours.end(), row) > 0;
        EXPECT_EQ(Text(station::win::lblStateId(row)), ticked ? "ready" : "") << port;
        const std::string bar = Drive({"state", Window, std::to_string(station::win::barPortId(row))});
        EXPECT_TRUE(bar.ends_with(ticked ? " visible" : " hidden")) << port << ": " << bar;
    }
    const std::string record = session->Dir() + "/records.jsonl";
    std::filesystem::remove(record);
    ASSERT_TRUE(Ok({"settext", Window, Id("txtRecord"), "Z:" + std::regex_replace(record, std::regex("/"), "\\")}));
    ASSERT_TRUE(Ok({"settext", Window, Id("txtBatch"), "LOT-26"}));
    ASSERT_TRUE(Ok({"click", Window, Id("cmdStart")}));

    const std::vector<std::string> states = WaitForEnds(ours);
    EXPECT_TRUE(session->Screenshot("station_96dpi"));
    const std::vector<nlohmann::json> lines = tools::test::LogLines(record);
    ASSERT_EQ(lines.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.port);
        EXPECT_EQ(states[i].rfind(c.state, 0), 0u) << states[i];
        EXPECT_EQ(Text(station::win::lblCountsId(ours[i])), c.counts);
        EXPECT_EQ(printers[i]->frames(), Frames(Frames3.begin(), Frames3.begin() + long(c.frames)));
        const auto line = std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l["port"] == c.port; });
        ASSERT_NE(line, lines.end());
        EXPECT_EQ((*line)["result"], c.result);
        EXPECT_EQ((*line)["image_sha256"], sha256);
        EXPECT_EQ((*line)["batch"], "LOT-26");
        EXPECT_EQ((*line)["unit"], 1);
        EXPECT_FALSE((*line)["station"].get<std::string>().empty());
    }
    EXPECT_EQ(Drive({"pos", Window, std::to_string(station::win::barPortId(ours[0]))}), "1000");
    EXPECT_EQ(Text(StationId("lblTotals")), "Since the window opened: 2 written, 1 failed");
    // Closing when no unit runs asks nothing.
    ASSERT_TRUE(Ok({"close", Window}));
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(StationExe, CommandLineEnterEscAbortsAndClosingDuringAUnit) {
    Behaviour silent;
    silent.silentFromFrame = 1;
    auto com1 = std::make_unique<SimulatedPrinter>(silent);
    auto com2 = std::make_unique<SimulatedPrinter>(silent);
    quarveld::wine::ControllingTerminal terminal(com1->devicePath());
    MapPort("COM1", com1->devicePath());
    MapPort("COM2", com2->devicePath());

    Program program(*session, {"--port", "COM1", "--port", "COM2", "Z:" + image_}, Window);
    ASSERT_TRUE(program.Started());
    const std::map<std::string, int> rows = Rows();
    ASSERT_EQ(rows.count("COM1") + rows.count("COM2"), 2u);
    const std::vector<int> ours = {rows.at("COM1"), rows.at("COM2")};
    // Start has the keyboard: Enter writes the ports the command line named.
    ASSERT_TRUE(Ok({"key", Window, "0x0D"}));
    std::vector<std::string> states = WaitForEnds(ours, "writing|ready|no answer for 0:0[01]");
    for (const std::string& state : states) EXPECT_EQ(state.rfind("no answer for 0:0", 0), 0u) << state;
    EXPECT_TRUE(session->Screenshot("station_silent"));

    const auto pressed = std::chrono::steady_clock::now();
    ASSERT_TRUE(Ok({"key", Window, "0x1B"}));
    states = WaitForEnds(ours, "writing|ready|no answer");
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(3));
    for (std::size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(states[i], "aborted");
        EXPECT_EQ(Text(station::win::lblCountsId(ours[i])), "0 / 1");
    }

    // The ports are free again: the next unit writes them.
    com1 = std::make_unique<SimulatedPrinter>();
    com2 = std::make_unique<SimulatedPrinter>();
    MapPort("COM1", com1->devicePath());
    MapPort("COM2", com2->devicePath());
    ASSERT_TRUE(Ok({"click", Window, Id("cmdStart")}));
    states = WaitForEnds(ours);
    for (std::size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(states[i].rfind("written in", 0), 0u) << states[i];
        EXPECT_EQ(Text(station::win::lblCountsId(ours[i])), "1 / 1");
    }
    EXPECT_EQ(com1->frames(), Frames3);
    EXPECT_EQ(com2->frames(), Frames3);

    // Closing during a unit asks first; then its runs are aborted and recorded.
    com1 = std::make_unique<SimulatedPrinter>(silent);
    com2 = std::make_unique<SimulatedPrinter>(silent);
    MapPort("COM1", com1->devicePath());
    MapPort("COM2", com2->devicePath());
    ASSERT_TRUE(Ok({"click", Window, Id("cmdStart")}));
    WaitForEnds(ours, "ready|writing");
    std::string record = Text(StationId("txtRecord"));
    ASSERT_EQ(record.rfind("C:\\", 0), 0u) << record;
    record = Prefix() + "/drive_c/" + std::regex_replace(record.substr(3), std::regex(R"(\\)"), "/");
    const std::string question = "class=#32770;has=Printers are being written. Abort them and close?";
    ASSERT_TRUE(Ok({"close", Window}));
    ASSERT_TRUE(Ok({"wait", question}));
    EXPECT_TRUE(session->Screenshot("station_closing"));
    ASSERT_TRUE(Ok({"click", question, "6"}));
    EXPECT_TRUE(program.WaitForExit(10000));
    const std::vector<nlohmann::json> lines = tools::test::LogLines(record);
    ASSERT_EQ(lines.size(), 6u);
    for (std::size_t i = 4; i < 6; ++i) {
        EXPECT_EQ(lines[i]["result"], "aborted");
        EXPECT_EQ(lines[i]["unit"], 3);
    }
}

TEST_F(StationExe, EveryControlInsideTheWindowAt96To144Dpi) {
    for (int dpi : {144, 120, 96}) {
        SCOPED_TRACE(dpi);
        session->SetDpi(dpi);
        Program program(*session, {"--port", "COM1", "--port", "COM2", "--port", "COM12", "Z:" + image_}, Window);
        ASSERT_TRUE(program.Started());
        std::array<long, 4> window{};
        std::istringstream(Drive({"rect", Window})) >> window[0] >> window[1] >> window[2] >> window[3];
        // The screen is 1024 x 768.
        EXPECT_LE(window[0] + window[2], 1024);
        EXPECT_LE(window[1] + window[3], 768);
        for (const auto& control : station::win::StationControls) {
            std::array<long, 4> r{};
            std::istringstream(Drive({"rect", Window, std::to_string(control.id)})) >> r[0] >> r[1] >> r[2] >> r[3];
            EXPECT_GT(r[2], 0) << control.name;
            EXPECT_TRUE(r[0] >= window[0] && r[1] >= window[1] && r[0] + r[2] <= window[0] + window[2] &&
                        r[1] + r[3] <= window[1] + window[3])
                << control.name;
        }
        EXPECT_TRUE(session->Screenshot("station_" + std::to_string(dpi) + "dpi_ready"));
        ASSERT_TRUE(Ok({"close", Window}));
        EXPECT_TRUE(program.WaitForExit(10000));
    }
}

}  // namespace

int main(int argc, char** argv) {
    return quarveld::wine::RunAllTestsInSession(argc, argv, session, {"COM12"});
}
