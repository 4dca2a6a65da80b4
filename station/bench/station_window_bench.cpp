// The station's window against printers paced at 19200 baud. Prints its
// figures; asserts nothing.
//  1. 1, 4 and 8 ports at once through the window (Start pressed, the event
//     loop running as on a desktop): wall time over the one-port time, the
//     window process's processor time over its wall time, its peak memory
//     over the one-port run per further port, and the longest stall of the
//     event loop.
//  2. ABORT during an 8-port write: the time until every port has stopped.
//   station_window_bench [FRAMES [DATA_BYTES_PER_FRAME]]
// The printers run in a process of their own, so the figures are the
// window's alone; each run is a fresh process, so its peak memory is its own.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_image.hpp"
#include "simulated_printer.hpp"
#include "station_window.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using quarveld::sim::Behaviour;
using quarveld::bench::WriteImage;
using quarveld::sim::SimulatedPrinter;

struct Figures {
    double wall = 0;     // Start to the last port's end, seconds
    double cpu = 0;      // the window process, seconds
    long peakKb = 0;
    double stallMs = 0;  // the longest the event loop did not come round
    long written = 0;
};

// Printers in a child process; their device paths come back through a pipe.
pid_t StartPrinters(int n, const Behaviour& behaviour, std::vector<std::string>& devices) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::vector<std::unique_ptr<SimulatedPrinter>> printers;
        for (int i = 0; i < n; ++i) printers.push_back(std::make_unique<SimulatedPrinter>(behaviour));
        std::string paths;
        for (const auto& p : printers) paths += p->devicePath() + "\n";
        (void)!write(fds[1], paths.data(), paths.size());
        close(fds[1]);
        pause();  // until the bench ends it
        _exit(0);
    }
    close(fds[1]);
    std::string paths;
    char buffer[256];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) paths.append(buffer, static_cast<std::size_t>(got));
    close(fds[0]);
    for (std::size_t start = 0, end; (end = paths.find('\n', start)) != std::string::npos; start = end + 1)
        devices.push_back(paths.substr(start, end - start));
    return pid;
}

// In a fresh process: the window writes `ports` printers once (or, with
// `abortAfter`, is aborted that long after Start). Figures through a pipe.
Figures RunWindow(int argc, char** argv, const std::string& image, int ports, const Behaviour& behaviour,
                  double abortAfter) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        std::vector<std::string> devices;
        const pid_t printers = StartPrinters(ports, behaviour, devices);
        QApplication app(argc, argv);
        quarveld::StationWindow window(devices, QString::fromStdString(image));
        window.findChild<QComboBox*>(QStringLiteral("cboBaud"))->setCurrentIndex(0);  // 19200
        window.findChild<QSpinBox*>(QStringLiteral("spnSilence"))->setValue(0);
        window.show();
        // Drawn once before Start, as on a desktop where the window waits for the operator.
        QElapsedTimer shown;
        shown.start();
        while (shown.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 20);
        Figures figures;
        rusage before{};
        Clock::time_point start;
        QElapsedTimer loop;
        QTimer beat;
        // A beat every 10 ms: the longest gap between beats is the longest stall.
        QObject::connect(&beat, &QTimer::timeout, [&] {
            figures.stallMs = std::max(figures.stallMs, loop.nsecsElapsed() / 1e6 - 10);
            loop.restart();
            // The end is seen on the beat: a timer of the bench's own would
            // count its wake-ups as the window's processor time.
            if (abortAfter <= 0 && !window.Core().Running() && figures.wall == 0) {
                figures.wall = std::chrono::duration<double>(Clock::now() - start).count();
                QApplication::quit();
            }
        });
        getrusage(RUSAGE_SELF, &before);
        start = Clock::now();
        window.Start();
        loop.start();
        beat.setTimerType(Qt::PreciseTimer);
        beat.start(10);
        if (abortAfter > 0) {
            QTimer::singleShot(static_cast<int>(abortAfter * 1000), [&] {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&window, &escape);
                figures.wall = 0;
                const auto asked = Clock::now();
                QTimer* wait = new QTimer(&window);
                QObject::connect(wait, &QTimer::timeout, [&, asked] {
                    if (window.Core().Running()) return;
                    figures.wall = std::chrono::duration<double>(Clock::now() - asked).count();
                    QApplication::quit();
                });
                wait->start(1);
            });
        }
        QApplication::exec();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
        figures.cpu = seconds(after.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_utime) -
                      seconds(before.ru_stime);
        figures.peakKb = after.ru_maxrss;
        figures.written = window.Core().Total().written;
        kill(printers, SIGKILL);
        waitpid(printers, nullptr, 0);
        (void)!write(fds[1], &figures, sizeof figures);
        _exit(0);
    }
    close(fds[1]);
    Figures figures;
    if (read(fds[0], &figures, sizeof figures) != static_cast<ssize_t>(sizeof figures))
        std::printf("  (the run with %d ports ended without figures)\n", ports);
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t frames = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 400;
    const std::size_t perLine = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 32;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char folder[] = "/tmp/station-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    // Settings and records of the bench's own.
    setenv("XDG_CONFIG_HOME", folder, 1);
    setenv("XDG_DATA_HOME", folder, 1);
    const std::string image = std::string(folder) + "/bench.mot";
    WriteImage(image, frames, perLine);

    Behaviour paced;
    paced.byteDelayMicros = quarveld::sim::ByteDelayForBaud(19200);
    paced.keepTraffic = false;
    std::printf("quarveld-station at 19200 baud through the window: %zu frames of %zu data bytes a port\n", frames,
                perLine);
    std::printf("  ports  written  wall s   / 1 port  cpu/wall  peak KB  more KB per further port  longest stall ms\n");
    Figures single;
    for (int ports : {1, 4, 8}) {
        const Figures run = RunWindow(argc, argv, image, ports, paced, 0);
        if (ports == 1) single = run;
        const double perFurther = ports > 1 ? static_cast<double>(run.peakKb - single.peakKb) / (ports - 1) : 0;
        std::printf("  %5d  %7ld  %7.3f  %8.4f  %7.2f%%  %7ld  %24.0f  %16.1f\n", ports, run.written, run.wall,
                    run.wall / single.wall, 100.0 * run.cpu / run.wall, run.peakKb, perFurther, run.stallMs);
    }
    std::printf("  goals: wall over one port at most 1.05 for 8, cpu at most 5 %%, at most 1024 KB per port,\n"
                "         longest stall of the event loop at most 50 ms during the 8-port run\n");

    Behaviour silent = paced;
    silent.silentFromFrame = 1;
    double worst = 0, sum = 0;
    const int tries = 5;
    for (int i = 0; i < tries; ++i) {
        const Figures run = RunWindow(argc, argv, image, 8, silent, 0.3 + 0.037 * i);
        worst = std::max(worst, run.wall);
        sum += run.wall;
    }
    std::printf("ABORT (Esc) during an 8-port write, %d tries: mean %.0f ms, worst %.0f ms until every port has "
                "stopped (goal 250 ms)\n",
                tries, 1000 * sum / tries, 1000 * worst);
    std::remove(image.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
