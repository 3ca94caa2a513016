// The fault guard around the chosen mode. GCC has no __try/__except, so the
// structured-exception frame is built by hand: on x86 an exception
// registration record linked into the thread's chain, on x64 a function whose
// unwind data names the system's scope-table handler (__C_specific_handler,
// which 64-bit Windows exports from KERNEL32 itself, so no C runtime DLL is
// needed for it). Either way a fault
// that escapes the mode is first shown to the platform's unhandled-fault
// reporting (UnhandledExceptionFilter), and only when that says so does the
// guard take it: the screen-saver-running flag goes off and the mode's call
// returns the exception code.
#include "shell/shell.h"

namespace {

// Set by the filter when the platform chose our handler.
DWORD gCaughtCode;

int CaughtFault()
{
    SetSaverRunning(false);
    const int code = static_cast<int>(gCaughtCode);
    gCaughtCode = 0;
    return code;
}

} // namespace

#if defined(__i386__)

namespace {

// Layout fixed by the system: the first two words are what it walks.
struct GuardFrame {
    EXCEPTION_REGISTRATION_RECORD registration;
    void* resume[5]; // __builtin_setjmp buffer
};

EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* establisher, CONTEXT* context, void*)
{
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    EXCEPTION_POINTERS pointers = {record, context};
    const LONG verdict = UnhandledExceptionFilter(&pointers);
    if (verdict == EXCEPTION_CONTINUE_EXECUTION)
        return ExceptionContinueExecution;
    if (verdict != EXCEPTION_EXECUTE_HANDLER)
        return ExceptionContinueSearch;
    gCaughtCode = record->ExceptionCode;
    // Let the frames between the fault and the guard clean up, then resume
    // in RunGuarded.
    RtlUnwind(establisher, nullptr, record, nullptr);
    __builtin_longjmp(static_cast<GuardFrame*>(establisher)->resume, 1);
}

// The head of the thread's registration chain lives at fs:[0].
EXCEPTION_REGISTRATION_RECORD* ChainHead()
{
    EXCEPTION_REGISTRATION_RECORD* head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetChainHead(EXCEPTION_REGISTRATION_RECORD* head)
{
    __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

} // namespace

int RunGuarded(int (*mode)(void*), void* arg)
{
    GuardFrame frame = {};
    frame.registration.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(GuardHandler);
    frame.registration.Next = ChainHead();
    int result;
    if (__builtin_setjmp(frame.resume) == 0) {
        SetChainHead(&frame.registration);
        result = mode(arg);
        SetChainHead(frame.registration.Next);
    } else {
        SetChainHead(frame.registration.Next);
        result = CaughtFault();
    }
    return result;
}

#elif defined(__x86_64__)

extern "C" int GuardedCallX64(int (*mode)(void*), void* arg);

extern "C" LONG GuardFilterX64(EXCEPTION_POINTERS* pointers, void*)
{
    const LONG verdict = UnhandledExceptionFilter(pointers);
    if (verdict == EXCEPTION_EXECUTE_HANDLER)
        gCaughtCode = pointers->ExceptionRecord->ExceptionCode;
    return verdict;
}

// One scope from the call to the instruction after it; the scope's target
// returns to RunGuarded with the stack as the prologue left it.
__asm__(
    ".text\n"
    ".globl GuardedCallX64\n"
    ".def GuardedCallX64; .scl 2; .type 32; .endef\n"
    ".seh_proc GuardedCallX64\n"
    "GuardedCallX64:\n"
    "    subq $40, %rsp\n"
    "    .seh_stackalloc 40\n"
    "    .seh_endprologue\n"
    "    movq %rcx, %rax\n"
    "    movq %rdx, %rcx\n"
    ".Lguard_begin:\n"
    "    callq *%rax\n"
    "    nop\n"
    ".Lguard_end:\n"
    "    addq $40, %rsp\n"
    "    ret\n"
    ".Lguard_target:\n"
    "    xorl %eax, %eax\n"
    "    addq $40, %rsp\n"
    "    ret\n"
    "    .seh_handler __C_specific_handler, @except\n"
    "    .seh_handlerdata\n"
    "    .long 1\n"
    "    .rva .Lguard_begin, .Lguard_end, GuardFilterX64, .Lguard_target\n"
    "    .text\n"
    "    .seh_endproc\n");

int RunGuarded(int (*mode)(void*), void* arg)
{
    gCaughtCode = 0;
    const int result = GuardedCallX64(mode, arg);
    return gCaughtCode ? CaughtFault() : result;
}

#else
#error "PLIMZOR builds for x86 and x64 Windows only"
#endif
