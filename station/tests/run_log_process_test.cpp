// The run log shared by several tools at once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "image_files.hpp"
#include "run_log.hpp"

namespace {

// Two tools append 300 long lines each at the same time.
TEST(RunLogProcesses, ToolsAppendingAtOnceKeepTheirLinesApart) {
    quarveld::test::ScratchDir dir;
    const std::string path = dir / "runs.jsonl";
    pid_t appenders[2];
    for (int tool : {0, 1}) {
        if ((appenders[tool] = fork()) != 0) continue;
        station::RunLog log;
        std::string why;
        bool ok = log.Open(path, why);
        for (int unit = 1; ok && unit <= 300; ++unit)
            ok = log.Append({{"tool", tool}, {"unit", unit}, {"reason", std::string(3000 + unit % 97, 'x')}}, why);
        _exit(ok ? 0 : 1);
    }
    for (pid_t pid : appenders) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    const std::string text = quarveld::test::ReadFile(path);
    EXPECT_TRUE(text.ends_with('\n'));
    std::istringstream in(text);
    int count[2] = {};
    for (std::string line; std::getline(in, line);) {
        const auto record = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(record.is_discarded()) << "a line is not whole: " << line.substr(0, 60);
        count[record["tool"].get<int>()] += 1;
    }
    EXPECT_EQ(count[0], 300);
    EXPECT_EQ(count[1], 300);
}

}  // namespace
