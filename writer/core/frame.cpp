#include <cstring>

#include "transfer.hpp"

namespace quarveld {

uint16_t Crc16Arc(const uint8_t* bytes, std::size_t length) {
    uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i) {
        unsigned byte = bytes[i];
        for (int bit = 0; bit < 8; ++bit, byte >>= 1) {
            if ((crc ^ byte) & 1)
                crc = static_cast<uint16_t>((crc >> 1) ^ 0xA001);
            else
                crc = static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

std::size_t RecordFrame(const FlashRecord& record, uint8_t* frame) {
    if (record.kind == RecordKind::End) return 0;
    const bool data = record.kind == RecordKind::Data;
    const std::size_t n = data ? record.count : 0;
    const uint32_t address = data ? record.address : 0;
    // The data first: they may lie in the same buffer, just behind their place.
    if (n > 0) std::memmove(frame + 6, record.data, n);
    frame[0] = STX;
    frame[1] = static_cast<uint8_t>(n);
    frame[2] = static_cast<uint8_t>(address >> 24);
    frame[3] = static_cast<uint8_t>(address >> 16);
    frame[4] = static_cast<uint8_t>(address >> 8);
    frame[5] = static_cast<uint8_t>(address);
    frame[6 + n] = ETX;
    const uint16_t crc = Crc16Arc(frame + 1, 6 + n);
    frame[7 + n] = static_cast<uint8_t>(crc >> 8);
    frame[8 + n] = static_cast<uint8_t>(crc);
    return 9 + n;
}

}  // namespace quarveld
