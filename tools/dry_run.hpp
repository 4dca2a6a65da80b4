#pragma once
// The dry run: what a write run would send, worked out with the writer's own
// reader and frame code, without a port.
#include <cstdint>
#include <string>

namespace tools {

// Prints every frame of the image at `path`, one line of hex pairs per frame
// in send order. Returns the exit status: 0 at the termination record, 1 for
// a refused line or an image that ends too early, 2 for one that cannot be
// opened. Failures go to standard error after "Write Error !" on standard out.
int PrintFrames(const std::string& path);

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

}  // namespace tools
