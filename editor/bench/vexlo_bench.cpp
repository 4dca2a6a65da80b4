// Time from EndJob until the printer has the job, through a private spooler,
// beside the spooler's own command-line client sending the same bytes.
// Prints both medians and their ratio; run by hand, not by the test suite.
#include <QApplication>

#include <cups/cups.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "vexlo_comm.hpp"
#include "vexlo_cupsd.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double MedianMs(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    vexlotest::PrivateCupsd cupsd;
    std::string why;
    if (!cupsd.Start(&why) || !cupsd.AddQueue("bench", true)) {
        std::fprintf(stderr, "private spooler: %s\n", why.empty() ? "lpadmin failed" : why.c_str());
        return 1;
    }
    cupsSetServer(cupsd.socket().c_str());

    // A simple send: set switch 3 to 0005, then the closing command.
    const unsigned char raw[] = {0x1B, 0x1D, 0x23, 0x2C, 0x33, 0x30, 0x30, 0x30, 0x35, 0x0A, 0x00,
                                 0x1B, 0x1D, 0x23, 0x54, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00};
    const std::string setCommand(reinterpret_cast<const char*>(raw), 11);
    const std::string closing(reinterpret_cast<const char*>(raw) + 11, 11);
    const std::string jobFile = (cupsd.dir() / "job.bin").string();
    std::ofstream(jobFile, std::ios::binary).write(reinterpret_cast<const char*>(raw), sizeof raw);
    const std::string log = (cupsd.dir() / "log/lp.out").string();

    kelvane::VexloComm link;
    link.setDestination({kelvane::LinkDestination::Kind::Spooler, "bench"});

    std::vector<double> viaLink, viaLp;
    size_t expected = 0;
    auto waitFor = [&](size_t count) {
        if (cupsd.WaitForJobs("bench", count) < count) {
            std::fprintf(stderr, "job %zu never arrived\n%s", count, cupsd.ErrorLog().c_str());
            std::exit(1);
        }
    };
    // Alternating rounds, so drift in machine load hits both sides alike.
    for (int i = 0; i < rounds + 1; ++i) {
        auto t0 = Clock::now();
        link.StartJob();
        link.AddCommand(setCommand);
        link.AddCommand(closing);
        link.EndJob();
        waitFor(++expected);
        const double a = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();

        t0 = Clock::now();
        if (vexlotest::Run({"lp", "-h", cupsd.socket(), "-d", "bench", "-o", "raw", jobFile}, log) != 0) {
            std::fprintf(stderr, "lp failed\n");
            return 1;
        }
        waitFor(++expected);
        const double b = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (i > 0) {  // the first round warms up both paths
            viaLink.push_back(a);
            viaLp.push_back(b);
        }
    }
    for (const auto& job : cupsd.Jobs("bench")) {
        if (vexlotest::ReadAll(job) != std::string(reinterpret_cast<const char*>(raw), sizeof raw)) {
            std::fprintf(stderr, "%s does not hold the job's 22 bytes\n", job.c_str());
            return 1;
        }
    }
    const double mLink = MedianMs(viaLink), mLp = MedianMs(viaLp);
    std::printf("simple-send job (22 bytes), %d rounds, EndJob/lp until captured:\n", rounds);
    std::printf("  VexloComm EndJob  median %8.2f ms\n", mLink);
    std::printf("  lp -o raw         median %8.2f ms\n", mLp);
    std::printf("  ratio VexloComm / lp     %8.2f\n", mLink / mLp);
    return 0;
}
