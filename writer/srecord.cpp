#include "srecord.hpp"

namespace quarveld {

bool OpenImage(const std::string&, Image&) { return false; }
bool ReadNextRecord(Image&, FlashRecord&) { return false; }
void CloseImage(Image&) {}
bool ParseHexByte(char, char, uint8_t&) { return false; }

}  // namespace quarveld
