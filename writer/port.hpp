#pragma once
// Port settings, and the opening of COM1, COM2 or LPT1 for a write run.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quarveld {

// Radio-button ids; they are what TORWIN.INI stores.
enum PortId : int32_t {
    ID_19200 = 201, ID_9600 = 202, ID_4800 = 203, ID_2400 = 204,
    ID_8BIT = 205, ID_7BIT = 206,
    ID_NONE = 207, ID_ODD = 208, ID_EVEN = 209,
    ID_COM1 = 210, ID_COM2 = 211, ID_LPT1 = 212,
};

struct PortSettings {
    int32_t BaudRate = ID_9600;
    int32_t BitLength = ID_8BIT;
    int32_t Parity = ID_NONE;
    int32_t Port = ID_COM1;
    bool operator==(const PortSettings&) const = default;
};

// Where COM1, COM2 and LPT1 are on this machine.
struct DeviceMap {
    std::string COM1 = "/dev/ttyS0";
    std::string COM2 = "/dev/ttyS1";
    std::string LPT1 = "/dev/lp0";
};

enum class IoStatus {
    Ok,        // bytes moved
    TimedOut,  // nothing within the time-out
    Failed,    // the call failed; the caller may try again after the time-out
    Gone,      // the device went away (hang-up, removed); trying again is useless
};

// An open, configured port.
class WritePort {
public:
    virtual ~WritePort() = default;
    // Returns within 200 + 10 x length ms with the number of bytes that went out.
    virtual std::size_t Write(const uint8_t* bytes, std::size_t length, IoStatus& status) = 0;
    // Returns at the first byte or after 200 ms.
    virtual IoStatus ReadByte(uint8_t& byte) = 0;
};

// Opens the port that the settings choose; nullptr when the device cannot be
// opened. parallelPort becomes 1 for LPT1, 0 for COM1 and COM2.
std::unique_ptr<WritePort> OpenWritePort(const PortSettings& settings, const DeviceMap& devices,
                                         int& parallelPort);
void ClosePort(std::unique_ptr<WritePort>& portHandle);

}  // namespace quarveld
