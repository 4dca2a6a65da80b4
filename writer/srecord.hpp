#pragma once
// The S-record reader: one line of the image at a time, in one 256-character
// buffer, positional and trusting (checksums are never read).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quarveld {

constexpr std::size_t LineBufferSize = 256;

enum class RecordKind { Data, Empty, End };

struct FlashRecord {
    RecordKind kind = RecordKind::Empty;
    uint8_t count = 0;      // data bytes N
    uint32_t address = 0;
    uint8_t* data = nullptr;  // N bytes, inside the image's line buffer
};

// The open image and its one line buffer; frames are built in place over it.
struct Image {
    std::FILE* file = nullptr;
    uint8_t line[LineBufferSize] = {};
    long lineNumber = 0;   // of the line last read, from 1
    std::string error;     // why the last ReadNextRecord failed
};

bool OpenImage(const std::string& path, Image& image);
bool ReadNextRecord(Image& image, FlashRecord& record);
void CloseImage(Image& image);
bool ParseHexByte(char first, char second, uint8_t& byte);

}  // namespace quarveld
