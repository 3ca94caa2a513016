// What the running saver costs while the display is on and while it is off:
// opens the real full-screen saver window in this process (its scene from
// the settings file beside this program, plimzor_saver_cpu.INI: by default
// 10 standard pairs), runs its message loop until the curtain is over, then
// prints the share of a core the process took over the seconds asked for,
// from GetProcessTimes: first running, then after a display-off
// notification sent to the window as Windows sends it. A measurement, not a
// test: it fails only when the window or its timer cannot be had.
// Usage: plimzor_saver_cpu [--seconds=N] [--quick]
// (--quick: one second each, without waiting for the curtain; only checks
// that it runs)
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "animation/scene.h"
#include "shell/shell.h"

namespace {

constexpr DWORD CurtainDeadlineMs = 120000;

unsigned long long CpuTime100ns()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    const auto value = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

struct Pumped {
    int ticks;
    int closes;  // asked for by the default handling and ignored here
};

// The saver's own loop, for ms milliseconds or until done() says so. A
// close is left undone: nothing here is input, but a desktop that takes the
// activation away would end the run.
Pumped Pump(HWND window, DWORD ms, bool (*done)())
{
    Pumped pumped = {};
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_CLOSE) {
                ++pumped.closes;
                continue;
            }
            if (message.message == WM_TIMER && message.hwnd == window)
                ++pumped.ticks;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const DWORD spent = GetTickCount() - start;
        if (spent >= ms || (done && done()))
            return pumped;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
    }
}

bool CurtainIsOver()
{
    return gScene.phase == RunningPhase;
}

struct Share {
    double percent;
    Pumped pumped;
};

Share Measure(HWND window, DWORD seconds)
{
    LARGE_INTEGER frequency, from, to;
    QueryPerformanceFrequency(&frequency);
    const unsigned long long cpuFrom = CpuTime100ns();
    QueryPerformanceCounter(&from);
    const Pumped pumped = Pump(window, seconds * 1000, nullptr);
    QueryPerformanceCounter(&to);
    const unsigned long long cpuTo = CpuTime100ns();
    const double wall = static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
    return Share{100.0 * static_cast<double>(cpuTo - cpuFrom) / 1e7 / wall, pumped};
}

// The display is off, said as Windows 8 and later say it.
void SendDisplayOff(HWND window)
{
    alignas(8) BYTE notice[sizeof(POWERBROADCAST_SETTING) + sizeof(DWORD)] = {};
    const DWORD length = sizeof(DWORD);
    const DWORD off = 0;
    std::memcpy(notice + offsetof(POWERBROADCAST_SETTING, PowerSetting), &GUID_CONSOLE_DISPLAY_STATE, sizeof(GUID));
    std::memcpy(notice + offsetof(POWERBROADCAST_SETTING, DataLength), &length, sizeof length);
    std::memcpy(notice + offsetof(POWERBROADCAST_SETTING, Data), &off, sizeof off);
    SendMessageA(window, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(notice));
}

} // namespace

int main(int argc, char** argv)
{
    bool quick = false;
    int seconds = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
            seconds = 1;
        } else if (std::sscanf(argv[i], "--seconds=%d", &seconds) != 1 || seconds <= 0) {
            std::fprintf(stderr, "usage: plimzor_saver_cpu [--seconds=N] [--quick]\n");
            return 2;
        }
    }
    gShell.instance = GetModuleHandleA(nullptr);
    if (!RegisterSaverClass() || !CreateSaverWindow(nullptr)) {
        std::fprintf(stderr, "the saver window could not be created\n");
        return NoWindowExitCode;
    }
    HWND window = gShell.saverWindow;
    SetForegroundWindow(window);
    if (!gScene.timerId) {
        std::fprintf(stderr, "the saver has no timer: nothing to measure\n");
        DestroyWindow(window);
        return 1;
    }
    if (!quick) {
        Pump(window, CurtainDeadlineMs, CurtainIsOver);
        if (!CurtainIsOver())
            std::fprintf(stderr, "the curtain was not over after %lu s; measuring anyway\n",
                         static_cast<unsigned long>(CurtainDeadlineMs / 1000));
    }
    const Share running = Measure(window, seconds);
    SendDisplayOff(window);
    const Share resting = Measure(window, seconds);

    std::printf("the saver window at %dx%d, %d %s pairs, %d s each%s:\n", gScene.width, gScene.height, gScene.count,
                IsColorful() ? "colourful" : "standard", seconds,
                quick ? "" : " after the curtain");
    std::printf("  running:                %6.2f %% of a core (%d ticks)\n", running.percent, running.pumped.ticks);
    std::printf("  resting, display off:   %6.2f %% of a core (%d ticks)\n", resting.percent, resting.pumped.ticks);
    if (running.pumped.closes + resting.pumped.closes)
        std::printf("  (%d close requests ignored)\n", running.pumped.closes + resting.pumped.closes);
    std::fflush(stdout);
    DestroyWindow(window);
    return 0;
}
