#include "transfer.hpp"

namespace quarveld {

uint16_t Crc16Arc(const uint8_t*, std::size_t) { return 0; }
std::size_t RecordFrame(const FlashRecord&, uint8_t*) { return 0; }

}  // namespace quarveld
