// What the processor and the system can run: whether the SSE2 loops of
// the span writer may be used (gPlatform.sse2). The 32-bit saver starts on
// 486s and Pentiums, whose code is its baseline; SSE2 is used only where
// the processor reports it and the system saves its registers on a task
// switch. Of the systems that start the saver, only the NT family from
// Windows 2000 on is known to; the Windows 9x family and NT 4.0 take the
// baseline.
#include "platform/platform.h"

namespace {

// IsProcessorFeaturePresent's answers that the system saves the SSE
// registers (XMM0 to XMM7, the same for SSE and SSE2) on a task switch:
// PF_XMMI64_INSTRUCTIONS_AVAILABLE (SSE2) from XP on, and
// PF_XMMI_INSTRUCTIONS_AVAILABLE (SSE), which Windows 2000 already answers
// and which, with CPUID's SSE2, says the same.
constexpr DWORD SystemSse2Feature = 10;
constexpr DWORD SystemSseFeature = 6;
using FeaturePresentFn = BOOL(WINAPI*)(DWORD);

#if defined(__i386__)
// The processor has CPUID when the ID flag (bit 21 of EFLAGS) can be
// changed: not the first 486s.
bool ProcessorHasCpuid()
{
    unsigned before, after;
    __asm__ volatile("pushfl\n\t"
                     "popl %0\n\t"
                     "movl %0, %1\n\t"
                     "xorl $0x200000, %1\n\t"
                     "pushl %1\n\t"
                     "popfl\n\t"
                     "pushfl\n\t"
                     "popl %1\n\t"
                     "pushl %0\n\t"
                     "popfl"
                     : "=&r"(before), "=&r"(after)
                     :
                     : "cc");
    return ((before ^ after) & 0x200000) != 0;
}
#else
// Every x64 processor has CPUID.
bool ProcessorHasCpuid()
{
    return true;
}
#endif

// CPUID's leaf 1, bit 26 of EDX. Called only once ProcessorHasCpuid has
// said yes, so its instruction, which a 486 may lack, runs only where it
// exists; its name says so (tests/pe/check-pe.sh).
__attribute__((noinline)) bool CpuidReportsSse2()
{
    unsigned eax = 0, ebx, ecx, edx;
    __asm__ volatile("cpuid" : "+a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx));
    if (eax < 1)
        return false;
    eax = 1;
    __asm__ volatile("cpuid" : "+a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx));
    return (edx & (1u << 26)) != 0;
}

} // namespace

Sse2Facts ReadSse2Facts()
{
    Sse2Facts facts = {};
    facts.cpuid = ProcessorHasCpuid();
    facts.processorSse2 = facts.cpuid && CpuidReportsSse2();
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version)) {
        facts.ntFamily = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
        facts.majorVersion = version.dwMajorVersion;
    }
    // Windows 95 has no IsProcessorFeaturePresent: looked up, not imported.
    const auto featurePresent = reinterpret_cast<FeaturePresentFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("KERNEL32"), "IsProcessorFeaturePresent")));
    facts.systemSse2 = featurePresent && (featurePresent(SystemSse2Feature) || featurePresent(SystemSseFeature));
    return facts;
}

bool Sse2Usable(const Sse2Facts& facts)
{
    return facts.cpuid && facts.processorSse2 && facts.ntFamily && facts.majorVersion >= 5 && facts.systemSse2;
}
