#include "platform/win32/Picture.h"

#include <wincodec.h>

#include <cstdint>
#include <utility>

#include "platform/Failure.h"
#include "platform/win32/Errors.h"
#include "platform/win32/Text.h"

namespace zb::win32 {
namespace {

// Releases a COM interface when it goes out of scope.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p_)
            p_->Release();
    }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** put() { return &p_; }

private:
    T* p_ = nullptr;
};

bool IsWin32Error(HRESULT hr, DWORD error) {
    return hr == HRESULT_FROM_WIN32(error);
}

// A file the decoder could not open: the same numbers as any other file
// access; everything else means the file is no picture it knows.
[[noreturn]] void FailOpen(HRESULT hr, const std::string& path) {
    if (IsWin32Error(hr, ERROR_FILE_NOT_FOUND) || IsWin32Error(hr, ERROR_PATH_NOT_FOUND) ||
        IsWin32Error(hr, ERROR_INVALID_NAME))
        throw SystemFailure(kErrFileNotFound, path, static_cast<DWORD>(hr));
    if (hr == E_ACCESSDENIED || IsWin32Error(hr, ERROR_SHARING_VIOLATION))
        throw SystemFailure(kErrPermissionDenied, path, static_cast<DWORD>(hr));
    throw SystemFailure(kErrInvalidPicture, path, static_cast<DWORD>(hr));
}

// Pictures beyond this many pixels are refused before any memory is taken.
constexpr std::uint64_t kMaxPixels = 64u * 1024u * 1024u;

}  // namespace

Picture::Picture(Picture&& other) noexcept {
    *this = std::move(other);
}

Picture& Picture::operator=(Picture&& other) noexcept {
    if (this != &other) {
        if (bitmap_)
            ::DeleteObject(bitmap_);
        bitmap_ = std::exchange(other.bitmap_, nullptr);
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        transparent_ = std::exchange(other.transparent_, false);
    }
    return *this;
}

Picture::~Picture() {
    if (bitmap_)
        ::DeleteObject(bitmap_);
}

Picture Picture::Load(const std::string& path) {
    const std::wstring widePath = Utf8ToWide(path);
    // A name the decoder would open as something else (a directory, "C:\x\"
    // for an empty picture name) is no picture file.
    const DWORD attributes = ::GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        throw SystemFailure(kErrFileNotFound, path, ::GetLastError());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        throw SystemFailure(kErrFileNotFound, path, ERROR_FILE_NOT_FOUND);

    ComRef<IWICImagingFactory> factory;
    HRESULT hr =
        ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IWICImagingFactory, reinterpret_cast<void**>(factory.put()));
    if (FAILED(hr))
        throw SystemFailure(kErrInvalidPicture, path, static_cast<DWORD>(hr));

    ComRef<IWICBitmapDecoder> decoder;
    hr = factory->CreateDecoderFromFilename(widePath.c_str(), nullptr, GENERIC_READ,
                                            WICDecodeMetadataCacheOnDemand, decoder.put());
    if (FAILED(hr))
        FailOpen(hr, path);

    ComRef<IWICBitmapFrameDecode> frame;
    hr = decoder->GetFrame(0, frame.put());
    ComRef<IWICBitmapSource> pixels;
    if (SUCCEEDED(hr))
        hr = ::WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, frame.get(), pixels.put());
    UINT width = 0;
    UINT height = 0;
    if (SUCCEEDED(hr))
        hr = pixels->GetSize(&width, &height);
    if (FAILED(hr))
        throw SystemFailure(kErrInvalidPicture, path, static_cast<DWORD>(hr));
    if (width == 0 || height == 0)
        throw SystemFailure(kErrInvalidPicture, path, static_cast<DWORD>(WINCODEC_ERR_BADIMAGE));
    if (std::uint64_t{width} * height > kMaxPixels)
        throw MakeFailure(kErrOutOfMemory, path);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down, as WIC copies rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Picture picture;
    picture.bitmap_ = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!picture.bitmap_ || !bits)
        throw MakeFailure(kErrOutOfMemory, path);
    picture.width_ = static_cast<int>(width);
    picture.height_ = static_cast<int>(height);

    const UINT stride = width * 4;
    const UINT size = stride * height;
    hr = pixels->CopyPixels(nullptr, stride, size, static_cast<BYTE*>(bits));
    if (FAILED(hr))
        throw SystemFailure(kErrInvalidPicture, path, static_cast<DWORD>(hr));
    ::GdiFlush();

    const BYTE* bytes = static_cast<const BYTE*>(bits);
    for (UINT i = 3; i < size; i += 4) {
        if (bytes[i] != 0xFF) {
            picture.transparent_ = true;
            break;
        }
    }
    return picture;
}

void Picture::Draw(HDC dc, const RECT& target, HBRUSH background) const {
    if (!bitmap_) {
        ::FillRect(dc, &target, background);
        return;
    }
    HDC source = ::CreateCompatibleDC(dc);
    HGDIOBJ previous = ::SelectObject(source, bitmap_);
    const int width = target.right - target.left;
    const int height = target.bottom - target.top;
    if (transparent_) {
        ::FillRect(dc, &target, background);
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::GdiAlphaBlend(dc, target.left, target.top, width, height, source, 0, 0, width_, height_,
                        blend);
    } else {
        // HALFTONE averages the pixels a shrinking stretch leaves out; it
        // needs the brush origin set again afterwards.
        const int previousMode = ::SetStretchBltMode(dc, HALFTONE);
        POINT previousOrigin;
        ::SetBrushOrgEx(dc, 0, 0, &previousOrigin);
        ::StretchBlt(dc, target.left, target.top, width, height, source, 0, 0, width_, height_,
                     SRCCOPY);
        ::SetStretchBltMode(dc, previousMode);
        ::SetBrushOrgEx(dc, previousOrigin.x, previousOrigin.y, nullptr);
    }
    ::SelectObject(source, previous);
    ::DeleteDC(source);
}

}  // namespace zb::win32
