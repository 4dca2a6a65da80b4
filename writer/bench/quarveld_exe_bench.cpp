// Figures for QUARVELD.exe under Wine: a 2,000-frame write at 19200 baud
// against the simulated printer pacing every byte at that rate, timed from
// the file dialog's Open to the "Write End !" notice, over the bound the line
// itself sets (10 bits per byte of every frame and every answer). Prints its
// figures; asserts nothing. Needs the same environment as quarveld_exe_tests
// (QUARVELD_EXE, WINDRIVER_EXE, QUARVELD_E2E_DIR; DISPLAY or an Xvfb of its own).
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "simulated_printer.hpp"
#include "wine_session.hpp"

namespace {

constexpr int Frames = 2000;
constexpr int DataPerFrame = 16;
constexpr int Baud = 19200;

// S3 records of 16 bytes and a final S7; returns the bytes on the line
// (frames and one answer each).
long WriteImage(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    long lineBytes = 0;
    for (int i = 0; i < Frames; ++i) {
        const unsigned address = 0x10000u + unsigned(i) * DataPerFrame;
        unsigned sum = DataPerFrame + 5;
        char text[80];
        int at = std::snprintf(text, sizeof text, "S3%02X%08X", DataPerFrame + 5, address);
        for (int s = 0; s < 32; s += 8) sum += (address >> s) & 0xFF;
        for (int k = 0; k < DataPerFrame; ++k) {
            const unsigned byte = (unsigned(i) * 7 + unsigned(k) * 13) & 0xFF;
            sum += byte;
            at += std::snprintf(text + at, sizeof text - at, "%02X", byte);
        }
        std::snprintf(text + at, sizeof text - at, "%02X\r\n", ~sum & 0xFF);
        out << text;
        lineBytes += 9 + DataPerFrame + 1;
    }
    out << "S70500000000FA\r\n";
    return lineBytes;
}

}  // namespace

int main() {
    quarveld::wine::RunInOwnSession();
    try {
        quarveld::wine::Session session;
        const std::string image = session.Dir() + "/bench.MOT";
        const long lineBytes = WriteImage(image);
        const double bound = double(lineBytes) * 10.0 / Baud;

        quarveld::sim::Behaviour paced;
        paced.byteDelayMicros = quarveld::sim::ByteDelayForBaud(Baud);
        paced.keepTraffic = false;
        quarveld::sim::SimulatedPrinter printer(paced);
        quarveld::wine::ControllingTerminal terminal(printer.devicePath());
        session.MapCom1(printer.devicePath());

        quarveld::wine::Program program(session);
        if (!program.Started()) {
            std::fprintf(stderr, "QUARVELD.exe did not start\n");
            return 1;
        }
        // The Port dialog: 19200 baud, so the program's own time-outs match the pace.
        session.Drive({"command", "class=QUARVELD", "302"});
        session.Drive({"wait", "class=#32770;title=Port"});
        session.Drive({"click", "class=#32770;title=Port", "201"});
        session.Drive({"click", "class=#32770;title=Port", "1"});
        session.Drive({"gone", "class=#32770;title=Port"});

        session.Drive({"command", "class=QUARVELD", "301"});
        const auto start = std::chrono::steady_clock::now();
        session.Drive({"openfile", image});
        // The transfer itself: from the first frame's arrival to the last one's,
        // so the file dialog and the notice's detection do not count.
        auto first = start;
        while (printer.framesReceived() < 1 && std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        first = std::chrono::steady_clock::now();
        while (printer.framesReceived() < std::size_t(Frames) &&
               std::chrono::steady_clock::now() - first < std::chrono::seconds(300))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const double transfer = std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count();
        const bool ended = session.Drive({"wait", "class=#32770;has=Write End !", "600000"}).status == 0;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        session.Drive({"click", "class=#32770;has=Write End !", "1"});
        session.Drive({"gone", "class=#32770;title=Write"});
        session.Drive({"command", "class=QUARVELD", "303"});
        session.Drive({"click", "class=#32770;title=Exit", "7"});
        program.WaitForExit(10000);

        std::printf("QUARVELD.exe under Wine, %d frames of %d data bytes at %d baud\n", Frames, DataPerFrame, Baud);
        std::printf("  frames received      %zu%s\n", printer.framesReceived(), ended ? "" : " (no \"Write End !\")");
        std::printf("  line-rate bound      %.2f s (%ld bytes on the line)\n", bound, lineBytes);
        std::printf("  Open to notice       %.2f s\n", seconds);
        std::printf("  time over the bound  %.3f\n", seconds / bound);
        // Between the two arrivals: the answers of frames 1 to N-1 and frames 2 to N.
        const double transferBound = bound * (Frames - 1) / Frames;
        std::printf("  first to last frame  %.2f s, bound %.2f s, over the bound %.3f\n", transfer, transferBound,
                    transfer / transferBound);
        return ended ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
