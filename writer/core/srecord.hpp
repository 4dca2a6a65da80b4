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
    // Or the image held in memory: every run of it reads the same bytes,
    // whatever happens to the file meanwhile. Not owned.
    const std::string* bytes = nullptr;
    std::size_t offset = 0;  // next character of `bytes`
    std::string path;      // as given to OpenImage
    uint8_t line[LineBufferSize] = {};
    long lineNumber = 0;   // of the line last read, from 1
    std::string error;     // why the last ReadNextRecord failed
    std::size_t length = 0;  // characters the last read put into `line`
    bool midLine = false;    // the last read stopped inside a line longer than the buffer
    bool ended = false;      // a termination record was read: later reads yield End, read nothing
};

bool OpenImage(const std::string& path, Image& image);
// Reads `bytes` as the image `path` holds; they must outlive the image.
void OpenHeldImage(const std::string& path, const std::string& bytes, Image& image);
bool ReadNextRecord(Image& image, FlashRecord& record);
void CloseImage(Image& image);
// Why the last ReadNextRecord failed, with the image and the line:
// "IMAGE.MOT: line 12: the line ends before data byte 3 of 16".
std::string DescribeReadFailure(const Image& image);
// Scans the pair as "%02x" would: leading white space skipped, an optional
// sign, at most two characters; the byte is the low 8 bits of the value.
bool ParseHexByte(char first, char second, uint8_t& byte);

}  // namespace quarveld
