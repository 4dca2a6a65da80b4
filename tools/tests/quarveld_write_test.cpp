#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/inotify.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>

#include "simulated_printer.hpp"
#include "tool_runs.hpp"

namespace tools::test {
namespace {

using quarveld::sim::Behaviour;
using quarveld::sim::SimulatedPrinter;
using quarveld::test::LongImage;

// Two data records and an S0 header: three frames, six data bytes.
const char* const Image3 = "S00600004844521B\nS1061000010203E3\nS1061003010203E0\nS9030000FC\n";

std::string Frames(const SimulatedPrinter& printer) {
    std::string text;
    for (const auto& frame : printer.frames()) text += Hex(std::string(frame.begin(), frame.end())) + "\n";
    return text;
}

struct WriterSetup {
    ScratchDir dir;
    std::string image = dir / "image.mot";
    std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir / "config"};
    WriterSetup() { WriteFile(image, Image3); }
    std::vector<std::string> Args(std::vector<std::string> options) const {
        options.insert(options.begin(), QUARVELD_WRITE);
        options.push_back(image);
        return options;
    }
};

TEST(QuarveldWrite, SendsTheWindowsFramesAndCountsThemInPlainLines) {
    WriterSetup setup;
    SimulatedPrinter printer;
    const ToolRun run = RunTool(setup.dir, setup.Args({"--port", printer.devicePath()}), setup.env);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Frames(printer),
              "02 00 00 00 00 00 03 01 40\n"
              "02 03 00 00 10 00 01 02 03 03 AD F6\n"
              "02 03 00 00 10 03 01 02 03 03 AD B2\n");
    // Output is no terminal: whole lines, the last one complete, no carriage returns.
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    EXPECT_NE(run.out.find("6 of 6 bytes, frame 3 of 3"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Write End !\n"), std::string::npos) << run.out;

    // The dry run prints the same frames without a port.
    const ToolRun dry = RunTool(setup.dir, setup.Args({"--dry-run"}), setup.env);
    EXPECT_EQ(dry.status, 0);
    EXPECT_EQ(dry.out, Frames(printer));
}

TEST(QuarveldWrite, OnANarrowTerminalRedrawsOneLineThatFits) {
    WriterSetup setup;
    WriteFile(setup.image, LongImage(40));
    Behaviour slow;
    slow.byteDelayMicros = 2000;  // about a second for the image: several redraws
    SimulatedPrinter printer(slow);
    const ToolRun run = RunOnTerminal(setup.Args({"--port", printer.devicePath()}), setup.env, {}, 40);
    EXPECT_EQ(run.status, 0) << run.out;
    const std::vector<std::string> shown = TerminalSegments(run.out);
    for (const std::string& line : shown) EXPECT_LE(line.size(), 39u) << line;
    // Redrawn from the line's start, not a line per frame: one line, then the notice.
    EXPECT_GE(std::count(run.out.begin(), run.out.end(), '\r'), 4) << run.out;
    EXPECT_LE(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
    ASSERT_GE(shown.size(), 2u);
    EXPECT_NE(shown[shown.size() - 2].find("160 of 160 bytes, frame 40 of 40"), std::string::npos) << run.out;
    EXPECT_EQ(shown.back(), "Write End !");
}

TEST(QuarveldWrite, OnATerminalASilentPrinterIsShownAsSuch) {
    WriterSetup setup;
    Behaviour silent;
    silent.silentFromFrame = 1;
    SimulatedPrinter printer(silent);
    const ToolRun run =
        RunOnTerminal(setup.Args({"--port", printer.devicePath(), "--timeout", "3"}), setup.env, {}, 70);
    EXPECT_EQ(run.status, 1) << run.out;
    bool told = false;
    for (const std::string& line : TerminalSegments(run.out)) {
        if (line.find("no answer from the printer for 0:02") == std::string::npos) continue;
        told = true;
        EXPECT_EQ(line.find("left"), std::string::npos) << line;
        EXPECT_NE(line.find("frame 1 of 3"), std::string::npos) << line;
    }
    EXPECT_TRUE(told) << run.out;
}

TEST(QuarveldWrite, TakesPortAndDeviceFromTorwinIni) {
    WriterSetup setup;
    SimulatedPrinter printer;
    std::filesystem::create_directories(setup.dir / "config");
    // COM2 (211 = 0x00d3) at 19200, its device mapped to the simulated printer.
    WriteFile(setup.dir / "config/TORWIN.INI",
              "[QUARVELD]\nPORT0=00c9\nPORT1=00cd\nPORT2=00cf\nPORT3=00d3\n[Devices]\nCOM1=" +
                  setup.dir / "no-com1" + "\nCOM2=" + printer.devicePath() + "\n");
    // Every open of the file is counted: it is read once, whatever it is asked for.
    const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(opens, (setup.dir / "config").c_str(), IN_OPEN), 0);
    const ToolRun run = RunTool(setup.dir, setup.Args({}), setup.env);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(printer.framesReceived(), 3u);
    int read = 0;
    alignas(inotify_event) char events[64 * 1024];
    for (ssize_t n; (n = ::read(opens, events, sizeof events)) > 0;) {
        for (char* at = events; at < events + n; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len)
            read += std::string(reinterpret_cast<inotify_event*>(at)->name) == "TORWIN.INI";
    }
    close(opens);
    EXPECT_EQ(read, 1);

    // An option wins over the file; COM1 is mapped to nothing here.
    const ToolRun com1 = RunTool(setup.dir, setup.Args({"--port", "COM1", "--baud", "2400"}), setup.env);
    EXPECT_EQ(com1.status, 2);
    EXPECT_NE(com1.err.find("COM1 (" + setup.dir / "no-com1)"), std::string::npos) << com1.err;
}

TEST(QuarveldWrite, PortNamesMatchInAnyCaseAndAnUnmappedComSaysHowToMapIt) {
    WriterSetup setup;
    SimulatedPrinter com12;
    std::filesystem::create_directories(setup.dir / "config");
    WriteFile(setup.dir / "config/TORWIN.INI", "[Devices]\ncom12 = " + com12.devicePath() + "\n");
    EXPECT_EQ(RunTool(setup.dir, setup.Args({"--port", "Com12"}), setup.env).status, 0);
    EXPECT_EQ(com12.framesReceived(), 3u);

    // A COMn that nothing maps: the message says how to map it.
    const ToolRun unmapped = RunTool(setup.dir, setup.Args({"--port", "com5"}), setup.env);
    EXPECT_EQ(unmapped.status, 2);
    EXPECT_NE(unmapped.err.find("COM5=/dev/ttyUSB0) to the [Devices] section of " + setup.dir / "config/TORWIN.INI"),
              std::string::npos)
        << unmapped.err;
}

// A port that never opened sent nothing: its reason alone, on standard
// error. A name like a port's that no port has is never taken as a file.
TEST(QuarveldWrite, APortThatNeverOpenedGivesItsReasonAlone) {
    WriterSetup setup;
    const struct {
        std::string port, says;
    } cases[] = {
        {setup.dir / "no-such-tty", "no-such-tty cannot be opened"},
        {"COM7", "COM7 is mapped to no device on this machine; add COM7=DEVICE"},
        {"COM0", "--port COM0: there is no such port; the ports are COM1 to COM256 and LPT1"},
        {"com257", "--port com257: there is no such port"},
        {"LPT2", "--port LPT2: there is no such port"},
        {"COM01:", "--port COM01:: there is no such port"},
    };
    for (const auto& c : cases) {
        const ToolRun run = RunTool(setup.dir, setup.Args({"--port", c.port}), setup.env);
        EXPECT_EQ(run.status, 2) << c.port;
        EXPECT_EQ(run.out, "") << c.port;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(c.port)) << c.port;
    }
}

TEST(QuarveldWrite, ReportsNakOrALostDeviceWithTheFrameAndExitsOne) {
    WriterSetup setup;
    Behaviour nak;
    nak.nakAtFrame = 1;
    {
        SimulatedPrinter printer(nak);
        const ToolRun run = RunTool(setup.dir, setup.Args({"--port", printer.devicePath()}), setup.env);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.out.find("Write Error !"), std::string::npos);
        EXPECT_NE(run.err.find("refused frame 2 (line 2 of"), std::string::npos) << run.err;
        EXPECT_EQ(printer.framesReceived(), 2u);
    }
    Behaviour gone;
    gone.hangUpAtFrame = 1;
    SimulatedPrinter printer(gone);
    const ToolRun run = RunTool(setup.dir, setup.Args({"--port", printer.devicePath()}), setup.env);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("went away"), std::string::npos) << run.err;
}

TEST(QuarveldWrite, TimeoutEndsASilentRunAndCtrlCAbortsIt) {
    WriterSetup setup;
    Behaviour silent;
    silent.silentFromFrame = 1;
    {
        SimulatedPrinter printer(silent);
        const ToolRun run = RunTool(setup.dir, setup.Args({"--port", printer.devicePath(), "--timeout", "0.5"}),
                                    setup.env);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("no answer from the printer for 0.5 s at frame 2 of 3"), std::string::npos)
            << run.err;
    }
    SimulatedPrinter printer(silent);
    Tool tool(setup.dir, setup.Args({"--port", printer.devicePath()}), setup.env);
    ASSERT_TRUE(printer.waitForFrames(2, 5000));
    tool.Signal(SIGINT);
    const ToolRun run = tool.Wait();
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.out.find("Aborted"), std::string::npos);
    EXPECT_NE(run.err.find("after 1 of 3 frames"), std::string::npos) << run.err;
}

TEST(QuarveldWrite, BadUsageAndImagesThatCannotBeUsed) {
    WriterSetup setup;
    SimulatedPrinter printer;
    const std::string port = printer.devicePath();
    // The same port as a link and as itself is given twice, not "in use".
    std::filesystem::create_symlink(port, setup.dir / "by-id");

    const ToolRun noImage = RunTool(setup.dir, {QUARVELD_WRITE, "--port", port}, setup.env);
    EXPECT_EQ(noImage.status, 2);
    EXPECT_NE(noImage.err.find("no image given"), std::string::npos);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--baud", "115200"},
                                                {"--bits", "6"}, {"--parity", "mark"}, {"--timeout", "0"},
                                                {"--timeout", "x"}, {"--bogus"}, {"--port"},
                                                {"--ports", port + ",," + port}, {"--port", port, "--port", port},
                                                {"--port", setup.dir / "by-id", "--port", port},
                                                {"--log", setup.dir / "none/runs.jsonl"}}) {
        EXPECT_EQ(RunTool(setup.dir, setup.Args(bad), setup.env).status, 2) << bad[0];
    }

    const ToolRun missing = RunTool(setup.dir, {QUARVELD_WRITE, "--port", port, setup.dir / "none.mot"}, setup.env);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("none.mot: the image cannot be opened"), std::string::npos) << missing.err;

    const ToolRun noPort = RunTool(setup.dir, setup.Args({"--port", setup.dir / "no-such-tty"}), setup.env);
    EXPECT_EQ(noPort.status, 2);
    EXPECT_NE(noPort.err.find("no-such-tty"), std::string::npos) << noPort.err;

    // A damaged line is found by the count before anything is sent: never
    // started, for one port or several, and nothing in the log.
    WriteFile(setup.image, "S1061000010203E3\nS1G61000010203E3\nS9030000FC\n");
    SimulatedPrinter second;
    for (const std::vector<std::string>& ports : {std::vector<std::string>{"--port", port},
                                                  {"--port", port, "--port", second.devicePath()}}) {
        std::vector<std::string> args = ports;
        args.insert(args.end(), {"--log", setup.dir / "runs.jsonl"});
        const ToolRun damaged = RunTool(setup.dir, setup.Args(args), setup.env);
        EXPECT_EQ(damaged.status, 2);
        EXPECT_NE(damaged.err.find("line 2"), std::string::npos) << damaged.err;
    }
    EXPECT_EQ(printer.framesReceived() + second.framesReceived(), 0u);
    EXPECT_EQ(ReadFile(setup.dir / "runs.jsonl"), "");

    const ToolRun help = RunTool(setup.dir, {QUARVELD_WRITE, "--help"}, setup.env);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
}

// Printers on ptys of their own, behaving as `others` unless `special` says otherwise.
std::vector<std::unique_ptr<SimulatedPrinter>> Printers(int n, const std::map<int, Behaviour>& special = {},
                                                         const Behaviour& others = {}) {
    std::vector<std::unique_ptr<SimulatedPrinter>> printers;
    for (int i = 0; i < n; ++i)
        printers.push_back(std::make_unique<SimulatedPrinter>(special.count(i) ? special.at(i) : others));
    return printers;
}

// The device is free again: nothing holds its lock.
bool Free(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) ::close(fd);
    return free;
}

TEST(QuarveldWriteSeveral, EightPrintersTwoFailingEachForItselfAndALineEachInTheLog) {
    WriterSetup setup;
    WriteFile(setup.image, LongImage(12));
    Behaviour nak, silent;
    nak.nakAtFrame = 5;
    silent.silentFromFrame = 4;
    const auto printers = Printers(8, {{2, nak}, {5, silent}});
    std::vector<std::string> args{"--timeout", "1", "--log", setup.dir / "runs.jsonl", "--ports",
                                  printers[0]->devicePath() + "," + printers[1]->devicePath()};
    for (int i = 2; i < 8; ++i) args.insert(args.end(), {"--port", printers[i]->devicePath()});
    const ToolRun run = RunTool(setup.dir, setup.Args(args), setup.env);
    EXPECT_EQ(run.status, 1) << run.out << run.err;

    const std::string single = RunTool(setup.dir, setup.Args({"--dry-run"}), setup.env).out;
    for (int i = 0; i < 8; ++i) {
        const std::string port = printers[i]->devicePath();
        if (i == 2 || i == 5) continue;
        EXPECT_EQ(Frames(*printers[i]), single) << port;
        EXPECT_NE(run.out.find(port + ": written, 48 of 48 bytes, 12 of 12 frames, 0:0"), std::string::npos) << run.out;
    }
    const std::string nakPort = printers[2]->devicePath(), silentPort = printers[5]->devicePath();
    EXPECT_NE(run.out.find(nakPort + ": error, 20 of 48 bytes, 5 of 12 frames, 0:00: the printer refused frame 6"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find(silentPort + ": error, 16 of 48 bytes, 4 of 12 frames, 0:01: no answer from the printer "
                                        "for 1 s at frame 5 of 12"),
              std::string::npos) << run.out;
    EXPECT_NE(run.err.find("quarveld-write: " + nakPort + ": the printer refused frame 6"), std::string::npos);
    // Into a file every line names its port.
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) EXPECT_EQ(line.rfind("/dev/pts/", 0), 0u) << line;

    const std::string sum = Sha256Sum(setup.image);
    std::vector<nlohmann::json> log = LogLines(setup.dir / "runs.jsonl");
    ASSERT_EQ(log.size(), 8u);
    std::map<std::string, nlohmann::json> byPort;
    for (nlohmann::json& r : log) {
        EXPECT_EQ(r["image_sha256"], sum);
        EXPECT_LE(r["started"].get<std::string>(), r["ended"].get<std::string>());
        for (const char* key : {"started", "ended", "host", "tool_version"}) {
            EXPECT_FALSE(r[key].get<std::string>().empty()) << key;
            r.erase(key);
        }
        byPort[r["port"].get<std::string>()] = r;
    }
    const std::string first = printers[0]->devicePath();
    EXPECT_EQ(byPort[first], (nlohmann::json{{"port", first}, {"device", first}, {"image", setup.image},
                                             {"image_bytes", ReadFile(setup.image).size()}, {"image_sha256", sum},
                                             {"frames_sent", 12}, {"frames_total", 12}, {"bytes_sent", 48},
                                             {"result", "written"}, {"reason", ""}, {"unit", 1}}));
    // The frame refused, or never answered, went out: it is counted as sent,
    // while bytes_sent stays what the printer acknowledged.
    EXPECT_EQ(byPort[nakPort]["result"], "error");
    EXPECT_EQ(byPort[nakPort]["frames_sent"], 6);
    EXPECT_EQ(byPort[nakPort]["bytes_sent"], 20);
    EXPECT_EQ(byPort[silentPort]["frames_sent"], 5);
    EXPECT_EQ(byPort[silentPort]["bytes_sent"], 16);
    EXPECT_NE(byPort[silentPort]["reason"].get<std::string>().find("no answer from the printer for 1 s"),
              std::string::npos);
}

// Ctrl+C, a termination request or a closed terminal (a dropped session):
// every port stops at once, is freed, and each run is logged as aborted.
TEST(QuarveldWriteSeveral, CtrlCAbortsEveryPortAtOnce) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        WriterSetup setup;
        WriteFile(setup.image, LongImage(12));
        Behaviour silent;
        silent.silentFromFrame = 1;
        const auto printers = Printers(8, {}, silent);
        std::vector<std::string> args{"--log", setup.dir / "runs.jsonl"};
        for (const auto& printer : printers) args.insert(args.end(), {"--port", printer->devicePath()});
        Tool tool(setup.dir, setup.Args(args), setup.env);
        for (const auto& printer : printers) ASSERT_TRUE(printer->waitForFrames(2, 5000));
        EXPECT_FALSE(Free(printers[7]->devicePath()));  // held while written to
        const auto asked = std::chrono::steady_clock::now();
        tool.Signal(signal);
        const ToolRun run = tool.Wait();
        // quarveld_write_bench measures the time; here it only has to be prompt.
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2));
        EXPECT_EQ(run.status, 3) << run.err;
        for (const auto& printer : printers) {
            EXPECT_NE(run.out.find(printer->devicePath() + ": aborted, 4 of 48 bytes, 1 of 12 frames"),
                      std::string::npos)
                << run.out;
            EXPECT_TRUE(Free(printer->devicePath()));
        }
        const std::vector<nlohmann::json> log = LogLines(setup.dir / "runs.jsonl");
        EXPECT_EQ(log.size(), printers.size());
        for (const nlohmann::json& record : log) EXPECT_EQ(record["result"], "aborted") << record;
    }
}

TEST(QuarveldWriteSeveral, StationModeWritesUnitAfterUnitUntilQ) {
    WriterSetup setup;
    const auto printers = Printers(2);
    const std::string log = setup.dir / "runs.jsonl";
    const std::string prompt = "press Enter (q to stop)";
    bool released = true;
    auto look = [&] {
        for (const auto& printer : printers) released &= Free(printer->devicePath());
    };
    const ToolRun run = RunOnTerminal(
        setup.Args({"--repeat", "--log", log, "--port", printers[0]->devicePath(), "--port", printers[1]->devicePath()}),
        setup.env,
        {{prompt, "\n", [&] {
              look();
              // Replaced between units: the next ones still get the image checked at the start.
              WriteFile(setup.image, LongImage(5));
          }},
         {prompt, "\n", look},
         {prompt, "q\n", look}},
        50);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(released) << "a port is held while the tool waits for the next printers";
    const std::string single = Frames(*printers[0]).substr(0, Frames(*printers[0]).size() / 3);
    for (const auto& printer : printers) EXPECT_EQ(Frames(*printer), single + single + single);
    const std::string changed = setup.image + " has changed on disk since it was checked";
    // Said at the two prompts after the change, not at the first.
    std::size_t said = 0;
    for (std::size_t at = run.out.find(changed); at != std::string::npos; at = run.out.find(changed, at + 1)) ++said;
    EXPECT_EQ(said, 2u) << run.out;
    EXPECT_GT(run.out.find(changed), run.out.find(prompt)) << run.out;

    std::vector<int> units;
    for (const nlohmann::json& r : LogLines(log)) {
        units.push_back(r["unit"].get<int>());
        EXPECT_EQ(r["frames_total"], 3);
    }
    EXPECT_EQ(units, (std::vector<int>{1, 1, 2, 2, 3, 3}));
    // A line per port redrawn in place; the totals at the end.
    EXPECT_NE(run.out.find("\x1b[1A"), std::string::npos);
    const std::vector<std::string> shown = TerminalSegments(run.out);
    for (const std::string& line : shown) {
        if (line.find("bytes,") != std::string::npos) {
            EXPECT_LE(line.size(), 49u) << line;
        }
    }
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(shown[shown.size() - 4], "3 units at each port:");
    EXPECT_EQ(shown[shown.size() - 2], printers[0]->devicePath() + "  3        0");
    EXPECT_EQ(shown.back(), printers[1]->devicePath() + "  3        0");
}

TEST(QuarveldWriteSeveral, TwoToolsShareALogAndAPortThatIsNotThereFailsAlone) {
    WriterSetup setup;
    ScratchDir other;
    const auto printers = Printers(8);
    const std::string log = setup.dir / "runs.jsonl";
    std::vector<std::string> first{"--log", log, "--port", setup.dir / "not-there"}, second{"--log", log};
    for (int i = 0; i < 4; ++i) first.insert(first.end(), {"--port", printers[i]->devicePath()});
    for (int i = 4; i < 8; ++i) second.insert(second.end(), {"--port", printers[i]->devicePath()});
    Tool one(setup.dir, setup.Args(first), setup.env), two(other, setup.Args(second), setup.env);
    const ToolRun a = one.Wait(), b = two.Wait();
    EXPECT_EQ(a.status, 1) << a.err;
    EXPECT_EQ(b.status, 0) << b.err;
    for (const auto& printer : printers) EXPECT_EQ(printer->framesReceived(), 3u);
    int written = 0;
    for (const nlohmann::json& r : LogLines(log)) {
        if (r["result"] == "written") ++written;
        else EXPECT_NE(r["reason"].get<std::string>().find("not-there cannot be opened"), std::string::npos) << r;
    }
    EXPECT_EQ(written, 8);
}


// With the log's file system full, a line that does not fit is not left in
// part: the log stays as it was, the tool says the record was not kept, and
// the run does not end as a success.
TEST(QuarveldWrite, ALogOnAFullDiskKeepsNoPartOfALine) {
    WriterSetup setup;
    const std::string before = nlohmann::json{{"reason", std::string(3950, 'x')}}.dump() + "\n";
    FullDisk disk("runs.jsonl", before);
    if (disk.Empty()) GTEST_SKIP() << "no tmpfs can be mounted here";
    SimulatedPrinter printer;
    const ToolRun run =
        RunTool(setup.dir, setup.Args({"--port", printer.devicePath(), "--log", disk.Path("runs.jsonl")}), setup.env);
    EXPECT_EQ(printer.framesReceived(), 3u);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the record of unit 1 at " + printer.devicePath() + " was not kept"), std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFile(disk.Path("runs.jsonl")), before);
}

// Ctrl+C at the station's prompt ends the station as aborted, not as done.
TEST(QuarveldWriteSeveral, CtrlCAtTheStationPromptExitsAsAborted) {
    WriterSetup setup;
    SimulatedPrinter printer;
    const ToolRun run = RunOnTerminal(setup.Args({"--repeat", "--port", printer.devicePath()}), setup.env,
                                      {{"press Enter (q to stop)", "\x03"}}, 60);
    EXPECT_EQ(run.status, 3) << run.out;
    EXPECT_EQ(printer.framesReceived(), 3u);
}

// More ports than the terminal has rows: no redraw above the top of the
// screen; a line for each port as it ends, and totals; nothing wider than
// the terminal, the table included.
TEST(QuarveldWriteSeveral, ThirtyPortsOnASmallTerminalFitItsWidthAndHeight) {
    WriterSetup setup;
    WriteFile(setup.image, LongImage(6));
    Behaviour nak;
    nak.nakAtFrame = 2;
    const auto printers = Printers(30, {{4, nak}});
    std::vector<std::string> args;
    for (const auto& printer : printers) args.insert(args.end(), {"--port", printer->devicePath()});
    const ToolRun run = RunOnTerminal(setup.Args(args), setup.env, {}, 60, 20);
    EXPECT_EQ(run.status, 1) << run.out;
    for (std::size_t at = run.out.find("\x1b["); at != std::string::npos; at = run.out.find("\x1b[", at + 1)) {
        const std::size_t letter = run.out.find_first_not_of("0123456789", at + 2);
        if (letter != std::string::npos && run.out[letter] == 'A')
            EXPECT_LT(std::stoi(run.out.substr(at + 2, letter - at - 2)), 20) << "the cursor leaves the screen";
    }
    const std::vector<std::string> shown = TerminalSegments(run.out);
    for (const std::string& line : shown) {
        // Reasons on standard error are told whole.
        if (line.rfind("quarveld-write: ", 0) != 0) EXPECT_LE(line.size(), 59u) << line;
    }
    int ended = 0;
    for (const std::string& line : shown) ended += line.find(", written") != std::string::npos;
    EXPECT_EQ(ended, 29) << run.out;
    EXPECT_NE(run.out.find("30 ports: 29 written, 1 failed, 0 writing"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace tools::test
