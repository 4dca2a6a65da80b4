// The write run's worker: one record, one frame, one answer at a time.
#include <chrono>
#include <functional>
#include <new>
#include <system_error>
#include <string>
#include <thread>
#include <utility>

#include "transfer.hpp"

namespace quarveld {

namespace {
constexpr std::chrono::milliseconds ShortWritePause{100};

std::string PortOf(const WriteRun& run) { return run.portName.empty() ? "the port" : run.portName; }

std::string FrameOf(long frame, const Image& image) {
    return "frame " + std::to_string(frame) + " (line " + std::to_string(image.lineNumber) + " of " +
           image.path + ")";
}
}  // namespace

bool OpenRunImage(WriteRun& run, Image& image, const std::string& path) {
    if (!OpenImage(path, image)) {
        run.failure = path + ": the image cannot be opened: " + image.error;
        return false;
    }
    run.imageFile = &image;
    return true;
}

std::unique_ptr<WritePort> OpenRunPort(WriteRun& run, const PortSettings& settings, const DeviceMap& devices) {
    return OpenRunPort(run, PortFor(settings, devices), settings);
}

std::unique_ptr<WritePort> OpenRunPort(WriteRun& run, const NamedPort& port, const PortSettings& settings) {
    std::unique_ptr<WritePort> opened = OpenNamedPort(port, settings, &run.failure);
    run.parallelPort = port.parallel ? 1 : 0;
    run.portHandle = opened.get();
    if (opened) run.portName = port.label;
    return opened;
}

void WriteWorker(WriteRun& run) {
    // The dialog closes the port and the image, and may drop the run, while
    // the final message is being handled: keep copies, and touch nothing
    // after that message.
    std::atomic<int>& writeRunning = run.writeRunning;
    WritePort* const port = run.portHandle;
    Image* const image = run.imageFile;
    WriteObserver* const window = run.progressWindow;
    const bool parallel = run.parallelPort != 0;

    long frame = 0;  // frames built so far, the one in hand included
    // Says why, then ends the run with the error notice.
    auto fail = [&run, window, &frame](std::string why, WriteRun::Failure kind = WriteRun::Failure::Other) {
        run.failure = std::move(why);
        run.failureKind = kind;
        run.failedFrame = frame;
        window->HandleWriteMessage(UM_WRITE_ERROR, 0);
    };

    // Unsigned so that a total past 2^31 wraps like the counter's 32 bits do.
    uint32_t total = 0;
    for (;;) {
        FlashRecord record;
        if (!ReadNextRecord(*image, record)) {
            fail(DescribeReadFailure(*image));
            return;
        }
        if (record.kind == RecordKind::End) {
            window->HandleWriteMessage(UM_WRITE_END, 0);
            return;
        }
        const std::size_t length = RecordFrame(record, image->line);
        total += record.count;
        ++frame;
        if (writeRunning.load() == 0) {
            window->HandleWriteMessage(UM_WRITE_ABORTED, 0);
            return;
        }

        const uint8_t* outstanding = image->line;
        std::size_t left = length;
        while (left > 0) {
            if (writeRunning.load() == 0) {
                window->HandleWriteMessage(UM_WRITE_ABORTED, 0);
                return;
            }
            IoStatus status = IoStatus::Ok;
            std::size_t sent = port->Write(outstanding, left, status);
            if (sent > left) sent = left;
            if (status == IoStatus::Gone) {
                fail(PortOf(run) + ": the device went away while " + FrameOf(frame, *image) + " was sent",
                     WriteRun::Failure::Gone);
                return;
            }
            if (sent < left) std::this_thread::sleep_for(ShortWritePause);
            outstanding += sent;
            left -= sent;
        }
        run.framesOut.fetch_add(1);

        if (!parallel) {
            for (;;) {
                if (writeRunning.load() == 0) {
                    window->HandleWriteMessage(UM_WRITE_ABORTED, 0);
                    return;
                }
                uint8_t answer = 0;
                const IoStatus status = port->ReadByte(answer);
                if (status == IoStatus::Gone) {
                    fail(PortOf(run) + ": the device went away while waiting for the answer to " +
                             FrameOf(frame, *image),
                         WriteRun::Failure::Gone);
                    return;
                }
                if (status != IoStatus::Ok) continue;  // silence or a failed read: the port paused
                if (answer == ACK) break;
                if (answer == NAK) {
                    fail(PortOf(run) + ": the printer refused " + FrameOf(frame, *image) + " with NAK",
                         WriteRun::Failure::Refused);
                    return;
                }
            }
        }
        window->HandleWriteMessage(UM_WRITE_PROGRESS, static_cast<int32_t>(total));
    }
}

bool StartWriteWorker(WriteRun& run) {
    run.writeRunning.store(1);
    try {
        std::thread(WriteWorker, std::ref(run)).detach();
    } catch (const std::system_error& e) {
        run.writeRunning.store(0);
        run.failure = std::string("the write cannot start: no thread can be started: ") + e.code().message();
        return false;
    } catch (const std::bad_alloc&) {
        run.writeRunning.store(0);
        run.failure = "the write cannot start: no memory for a thread";
        return false;
    }
    return true;
}

}  // namespace quarveld
