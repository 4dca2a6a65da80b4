#pragma once
// The image a run writes, read through and checked once before any port is
// opened, so a damaged line is reported before anything is sent.
#include <cstdint>
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

}  // namespace station
