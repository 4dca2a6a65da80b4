#pragma once
// Where a notice of a write run goes: centred below the window it belongs to
// (the Write dialog, whose counter must stay readable), or above it when the
// screen has no room below; always on the screen.
#include <algorithm>

namespace quarveld {

// A rectangle in screen pixels.
struct ScreenBox {
    int left = 0, top = 0, width = 0, height = 0;
};

// The place of a notice of `width` x `height` for the window `owner`.
inline ScreenBox NoticePlace(const ScreenBox& owner, int width, int height, const ScreenBox& screen) {
    constexpr int gap = 4;
    ScreenBox notice{owner.left + (owner.width - width) / 2, owner.top + owner.height + gap, width, height};
    if (notice.top + height > screen.top + screen.height) notice.top = owner.top - gap - height;
    notice.left = std::max(screen.left, std::min(notice.left, screen.left + screen.width - width));
    notice.top = std::max(screen.top, std::min(notice.top, screen.top + screen.height - height));
    return notice;
}

}  // namespace quarveld
