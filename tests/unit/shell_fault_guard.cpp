// The fault guard: a fault inside a mode goes to the platform's reporting,
// switches the screen-saver-running flag off and becomes a non-zero result.
// The guard is different code on each build (a frame linked at fs:[0] on
// x86, unwind data naming the system's handler on x64), so these tests run
// on both: each build's run covers its own guard.
#include <gtest/gtest.h>

#include "shell/shell.h"

namespace {

int ReturnsSeven(void*)
{
    return 7;
}

int WritesThroughNull(void* target)
{
    *static_cast<volatile int*>(target) = 1;
    return 0;
}

int DividesByZero(void* zero)
{
    return 10 / *static_cast<volatile int*>(zero);
}

int NestedGuardFaults(void*)
{
    // The inner guard takes the fault; the outer mode goes on normally.
    return RunGuarded(WritesThroughNull, nullptr) == static_cast<int>(EXCEPTION_ACCESS_VIOLATION) ? 11 : 12;
}

BOOL ScreenSaverRunning()
{
    BOOL running = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    return running;
}

TEST(FaultGuard, PassesTheModesResultThrough)
{
    EXPECT_EQ(RunGuarded(ReturnsSeven, nullptr), 7);
}

TEST(FaultGuard, TurnsAFaultIntoItsExceptionCode)
{
    ResetShellState();
    int zero = 0;
    const struct {
        const char* name;
        int (*mode)(void*);
        void* arg;
        DWORD code;
    } cases[] = {
        {"access violation", WritesThroughNull, nullptr, EXCEPTION_ACCESS_VIOLATION},
        {"division by zero", DividesByZero, &zero, EXCEPTION_INT_DIVIDE_BY_ZERO},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int result = RunGuarded(c.mode, c.arg);
        EXPECT_EQ(static_cast<DWORD>(result), c.code);
        EXPECT_NE(result, 0) << "a fault must never look like success";
    }
    // The guard is removed again: a second run works as the first.
    EXPECT_EQ(RunGuarded(ReturnsSeven, nullptr), 7);
}

TEST(FaultGuard, InnerGuardTakesItsOwnFault)
{
    EXPECT_EQ(RunGuarded(NestedGuardFaults, nullptr), 11);
}

TEST(FaultGuard, SwitchesTheScreenSaverRunningFlagOffOnWindows9x)
{
    ResetShellState();
    gShell.isWin9x = true;
    SetSaverRunning(true);
    ASSERT_TRUE(ScreenSaverRunning()) << "the flag could not be set here";
    RunGuarded(WritesThroughNull, nullptr);
    EXPECT_FALSE(ScreenSaverRunning());
    ResetShellState();
}

} // namespace
