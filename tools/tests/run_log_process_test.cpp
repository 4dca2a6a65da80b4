// The run log shared by several tools at once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "image_files.hpp"
#include "run_log.hpp"

namespace {

using quarveld::test::ReadFile;
using quarveld::test::ScratchDir;

// A tool that appends `count` records and exits.
pid_t Appender(const std::string& path, int tool, int count) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    tools::RunLog log;
    std::string why;
    if (!log.Open(path, why)) _exit(2);
    for (int unit = 1; unit <= count; ++unit) {
        if (!log.Append({{"tool", tool}, {"unit", unit}, {"reason", std::string(3000 + unit % 97, 'x')}}, why))
            _exit(1);
    }
    _exit(0);
}

int ExitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RunLogProcesses, ToolsAppendingAtOnceKeepTheirLinesApart) {
    ScratchDir dir;
    const std::string path = dir / "runs.jsonl";
    const pid_t first = Appender(path, 1, 300), second = Appender(path, 2, 300);
    EXPECT_EQ(ExitStatus(first), 0);
    EXPECT_EQ(ExitStatus(second), 0);

    const std::string text = ReadFile(path);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::istringstream in(text);
    int count[3] = {};
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const auto record = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(record.is_discarded()) << "line " << number << " is not whole";
        count[record["tool"].get<int>()] += 1;
    }
    EXPECT_EQ(count[1], 300);
    EXPECT_EQ(count[2], 300);
}

}  // namespace
