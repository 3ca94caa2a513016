// Stands in for the display settings page in end-to-end tests: opens a small
// window, prints its handle in decimal (the form the preview switch takes)
// and runs until its window is closed, then exits 0. Unaware of DPI, as a
// program without a declaration is, unless "aware" follows the size: then
// system-DPI-aware, as the display settings page is.
// Usage: preview_host [width height [aware]]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int main(int argc, char** argv)
{
    const int width = argc > 2 ? std::atoi(argv[1]) : 200;
    const int height = argc > 2 ? std::atoi(argv[2]) : 150;
    if (argc > 3 && std::strcmp(argv[3], "aware") == 0) {
        // Per thread, so that the window takes it under every loader (Wine's
        // 32-bit one makes a merely process-aware thread's windows unaware).
        using SetProcessFn = BOOL(WINAPI*)();
        using SetContextFn = HANDLE(WINAPI*)(HANDLE);
        HMODULE user32 = GetModuleHandleA("user32.dll");
        auto setProcess =
            reinterpret_cast<SetProcessFn>(reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDPIAware")));
        auto setContext = reinterpret_cast<SetContextFn>(
            reinterpret_cast<void*>(GetProcAddress(user32, "SetThreadDpiAwarenessContext")));
        if (setProcess)
            setProcess();
        if (setContext)
            setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-2)));  // system-aware
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = "PlimzorPreviewHost";
    if (!RegisterClassA(&windowClass))
        return 1;
    // A popup without frame, so that its client area is exactly the size
    // asked for and sits at a known place on the screen.
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "PLIMZOR preview host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                                  100, 100, width, height, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 1;
    std::printf("%lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
    std::fflush(stdout);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
