#include <sys/stat.h>

#include <gtest/gtest.h>

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

TEST(KelvaneSend, ClearAllAsksOnATerminalAndOnlyYesSends) {
    EditorSetup setup;
    const std::string lp = setup.dir / "lp";
    const ToolRun no = RunOnTerminal({KELVANE_SEND, "--device", lp, "--clear-all"}, setup.env, "[y/N]", "n\n");
    EXPECT_EQ(no.status, 1) << no.out;
    EXPECT_NE(no.out.find("This will clear all memory switches"), std::string::npos) << no.out;
    EXPECT_FALSE(std::filesystem::exists(lp));

    const ToolRun yes = RunOnTerminal({KELVANE_SEND, "--device", lp, "--clear-all"}, setup.env, "[y/N]", "y\n");
    EXPECT_EQ(yes.status, 0) << yes.out;
    EXPECT_EQ(ReadFile(lp), ClearAll + Closing);
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

TEST(KelvaneSend, SendsOneRawJobToASpoolerQueue) {
    vexlotest::PrivateCupsd cupsd;
    std::string why;
    if (!cupsd.Start(&why)) GTEST_SKIP() << why;
    ASSERT_TRUE(cupsd.AddQueue("shop", false)) << cupsd.ErrorLog();
    EditorSetup setup;
    setup.env.push_back("CUPS_SERVER=" + cupsd.socket());
    const ToolRun run = setup.Send({"--printer", "shop", "2=0123"});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(cupsd.WaitForJobs("shop", 1), 1u);
    EXPECT_EQ(Hex(ReadFile(cupsd.Jobs("shop").front().string())), "1B 1D 23 2C 32 30 31 32 33 0A 00 " + Hex(Closing));

    EXPECT_EQ(setup.Send({"--printer", "no-such-queue", "2=0123"}).status, 1);
}

TEST(KelvaneSend, SavesAndReplaysSettingsFiles) {
    EditorSetup setup;
    const std::string prn = setup.dir / "customer.prn";
    // Switch order, the last value of a switch given twice, closing command last.
    ASSERT_EQ(setup.Send({"--save", prn, "A=8000", "2=0001", "2=0123"}).status, 0);
    const std::string saved = ReadFile(prn);
    EXPECT_EQ(Hex(saved),
              "1B 1D 23 2C 32 30 31 32 33 0A 00 1B 1D 23 2C 41 38 30 30 30 0A 00 " + Hex(Closing));

    // Replayed unchanged to --device, and to LPT1 as Kelvane2.ini maps it.
    WriteFile(setup.dir / "port", "");
    ASSERT_EQ(setup.Send({"--replay", prn, "--device", setup.dir / "port"}).status, 0);
    EXPECT_EQ(ReadFile(setup.dir / "port"), saved);
    std::filesystem::create_directories(setup.dir / "config/kelvane");
    WriteFile(setup.dir / "config/kelvane/Kelvane2.ini", "[Devices]\nLPT1=" + setup.dir / "lpt1" + "\n");
    WriteFile(setup.dir / "lpt1", "");
    ASSERT_EQ(setup.Send({"--replay", prn}).status, 0);
    EXPECT_EQ(ReadFile(setup.dir / "lpt1"), saved);

    const ToolRun missing = setup.Send({"--replay", setup.dir / "none.prn", "--device", setup.dir / "port"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.prn"), std::string::npos) << missing.err;
}

// Folders or pipes where the editor's settings belong: named with the
// reason on standard error, never waited on, and the defaults serve.
TEST(KelvaneSend, SettingsThatAreNoFilesAreNamedAndTheDefaultsServe) {
    EditorSetup setup;
    setup.env.push_back("CUPS_SERVER=" + setup.dir / "no-spooler.sock");
    const std::string folder = setup.dir / "config/kelvane";
    std::filesystem::create_directories(folder + "/Kelvane2.ini");
    WriteFile(setup.dir / "customer.prn", Closing);
    const ToolRun replay = setup.Send({"--replay", setup.dir / "customer.prn"});
    EXPECT_TRUE(replay.status == 0 || replay.status == 1) << "whether or not /dev/lp0 is there";
    EXPECT_EQ(replay.err.find("kelvane-send: The device map " + folder +
                              "/Kelvane2.ini could not be read: it is a folder, not a file. LPT1 is /dev/lp0.\n"),
              0u)
        << replay.err;

    ASSERT_EQ(mkfifo((folder + "/VexloComm.ini").c_str(), 0600), 0);
    const ToolRun send = RunOnTerminal({KELVANE_SEND, "1=2"}, setup.env);
    EXPECT_EQ(send.status, 1);
    EXPECT_NE(send.out.find("kelvane-send: The stored printer choice could not be read from " + folder +
                            "/VexloComm.ini: it is a pipe, not a file."),
              std::string::npos)
        << send.out;
    EXPECT_NE(send.out.find("give --printer, --device or --file"), std::string::npos) << send.out;
}

TEST(KelvaneSend, RefusesBadInputAndSendsNothing) {
    EditorSetup setup;
    const std::string out = setup.dir / "out";
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"3=00005"}, {"3=00G1"}, {"G=1"}, {"10=1"}, {"3="}, {"3"}, {"=1"},
          {"0=1", "1=1", "2=1", "3=1", "4=1", "5=1"}, {"--clear-all"}, {"--clear-all", "3=1", "--yes"},
          {"--yes", "3=1"}, {"--bogus"}, {}}) {
        std::vector<std::string> args{"--device", out};
        args.insert(args.end(), bad.begin(), bad.end());
        const ToolRun run = setup.Send(args);
        EXPECT_EQ(run.status, 2) << (bad.empty() ? "(nothing)" : bad[0]);
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(setup.Send({"--printer", "q", "--device", out, "1=1"}).status, 2);
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
    EXPECT_EQ(setup.Decode(setup.dir / "").status, 2);
    WriteFile(prn, "");
    EXPECT_EQ(setup.Decode(prn).status, 0);
}

}  // namespace
}  // namespace tools::test
