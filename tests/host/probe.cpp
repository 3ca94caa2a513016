// Looks at windows from inside Wine for the end-to-end tests, which cannot
// see Win32 windows from the Linux side. Texts are taken and printed as UTF-8.
//   probe find CLASS TITLE [TIMEOUT_MS]   wait for a top-level window; print
//       "HWND LEFT TOP WIDTH HEIGHT STYLE EXSTYLE FOREGROUND" ('-' = any)
//   probe gone CLASS TITLE TIMEOUT_MS     wait until no such window exists
//   probe child PARENT CLASS              first child of that class, with its
//       rectangle in the parent's client coordinates and its title
//   probe close HWND                      post WM_CLOSE
//   probe answers HWND [TIMEOUT_MS]       1 when the window's thread handles a
//       message sent to it (it is past its creation and in a message loop),
//       else 0 (exit code 1)
//   probe send HWND MESSAGE               send MESSAGE (a number, or a name
//       to register) with wParam 0, lParam 0 and print the result
//   probe texts HWND                      title of HWND, then "ID<TAB>CLASS<TAB>TEXT"
//       per child control in order
//   probe foreground                      handle of the foreground window
//   probe clientsize HWND                 client width and height
//   probe saverrunning                    the system's screen-saver-running
//       flag as this process reads it: 1 or 0
//   probe cursor                          the cursor of the foreground
//       thread: its handle in decimal (0 = none) and 1 when shown, else 0
//   probe loads DLL                       1 when LoadLibraryA finds DLL
//       under this process's DLL overrides, else 0
//   probe awareness HWND DLL              what the window's own thread
//       sees, told from inside its process by the hook in DLL
//       (dpi_report.dll): "AWARENESS DPI WIDTH HEIGHT WINDOW_AWARENESS",
//       the thread's DPI awareness (0 unaware, 1 system, 2 per monitor, -1
//       none known), the screen's DPI, the window's client size, and the
//       window's own awareness, which its procedure runs with; exit code 1
//       when no answer came
//   probe metrics                         the virtual screen (left, top,
//       width, height), the number of monitors, and the primary screen's
//       width and height
//   probe pointer                         where the system has the pointer
//   probe lastinput                       the tick count of the last input
//       the system took (GetLastInputInfo)
//   probe ticks [SINCE MS]                the tick count (GetTickCount);
//       with SINCE and MS, first waits until at least MS milliseconds of it
//       have passed since the tick count SINCE: the clock a saver times its
//       own intervals with
// Exit code 0 on success, 1 when the window was not found in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fixtures/dpi_report.h"

#if defined(__i386__)
// Never called: the fault the pe check must refuse in a 32-bit file
// (tests/CMakeLists.txt), an SSE2 function's aligned read of a stack it did
// not align.
extern "C" __attribute__((used, target("sse2"))) void PlantedStackReadSse2()
{
    asm volatile("pand 4(%%esp), %%xmm0" ::: "xmm0");
}
#endif

namespace {

std::wstring Wide(const char* text)
{
    if (std::strcmp(text, "-") == 0)
        return L"";
    wchar_t buffer[512] = {};
    MultiByteToWideChar(CP_UTF8, 0, text, -1, buffer, 511);
    return buffer;
}

std::string Utf8(const wchar_t* text)
{
    char buffer[2048] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer - 1, nullptr, nullptr);
    return buffer;
}

HWND Handle(const char* text)
{
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoul(text, nullptr, 10)));
}

unsigned long Number(HWND window)
{
    return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window));
}

HWND Find(const char* className, const char* title)
{
    const std::wstring c = Wide(className);
    const std::wstring t = Wide(title);
    return FindWindowW(c.empty() ? nullptr : c.c_str(), t.empty() ? nullptr : t.c_str());
}

int FindCommand(const char* className, const char* title, DWORD timeout)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = Find(className, title)) {
            RECT r = {};
            GetWindowRect(window, &r);
            std::printf("%lu %ld %ld %ld %ld 0x%08lx 0x%08lx %d\n", Number(window), r.left, r.top,
                        r.right - r.left, r.bottom - r.top, static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
                        static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)),
                        GetForegroundWindow() == window ? 1 : 0);
            return 0;
        }
        if (GetTickCount() - start >= timeout)
            return 1;
        Sleep(50);
    }
}

int GoneCommand(const char* className, const char* title, DWORD timeout)
{
    const DWORD start = GetTickCount();
    while (Find(className, title)) {
        if (GetTickCount() - start >= timeout)
            return 1;
        Sleep(50);
    }
    return 0;
}

int ChildCommand(HWND parent, const char* className)
{
    const std::wstring c = Wide(className);
    HWND child = FindWindowExW(parent, nullptr, c.c_str(), nullptr);
    if (!child)
        return 1;
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    wchar_t title[256] = {};
    GetWindowTextW(child, title, 255);
    std::printf("%lu %ld %ld %ld %ld %s\n", Number(child), r.left, r.top, r.right - r.left, r.bottom - r.top,
                Utf8(title).c_str());
    return 0;
}

int TextsCommand(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 511);
    std::printf("%s\n", Utf8(text).c_str());
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = {};
        GetClassNameW(child, className, 63);
        GetWindowTextW(child, text, 511);
        std::printf("%d\t%s\t%s\n", GetDlgCtrlID(child), Utf8(className).c_str(), Utf8(text).c_str());
    }
    return 0;
}

// Another process's DPI awareness cannot be asked from outside (Wine says
// "unaware" for every other process), so the window's thread is asked from
// inside: the hook in dpi_report.dll runs there on the null message posted
// below and writes its answer into a record this probe shares.
int AwarenessCommand(HWND window, const char* hookLibrary)
{
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (!thread)
        return 1;
    const unsigned long number = Number(window);
    char name[64];
    std::snprintf(name, sizeof name, "%s%lu", DpiReportName, number);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DpiReport), name);
    std::snprintf(name, sizeof name, "%s%lu", DpiReportedName, number);
    HANDLE reported = CreateEventA(nullptr, TRUE, FALSE, name);
    HMODULE library = LoadLibraryA(hookLibrary);
    auto hookProc = library ? reinterpret_cast<HOOKPROC>(
                                  reinterpret_cast<void*>(GetProcAddress(library, "ReportDpiAwareness")))
                            : nullptr;
    HHOOK hook = hookProc ? SetWindowsHookExA(WH_GETMESSAGE, hookProc, library, thread) : nullptr;
    auto* report = mapping ? static_cast<DpiReport*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(DpiReport)))
                           : nullptr;
    int result = 1;
    if (hook && report && reported && PostMessageA(window, WM_NULL, 0, 0) &&
        WaitForSingleObject(reported, 5000) == WAIT_OBJECT_0) {
        std::printf("%ld %ld %ld %ld %ld\n", report->awareness, report->dpi, report->width, report->height,
                    report->windowAwareness);
        result = 0;
    }
    if (hook)
        UnhookWindowsHookEx(hook);
    if (report)
        UnmapViewOfFile(report);
    if (library)
        FreeLibrary(library);
    if (reported)
        CloseHandle(reported);
    if (mapping)
        CloseHandle(mapping);
    return result;
}

int MetricsCommand()
{
    std::printf("%d %d %d %d %d %d %d\n", GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN),
                GetSystemMetrics(SM_CMONITORS), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const std::string command = argv[1];
    if (command == "find" && argc >= 4)
        return FindCommand(argv[2], argv[3], argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 0);
    if (command == "gone" && argc >= 5)
        return GoneCommand(argv[2], argv[3], std::strtoul(argv[4], nullptr, 10));
    if (command == "child" && argc >= 4)
        return ChildCommand(Handle(argv[2]), argv[3]);
    if (command == "close" && argc >= 3)
        return PostMessageA(Handle(argv[2]), WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == "answers" && argc >= 3) {
        DWORD_PTR result = 0;
        const DWORD timeout = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 5000;
        const bool answered =
            SendMessageTimeoutA(Handle(argv[2]), WM_NULL, 0, 0, SMTO_NORMAL, timeout, &result) != 0;
        std::printf("%d\n", answered ? 1 : 0);
        return answered ? 0 : 1;
    }
    if (command == "send" && argc >= 4) {
        char* end = nullptr;
        UINT message = std::strtoul(argv[3], &end, 0);
        if (*end)
            message = RegisterWindowMessageA(argv[3]);
        std::printf("%ld\n", static_cast<long>(SendMessageA(Handle(argv[2]), message, 0, 0)));
        return 0;
    }
    if (command == "texts" && argc >= 3)
        return TextsCommand(Handle(argv[2]));
    if (command == "foreground") {
        std::printf("%lu\n", Number(GetForegroundWindow()));
        return 0;
    }
    if (command == "clientsize" && argc >= 3) {
        RECT r = {};
        if (!GetClientRect(Handle(argv[2]), &r))
            return 1;
        std::printf("%ld %ld\n", r.right, r.bottom);
        return 0;
    }
    if (command == "saverrunning") {
        BOOL running = FALSE;
        if (!SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0))
            return 1;
        std::printf("%d\n", running ? 1 : 0);
        return 0;
    }
    if (command == "loads" && argc >= 3) {
        HMODULE module = LoadLibraryA(argv[2]);
        std::printf("%d\n", module ? 1 : 0);
        if (module)
            FreeLibrary(module);
        return 0;
    }
    if (command == "awareness" && argc >= 4)
        return AwarenessCommand(Handle(argv[2]), argv[3]);
    if (command == "metrics")
        return MetricsCommand();
    if (command == "pointer") {
        POINT point = {};
        if (!GetCursorPos(&point))
            return 1;
        std::printf("%ld %ld\n", point.x, point.y);
        return 0;
    }
    if (command == "lastinput") {
        LASTINPUTINFO info = {};
        info.cbSize = sizeof info;
        if (!GetLastInputInfo(&info))
            return 1;
        std::printf("%lu\n", static_cast<unsigned long>(info.dwTime));
        return 0;
    }
    if (command == "ticks") {
        if (argc >= 4) {
            const DWORD since = std::strtoul(argv[2], nullptr, 10);
            const DWORD interval = std::strtoul(argv[3], nullptr, 10);
            // DWORD subtraction, as the saver's own: right across a wrap.
            while (GetTickCount() - since < interval)
                Sleep(10);
        }
        std::printf("%lu\n", static_cast<unsigned long>(GetTickCount()));
        return 0;
    }
    if (command == "cursor") {
        CURSORINFO info = {};
        info.cbSize = sizeof info;
        if (!GetCursorInfo(&info))
            return 1;
        std::printf("%lu %d\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(info.hCursor)),
                    (info.flags & CURSOR_SHOWING) ? 1 : 0);
        return 0;
    }
    return 2;
}
