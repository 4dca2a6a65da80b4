#pragma once
// QUARVELD.exe under Wine and Xvfb for end-to-end tests and the benchmark:
// a Wine prefix of its own with COM1 and LPT1 mapped to fixed paths, the
// program started and driven through windriver.exe, screenshots.
//
// The paths come from the environment that CTest sets:
//   QUARVELD_EXE     the program under test
//   WINDRIVER_EXE    the driver (tools/win32/win_driver.cpp)
//   QUARVELD_E2E_DIR a folder in the build tree for the prefix and the screenshots
//   DISPLAY          the X display; unset: an Xvfb of our own on a free display
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace quarveld::wine {

inline std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a program to its end; its exit status (-1 when it could not run) and
// standard output.
struct Result {
    int status = -1;
    std::string out;
};

// Wine's own background processes (the server, services) outlive the call
// and keep what they inherit: a captured output must be a file, never a pipe.
inline Result RunCapture(const std::vector<std::string>& argv) {
    char name[] = "/tmp/wine-session-out-XXXXXX";
    const int outFd = mkstemp(name);
    if (outFd < 0) return {};
    unlink(name);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Result result;
    if (spawned == 0) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
        lseek(outFd, 0, SEEK_SET);
        char buffer[4096];
        ssize_t n;
        while ((n = read(outFd, buffer, sizeof buffer)) > 0) result.out.append(buffer, std::size_t(n));
    }
    close(outFd);
    while (!result.out.empty() && (result.out.back() == '\n' || result.out.back() == '\r')) result.out.pop_back();
    return result;
}

inline int RunQuiet(const std::vector<std::string>& argv) { return RunCapture(argv).status; }

// False where the kernel runs no 32-bit program: the tests then drive a 64-bit
// build in 64-bit prefixes (cmake/WineTests.cmake), and a 32-bit release
// cannot be started at all.
inline bool Runs32BitPrograms() { return Env("WINEARCH") != "win64"; }

// The whole Wine set-up for one test program.
class Session {
public:
    // `morePorts` ("COM12") are mapped like COM1 and COM2, to links MapPort sets.
    explicit Session(const std::vector<std::string>& morePorts = {}) {
        exe_ = Env("QUARVELD_EXE");
        driver_ = Env("WINDRIVER_EXE");
        dir_ = Env("QUARVELD_E2E_DIR");
        if (exe_.empty() || driver_.empty() || dir_.empty())
            throw std::runtime_error("QUARVELD_EXE, WINDRIVER_EXE and QUARVELD_E2E_DIR must be set");
        std::filesystem::create_directories(dir_);
        prefix_ = dir_ + "/prefix";
        com1_ = dir_ + "/com1";
        com2_ = dir_ + "/com2";
        lpt1_ = dir_ + "/lpt1.out";
        setenv("WINEPREFIX", prefix_.c_str(), 1);
        setenv("WINEARCH", "win32", 0);  // win64 for a 64-bit build (cmake/WineTests.cmake)
        // winemenubuilder would copy shortcuts into the desktop's menu in $HOME.
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d", 1);
        setenv("WINEDEBUG", "-all", 1);
        // Unix names reach Wine as UTF-8, so folders in any script can be
        // given; Windows' ANSI code page stays a Western one, which cannot
        // hold them (as on most PCs).
        setenv("LC_ALL", "C.UTF-8", 1);
        if (Env("DISPLAY").empty()) StartXvfb();

        const bool fresh = !std::filesystem::exists(prefix_ + "/system.reg");
        if (fresh && RunQuiet({"wine", "wineboot", "--init"}) != 0) throw std::runtime_error("wineboot failed");
        // The dialogs are laid out in units of Wine's own "System" font.
        if (RunQuiet({"sh", WINE_FONTS_SCRIPT, prefix_}) != 0)
            throw std::runtime_error("Wine's fonts are missing: install fonts-wine");
        std::ofstream(lpt1_, std::ios::app).close();
        // Wine draws the captions and frames itself: Xvfb has no window manager.
        RunQuiet({"wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"});
        RunQuiet({"wine", "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", "COM1", "/d", com1_, "/f"});
        RunQuiet({"wine", "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", "COM2", "/d", com2_, "/f"});
        for (const std::string& port : morePorts)
            RunQuiet({"wine", "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", port, "/d", dir_ + "/" + port, "/f"});
        RunQuiet({"wine", "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", "LPT1", "/d", lpt1_, "/f"});
        // The port map is read when the server starts; a warm server makes each
        // later wine call cheap.
        RunQuiet({"wineserver", "-k"});
        RunQuiet({"wineserver", "-w"});
        RunQuiet({"wineserver", "-p"});
        RunQuiet({"wine", "cmd", "/c", "exit"});
    }

    ~Session() {
        RunQuiet({"wineserver", "-k"});
        RunQuiet({"wineserver", "-w"});
        if (xvfb_ > 0) {
            kill(xvfb_, SIGTERM);
            waitpid(xvfb_, nullptr, 0);
        }
    }

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::string& Dir() const { return dir_; }
    const std::string& Lpt1File() const { return lpt1_; }
    std::string IniFile() const { return prefix_ + "/drive_c/windows/TORWIN.INI"; }

    // COM1 (COM2) now leads to `device` (a pty of the simulated printer, or nothing).
    void MapCom1(const std::string& device) const { Map(com1_, device); }
    void MapCom2(const std::string& device) const { Map(com2_, device); }
    // The same for a port the session was made with.
    void MapPort(const std::string& port, const std::string& device) const { Map(dir_ + "/" + port, device); }

    // The display's dpi (96, 120, 144) as Windows' display settings set it;
    // programs started from now on are drawn at it.
    void SetDpi(int dpi) const {
        const std::string value = std::to_string(dpi);
        RunQuiet({"wine", "reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                  value, "/f"});
        RunQuiet({"wine", "reg", "add", "HKCC\\Software\\Fonts", "/v", "LogPixels", "/t", "REG_DWORD", "/d", value,
                  "/f"});
        RunQuiet({"wineserver", "-k"});
        RunQuiet({"wineserver", "-w"});
        RunQuiet({"wineserver", "-p"});
        RunQuiet({"wine", "cmd", "/c", "exit"});
    }

    void EmptyLpt1() const { std::ofstream(lpt1_, std::ios::trunc).close(); }

    // windriver.exe with these arguments.
    Result Drive(const std::vector<std::string>& args) const {
        std::vector<std::string> argv = {"wine", driver_};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunCapture(argv);
    }

    // Saves the screen as DIR/NAME.png.
    bool Screenshot(const std::string& name) const {
        return Drive({"screenshot", dir_ + "/" + name + ".png"}).status == 0;
    }

    const std::string& Exe() const { return exe_; }

private:
    static void Map(const std::string& link, const std::string& device) {
        std::error_code ignored;
        std::filesystem::remove(link, ignored);
        std::filesystem::create_symlink(device, link, ignored);
    }

    // An Xvfb on a display that no one else uses (others may run these tests
    // on the same machine at the same time); it says its number when ready.
    void StartXvfb() {
        int ready[2];
        if (pipe(ready) != 0) throw std::runtime_error("no pipe for Xvfb");
        std::vector<std::string> argv = {"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24",
                                         "-nolisten", "tcp", "-noreset"};
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        // The read end first: it may itself be descriptor 3.
        posix_spawn_file_actions_addclose(&actions, ready[0]);
        posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
        // A session of its own: the printer's pty hanging up sends SIGHUP to
        // ours, and SIGHUP makes an X server reset and drop every client.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
        if (posix_spawnp(&xvfb_, "Xvfb", &actions, &attributes, args.data(), environ) != 0) xvfb_ = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        close(ready[1]);
        std::string number;
        char c;
        while (xvfb_ > 0 && read(ready[0], &c, 1) == 1 && c != '\n') number.push_back(c);
        close(ready[0]);
        if (number.empty()) throw std::runtime_error("Xvfb did not start");
        setenv("DISPLAY", (":" + number).c_str(), 1);
    }

    std::string exe_, driver_, dir_, prefix_, com1_, com2_, lpt1_;
    pid_t xvfb_ = -1;
};

// One run of the program under test (QUARVELD.exe unless `window` names
// another's main window), with `programArgs`; its standard error goes to a
// file.
class Program {
public:
    explicit Program(const Session& session, const std::vector<std::string>& programArgs = {},
                     std::string window = "class=QUARVELD")
        : session_(session), window_(std::move(window)) {
        stderrPath_ = session.Dir() + "/quarveld.stderr";
        std::vector<std::string> argv = {"wine", session.Exe()};
        argv.insert(argv.end(), programArgs.begin(), programArgs.end());
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawnp(&pid_, "wine", &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        started_ = pid_ > 0 && session.Drive({"wait", window_, "20000"}).status == 0;
    }

    ~Program() {
        if (pid_ <= 0) return;
        if (!WaitForExit(100)) {
            // A test that failed half-way: answer NO so nothing is saved, then force it.
            if (window_ == "class=QUARVELD") {
                session_.Drive({"command", "class=QUARVELD", "303"});
                session_.Drive({"click", "class=#32770;title=Exit", "7"});
            } else {
                session_.Drive({"close", window_});
            }
            if (!WaitForExit(5000)) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                RunQuiet({"wineserver", "-k"});
                RunQuiet({"wineserver", "-w"});
                RunQuiet({"wineserver", "-p"});
            }
        }
    }

    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return started_; }

    // True once the program has ended (within `ms`); its exit status in `status`.
    bool WaitForExit(int ms) {
        if (exited_) return true;
        for (int waited = 0;; waited += 20) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return true;
            }
            if (waited >= ms) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    int ExitStatus() const { return exitStatus_; }
    std::string Stderr() const { return Slurp(stderrPath_); }

private:
    const Session& session_;
    std::string window_;
    std::string stderrPath_;
    pid_t pid_ = -1;
    bool started_ = false;
    bool exited_ = false;
    int exitStatus_ = -1;
};

// Makes `device` the controlling terminal of this process's session, as a
// cable's printer end would be: nothing Wine opens can then take it over and
// hang it up. The test program runs in a session of its own (see main).
class ControllingTerminal {
public:
    explicit ControllingTerminal(const std::string& device) {
        fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ >= 0) ioctl(fd_, TIOCSCTTY, 0);
    }
    ~ControllingTerminal() {
        if (fd_ < 0) return;
        ioctl(fd_, TIOCNOTTY);
        close(fd_);
    }
    ControllingTerminal(const ControllingTerminal&) = delete;
    ControllingTerminal& operator=(const ControllingTerminal&) = delete;

private:
    int fd_ = -1;
};

// Runs the rest of main in a new session (a child process), so that a pty can
// become its controlling terminal; SIGHUP from a hang-up is ignored. Returns
// in the child; the parent ends with the child's exit status.
inline void RunInOwnSession() {
    signal(SIGHUP, SIG_IGN);
    if (setsid() >= 0) return;  // already able to lead a session
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        return;
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

}  // namespace quarveld::wine
