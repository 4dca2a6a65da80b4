// The reader against images made by an independent S-record tool (srec_cat).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "image_files.hpp"
#include "reader_runs.hpp"
#include "shell_runs.hpp"
#include "srecord.hpp"

namespace quarveld {
namespace {

using test::ReadAll;
using test::Reading;
using test::ScratchDir;

// Images written by an independent S-record tool must yield exactly the data
// that the same tool reads out of them.
struct ToolImage {
    int addressLength;
    uint32_t base;
    int lineLength;
    bool header;
    bool dataCount;
    bool crlf;
};

class ToolImages : public testing::TestWithParam<ToolImage> {};

TEST_P(ToolImages, YieldTheDataTheToolReadsBack) {
    const ToolImage& p = GetParam();
    ScratchDir dir;
    const std::string data = test::RandomBytes(3000 + p.lineLength, p.base ^ p.lineLength);
    test::WriteFile(dir / "in.bin", data);
    char base[16];
    std::snprintf(base, sizeof base, "0x%X", p.base);
    const std::string image = dir / "image.mot";
    std::string write = test::Quote(SREC_CAT) + " " + test::Quote(dir / "in.bin") + " -binary -offset " +
                        base + " -o " + test::Quote(image) + " -motorola -address-length=" +
                        std::to_string(p.addressLength) + " -line-length=" +
                        std::to_string(p.lineLength) + " -execution-start-address=" + base +
                        (p.header ? " -header=IMAGE" : " -disable=header") +
                        (p.dataCount ? " -enable=data-count" : " -disable=data-count") +
                        (p.crlf ? " -crlf" : "");
    ASSERT_EQ(test::Run(write), 0) << write;
    const std::string readBack = test::Quote(SREC_CAT) + " " + test::Quote(image) + " -motorola -offset -" +
                                 base + " -o " + test::Quote(dir / "out.bin") + " -binary";
    ASSERT_EQ(test::Run(readBack), 0) << readBack;
    const std::string text = test::ReadFile(image);
    ASSERT_EQ(text.find("\r\n") != std::string::npos, p.crlf);

    const Reading reading = ReadAll(image);
    ASSERT_TRUE(reading.ended) << "line " << reading.line << ": " << reading.error;
    ASSERT_FALSE(reading.records.empty());
    EXPECT_EQ(reading.records.front().kind, p.header ? RecordKind::Empty : RecordKind::Data);
    EXPECT_EQ(reading.records.back().kind, p.dataCount ? RecordKind::Empty : RecordKind::Data);
    test::Memory memory;
    for (const auto& record : reading.records)
        for (std::size_t i = 0; i < record.data.size(); ++i) memory[record.address + i] = record.data[i];
    EXPECT_EQ(memory.begin()->first, p.base);
    EXPECT_EQ(test::Flatten(memory), test::ReadFile(dir / "out.bin"));
}

std::string ToolImageName(const testing::TestParamInfo<ToolImage>& info) {
    const ToolImage& p = info.param;
    const char* names[] = {"", "", "S19", "S28", "S37"};
    return names[p.addressLength] + std::string(p.header ? "_header" : "") +
           (p.dataCount ? "_count" : "") + (p.crlf ? "_crlf" : "_lf") + "_" +
           std::to_string(p.lineLength);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ToolImages,
    testing::Values(ToolImage{2, 0x1000, 80, true, true, false},
                    ToolImage{2, 0x0000, 46, false, false, true},
                    ToolImage{3, 0x12000, 250, true, false, false},
                    ToolImage{3, 0x0100, 64, false, true, true},
                    ToolImage{4, 0x1234000, 250, false, true, true},
                    ToolImage{4, 0xFFFF0000, 46, true, false, false}),
    ToolImageName);

}  // namespace
}  // namespace quarveld
