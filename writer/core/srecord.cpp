#include "srecord.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "file_name.hpp"

namespace quarveld {

namespace {

// Where a Data record's bytes go: the offset they have in the frame, so the
// frame can be built over the line without moving them. Each byte is written
// behind the pair it came from, so the parse never overwrites what it has
// still to read.
constexpr std::size_t DataOffset = 6;

bool IsScanSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Fail(Image& image, std::string why) {
    image.error = std::move(why);
    return false;
}

// The pair at `pos`. A pair that starts on the line's last character ends in
// the terminating zero, and scans as its one digit, as on any other line end;
// but where a line longer than the buffer was cut, its next character is
// unknown, and such a pair is refused. Nothing behind the zero is read.
bool PairAt(const Image& image, std::size_t pos, uint8_t& byte) {
    if (pos >= image.length || (pos + 1 == image.length && image.midLine)) return false;
    return ParseHexByte(static_cast<char>(image.line[pos]), static_cast<char>(image.line[pos + 1]),
                        byte);
}

// Explains why the pair at `pos` was refused.
std::string PairError(const Image& image, std::size_t pos, const std::string& what) {
    if (pos + 1 >= image.length || image.line[pos] == '\r' || image.line[pos] == '\n')
        return "the line ends before " + what;
    std::string why = what + " cannot be converted: \"";
    for (std::size_t k = pos; k < pos + 2; ++k) {
        const unsigned char c = image.line[k];
        if (c >= 0x20 && c < 0x7f) {
            why += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            why += escaped;
        }
    }
    return why + "\"";
}

int NextChar(Image& image) {
    if (image.bytes == nullptr) return std::getc(image.file);
    if (image.offset >= image.bytes->size()) return EOF;
    return static_cast<unsigned char>((*image.bytes)[image.offset++]);
}

bool AtEnd(Image& image) {
    if (image.bytes != nullptr) return image.offset >= image.bytes->size();
    const int next = std::getc(image.file);
    if (next == EOF) return true;
    std::ungetc(next, image.file);
    return false;
}

// One read: at most LineBufferSize - 1 characters, stopping after a line feed.
// A final line without a line feed counts like any other line.
bool ReadLine(Image& image) {
    const bool continuation = image.midLine;
    std::size_t length = 0;
    bool lineFeed = false;
    while (length < LineBufferSize - 1) {
        const int c = NextChar(image);
        if (c == EOF) break;
        image.line[length++] = static_cast<uint8_t>(c);
        if (c == '\n') {
            lineFeed = true;
            break;
        }
    }
    image.line[length] = 0;
    image.length = length;
    if (length > 0 && !continuation) ++image.lineNumber;
    // A full buffer without a line feed is cut from the rest of its line,
    // unless the file ends right there.
    image.midLine = false;
    if (!lineFeed && length == LineBufferSize - 1) image.midLine = !AtEnd(image);

    if (image.file != nullptr && std::ferror(image.file))
        return Fail(image, std::string("the image cannot be read: ") + std::strerror(errno));
    if (length == 0)
        return Fail(image, image.lineNumber == 0
                               ? "the image is empty"
                               : "the image ends after this line without a termination record "
                                 "(S7, S8 or S9)");
    // The rest of a line longer than the buffer is never taken as a record.
    if (continuation) return Fail(image, "the line is longer than 255 characters");
    return true;
}

}  // namespace

bool ParseHexByte(char first, char second, uint8_t& byte) {
    // The pair as a C text: a zero character ends it.
    const char text[2] = {first, second};
    const std::size_t length = first == '\0' ? 0 : second == '\0' ? 1 : 2;
    std::size_t i = 0;
    while (i < length && IsScanSpace(text[i])) ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned value = 0;
    std::size_t digits = 0;
    for (; i < length; ++i, ++digits) {
        const int digit = HexDigit(text[i]);
        if (digit < 0) break;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    if (digits == 0) return false;
    if (negative) value = 0u - value;
    byte = static_cast<uint8_t>(value & 0xFF);
    return true;
}

namespace {

void Rewind(Image& image, const std::string& path) {
    CloseImage(image);
    image.lineNumber = 0;
    image.length = 0;
    image.midLine = false;
    image.ended = false;
    image.error.clear();
    image.path = path;
}

}  // namespace

void OpenHeldImage(const std::string& path, const std::string& bytes, Image& image) {
    Rewind(image, path);
    image.bytes = &bytes;
    image.offset = 0;
}

bool OpenImage(const std::string& path, Image& image) {
    Rewind(image, path);
    // A folder may open for reading but holds no lines; refuse it at once.
    std::error_code ignored;
    if (std::filesystem::is_directory(FilePath(path), ignored)) return Fail(image, std::strerror(EISDIR));
    image.file = OpenFile(path, "rb");
    if (!image.file) return Fail(image, std::strerror(errno));
    return true;
}

bool ReadNextRecord(Image& image, FlashRecord& record) {
    image.error.clear();
    record = FlashRecord{};
    if (image.ended) {
        record.kind = RecordKind::End;
        return true;
    }
    if (!image.file && !image.bytes) return Fail(image, "no image is open");
    if (!ReadLine(image)) return false;

    if (image.line[0] != 'S') return Fail(image, "the line does not begin with S");

    uint8_t byteCount = 0;
    if (!PairAt(image, 2, byteCount)) return Fail(image, PairError(image, 2, "the byte count"));

    std::size_t addressLength = 0;
    switch (image.line[1]) {
    case '1': addressLength = 2; break;
    case '2': addressLength = 3; break;
    case '3': addressLength = 4; break;
    case '7':
    case '8':
    case '9':
        // The start address it carries is of no use to the printer.
        image.ended = true;
        record.kind = RecordKind::End;
        return true;
    default:
        record.kind = RecordKind::Empty;
        record.data = image.line + DataOffset;
        return true;
    }

    const uint8_t count = static_cast<uint8_t>(byteCount - addressLength - 1);
    uint32_t address = 0;
    for (std::size_t k = 0; k < addressLength; ++k) {
        const std::size_t pos = 4 + 2 * k;
        uint8_t byte = 0;
        if (!PairAt(image, pos, byte))
            return Fail(image, PairError(image, pos, "address byte " + std::to_string(k + 1)));
        address = address << 8 | byte;
    }

    const std::size_t dataStart = 4 + 2 * addressLength;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t pos = dataStart + 2 * k;
        uint8_t byte = 0;
        if (!PairAt(image, pos, byte))
            return Fail(image, PairError(image, pos,
                                         "data byte " + std::to_string(k + 1) + " of " +
                                             std::to_string(count)));
        image.line[DataOffset + k] = byte;
    }

    record.kind = RecordKind::Data;
    record.count = count;
    record.address = address;
    record.data = image.line + DataOffset;
    return true;
}

std::string DescribeReadFailure(const Image& image) {
    if (image.lineNumber == 0) return image.path + ": " + image.error;
    return image.path + ": line " + std::to_string(image.lineNumber) + ": " + image.error;
}

void CloseImage(Image& image) {
    if (image.file) std::fclose(image.file);
    image.file = nullptr;
    image.bytes = nullptr;
}

}  // namespace quarveld
