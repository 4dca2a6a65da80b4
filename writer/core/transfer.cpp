// The write run's worker: one record, one frame, one answer at a time.
#include <chrono>
#include <functional>
#include <new>
#include <system_error>
#include <thread>

#include "transfer.hpp"

namespace quarveld {

namespace {
constexpr std::chrono::milliseconds ShortWritePause{100};
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

    // Unsigned so that a total past 2^31 wraps like the counter's 32 bits do.
    uint32_t total = 0;
    for (;;) {
        FlashRecord record;
        if (!ReadNextRecord(*image, record)) {
            window->HandleWriteMessage(UM_WRITE_ERROR, 0);
            return;
        }
        if (record.kind == RecordKind::End) {
            window->HandleWriteMessage(UM_WRITE_END, 0);
            return;
        }
        const std::size_t length = RecordFrame(record, image->line);
        total += record.count;
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
                window->HandleWriteMessage(UM_WRITE_ERROR, 0);
                return;
            }
            if (sent < left) std::this_thread::sleep_for(ShortWritePause);
            outstanding += sent;
            left -= sent;
        }

        if (!parallel) {
            for (;;) {
                if (writeRunning.load() == 0) {
                    window->HandleWriteMessage(UM_WRITE_ABORTED, 0);
                    return;
                }
                uint8_t answer = 0;
                const IoStatus status = port->ReadByte(answer);
                if (status == IoStatus::Gone) {
                    window->HandleWriteMessage(UM_WRITE_ERROR, 0);
                    return;
                }
                if (status != IoStatus::Ok) continue;  // silence or a failed read: the port paused
                if (answer == ACK) break;
                if (answer == NAK) {
                    window->HandleWriteMessage(UM_WRITE_ERROR, 0);
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
    } catch (const std::system_error&) {
        run.writeRunning.store(0);
        return false;
    } catch (const std::bad_alloc&) {
        run.writeRunning.store(0);
        return false;
    }
    return true;
}

}  // namespace quarveld
