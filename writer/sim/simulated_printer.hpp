#pragma once
// A flash loader behind a pseudo-terminal: the other end of the writer's cable,
// for tests and for trying the writer without a printer.
#include <array>
#include <bitset>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quarveld::sim {

struct Behaviour {
    int nakAtFrame = -1;          // answer NAK to frame k (0-based), ACK to the others
    std::string noiseBeforeAnswer; // bytes sent before every answer (neither ACK nor NAK)
    int silentFromFrame = -1;     // no answer from frame k on
    int byteDelayMicros = 0;      // pause per byte received and sent, emulates a baud rate (19200 baud: 521 us)
    int hangUpAtFrame = -1;       // close the pty master when frame k has been read
    bool parallel = false;        // LPT1: read frames, never answer

    // A frame that stays incomplete this long is taken as a bad frame (NAK),
    // so a writer that lost bytes is not left waiting for an answer forever.
    int partialFrameTimeoutMs = 1000;
    // Off for long runs: frames() and received() then stay empty.
    bool keepTraffic = true;
};

// What the printer did with a frame.
enum class Answer { Ack, Nak, None, HangUp };

struct FrameInfo {
    std::size_t index = 0;
    unsigned count = 0;      // N, as the frame says
    uint32_t address = 0;
    bool good = false;       // STX, ETX and CRC right
    Answer answer = Answer::None;
};

// CRC-16/ARC, computed here independently of the writer's.
uint16_t Crc16ArcTable(const uint8_t* bytes, std::size_t length);

// Microseconds per byte at a baud rate, 10 bits per byte on the line.
int ByteDelayForBaud(int baud);

class SimulatedPrinter {          // a flash loader behind a pseudo-terminal, on a thread of its own
public:
    // Throws std::runtime_error when no pseudo-terminal can be had.
    explicit SimulatedPrinter(Behaviour behaviour = {});
    ~SimulatedPrinter();                          // stops the thread, closes the pty
    SimulatedPrinter(const SimulatedPrinter&) = delete;
    SimulatedPrinter& operator=(const SimulatedPrinter&) = delete;

    const std::string& devicePath() const;        // the pty slave path, to map as COM1/COM2/LPT1
    std::size_t framesReceived() const;           // good and bad frames seen so far
    std::vector<std::vector<uint8_t>> frames() const;   // every frame as received, in order
    std::vector<uint8_t> received() const;        // every byte received, in order
    std::map<uint32_t, uint8_t> memory() const;   // accepted data bytes by address
    bool writeBinary(const std::string& path) const;  // memory as a flat binary from its lowest address, gaps 0xFF
    bool waitForFrames(std::size_t n, int timeoutMs) const;

    std::vector<FrameInfo> frameLog() const;      // one entry per frame, in order
    std::size_t junkBytes() const;                // bytes skipped while waiting for STX
    std::size_t memoryBytes() const;              // number of accepted data bytes held
    std::size_t droppedAnswerBytes() const;       // answer bytes nobody took off the line
    bool hungUp() const;                          // the pty is gone (told to hang up, or lost)
    // Waits until the thread has ended by itself (hang-up); false on time-out.
    bool waitForHangUp(int timeoutMs) const;

    // Largest span writeBinary fills; a wider one would be mostly gap.
    static constexpr uint64_t kMaxBinarySpan = uint64_t{256} << 20;

private:
    static constexpr uint32_t kPageSize = 4096;
    struct Page {                                 // memory is held in pages: images run to many MB
        std::array<uint8_t, kPageSize> data{};
        std::bitset<kPageSize> written;
    };
    void run();
    void takeBytes(const uint8_t* bytes, std::size_t length);
    bool finishFrame(bool truncated);
    void send(const std::string& bytes);
    std::size_t writeSome(const char* bytes, std::size_t length);
    bool pauseUntil(std::chrono::steady_clock::time_point until);
    void closePty();
    void releaseExclusive();

    const Behaviour behaviour_;
    std::string devicePath_;
    int master_ = -1;
    int slave_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    bool hungUp_ = false;
    bool ended_ = false;
    std::vector<uint8_t> pending_;                // the frame being assembled (thread only)
    std::chrono::steady_clock::time_point lineBusyUntil_{};
    std::vector<std::vector<uint8_t>> frames_;
    std::vector<uint8_t> received_;
    std::vector<FrameInfo> log_;
    std::map<uint32_t, Page> pages_;
    std::size_t memoryBytes_ = 0;
    std::size_t junk_ = 0;
    std::size_t dropped_ = 0;
    std::thread thread_;
};

}  // namespace quarveld::sim
