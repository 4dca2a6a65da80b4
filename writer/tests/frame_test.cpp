#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image_files.hpp"
#include "srecord.hpp"
#include "transfer.hpp"

namespace quarveld {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(Crc16Arc, GivesTheCheckValue) {
    const char* check = "123456789";
    EXPECT_EQ(Crc16Arc(reinterpret_cast<const uint8_t*>(check), 9), 0xBB3D);
    EXPECT_EQ(Crc16Arc(nullptr, 0), 0x0000);
}

// Reads the image's records and builds each frame over the line buffer, as the
// writer does.
std::vector<Bytes> FramesOf(const std::string& text) {
    test::ScratchDir dir;
    test::WriteFile(dir / "image.mot", text);
    Image image;
    std::vector<Bytes> frames;
    if (!OpenImage(dir / "image.mot", image)) return frames;
    FlashRecord record;
    while (ReadNextRecord(image, record) && record.kind != RecordKind::End) {
        const std::size_t length = RecordFrame(record, image.line);
        frames.emplace_back(image.line, image.line + length);
    }
    CloseImage(image);
    return frames;
}

TEST(RecordFrame, BuildsTheFramesInPlaceOverTheLine) {
    const std::vector<Bytes> frames = FramesOf(
        "S00600004844521B\r\n"
        "S1061000010203E3\r\n"
        "S3071234567800AA00\r\n"
        "S2060123450A0B00\r\n"
        "S9030000FC\r\n");
    const std::vector<Bytes> expected = {
        {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x40},
        {0x02, 0x03, 0x00, 0x00, 0x10, 0x00, 0x01, 0x02, 0x03, 0x03, 0xAD, 0xF6},
        {0x02, 0x02, 0x12, 0x34, 0x56, 0x78, 0x00, 0xAA, 0x03, 0xA1, 0xD9},
        {0x02, 0x02, 0x00, 0x01, 0x23, 0x45, 0x0A, 0x0B, 0x03, 0xF0, 0x37},
    };
    EXPECT_EQ(frames, expected);
}

TEST(RecordFrame, FitsTheLargestRecordALineCanHold) {
    // 123 data bytes: the longest S1 line that fits the buffer with its line feed.
    std::string line = "S17E2000";
    Bytes data;
    for (int i = 0; i < 123; ++i) {
        data.push_back(static_cast<uint8_t>(0xFF - 2 * i));
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", data.back());
        line += pair;
    }
    ASSERT_EQ(line.size(), 254u);
    const std::vector<Bytes> frames = FramesOf(line + "\nS9030000FC\n");
    ASSERT_EQ(frames.size(), 1u);
    const Bytes& frame = frames[0];
    ASSERT_EQ(frame.size(), 132u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 6), (Bytes{0x02, 0x7B, 0x00, 0x00, 0x20, 0x00}));
    EXPECT_EQ(Bytes(frame.begin() + 6, frame.begin() + 129), data);
    EXPECT_EQ(frame[129], 0x03);
    const uint16_t crc = test::TableCrc(frame.data() + 1, 129);
    EXPECT_EQ(frame[130], crc >> 8);
    EXPECT_EQ(frame[131], crc & 0xFF);
}

TEST(RecordFrame, SendsAnEmptyRecordAsTheNineByteFrameAndEndAsNothing) {
    uint8_t data[] = {0xAA, 0xBB};
    uint8_t frame[LineBufferSize];
    std::memset(frame, 0xEE, sizeof frame);
    FlashRecord empty{RecordKind::Empty, 2, 0x1234, data};
    ASSERT_EQ(RecordFrame(empty, frame), 9u);
    EXPECT_EQ(Bytes(frame, frame + 10),
              (Bytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x40, 0xEE}));
    FlashRecord end{RecordKind::End, 2, 0x1234, data};
    EXPECT_EQ(RecordFrame(end, frame), 0u);
}

}  // namespace
}  // namespace quarveld
