// The run log as any platform writes it: digests, times, whole lines.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

#include "image_files.hpp"
#include "run_log.hpp"

namespace {

using namespace std::chrono;
using quarveld::test::RandomBytes;
using quarveld::test::ReadFile;
using quarveld::test::ScratchDir;
using quarveld::test::WriteFile;

TEST(RunLog, DigestsAndTimesAreTheStandardOnes) {
    EXPECT_EQ(station::Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(station::Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    // Larger than one read of the file.
    ScratchDir dir;
    const std::string bytes = RandomBytes(200 * 1024 + 7, 3);
    WriteFile(dir / "image.MOT", bytes);
    std::string hex, why;
    ASSERT_TRUE(station::FileSha256Hex(dir / "image.MOT", hex, why)) << why;
    EXPECT_EQ(hex, station::Sha256Hex(bytes));
    EXPECT_FALSE(station::FileSha256Hex(dir / "missing.MOT", hex, why));
    EXPECT_NE(why.find("missing.MOT"), std::string::npos) << why;

    const sys_days day = year{2026} / December / 8;
    EXPECT_EQ(station::UtcTimestamp(day + hours(16) + minutes(5) + seconds(3) + milliseconds(7)),
              "2026-12-08T16:05:03.007Z");
}

TEST(RunLog, LinesFromManyThreadsStayWholeAfterAnUnfinishedOne) {
    ScratchDir dir;
    const std::string path = dir / "runs.jsonl";
    WriteFile(path, "{\"cut\":");  // another tool died in the middle of its line
    station::RunLog log;
    std::string why;
    ASSERT_TRUE(log.Open(path, why)) << why;

    const std::string long_reason(5000, 'r');
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                std::string error;
                const nlohmann::json record = {
                    {"port", "COM" + std::to_string(t)}, {"unit", i}, {"reason", long_reason},
                    {"device", std::string("/dev/\xff\xfe", 7)}};
                EXPECT_TRUE(log.Append(record, error)) << error;
            }
        });
    }
    for (auto& thread : threads) thread.join();

    std::istringstream lines(ReadFile(path));
    std::string line;
    EXPECT_TRUE(std::getline(lines, line) && line == "{\"cut\":") << line;
    int units[4] = {};
    for (int number = 2; std::getline(lines, line); ++number) {
        const auto record = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(record.is_discarded()) << "line " << number;
        EXPECT_EQ(record["reason"], long_reason);
        EXPECT_EQ(record["device"].get<std::string>().substr(0, 5), "/dev/");
        units[record["port"].get<std::string>()[3] - '0'] += 1;
    }
    for (int count : units) EXPECT_EQ(count, 100);
    EXPECT_FALSE(log.Open(dir / "no-such-folder/runs.jsonl", why));
}

}  // namespace
