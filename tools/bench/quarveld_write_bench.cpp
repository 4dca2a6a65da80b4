// quarveld-write against printers paced at 19200 baud. Prints its figures;
// asserts nothing.
//  1. One port, 2,000 frames, the whole program timed from start to exit,
//     next to the line-rate bound (10 bits per byte of every frame and
//     every answer).
//  2. 1, 4 and 8 ports at once: wall time over the one-port time, the tool's
//     processor time over its wall time, and its peak memory over the
//     one-port run, per further port.
//  3. Ctrl+C during an 8-port write: the time until the tool has ended and
//     every port is free again.
//   quarveld_write_bench [FRAMES [DATA_BYTES_PER_FRAME [FRAMES_PER_PORT]]]
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_image.hpp"
#include "simulated_printer.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using quarveld::sim::Behaviour;
using quarveld::bench::WriteImage;
using quarveld::sim::SimulatedPrinter;

struct ToolRun {
    int status = -1;
    double wall = 0;  // seconds, start to exit
    double cpu = 0;   // user and system seconds of the tool
    long peakKb = 0;  // its largest resident set
};

pid_t Start(const std::string& image, const std::vector<std::unique_ptr<SimulatedPrinter>>& printers) {
    std::vector<std::string> args{QUARVELD_WRITE, "--baud", "19200"};
    for (const auto& printer : printers) args.insert(args.end(), {"--port", printer->devicePath()});
    args.push_back(image);
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

ToolRun Finish(pid_t pid, Clock::time_point since) {
    ToolRun run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wall = std::chrono::duration<double>(Clock::now() - since).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakKb = usage.ru_maxrss;
    return run;
}

std::vector<std::unique_ptr<SimulatedPrinter>> Printers(int n, const Behaviour& behaviour) {
    std::vector<std::unique_ptr<SimulatedPrinter>> printers;
    for (int i = 0; i < n; ++i) printers.push_back(std::make_unique<SimulatedPrinter>(behaviour));
    return printers;
}

ToolRun WriteTo(const std::string& image, int ports, std::size_t& frames) {
    Behaviour paced;
    paced.byteDelayMicros = quarveld::sim::ByteDelayForBaud(19200);
    paced.keepTraffic = false;
    const auto printers = Printers(ports, paced);
    const auto start = Clock::now();
    const ToolRun run = Finish(Start(image, printers), start);
    frames = 0;
    for (const auto& printer : printers) frames += printer->framesReceived();
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t frames = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2000;
    const std::size_t perLine = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 32;
    const std::size_t perPort = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 500;
    char folder[] = "/tmp/quarveld-write-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string image = std::string(folder) + "/bench.mot";
    const std::string shorter = std::string(folder) + "/ports.mot";
    const std::size_t frameBytes = WriteImage(image, frames, perLine);
    WriteImage(shorter, perPort, perLine);

    std::size_t taken = 0;
    const ToolRun one = WriteTo(image, 1, taken);
    const double bound = static_cast<double>(frameBytes + frames) * 10.0 / 19200.0;
    std::printf("quarveld-write at 19200 baud: %zu frames of %zu data bytes, exit status %d\n", frames, perLine,
                one.status);
    std::printf("  run %.3f s, line-rate bound %.3f s, ratio %.4f (target at most 1.01)\n", one.wall, bound,
                one.wall / bound);
    std::printf("  frames the printer took: %zu\n", taken);

    std::printf("several ports at once, %zu frames each:\n", perPort);
    std::printf("  ports  exit  wall s   / 1 port  cpu/wall  peak KB  more KB per further port\n");
    ToolRun single;
    for (int ports : {1, 4, 8}) {
        const ToolRun run = WriteTo(shorter, ports, taken);
        if (ports == 1) single = run;
        const double perFurther = ports > 1 ? static_cast<double>(run.peakKb - single.peakKb) / (ports - 1) : 0;
        std::printf("  %5d  %4d  %7.3f  %8.4f  %7.2f%%  %7ld  %8.0f   (frames taken %zu of %zu)\n", ports, run.status,
                    run.wall, run.wall / single.wall, 100.0 * run.cpu / run.wall, run.peakKb, perFurther, taken,
                    perPort * ports);
    }
    std::printf("  goals: wall over one port at most 1.05 for 8, cpu at most 5 %%, at most 1024 KB per port\n");

    // Printers that stop answering after their first frame: the tool waits
    // on every port when Ctrl+C comes.
    Behaviour silent;
    silent.silentFromFrame = 1;
    silent.keepTraffic = false;
    double worst = 0, sum = 0;
    const int tries = 10;
    for (int i = 0; i < tries; ++i) {
        const auto printers = Printers(8, silent);
        const pid_t pid = Start(shorter, printers);
        for (const auto& printer : printers) printer->waitForFrames(2, 5000);
        // Somewhere within the printer's silence, not always at its start.
        usleep(static_cast<useconds_t>(37000 * i));
        const auto asked = Clock::now();
        kill(pid, SIGINT);
        const ToolRun run = Finish(pid, asked);
        worst = std::max(worst, run.wall);
        sum += run.wall;
        if (run.status != 3) std::printf("  Ctrl+C try %d: exit status %d\n", i, run.status);
    }
    std::printf("Ctrl+C during an 8-port write, %d tries: mean %.0f ms, worst %.0f ms until every port is free "
                "(goal 250 ms)\n",
                tries, 1000 * sum / tries, 1000 * worst);

    std::remove(image.c_str());
    std::remove(shorter.c_str());
    rmdir(folder);
    return 0;
}
