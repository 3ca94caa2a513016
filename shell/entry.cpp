// The process entry of PLIMZOR.SCR: where Windows starts the program, with
// no C runtime before it. It readies what the product's code takes for
// granted (the floating-point unit, the process-wide records whose first
// value is computed at run time) and hands over to SaverStartup, which
// reads the command line and never returns.
#include "shell/shell.h"

// The linker's list of the functions that give the process-wide records
// with computed first values (gPlatform's system calls, whose addresses
// the loader fills in) those values: -1, the functions, then a null.
extern "C" void (*__CTOR_LIST__[])();

namespace {

void RunConstructors()
{
    int count = 0;
    while (__CTOR_LIST__[count + 1])
        ++count;
    // Last first, as GCC's own start-up calls them.
    for (int i = count; i > 0; --i)
        __CTOR_LIST__[i]();
}

} // namespace

// The stack is aligned for the compiler's needs here once, as the system
// aligns it only to a word on x86.
extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void SaverEntry()
{
    // The x87 unit at 64-bit precision, as the runtime the tests link
    // leaves it: the same arithmetic in the saver as in its tests.
    __asm__ volatile("fninit");
    RunConstructors();
    SaverStartup();
}
