// Changes the display mode under a running saver, as a monitor plugged in or
// out, a sleeping monitor leaving the layout or a projector does on Windows.
// Wine puts a mode back when the process that set it ends, so this program
// stays alive between the changes it makes and until the test lets it go:
// before mode N it waits until the file CUE.N exists, sets the mode (width
// and height only, as the display settings page does) and prints
// "N WIDTH HEIGHT RESULT" (ChangeDisplaySettingsA's result, 0 on success);
// after the last mode it waits for CUE.end and exits 0.
// Usage: display_mode CUE WIDTHxHEIGHT [WIDTHxHEIGHT ...]
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// Waits, without a deadline of its own, until path exists: the test that
// started this program ends it when its own deadlines pass.
void WaitForFile(const std::string& path)
{
    while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        Sleep(20);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string cue = argv[1];
    for (int i = 2; i < argc; ++i) {
        int width = 0;
        int height = 0;
        if (std::sscanf(argv[i], "%dx%d", &width, &height) != 2)
            return 2;
        const int n = i - 1;
        WaitForFile(cue + "." + std::to_string(n));
        DEVMODEA mode = {};
        mode.dmSize = sizeof mode;
        mode.dmPelsWidth = static_cast<DWORD>(width);
        mode.dmPelsHeight = static_cast<DWORD>(height);
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
        const LONG result = ChangeDisplaySettingsA(&mode, 0);
        std::printf("%d %d %d %ld\n", n, width, height, static_cast<long>(result));
        std::fflush(stdout);
    }
    WaitForFile(cue + ".end");
    return 0;
}
