// Start-up of Kelvane2 beside a bare Qt Widgets window: the time from the
// start of the process until its first window is mapped on a private X
// server, and until it has drawn into that window, medians of alternating
// runs. A window with one line of text shows what drawing text at all costs.
// Prints the figures and the ratios.
//   startup_bench [RUNS [PROGRAM]]    PROGRAM in place of Kelvane2, QUARVELD say
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
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

struct Start {
    double mapped = -1;  // ms from the fork until the first top-level window is mapped
    double drawn = -1;   // ... until the program has drawn into a mapped window
};

int damageEvent = 0;

// Windows may be gone before their damage is asked for: not an error here.
int IgnoreGoneWindows(Display*, XErrorEvent* error) {
    if (error->error_code == BadDrawable || error->error_code == BadWindow) return 0;
    std::fprintf(stderr, "startup_bench: X error %d\n", error->error_code);
    std::exit(1);
}

// Starts the program and watches its windows; the program is then ended.
Start TimeToFirstWindow(Display* display, const char* program, const char* argument,
                        const std::string& configHome) {
    XSync(display, True);  // forget earlier events
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(program, program, argument, static_cast<char*>(nullptr));
        _exit(127);
    }
    Start result;
    std::vector<Window> mapped;
    while (result.drawn < 0) {
        XEvent event;
        XNextEvent(display, &event);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (event.type == CreateNotify) {
            // Asked at creation: nothing can be drawn into a window before it is mapped.
            XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty);
        } else if (event.type == MapNotify) {
            if (result.mapped < 0) result.mapped = ms;
            mapped.push_back(event.xmap.window);
        } else if (event.type == damageEvent + XDamageNotify) {
            const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
            if (std::find(mapped.begin(), mapped.end(), damage.drawable) != mapped.end()) result.drawn = ms;
        }
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return result;
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
    Display* display = nullptr;
    // A server that has just started may reset once after the probe.
    for (int attempt = 0; !display && attempt < 50; ++attempt) {
        display = XOpenDisplay(name.c_str());
        if (!display) usleep(100000);
    }
    int damageError = 0;
    if (!display || !XDamageQueryExtension(display, &damageEvent, &damageError)) {
        std::fprintf(stderr, "startup_bench: cannot open display %s with damage reports\n", name.c_str());
        kill(server, SIGTERM);
        return 1;
    }
    XSetErrorHandler(IgnoreGoneWindows);
    setenv("DISPLAY", name.c_str(), 1);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    const auto configHome = std::filesystem::temp_directory_path() / ("kelvane-startup-" + std::to_string(getpid()));
    std::filesystem::create_directories(configHome);
    struct Program {
        const char* label;
        const char* path;
        const char* argument;
        std::vector<double> mapped, drawn;
    };
    Program programs[] = {
        {"bare Qt Widgets window", BARE_WINDOW, nullptr, {}, {}},
        {"bare window, one line of text", BARE_WINDOW, "--text", {}, {}},
        {nullptr, argc > 2 ? argv[2] : KELVANE2, nullptr, {}, {}},
    };
    // One start of each first, so that none pays for cold caches.
    for (const Program& p : programs) TimeToFirstWindow(display, p.path, p.argument, configHome);
    for (int i = 0; i < runs; ++i) {
        for (Program& p : programs) {
            const Start s = TimeToFirstWindow(display, p.path, p.argument, configHome);
            p.mapped.push_back(s.mapped);
            p.drawn.push_back(s.drawn);
        }
    }
    std::printf("first window, median of %d starts each:      mapped     drawn\n", runs);
    const std::string tried = std::filesystem::path(programs[2].path).filename().string();
    programs[2].label = tried.c_str();
    for (const Program& p : programs) {
        std::printf("  %-30s %8.1f ms %6.1f ms\n", p.label, Median(p.mapped), Median(p.drawn));
    }
    const Program &bare = programs[0], &text = programs[1], &kelvane = programs[2];
    std::printf("  %-30s %8.2f    %6.2f    (target 1.30 or less, drawn)\n", (tried + " / bare window").c_str(),
                Median(kelvane.mapped) / Median(bare.mapped), Median(kelvane.drawn) / Median(bare.drawn));
    std::printf("  text window / bare window      %8.2f    %6.2f\n",
                Median(text.mapped) / Median(bare.mapped), Median(text.drawn) / Median(bare.drawn));

    XCloseDisplay(display);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    std::filesystem::remove_all(configHome);
    return 0;
}
