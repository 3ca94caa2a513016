// Changes the wallpaper of the running Wine virtual desktop, so that an
// end-to-end test can put a picture of its own behind the saver without
// restarting the desktop. Usage: set_wallpaper C:\path\picture.bmp
// Exits 0 when the system took the new wallpaper, 1 otherwise.
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 1;
    // SPIF_SENDWININICHANGE tells the desktop's own process, which paints
    // the wallpaper, to load it again.
    const BOOL changed = SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, argv[1],
                                               SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    // Have the whole desktop painted again with it.
    RedrawWindow(GetDesktopWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return changed ? 0 : 1;
}
