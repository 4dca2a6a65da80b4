#pragma once
// Runs a command-line tool as a user would: arguments, environment, standard
// output and error in files, the exit status.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

// What a user types on a terminal once the tool has printed `prompt` (once
// more than before); an empty prompt types at once. `look` runs first: what
// the user checks while the tool waits.
struct Typing {
    std::string prompt;
    std::string input;
    std::function<void()> look = {};
};

// Runs a tool on a terminal of its own, `columns` wide (0: the pty's
// default) and `rows` high, typing as the steps say. Output is all the
// terminal showed.
inline ToolRun RunOnTerminal(std::vector<std::string> argv, std::vector<std::string> env,
                             const std::vector<Typing>& typing, unsigned short columns = 0, unsigned short rows = 24) {
    int master = -1;
    winsize size{};
    size.ws_row = rows;
    size.ws_col = columns;
    const pid_t pid = forkpty(&master, nullptr, nullptr, columns ? &size : nullptr);
    if (pid == 0) Exec(argv, env);
    ToolRun run;
    if (pid < 0) return run;
    std::size_t step = 0, seen = 0;  // prompts are looked for behind the last one found
    auto type = [&] {
        while (step < typing.size()) {
            const Typing& t = typing[step];
            if (!t.prompt.empty()) {
                const std::size_t at = run.out.find(t.prompt, seen);
                if (at == std::string::npos) return;
                seen = at + t.prompt.size();
            }
            if (t.look) t.look();
            (void)!write(master, t.input.data(), t.input.size());
            ++step;
        }
    };
    type();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the tool has ended
        run.out.append(buffer, static_cast<std::size_t>(n));
        type();
    }
    int status = 0;
    kill(pid, SIGKILL);  // only if it is still there after the time allowed
    waitpid(pid, &status, 0);
    close(master);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// What a terminal shows, line by line: escape sequences left out, every
// carriage return or line feed a break.
inline std::vector<std::string> TerminalSegments(const std::string& out) {
    std::vector<std::string> segments(1);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\x1b') {
            while (i + 1 < out.size() && !std::isalpha(static_cast<unsigned char>(out[i + 1]))) ++i;
            ++i;
        } else if (out[i] == '\r' || out[i] == '\n') {
            if (!segments.back().empty()) segments.emplace_back();
        } else {
            segments.back() += out[i];
        }
    }
    if (segments.back().empty()) segments.pop_back();
    return segments;
}

// A small file system of its own (tmpfs, as root), filled up to the last
// page but for `room` bytes of `file`: what a full disk looks like to the
// tools. Empty() when this machine does not allow the mount.
class FullDisk {
public:
    FullDisk(const std::string& file, const std::string& content) {
        if (::mount("tmpfs", Path("").c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0) return;
        mounted_ = true;
        WriteFile(Path(file), content);
        // Everything else goes to a filler, a page at a time, until nothing more fits.
        const int fd = ::open(Path("filler").c_str(), O_WRONLY | O_CREAT, 0644);
        const std::string page(4096, 'f');
        while (fd >= 0 && ::write(fd, page.data(), page.size()) > 0) {
        }
        if (fd >= 0) ::close(fd);
    }
    ~FullDisk() {
        if (mounted_) ::umount2(Path("").c_str(), MNT_DETACH);
    }
    bool Empty() const { return !mounted_; }
    std::string Path(const std::string& name) const { return dir_ / name; }

private:
    ScratchDir dir_;
    bool mounted_ = false;
};

// The records of a run log, one JSON object a line; a line that is none fails.
inline std::vector<nlohmann::json> LogLines(const std::string& path) {
    std::vector<nlohmann::json> records;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) {
        records.push_back(nlohmann::json::parse(line, nullptr, false));
        EXPECT_FALSE(records.back().is_discarded()) << line;
    }
    return records;
}

// The file's SHA-256 as sha256sum prints it.
inline std::string Sha256Sum(const std::string& path) {
    ScratchDir dir;
    return RunTool(dir, {"/usr/bin/sha256sum", path}).out.substr(0, 64);
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
