#include "srecord.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image_files.hpp"
#include "reader_runs.hpp"

namespace quarveld {
namespace {

using test::ReadAll;
using test::Reading;
using test::ScratchDir;

Reading ReadText(const std::string& text) {
    ScratchDir dir;
    test::WriteFile(dir / "image.mot", text);
    return ReadAll(dir / "image.mot");
}

TEST(ParseHexByte, FollowsTheScanRulesOfTwoDigitHex) {
    struct Case {
        const char pair[2];
        bool converts;
        uint8_t byte;
    };
    const Case cases[] = {
        {{'4', 'F'}, true, 0x4F}, {{'a', 'b'}, true, 0xAB},  {{'-', '1'}, true, 0xFF},
        {{'+', 'f'}, true, 0x0F}, {{' ', '5'}, true, 0x05},  {{'5', 'g'}, true, 0x05},
        {{'0', 'x'}, true, 0x00}, {{'\r', '7'}, true, 0x07}, {{'g', '5'}, false, 0},
        {{'-', 'g'}, false, 0},   {{' ', ' '}, false, 0},    {{'\r', '\n'}, false, 0},
        {{'\n', '\0'}, false, 0}, {{'\0', '4'}, false, 0},   {{'-', '\0'}, false, 0},
    };
    for (const Case& c : cases) {
        uint8_t byte = 0x5A;
        const std::string shown(c.pair, 2);
        EXPECT_EQ(ParseHexByte(c.pair[0], c.pair[1], byte), c.converts) << shown;
        if (c.converts) {
            EXPECT_EQ(byte, c.byte) << shown;
        }
    }
}

TEST(ParseHexByte, AgreesWithTheCLibraryScanOnEveryPair) {
    for (int first = -128; first < 128; ++first) {
        for (int second = -128; second < 128; ++second) {
            const char text[3] = {static_cast<char>(first), static_cast<char>(second), '\0'};
            unsigned value = 0;
            const bool scanned = std::sscanf(text, "%02x", &value) == 1;
            uint8_t byte = 0;
            const bool converted = ParseHexByte(text[0], text[1], byte);
            ASSERT_EQ(converted, scanned) << first << " " << second;
            if (scanned) {
                ASSERT_EQ(byte, value & 0xFF) << first << " " << second;
            }
        }
    }
}

TEST(ReadNextRecord, YieldsTheRecordsOfAnImageAsWritten) {
    const Reading reading = ReadText(
        "S00600004844521B\n"
        "S1061000010203E3\n"
        "S2070123450A0B0C63\n"
        "S308000123450A0B0C00\n"  // wrong checksum: never looked at
        "S1031000EC\n"            // no data bytes
        "S106abcdaabbccFF\n"      // lower case
        "S1041000AABBCCDDEEFF\n"  // more digits than counted
        "S106100001020\r\n"       // odd digits: the last byte is its one digit
        "S503000AF2\n"
        "S4030000\n"
        "S*03\n"
        "S9030000FC\n");
    ASSERT_TRUE(reading.ended) << reading.error;
    using D = std::vector<uint8_t>;
    const std::vector<Reading::Record> expected = {
        {RecordKind::Empty, 0, 0, {}},
        {RecordKind::Data, 3, 0x1000, D{0x01, 0x02, 0x03}},
        {RecordKind::Data, 3, 0x12345, D{0x0A, 0x0B, 0x0C}},
        {RecordKind::Data, 3, 0x12345, D{0x0A, 0x0B, 0x0C}},
        {RecordKind::Data, 0, 0x1000, {}},
        {RecordKind::Data, 3, 0xABCD, D{0xAA, 0xBB, 0xCC}},
        {RecordKind::Data, 1, 0x1000, D{0xAA}},
        {RecordKind::Data, 3, 0x1000, D{0x01, 0x02, 0x00}},
        {RecordKind::Empty, 0, 0, {}},
        {RecordKind::Empty, 0, 0, {}},
        {RecordKind::Empty, 0, 0, {}},
    };
    ASSERT_EQ(reading.records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reading.records[i].kind, expected[i].kind);
        EXPECT_EQ(reading.records[i].count, expected[i].count);
        EXPECT_EQ(reading.records[i].address, expected[i].address);
        EXPECT_EQ(reading.records[i].data, expected[i].data);
    }
}

TEST(ReadNextRecord, ReadsNothingBehindTheFirstTerminationRecord) {
    ScratchDir dir;
    const std::string head = "S1061000010203E3\r\nS804ZZZZZZ\r\n";  // its address is not read
    test::WriteFile(dir / "image.mot", head + "S9030000FC\r\nnot a record\r\n");
    Image image;
    ASSERT_TRUE(OpenImage(dir / "image.mot", image));
    FlashRecord record;
    ASSERT_TRUE(ReadNextRecord(image, record));
    EXPECT_EQ(record.kind, RecordKind::Data);
    ASSERT_TRUE(ReadNextRecord(image, record)) << image.error;
    EXPECT_EQ(record.kind, RecordKind::End);
    EXPECT_EQ(std::ftell(image.file), static_cast<long>(head.size()));
    // Asked again, it stays at the end.
    ASSERT_TRUE(ReadNextRecord(image, record));
    EXPECT_EQ(record.kind, RecordKind::End);
    EXPECT_EQ(std::ftell(image.file), static_cast<long>(head.size()));
    EXPECT_EQ(image.lineNumber, 2);
    CloseImage(image);
    EXPECT_EQ(image.file, nullptr);
}

TEST(ReadNextRecord, TakesALastLineWithoutLineFeed) {
    EXPECT_TRUE(ReadText("S1061000010203E3\nS9030000FC").ended);
    const Reading data = ReadText("S1061000010203E3\r\nS1061000010203");
    ASSERT_EQ(data.records.size(), 2u);
    EXPECT_EQ(data.records[1].data, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(data.ended);
    EXPECT_NE(data.error.find("without a termination record"), std::string::npos);

    // The line's end stands behind a last one-digit pair as a line feed would:
    // the pair gives the value of its digit.
    EXPECT_TRUE(ReadText("S1061000010203E3\nS90").ended);
    EXPECT_EQ(ReadText("S02").records.at(0).kind, RecordKind::Empty);
    EXPECT_EQ(ReadText("S10610000102F").records.at(0).data, (std::vector<uint8_t>{0x01, 0x02, 0x0F}));
    // A last line of exactly 255 characters is a whole line too.
    const Reading full = ReadText("S17F1000" + std::string(246, 'A') + "B");
    ASSERT_EQ(full.records.size(), 1u);
    EXPECT_EQ(full.records[0].data.back(), 0x0B);
}

TEST(ReadNextRecord, RefusesEveryKindOfBadLine) {
    const std::string longLine = "S1031000" + std::string(292, 'F') + "\nS9030000FC\n";
    // A line of 255 characters and more whose counted data reach the buffer's end.
    const std::string fullBuffer = "S1FF1000" + std::string(248, 'A') + "\nS9030000FC\n";
    struct Case {
        std::string image;
        long line;
        const char* why;
        std::size_t recordsBefore;
    };
    const Case cases[] = {
        {"", 0, "empty", 0},
        {"S1061000010203E3\r\n", 1, "without a termination record", 1},
        {"S00600004844521B\n\nS9030000FC\n", 2, "does not begin with S", 1},
        {" S9030000FC\n", 1, "does not begin with S", 0},
        {"s9030000FC\n", 1, "does not begin with S", 0},
        {"S9G30000FC\n", 1, "byte count cannot be converted", 0},
        {"S9\n", 1, "line ends before the byte count", 0},
        {"S9", 1, "line ends before the byte count", 0},
        {"S106X0000102\n", 1, "address byte 1 cannot be converted", 0},
        {"S3080001\n", 1, "line ends before address byte 3", 0},
        {"S106100001Z203\n", 1, "data byte 2 of 3 cannot be converted", 0},
        {"S10610000102\r\n", 1, "line ends before data byte 3 of 3", 0},
        {"S10610000102\n", 1, "line ends before data byte 3 of 3", 0},
        {"S10610000102", 1, "line ends before data byte 3 of 3", 0},
        {"S1", 1, "line ends before the byte count", 0},
        {"S1021000\n", 1, "line ends before data byte 1 of 255", 0},
        {longLine, 1, "longer than 255 characters", 1},
        {fullBuffer, 1, "line ends before data byte 124 of 252", 0},
        // The same cut at 255 characters by the file's end: its last digit is a byte.
        {fullBuffer.substr(0, 255), 1, "line ends before data byte 125 of 252", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image.substr(0, 40));
        const Reading reading = ReadText(c.image);
        EXPECT_FALSE(reading.ended);
        EXPECT_EQ(reading.records.size(), c.recordsBefore);
        EXPECT_EQ(reading.line, c.line);
        EXPECT_NE(reading.error.find(c.why), std::string::npos) << reading.error;
    }
}

TEST(OpenImage, FailsForAMissingFileOrAFolder) {
    ScratchDir dir;
    Image image;
    EXPECT_FALSE(OpenImage(dir / "missing.mot", image));
    EXPECT_FALSE(image.error.empty());
    EXPECT_EQ(image.file, nullptr);
    EXPECT_FALSE(OpenImage(dir / "", image));
    EXPECT_EQ(image.file, nullptr);
}

}  // namespace
}  // namespace quarveld
