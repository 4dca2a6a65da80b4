#include <gtest/gtest.h>

#include <regex>

#include "tool_runs.hpp"
#include "vexlo_cupsd.hpp"
#include "vexlo_link.hpp"

namespace tools::test {
namespace {

// Fixed commands, as the printer reads them.
const std::string Closing("\x1B\x1D\x23\x54\x30\x30\x30\x30\x30\x0A\x00", 11);
const std::string ClearAll("\x1B\x1D\x23\x40\x30\x30\x30\x30\x30\x0A\x00", 11);

struct EditorSetup {
    ScratchDir dir;
    std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir / "config"};
    ToolRun Send(std::vector<std::string> args) const {
        args.insert(args.begin(), KELVANE_SEND);
        return RunTool(dir, args, env);
    }
    ToolRun Decode(const std::string& path) const { return RunTool(dir, {KELVANE_DECODE, path}, env); }
};

TEST(KelvaneSend, SendsTheAdvancedWindowsJobToAFileOrDevice) {
    EditorSetup setup;
    // Lower-case digits are upper-cased as the value boxes do; short values stay short.
    const ToolRun run = setup.Send({"--file", setup.dir / "job.prn", "3=0005", "a=8f", "3=1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Hex(ReadFile(setup.dir / "job.prn")),
              "1B 1D 23 2C 33 30 30 30 35 0A 00 "
              "1B 1D 23 2C 41 38 46 0A 00 "
              "1B 1D 23 2C 33 31 0A 00 " + Hex(Closing));

    // --file replaces the file; a device path that is a plain file gets each job added.
    ASSERT_EQ(setup.Send({"--file", setup.dir / "job.prn", "F=FFFF"}).status, 0);
    EXPECT_EQ(Hex(ReadFile(setup.dir / "job.prn")), "1B 1D 23 2C 46 46 46 46 46 0A 00 " + Hex(Closing));
    ASSERT_EQ(setup.Send({"--device", setup.dir / "lp", "0=1"}).status, 0);
    ASSERT_EQ(setup.Send({"--device", setup.dir / "lp", "--clear-all", "--yes"}).status, 0);
    EXPECT_EQ(ReadFile(setup.dir / "lp"), std::string("\x1B\x1D\x23\x2C\x30\x31\x0A\x00", 8) + Closing + ClearAll + Closing);
}

TEST(KelvaneSend, ClearAllAsksOnATerminalOnceAndOnlyYesSends) {
    EditorSetup setup;
    const std::string lp = setup.dir / "lp", lp2 = setup.dir / "lp2";
    const ToolRun no = RunOnTerminal({KELVANE_SEND, "--device", lp, "--clear-all"}, setup.env, {{"[y/N]", "n\n"}});
    EXPECT_EQ(no.status, 1) << no.out;
    EXPECT_NE(no.out.find("This will clear all memory switches"), std::string::npos) << no.out;
    EXPECT_FALSE(std::filesystem::exists(lp));

    // Several destinations: one question, then the job to each.
    const ToolRun yes = RunOnTerminal({KELVANE_SEND, "--device", lp, "--device", lp2, "--clear-all"}, setup.env,
                                      {{"[y/N]", "y\n"}});
    EXPECT_EQ(yes.status, 0) << yes.out;
    EXPECT_EQ(yes.out.find("[y/N]"), yes.out.rfind("[y/N]")) << yes.out;
    EXPECT_EQ(ReadFile(lp), ClearAll + Closing);
    EXPECT_EQ(ReadFile(lp2), ClearAll + Closing);
}

TEST(KelvaneSend, DefaultsToTheLinksStoredChoice) {
    EditorSetup setup;
    EXPECT_EQ(setup.Send({"1=2"}).status, 1);  // nothing stored yet

    kelvane::VexloLink stored(setup.dir / "config/kelvane/VexloComm.ini");
    stored.choose(kelvane::LinkDestination::Kind::Device, "", setup.dir / "stored-device");
    stored.SaveSettings("MySettings");
    const ToolRun run = setup.Send({"1=2"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Hex(ReadFile(setup.dir / "stored-device")), "1B 1D 23 2C 31 32 0A 00 " + Hex(Closing));
}

// kelvane-send with a private spooler that has one queue, "shop".
class KelvaneSendToSpooler : public testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!cupsd.Start(&why)) GTEST_SKIP() << why;
        ASSERT_TRUE(cupsd.AddQueue("shop", false)) << cupsd.ErrorLog();
        setup.env.push_back("CUPS_SERVER=" + cupsd.socket());
    }
    vexlotest::PrivateCupsd cupsd;
    EditorSetup setup;
};

TEST_F(KelvaneSendToSpooler, SendsOneRawJobToAQueue) {
    const ToolRun run = setup.Send({"--printer", "shop", "2=0123"});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(cupsd.WaitForJobs("shop", 1), 1u);
    EXPECT_EQ(Hex(ReadFile(cupsd.Jobs("shop").front().string())), "1B 1D 23 2C 32 30 31 32 33 0A 00 " + Hex(Closing));

    const ToolRun missing = setup.Send({"--printer", "no-such-queue", "2=0123"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("\"no-such-queue\" does not exist"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("with --printer QUEUE; `lpstat -p` lists them."), std::string::npos) << missing.err;
}

// The same job to every destination in turn; the ones that fail are named
// with their reason, the others still get it, and the log has a line for each.
TEST_F(KelvaneSendToSpooler, SendsTheJobToEveryDestinationAndLogsEach) {
    const std::string lp = setup.dir / "lp", out = setup.dir / "out.prn", log = setup.dir / "runs.jsonl";
    WriteFile(lp, "old");
    const ToolRun run = setup.Send({"--printer", "gone", "--device", lp, "--printer", "shop", "--device",
                                    "/dev/kelvane-no-such-lp", "--file", out, "--log", log, "3=0005", "a=8001"});
    EXPECT_EQ(run.status, 1) << run.err;
    const std::string job = "1B 1D 23 2C 33 30 30 30 35 0A 00 1B 1D 23 2C 41 38 30 30 31 0A 00 " + Hex(Closing);
    ASSERT_EQ(cupsd.WaitForJobs("shop", 1), 1u);
    EXPECT_EQ(Hex(ReadFile(cupsd.Jobs("shop").front().string())), job);
    EXPECT_EQ(Hex(ReadFile(lp)), "6F 6C 64 " + job);
    EXPECT_EQ(Hex(ReadFile(out)), job);

    // The summary: destination, result, bytes, reason; one row each, in order.
    EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(destination +result +bytes +reason\n)"
                                                      R"(printer gone +error +- +Printer queue "gone" does not exist.*\n)"
                                                      R"(device \S+/lp +sent +33\n)"
                                                      R"(printer shop +sent +33\n)"
                                                      R"(device /dev/kelvane-no-such-lp +error +- +Cannot open .*\n)"
                                                      R"(file \S+/out.prn +sent +33\n)")))
        << run.out;
    EXPECT_NE(run.out.find("Sent to 3 of 5 destinations."), std::string::npos) << run.out;

    const std::vector<nlohmann::json> lines = LogLines(log);
    ASSERT_EQ(lines.size(), 5u) << ReadFile(log);
    const std::string destinations[] = {"printer gone", "device " + lp, "printer shop",
                                        "device /dev/kelvane-no-such-lp", "file " + out};
    const std::string results[] = {"error", "sent", "sent", "error", "sent"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const nlohmann::json& line = lines[i];
        SCOPED_TRACE(line.dump());
        EXPECT_EQ(line["destination"], destinations[i]);
        EXPECT_EQ(line["result"], results[i]);
        EXPECT_EQ(line["job_sha256"], Sha256Sum(out));
        EXPECT_EQ(line["bytes"], 33);
        EXPECT_LE(line["started"].get<std::string>(), line["ended"].get<std::string>());
        EXPECT_FALSE(line["host"].get<std::string>().empty() || line["tool_version"].get<std::string>().empty());
        // The reason is the line printed on standard error.
        const std::string reason = line["reason"];
        EXPECT_EQ(reason.empty(), results[i] == "sent");
        if (!reason.empty()) {
            EXPECT_NE(run.err.find(reason + "\n"), std::string::npos);
        }
    }
}

// A failure of the link says what to do on the command line, not in a window.
TEST(KelvaneSend, LinkFailuresNameTheOptionsNotTheWindowsControls) {
    EditorSetup setup;
    const ToolRun device = setup.Send({"--device", "/dev/kelvane-no-such-lp", "1=1"});
    EXPECT_EQ(device.status, 1);
    EXPECT_NE(device.err.find("Cannot open /dev/kelvane-no-such-lp"), std::string::npos) << device.err;
    EXPECT_NE(device.err.find("Give the printer's device with --device PATH.\n"), std::string::npos) << device.err;

    setup.env.push_back("CUPS_SERVER=" + setup.dir / "no-cupsd.sock");
    const ToolRun spooler = setup.Send({"--printer", "shop", "1=1"});
    EXPECT_EQ(spooler.status, 1);
    EXPECT_NE(spooler.err.find("not reachable"), std::string::npos) << spooler.err;
    EXPECT_NE(spooler.err.find(", or give --device PATH.\n"), std::string::npos) << spooler.err;
    for (const std::string& text : {device.err, spooler.err}) {
        EXPECT_EQ(text.find("refresh"), std::string::npos) << text;
        EXPECT_EQ(text.find("choose"), std::string::npos) << text;
    }
}

// Where the windows say what to choose, the tool ends with what to type.
TEST(KelvaneSend, FailuresEndWithTheCommandThatHelps) {
    EditorSetup setup;
    const std::string prn = setup.dir / "customer.prn";
    ASSERT_EQ(setup.Send({"--save", prn, "1=1"}).status, 0);
    // A device of the group lp, for a user outside it; LPT1 mapped to nothing.
    const std::string lp = setup.dir / "lp0";
    WriteFile(lp, "");
    ASSERT_EQ(chown(lp.c_str(), 0, 7), 0);
    ASSERT_EQ(chmod(lp.c_str(), 0660), 0);
    ASSERT_EQ(chmod((setup.dir / "").c_str(), 0755), 0);
    std::filesystem::create_directories(setup.dir / "config/kelvane");
    const std::vector<std::string> asNobody{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    FullDisk readOnly("x", "");
    if (!readOnly.Empty()) ASSERT_EQ(mount(nullptr, readOnly.Path("").c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);

    const struct {
        std::vector<std::string> args;
        bool nobody;
        std::string lpt1;  // as Kelvane2.ini maps it
        std::string ends;
    } cases[] = {
        {{"--device", lp, "1=1"}, true, lp,
         "Add your user to the group \"lp\": usermod -aG lp USER (as root), then log in again; or give another "
         "--device PATH.\n"},
        {{"--replay", prn}, true, lp, "may write it: usermod -aG lp USER (as root), then log in again.\n"},
        {{"--replay", prn}, false, "/dev/kelvane-no-such-lp",
         "(a USB printer is usually /dev/usb/lp0); or send it to the device at once: kelvane-send --replay " + prn +
             " --device /dev/usb/lp0\n"},
        {{"--file", readOnly.Path("job.prn"), "1=1"}, false, lp, "Give --file PATH in a folder you may write to.\n"},
        {{"--save", readOnly.Path("job.prn"), "1=1"}, false, lp, "Give --save PATH in a folder you may write to.\n"},
    };
    for (const auto& c : cases) {
        WriteFile(setup.dir / "config/kelvane/Kelvane2.ini", "[Devices]\nLPT1=" + c.lpt1 + "\n");
        if (c.args[1].rfind(readOnly.Path(""), 0) == 0 && readOnly.Empty()) continue;
        std::vector<std::string> argv = c.nobody ? asNobody : std::vector<std::string>{};
        argv.push_back(KELVANE_SEND);
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::vector<std::string> env = setup.env;
        env.push_back("USER=USER");
        const ToolRun run = RunTool(setup.dir, argv, env);
        EXPECT_EQ(run.status, 1) << c.args[0];
        EXPECT_TRUE(run.err.ends_with(c.ends)) << run.err;
        EXPECT_EQ(run.err.find("hoose"), std::string::npos) << run.err;
    }
}

// A log on a full disk: no part of a line is left, and the send is no success.
TEST(KelvaneSend, ALogOnAFullDiskKeepsNoPartOfALine) {
    EditorSetup setup;
    const std::string before = nlohmann::json{{"reason", std::string(3950, 'x')}}.dump() + "\n";
    FullDisk disk("sends.jsonl", before);
    if (disk.Empty()) GTEST_SKIP() << "no tmpfs can be mounted here";
    const ToolRun run = setup.Send({"--device", setup.dir / "lp", "--log", disk.Path("sends.jsonl"), "1=1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the record of the job to device " + setup.dir / "lp" + " was not kept"), std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFile(disk.Path("sends.jsonl")), before);
}

TEST(KelvaneSend, SavesAndReplaysSettingsFiles) {
    EditorSetup setup;
    const std::string prn = setup.dir / "customer.prn";
    // Switch order, the last value of a switch given twice, closing command last.
    ASSERT_EQ(setup.Send({"--save", prn, "A=8000", "2=0001", "2=0123"}).status, 0);
    const std::string saved = ReadFile(prn);
    EXPECT_EQ(Hex(saved),
              "1B 1D 23 2C 32 30 31 32 33 0A 00 1B 1D 23 2C 41 38 30 30 30 0A 00 " + Hex(Closing));

    // Replayed unchanged to --device as any job goes there: a file is added
    // to (made when missing), a device under /dev is never made.
    const std::string old(60, 'x');
    WriteFile(setup.dir / "port", old);
    ASSERT_EQ(setup.Send({"--replay", prn, "--device", setup.dir / "port", "--device", setup.dir / "new-port"}).status, 0);
    EXPECT_EQ(ReadFile(setup.dir / "port"), old + saved);
    EXPECT_EQ(ReadFile(setup.dir / "new-port"), saved);
    EXPECT_EQ(setup.Send({"--replay", prn, "--device", "/dev/kelvane-no-such-lp"}).status, 1);
    EXPECT_FALSE(std::filesystem::exists("/dev/kelvane-no-such-lp"));

    // And to LPT1 as Kelvane2.ini maps it, added to a file there as well.
    std::filesystem::create_directories(setup.dir / "config/kelvane");
    WriteFile(setup.dir / "config/kelvane/Kelvane2.ini", "[Devices]\nLPT1=" + setup.dir / "lpt1" + "\n");
    WriteFile(setup.dir / "lpt1", old);
    ASSERT_EQ(setup.Send({"--replay", prn}).status, 0);
    EXPECT_EQ(ReadFile(setup.dir / "lpt1"), old + saved);

    const ToolRun missing = setup.Send({"--replay", setup.dir / "none.prn", "--device", setup.dir / "port"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.prn"), std::string::npos) << missing.err;
}

// A folder where the device map belongs: named with the reason, and LPT1
// is the default.
TEST(KelvaneSend, ADeviceMapThatIsAFolderIsNamedAndTheDefaultServes) {
    EditorSetup setup;
    const std::string ini = setup.dir / "config/kelvane/Kelvane2.ini";
    std::filesystem::create_directories(ini);
    WriteFile(setup.dir / "customer.prn", Closing);
    const ToolRun replay = setup.Send({"--replay", setup.dir / "customer.prn"});
    EXPECT_TRUE(replay.status == 0 || replay.status == 1) << "whether or not /dev/lp0 is there";
    EXPECT_EQ(replay.err.find("kelvane-send: The device map " + ini +
                              " could not be read: it is a folder, not a file. LPT1 is /dev/lp0.\n"),
              0u)
        << replay.err;
}

TEST(KelvaneSend, RefusesBadInputAndSendsNothing) {
    EditorSetup setup;
    const std::string out = setup.dir / "out";
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"3=00005"}, {"3=00G1"}, {"G=1"}, {"10=1"}, {"3="}, {"3"}, {"=1"},
          {"0=1", "1=1", "2=1", "3=1", "4=1", "5=1"}, {"--clear-all"}, {"--clear-all", "3=1", "--yes"},
          {"--yes", "3=1"}, {"--bogus"}, {}, {"--log", setup.dir / "no-folder/runs.jsonl", "1=1"}}) {
        std::vector<std::string> args{"--device", out};
        args.insert(args.end(), bad.begin(), bad.end());
        const ToolRun run = setup.Send(args);
        EXPECT_EQ(run.status, 2) << (bad.empty() ? "(nothing)" : bad[0]);
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(setup.Send({"--save", setup.dir / "s.prn", "--log", setup.dir / "runs.jsonl", "1=1"}).status, 2);

    // One printer given twice would get the job twice: under one name or
    // as a link and what it points at.
    const std::string lp = setup.dir / "lp";
    WriteFile(lp, "");
    std::filesystem::create_symlink(lp, setup.dir / "by-id");
    for (const std::vector<std::string>& twice :
         {std::vector<std::string>{"--device", lp, "--device", lp}, {"--printer", "a", "--printer", "a"},
          {"--device", setup.dir / "by-id", "--file", lp}}) {
        std::vector<std::string> args = twice;
        args.push_back("1=1");
        const ToolRun run = setup.Send(args);
        EXPECT_EQ(run.status, 2) << twice[1];
        EXPECT_NE(run.err.find("given twice"), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadFile(lp), "");

    const ToolRun help = setup.Send({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: kelvane-send", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
}

TEST(KelvaneDecode, NamesEachCommandAndReportsForeignBytes) {
    EditorSetup setup;
    const std::string prn = setup.dir / "a.prn";
    WriteFile(prn, ClearAll + std::string("\x1B\x1D\x23\x2C\x33\x30\x30\x30\x35\x0A\x00", 11) +
                       std::string("\x1B\x1D\x23\x2C\x41\x38\x30\x30\x30\x0A\x00", 11) +
                       std::string("\x1B\x1D\x23\x2C\x30\x30\x0A\x00", 8) + Closing);
    const ToolRun run = setup.Decode(prn);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "Clear all memory switches\n"
              "Memory Switch 3 = 0005 (bits 0, 2)\n"
              "Memory Switch A = 8000 (bit F)\n"
              "Memory Switch 0 = 0 (no bits)\n"
              "Closing command\n");

    // Foreign bytes before, between (a set command without its NUL) and after.
    WriteFile(prn, std::string("AB") + std::string("\x1B\x1D\x23\x2C\x33\x35\x0A", 7) + Closing + "\x7F");
    const ToolRun foreign = setup.Decode(prn);
    EXPECT_EQ(foreign.status, 1);
    EXPECT_EQ(foreign.out,
              "offset 0: 9 bytes that are no command: 41 42 1B 1D 23 2C 33 35 0A\n"
              "Closing command\n"
              "offset 20: 1 byte that is no command: 7F\n");

    EXPECT_EQ(setup.Decode(setup.dir / "none.prn").status, 2);
    const ToolRun help = setup.Decode("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: kelvane-decode", 0), 0u) << help.out;
    EXPECT_EQ(setup.Decode(setup.dir / "").status, 2);
    WriteFile(prn, "");
    EXPECT_EQ(setup.Decode(prn).status, 0);
}

}  // namespace
}  // namespace tools::test
