// The picture box's picture: a file decoded by the Windows Imaging Component
// into a 32-bit bitmap that the window stretches to the box.
#pragma once

#include <string>

#include "platform/win32/Win32.h"

namespace zb::win32 {

class Picture {
public:
    Picture() = default;
    Picture(Picture&& other) noexcept;
    Picture& operator=(Picture&& other) noexcept;
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    ~Picture();

    // Decodes the first frame of `path` (UTF-8). Throws Failure: File not
    // found when there is no such file, Invalid picture when it cannot be
    // decoded. COM must be set up on this thread.
    static Picture Load(const std::string& path);

    bool Empty() const { return bitmap_ == nullptr; }
    // Stretches the picture over `target` on `dc`; a picture with transparent
    // parts is laid over `background` first.
    void Draw(HDC dc, const RECT& target, HBRUSH background) const;

private:
    HBITMAP bitmap_ = nullptr;  // 32 bits per pixel, premultiplied alpha, top-down
    int width_ = 0;
    int height_ = 0;
    bool transparent_ = false;
};

}  // namespace zb::win32
