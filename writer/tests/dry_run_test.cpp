#include <gtest/gtest.h>

#include <string>

#include "image_files.hpp"
#include "shell_runs.hpp"

namespace quarveld {
namespace {

using test::Quote;

struct DryRun {
    int status;
    std::string out;
    std::string err;
};

DryRun RunFrames(const test::ScratchDir& dir, const std::string& image) {
    const std::string out = dir / "out.txt";
    const std::string err = dir / "err.txt";
    DryRun run;
    run.status =
        test::Run(Quote(QUARVELD_FRAMES) + " " + Quote(image) + " >" + Quote(out) + " 2>" + Quote(err));
    run.out = test::ReadFile(out);
    run.err = test::ReadFile(err);
    return run;
}

DryRun RunFramesOn(const std::string& text) {
    test::ScratchDir dir;
    test::WriteFile(dir / "image.mot", text);
    return RunFrames(dir, dir / "image.mot");
}

TEST(DryRun, PrintsTheFramesInSendOrderAndEndsAtTheTerminationRecord) {
    const DryRun run = RunFramesOn("S00600004844521B\nS1061000010203E3\nS9030000FC\nS1061000010203E3\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "02 00 00 00 00 00 03 01 40\n"
              "02 03 00 00 10 00 01 02 03 03 AD F6\n");
    EXPECT_EQ(run.err, "");

    const DryRun endOnly = RunFramesOn("S9030000FC\n");
    EXPECT_EQ(endOnly.status, 0);
    EXPECT_EQ(endOnly.out, "");
}

TEST(DryRun, SaysWhichLineFailedAndWhy) {
    struct Case {
        std::string image;
        std::string frames;
        const char* where;
    };
    const Case cases[] = {
        {"S1061000010203E3\r\nS1061000010203E3\r\nS1G61000010203E3\r\nS9030000FC\r\n",
         "02 03 00 00 10 00 01 02 03 03 AD F6\n02 03 00 00 10 00 01 02 03 03 AD F6\n",
         "image.mot: line 3: the byte count cannot be converted"},
        {"S1061000010203E3\n", "02 03 00 00 10 00 01 02 03 03 AD F6\n",
         "image.mot: line 1: the image ends after this line without a termination record"},
        {"S10610000102\n", "", "image.mot: line 1: the line ends before data byte 3 of 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        const DryRun run = RunFramesOn(c.image);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, c.frames + "Write Error !\n");
        EXPECT_NE(run.err.find(c.where), std::string::npos) << run.err;
    }
}

TEST(DryRun, ReportsAnImageThatCannotBeOpenedAndGivesItsHelp) {
    test::ScratchDir dir;
    const DryRun run = RunFrames(dir, dir / "missing.mot");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "Write Error !\n");
    EXPECT_NE(run.err.find("missing.mot"), std::string::npos) << run.err;

    const DryRun help = RunFrames(dir, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: quarveld-frames IMAGE\n", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(RunFrames(dir, "--bogus").status, 2);
}

}  // namespace
}  // namespace quarveld
