// The floor for the Windows start-up: a plain Win32 window with the default
// notification's content (thebat.jpg beside the program, decoded by WIC and
// stretched to its box, and the default message in a STATIC control), a
// tool window at the default size and place. It does nothing else.
#include <windows.h>

#include <wincodec.h>

#include <string>

namespace {

HBITMAP picture;
HBRUSH background;

// thebat.jpg beside the program as a 32-bit DIB section, or null.
HBITMAP LoadPicture() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring file(path, n);
    file = file.substr(0, file.find_last_of(L'\\') + 1) + L"thebat.jpg";

    IWICImagingFactory* factory = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    HBITMAP bitmap = nullptr;
    UINT width = 0, height = 0;
    void* bits = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&factory))) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(file.c_str(), nullptr, GENERIC_READ,
                                                     WICDecodeMetadataCacheOnDemand, &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) &&
        SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone,
                                        nullptr, 0, WICBitmapPaletteTypeCustom)) &&
        SUCCEEDED(converter->GetSize(&width, &height))) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = static_cast<LONG>(width);
        info.bmiHeader.biHeight = -static_cast<LONG>(height);
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap)
            converter->CopyPixels(nullptr, width * 4, width * height * 4, static_cast<BYTE*>(bits));
    }
    for (IUnknown* p : {static_cast<IUnknown*>(converter), static_cast<IUnknown*>(frame),
                        static_cast<IUnknown*>(decoder), static_cast<IUnknown*>(factory)})
        if (p)
            p->Release();
    return bitmap;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            BITMAP info;
            if (picture && GetObjectW(picture, sizeof info, &info)) {
                HDC source = CreateCompatibleDC(dc);
                HGDIOBJ old = SelectObject(source, picture);
                SetStretchBltMode(dc, HALFTONE);
                StretchBlt(dc, 0, 0, 90, 90, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
                SelectObject(source, old);
                DeleteDC(source);
            }
            EndPaint(window, &paint);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0xFE, 0xFE, 0xBA));
            return reinterpret_cast<LRESULT>(background);
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    picture = LoadPicture();

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    background = CreateSolidBrush(RGB(0xFE, 0xFE, 0xBA));
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = L"BareWindow";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"Zettelblick 2",
                                  WS_CAPTION | WS_SYSMENU, 233, 233, 233, 133, nullptr, nullptr,
                                  instance, nullptr);
    HWND text =
        CreateWindowExW(WS_EX_CLIENTEDGE, L"STATIC", L"You have got mail!", WS_CHILD | WS_VISIBLE,
                        92, 0, 133, 108, window, nullptr, instance, nullptr);
    LOGFONTW font = {};
    font.lfHeight = -MulDiv(8, 96, 72);
    font.lfWeight = FW_BOLD;
    lstrcpyW(font.lfFaceName, L"Arial");
    SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(CreateFontIndirectW(&font)), FALSE);
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
