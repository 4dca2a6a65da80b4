#pragma once
// A private print spooler for tests and the benchmark: cupsd on a socket in
// a fresh directory, with raw queues whose backend copies every job to a
// file of its own (capture/<queue>/job-<id>.bin).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vexlotest {

namespace fs = std::filesystem;

// Runs a program with its output appended to `log`; returns its exit status.
inline int Run(const std::vector<std::string>& argv, const std::string& log) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class PrivateCupsd {
public:
    PrivateCupsd() = default;
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;
    ~PrivateCupsd() {
        Stop();
        if (!dir_.empty()) {
            std::error_code ec;
            fs::remove_all(dir_, ec);
        }
    }

    // Starts cupsd; on failure returns false and says why in `why`.
    bool Start(std::string* why) {
        if (geteuid() != 0) return Fail(why, "the private spooler needs root (its backend runs as root)");
        if (access("/usr/sbin/cupsd", X_OK) != 0) return Fail(why, "cupsd is not installed");
        char tmpl[] = "/tmp/vexlo-cupsd.XXXXXX";
        if (!mkdtemp(tmpl)) return Fail(why, "cannot make a directory in /tmp");
        dir_ = tmpl;
        // cupsd refuses directories that others may write.
        chmod(dir_.c_str(), 0755);
        for (const char* sub : {"bin", "bin/daemon", "bin/backend", "cache", "state", "log", "capture"}) {
            fs::create_directory(dir_ / sub);
            chmod((dir_ / sub).c_str(), 0755);
        }
        fs::create_directory(dir_ / "spool");
        chmod((dir_ / "spool").c_str(), 0710);
        fs::create_directory(dir_ / "tmp");
        chmod((dir_ / "tmp").c_str(), 0700);
        fs::create_symlink("/usr/lib/cups/daemon/cups-exec", dir_ / "bin/daemon/cups-exec");
        {
            std::ofstream backend(dir_ / "bin/backend/capture");
            backend << "#!/bin/sh\n"
                       "# Copies each job to DIR/job-<id>.bin, whole or not at all.\n"
                       "if [ $# -eq 0 ]; then echo 'direct capture \"Unknown\" \"Job capture\"'; exit 0; fi\n"
                       "dir=${DEVICE_URI#capture:}\n"
                       "out=\"$dir/job-$1.bin\"\n"
                       "if [ $# -ge 6 ]; then cat \"$6\" > \"$out.part\"; else cat > \"$out.part\"; fi || exit 1\n"
                       "mv \"$out.part\" \"$out\"\n";
        }
        // Root-owned and 0700: cupsd then runs it as root.
        chmod((dir_ / "bin/backend/capture").c_str(), 0700);
        const std::string d = dir_.string();
        {
            std::ofstream files(dir_ / "cups-files.conf");
            files << "ServerRoot " << d << "\nServerBin " << d << "/bin\nRequestRoot " << d
                  << "/spool\nTempDir " << d << "/tmp\nCacheDir " << d << "/cache\nStateDir " << d
                  << "/state\nAccessLog " << d << "/log/access_log\nErrorLog " << d
                  << "/log/error_log\nPageLog " << d << "/log/page_log\nPrintcap " << d
                  << "/printcap\nSystemGroup root\n";
        }
        {
            std::ofstream conf(dir_ / "cupsd.conf");
            conf << "Listen " << socket() << "\nLogLevel warn\nBrowsing Off\n"
                 << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n";
        }
        std::vector<std::string> argv = {"/usr/sbin/cupsd", "-f", "-c", d + "/cupsd.conf",
                                         "-s", d + "/cups-files.conf"};
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string out = d + "/log/cupsd.out";
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            return Fail(why, "cannot start cupsd");
        }
        for (int i = 0; i < 200; ++i) {
            if (fs::exists(socket())) return true;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return Fail(why, "cupsd stopped at once: " + ReadAll(dir_ / "log/error_log") +
                                     ReadAll(dir_ / "log/cupsd.out"));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return Fail(why, "cupsd did not open its socket within 5 s");
    }

    // Stops cupsd by its pid and waits for it.
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

    std::string socket() const { return (dir_ / "cups.sock").string(); }
    const fs::path& dir() const { return dir_; }

    // A raw queue (no driver) that captures its jobs; optionally the default.
    bool AddQueue(const std::string& name, bool makeDefault) {
        fs::create_directory(dir_ / "capture" / name);
        chmod((dir_ / "capture" / name).c_str(), 0755);
        const std::string log = (dir_ / "log/lpadmin.out").string();
        if (Run({"lpadmin", "-h", socket(), "-p", name, "-v", "capture:" + (dir_ / "capture" / name).string(),
                 "-E"},
                log) != 0) {
            return false;
        }
        return !makeDefault || Run({"lpadmin", "-h", socket(), "-d", name}, log) == 0;
    }

    // The finished jobs of a queue, in job order.
    std::vector<fs::path> Jobs(const std::string& queue) const {
        std::vector<std::pair<long, fs::path>> found;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir_ / "capture" / queue, ec)) {
            const std::string n = e.path().filename().string();
            if (n.rfind("job-", 0) == 0 && n.size() > 8 && n.compare(n.size() - 4, 4, ".bin") == 0) {
                found.emplace_back(std::atol(n.c_str() + 4), e.path());
            }
        }
        std::sort(found.begin(), found.end());
        std::vector<fs::path> out;
        for (auto& f : found) out.push_back(f.second);
        return out;
    }

    // Waits until the queue has captured `count` jobs; returns how many it has.
    size_t WaitForJobs(const std::string& queue, size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        const auto end = std::chrono::steady_clock::now() + timeout;
        size_t have = 0;
        while ((have = Jobs(queue).size()) < count && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return have;
    }

    std::string ErrorLog() const { return ReadAll(dir_ / "log/error_log"); }

private:
    static bool Fail(std::string* why, const std::string& text) {
        if (why) *why = text;
        return false;
    }

    fs::path dir_;
    pid_t pid_ = -1;
};

}  // namespace vexlotest
