// Stands in for the desktop where there is none to capture: outside Wine's
// virtual desktop nothing paints the screen, so a test that runs the saver
// over several monitors puts this window behind it. It covers the virtual
// screen, paints the half left of the virtual screen's middle in one colour
// and the rest in another, prints its handle in decimal once painted, and
// runs until it is closed.
// Usage: backdrop RRGGBB RRGGBB
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

COLORREF gLeft = 0;
COLORREF gRight = 0;

COLORREF ParseColour(const char* hex)
{
    const unsigned long rgb = std::strtoul(hex, nullptr, 16);
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

void FillWith(HDC dc, RECT box, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

LRESULT CALLBACK BackdropProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        const int middle = client.right / 2;
        FillWith(dc, RECT{0, 0, middle, client.bottom}, gLeft);
        FillWith(dc, RECT{middle, 0, client.right, client.bottom}, gRight);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    gLeft = ParseColour(argv[1]);
    gRight = ParseColour(argv[2]);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = BackdropProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "PlimzorBackdrop";
    if (!RegisterClassA(&windowClass))
        return 1;
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "PLIMZOR backdrop", WS_POPUP | WS_VISIBLE,
                                  GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                                  GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN), nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 1;
    UpdateWindow(window);
    std::printf("%lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
    std::fflush(stdout);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
