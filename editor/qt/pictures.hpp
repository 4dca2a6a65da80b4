#pragma once
// The program's pictures as pixels compiled into the program, written at build
// time by picture_pixels: showing them needs no image decoder or plugin.
#include <cstdint>

namespace kelvane::pictures {

struct Picture {
    int width;
    int height;
    const std::uint32_t* argb;  // 0xAARRGGBB, row by row
};

extern const Picture Image1;  // the simple window's picture
extern const Picture Icon32;
extern const Picture Icon64;

}  // namespace kelvane::pictures
