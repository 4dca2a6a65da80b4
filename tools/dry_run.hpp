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

}  // namespace tools
