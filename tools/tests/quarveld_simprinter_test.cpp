#include <gtest/gtest.h>

#include "tool_runs.hpp"

namespace tools::test {
namespace {

// The way a user tries the writer without a printer: the simulated printer's
// program on one side, quarveld-write on the path it prints.
TEST(QuarveldSimprinter, ServesTheWriterPrintsEachFrameAndWritesTheImageOnTerminate) {
    ScratchDir dir;
    ScratchDir writerDir;
    const std::string image = dir / "image.mot", out = dir / "flash.bin";
    WriteFile(image, "S00600004844521B\nS1061000010203E3\nS1061003040506D7\nS9030000FC\n");
    Tool printer(dir, {QUARVELD_SIMPRINTER, "--nak-at", "2", "--out", out});
    std::string path;
    for (int i = 0; i < 100 && path.empty(); ++i) {
        const std::string shown = ReadFile(dir / "tool.out");
        if (shown.find('\n') != std::string::npos) path = shown.substr(0, shown.find('\n'));
        else usleep(50'000);
    }
    ASSERT_FALSE(path.empty());
    const ToolRun write = RunTool(writerDir, {QUARVELD_WRITE, "--port", path, image},
                                  {"XDG_CONFIG_HOME=" + writerDir / "config"});
    EXPECT_EQ(write.status, 1) << write.err;
    usleep(300'000);  // the program shows frames every 100 ms
    printer.Signal(SIGTERM);
    const ToolRun run = printer.Wait();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, path + "\n0 0 00000000 ACK\n1 3 00001000 ACK\n2 3 00001003 NAK\n");
    // The refused frame's bytes are not in the image.
    EXPECT_EQ(ReadFile(out), "\x01\x02\x03");
}

TEST(QuarveldSimprinter, HelpGoesToStandardOutputAndBadUsageExitsTwo) {
    ScratchDir dir;
    const ToolRun help = RunTool(dir, {QUARVELD_SIMPRINTER, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: quarveld-simprinter"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
    const ToolRun bad = RunTool(dir, {QUARVELD_SIMPRINTER, "--nak-at", "x"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("usage:"), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace tools::test
