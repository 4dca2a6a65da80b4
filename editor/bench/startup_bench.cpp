// Start-up of Kelvane2 beside a bare Qt Widgets window: the time from the
// start of the process until its first window is mapped on a private X
// server, medians of alternating runs. Prints both figures and their ratio.
//   startup_bench [RUNS]
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Xvfb on the first display from :90 up that has no server; its number.
int StartXvfb(pid_t& server) {
    for (int number = 90; number < 200; ++number) {
        if (std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")) continue;
        const std::string name = ":" + std::to_string(number);
        server = fork();
        if (server == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int wait = 0; wait < 100; ++wait) {
            if (Display* probe = XOpenDisplay(name.c_str())) {
                XCloseDisplay(probe);
                return number;
            }
            if (waitpid(server, nullptr, WNOHANG) == server) break;  // taken meanwhile: try the next
            usleep(50000);
        }
    }
    return -1;
}

// Milliseconds from the fork until the program's first top-level window is
// mapped; the program is then ended.
double TimeToFirstWindow(Display* display, const char* program, const std::string& configHome) {
    XSync(display, True);  // forget earlier events
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    double ms = -1;
    while (ms < 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return ms;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    pid_t server = -1;
    const int number = StartXvfb(server);
    if (number < 0) {
        std::fprintf(stderr, "startup_bench: Xvfb did not start\n");
        return 1;
    }
    const std::string name = ":" + std::to_string(number);
    Display* display = XOpenDisplay(name.c_str());
    if (!display) {
        std::fprintf(stderr, "startup_bench: cannot open display %s\n", name.c_str());
        kill(server, SIGTERM);
        return 1;
    }
    setenv("DISPLAY", name.c_str(), 1);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    const auto configHome = std::filesystem::temp_directory_path() / ("kelvane-startup-" + std::to_string(getpid()));
    std::filesystem::create_directories(configHome);
    // One start of each first, so that neither pays for cold caches.
    TimeToFirstWindow(display, BARE_WINDOW, configHome);
    TimeToFirstWindow(display, KELVANE2, configHome);
    std::vector<double> bare, kelvane;
    for (int i = 0; i < runs; ++i) {
        bare.push_back(TimeToFirstWindow(display, BARE_WINDOW, configHome));
        kelvane.push_back(TimeToFirstWindow(display, KELVANE2, configHome));
    }
    const double b = Median(bare), k = Median(kelvane);
    std::printf("first window shown, median of %d starts each:\n", runs);
    std::printf("  bare Qt Widgets window  %8.1f ms\n", b);
    std::printf("  Kelvane2                %8.1f ms\n", k);
    std::printf("  ratio                   %8.2f (target 1.30 or less)\n", k / b);

    XCloseDisplay(display);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    std::filesystem::remove_all(configHome);
    return 0;
}
