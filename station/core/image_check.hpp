#pragma once
// The image a run writes, read through and checked once before any port is
// opened, so a damaged line is reported before anything is sent; then held
// in memory, so every port and every unit writes the bytes that were checked.
#include <cstdint>
#include <filesystem>
#include <string>

namespace station {

// What a run of the image will send.
struct ImageCount {
    long frames = 0;
    uint64_t dataBytes = 0;   // what the progress counter reaches
    uint64_t frameBytes = 0;  // bytes on the line towards the printer
};

// Reads the whole image once. False when it cannot be opened or a line is
// refused; then `why` names the image, the line and the reason, and
// `opened` tells the two apart.
bool CountImage(const std::string& path, ImageCount& count, std::string& why, bool& opened);

// The file as it was when it was read: a change of either means that the
// file on disk is no longer the image held.
struct FileStamp {
    bool present = false;
    uint64_t size = 0;
    std::filesystem::file_time_type modified{};
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::string& path);

struct HeldImage {
    std::string path;      // as given; messages name the image so
    std::string fullPath;  // for the record
    std::string bytes;     // the file's contents, as checked
    ImageCount count;
    std::string sha256;    // of `bytes`, lower-case hex
    FileStamp stamp;
};

// Larger than any image a printer's flash takes; such a file is refused
// rather than read into memory.
constexpr uint64_t HeldImageLimit = uint64_t{512} << 20;

// Reads the image into memory and checks it as CountImage does. False with
// `why` and `opened` as there.
bool HoldImage(const std::string& path, HeldImage& image, std::string& why, bool& opened);

// True when the file at the image's path has changed (or gone) since it was
// read. Cheap enough to ask every second.
bool ChangedOnDisk(const HeldImage& image);

}  // namespace station
