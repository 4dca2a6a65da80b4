#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "image_files.hpp"

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

TEST(DryRun, ReportsAnImageThatCannotBeOpened) {
    test::ScratchDir dir;
    const DryRun run = RunFrames(dir, dir / "missing.mot");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "Write Error !\n");
    EXPECT_NE(run.err.find("missing.mot"), std::string::npos) << run.err;
}

// The frames printed for a tool-made image carry that image's data, each with
// a sound frame check.
TEST(DryRun, FramesCarryTheDataOfAToolMadeImage) {
    test::ScratchDir dir;
    const std::string data = test::RandomBytes(5000, 7);
    test::WriteFile(dir / "in.bin", data);
    const std::string make = Quote(SREC_CAT) + " " + Quote(dir / "in.bin") +
                             " -binary -offset 0x20000 -o " + Quote(dir / "image.mot") +
                             " -motorola -address-length=3 -execution-start-address=0x20000 -crlf";
    ASSERT_EQ(test::Run(make), 0) << make;
    const DryRun run = RunFrames(dir, dir / "image.mot");
    ASSERT_EQ(run.status, 0) << run.err;

    test::Memory memory;
    std::istringstream lines(run.out);
    std::string line;
    std::size_t emptyFrames = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.find_first_of("abcdef"), std::string::npos) << line;
        std::vector<uint8_t> frame;
        for (std::size_t i = 0; i < line.size(); i += 3) {
            ASSERT_TRUE(i + 2 == line.size() || line[i + 2] == ' ') << line;
            frame.push_back(static_cast<uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
        }
        ASSERT_GE(frame.size(), 9u) << line;
        const std::size_t n = frame[1];
        ASSERT_EQ(frame.size(), 9 + n) << line;
        EXPECT_EQ(frame[0], 0x02);
        EXPECT_EQ(frame[6 + n], 0x03);
        const uint16_t crc = test::TableCrc(frame.data() + 1, 6 + n);
        EXPECT_EQ(frame[7 + n], crc >> 8) << line;
        EXPECT_EQ(frame[8 + n], crc & 0xFF) << line;
        if (n == 0) ++emptyFrames;
        const uint32_t address = uint32_t{frame[2]} << 24 | frame[3] << 16 | frame[4] << 8 | frame[5];
        for (std::size_t i = 0; i < n; ++i) memory[address + i] = frame[6 + i];
    }
    EXPECT_EQ(emptyFrames, 2u);  // the header and the record count
    EXPECT_EQ(memory.begin()->first, 0x20000u);
    EXPECT_EQ(test::Flatten(memory), data);
}

}  // namespace
}  // namespace quarveld
