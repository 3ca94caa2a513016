// Keeps the Wine virtual desktop alive between test programs: Wine closes the
// desktop (and forgets its painted wallpaper) when the last program with a
// window exits. Owns one hidden window and waits until it is closed.
#include <windows.h>

int main()
{
    HWND window = CreateWindowExA(0, "STATIC", "PLIMZOR desktop keeper", WS_POPUP, 0, 0, 1, 1, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window)
        return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
