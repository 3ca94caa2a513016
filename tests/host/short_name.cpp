// Prints the 8.3 short form of a path, for the end-to-end tests that start
// the saver by its short name as the system may (Wine's cmd has no %~s).
// Usage: short_name PATH. Exit code 1 when the system gives none.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    char shortPath[MAX_PATH] = {};
    const DWORD length = GetShortPathNameA(argv[1], shortPath, sizeof shortPath);
    if (length == 0 || length >= sizeof shortPath)
        return 1;
    std::printf("%s\n", shortPath);
    return 0;
}
