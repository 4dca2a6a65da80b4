#pragma once
// Runs a command-line tool as a user would: arguments, environment, standard
// output and error in files, the exit status.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "image_files.hpp"

namespace tools::test {

using quarveld::test::ReadFile;
using quarveld::test::ScratchDir;
using quarveld::test::WriteFile;

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// In a child process: the tool, with `env` added to the environment.
[[noreturn]] inline void Exec(std::vector<std::string>& argv, std::vector<std::string>& env) {
    for (std::string& e : env) putenv(e.data());
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

// A tool started in the background; stdin is /dev/null, so never a terminal.
class Tool {
public:
    Tool(const ScratchDir& dir, std::vector<std::string> argv, std::vector<std::string> env = {})
        : out_(dir / "tool.out"), err_(dir / "tool.err") {
        pid_ = fork();
        if (pid_ == 0) {
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            Exec(argv, env);
        }
    }
    ~Tool() {
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            Wait();
        }
    }
    void Signal(int signal) { kill(pid_, signal); }
    ToolRun Wait() {
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        waited_ = true;
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out_), ReadFile(err_)};
    }

private:
    std::string out_, err_;
    pid_t pid_ = -1;
    bool waited_ = false;
};

inline ToolRun RunTool(const ScratchDir& dir, std::vector<std::string> argv, std::vector<std::string> env = {}) {
    Tool tool(dir, std::move(argv), std::move(env));
    return tool.Wait();
}

// Runs a tool on a terminal of its own, typing `input` once it has printed
// `prompt` (when given). Output is all the terminal showed.
inline ToolRun RunOnTerminal(std::vector<std::string> argv, std::vector<std::string> env,
                             const std::string& prompt = "", const std::string& input = "") {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) Exec(argv, env);
    ToolRun run;
    if (pid < 0) return run;
    bool typed = prompt.empty();
    if (typed && !input.empty()) (void)!write(master, input.data(), input.size());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the tool has ended
        run.out.append(buffer, static_cast<std::size_t>(n));
        if (!typed && run.out.find(prompt) != std::string::npos) {
            typed = true;
            (void)!write(master, input.data(), input.size());
        }
    }
    int status = 0;
    kill(pid, SIGKILL);  // only if it is still there after the time allowed
    waitpid(pid, &status, 0);
    close(master);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Bytes as "1B 1D 23 ..." for readable failures.
inline std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        if (!text.empty()) text += ' ';
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

}  // namespace tools::test
