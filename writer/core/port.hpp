#pragma once
// Port settings, and the opening of COM1, COM2 or LPT1 for a write run.
#include <cstddef>
#include <cstdint>
#include <map>
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

// Where COM1, COM2 and LPT1 are on this machine, and COM3 and up where a map
// names them (by number).
struct DeviceMap {
    std::string COM1 = "/dev/ttyS0";
    std::string COM2 = "/dev/ttyS1";
    std::string LPT1 = "/dev/lp0";
    std::map<int, std::string> more{};
};

// The highest COMn a name may give.
constexpr int LastComNumber = 256;

// A port as a user names it: COM1 to COM256 or LPT1, in any case, or a
// device path.
struct NamedPort {
    std::string written;  // as the user wrote it: messages name the port so
    std::string device;   // what is opened
    bool parallel = false;
    std::string label;    // "com2 (/dev/ttyS1)", "COM3", "/dev/ttyUSB0"
};

// Finds the device of `written`; a path is a parallel port when
// `parallelPath`. False when this machine has no device for the COMn named,
// and then `why` says so, naming the port as written.
bool NamePort(const std::string& written, bool parallelPath, const DeviceMap& devices, NamedPort& port,
              std::string& why);
// True when `written` is a port name rather than a path.
bool IsPortName(const std::string& written);

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
// opened, and then `why` (when given) names the port, the device and the
// system's reason. parallelPort becomes 1 for LPT1, 0 for COM1 and COM2.
std::unique_ptr<WritePort> OpenWritePort(const PortSettings& settings, const DeviceMap& devices,
                                         int& parallelPort, std::string* why = nullptr);
void ClosePort(std::unique_ptr<WritePort>& portHandle);
// The same for a port named by the user; the line as the settings say.
std::unique_ptr<WritePort> OpenNamedPort(const NamedPort& port, const PortSettings& settings,
                                         std::string* why = nullptr);

// Which device the settings choose: LPT1 for 212, COM2 for 211, else COM1.
// parallelPort becomes 1 for LPT1, 0 otherwise.
const std::string& DevicePathFor(const PortSettings& settings, const DeviceMap& devices,
                                 int& parallelPort);

// The port the settings choose, as a named one.
NamedPort PortFor(const PortSettings& settings, const DeviceMap& devices);

// The port as failure reasons name it: "COM1 (/dev/ttyS0)", or "COM1" alone
// when the device is called so.
std::string PortLabel(const PortSettings& settings, const DeviceMap& devices);

// The line a serial port is set to, in the platform's neutral terms.
enum class ParityMode { None, Odd, Even };
struct LineParameters {
    int baudRate = 9600;
    int dataBits = 8;
    ParityMode parity = ParityMode::None;
    int stopBits = 1;
    bool checkParity = false;   // generated on sending, never checked on receiving
    bool hardwareFlow = false;  // CTS/RTS, DSR/DTR
    bool softwareFlow = false;  // XON/XOFF
    bool dtrOn = true;
    bool rtsOn = true;
    bool operator==(const LineParameters&) const = default;
};
LineParameters LineParametersFor(const PortSettings& settings);

// Time-outs, the same for all three ports.
constexpr int ReadTimeoutMs = 200;
constexpr int WriteTimeoutConstantMs = 200;
constexpr int WriteTimeoutPerByteMs = 10;

}  // namespace quarveld
