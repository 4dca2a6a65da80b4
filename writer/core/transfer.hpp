#pragma once
// The framed, acknowledged transfer of an image, one record at a time.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "port.hpp"
#include "srecord.hpp"

namespace quarveld {

constexpr uint8_t STX = 0x02;
constexpr uint8_t ETX = 0x03;
constexpr uint8_t ACK = 0x06;
constexpr uint8_t NAK = 0x15;

// The worker's messages to the Write dialog, numbered from the platform's
// first private message (1024; not named WM_USER, which windows.h defines).
constexpr int PrivateMessageBase = 1024;
constexpr int UM_WRITE_END = PrivateMessageBase + 10;
constexpr int UM_WRITE_ERROR = PrivateMessageBase + 11;
constexpr int UM_WRITE_PROGRESS = PrivateMessageBase + 12;
constexpr int UM_WRITE_ABORTED = PrivateMessageBase + 13;

// CRC-16/ARC (poly 0xA001 reflected, init 0).
uint16_t Crc16Arc(const uint8_t* bytes, std::size_t length);

// Builds the frame of a record (9 + N bytes) at `frame`, which may be the
// image's line buffer the record's data lie in. Returns its length; an End
// record has no frame (0).
std::size_t RecordFrame(const FlashRecord& record, uint8_t* frame);

// The Write dialog. Each call returns only once the message has been handled.
class WriteObserver {
public:
    virtual ~WriteObserver() = default;
    virtual void HandleWriteMessage(int message, int32_t lParam) = 0;
};

// Shared state of a run, owned by the Write dialog.
struct WriteRun {
    std::atomic<int> writeRunning{0};
    // Frames whose every byte went out, answered or not: a record of the run
    // counts the frame the printer refused or never answered.
    std::atomic<long> framesOut{0};
    int parallelPort = 0;
    WritePort* portHandle = nullptr;
    Image* imageFile = nullptr;
    WriteObserver* progressWindow = nullptr;
    std::string portName;  // as failure reasons name the port: "COM1 (/dev/ttyS0)"
    // Why the run or its start failed, in one line for standard error; the
    // worker sets it before it sends UM_WRITE_ERROR.
    std::string failure;
    // What kind of failure, for a window that says it in a few words, and
    // the frame it happened at (from 1; 0 before the first).
    enum class Failure { Other, Refused, Gone } failureKind = Failure::Other;
    long failedFrame = 0;
};

// The start of a run, in the order a front-end takes it: the image, the
// port, the worker. A step that fails has opened nothing of its own and has
// set run.failure.
bool OpenRunImage(WriteRun& run, Image& image, const std::string& path);
std::unique_ptr<WritePort> OpenRunPort(WriteRun& run, const PortSettings& settings, const DeviceMap& devices);
// The same for a port the user named; the line as the settings say.
std::unique_ptr<WritePort> OpenRunPort(WriteRun& run, const NamedPort& port, const PortSettings& settings);

// The worker's routine; ends right after its final message.
void WriteWorker(WriteRun& run);

// Sets writeRunning and starts WriteWorker on a thread of its own; false when
// the thread could not start.
bool StartWriteWorker(WriteRun& run);

}  // namespace quarveld
