// The memory and string functions that the compiler calls by name (a
// structure copied or cleared, a loop it recognises as a fill or a copy)
// and the product calls itself, and the stack probe the compiler calls for
// a frame larger than a page. PLIMZOR.SCR links no C runtime, so these are
// its own, compiled for the processor its build names: every instruction
// here runs on a 486. Built without the compiler's loop-to-call rewriting
// (CMakeLists.txt), or the loops below would become calls to themselves.
#include <cstddef>
#include <cstdint>

#include "platform/runtime.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {
constexpr size_t SseFillUpTo = 2048;
}
#endif

extern "C" {

void* CopyBytes(void* to, const void* from, size_t n)
{
    // The string move: the fastest bulk copy on every x86 from the 386 on.
    unsigned char* out = static_cast<unsigned char*>(to);
    const unsigned char* in = static_cast<const unsigned char*>(from);
    size_t words = n / 4;
    __asm__ volatile("rep movsl" : "+D"(out), "+S"(in), "+c"(words) : : "memory");
    for (size_t rest = n % 4; rest; --rest)
        *out++ = *in++;
    return to;
}

void* MoveBytes(void* to, const void* from, size_t n)
{
    unsigned char* out = static_cast<unsigned char*>(to);
    const unsigned char* in = static_cast<const unsigned char*>(from);
    // Forward is safe unless the target starts inside the source.
    if (static_cast<size_t>(out - in) >= n)
        return CopyBytes(to, from, n);
    // Backward, from the end, a word at a time where both ends allow.
    out += n;
    in += n;
    if (((reinterpret_cast<uintptr_t>(out) | reinterpret_cast<uintptr_t>(in) | n) & 3) == 0) {
        for (; n; n -= 4) {
            out -= 4;
            in -= 4;
            *reinterpret_cast<uint32_t*>(out) = *reinterpret_cast<const uint32_t*>(in);
        }
        return to;
    }
    while (n--)
        *--out = *--in;
    return to;
}

void* FillBytes(void* to, int value, size_t n)
{
    unsigned char* out = static_cast<unsigned char*>(to);
#if defined(__SSE2__)
    // Where SSE2 is the build's own (x64), sixteen bytes a store up to the
    // length where the string store's slow start pays: the gaps between
    // shapes in a row are mostly shorter.
    if (n < SseFillUpTo) {
        const __m128i bytes = _mm_set1_epi8(static_cast<char>(value));
        for (; n >= 16; n -= 16, out += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
        for (; n; --n)
            *out++ = static_cast<unsigned char>(value);
        return to;
    }
#endif
    const uint32_t word = static_cast<unsigned char>(value) * 0x01010101u;
    size_t words = n / 4;
    __asm__ volatile("rep stosl" : "+D"(out), "+c"(words) : "a"(word) : "memory");
    for (size_t rest = n % 4; rest; --rest)
        *out++ = static_cast<unsigned char>(value);
    return to;
}

int CompareBytes(const void* a, const void* b, size_t n)
{
    const unsigned char* p = static_cast<const unsigned char*>(a);
    const unsigned char* q = static_cast<const unsigned char*>(b);
    for (; n; --n, ++p, ++q) {
        if (*p != *q)
            return *p < *q ? -1 : 1;
    }
    return 0;
}

size_t TextLength(const char* text)
{
    const char* p = text;
    while (*p)
        ++p;
    return static_cast<size_t>(p - text);
}

// The names the compiler and the headers call them by.
void* memcpy(void*, const void*, size_t) __attribute__((alias("CopyBytes")));
void* memmove(void*, const void*, size_t) __attribute__((alias("MoveBytes")));
void* memset(void*, int, size_t) __attribute__((alias("FillBytes")));
int memcmp(const void*, const void*, size_t) __attribute__((alias("CompareBytes")));
size_t strlen(const char*) __attribute__((alias("TextLength")));

} // extern "C"

// ___chkstk_ms: called in the prologue of a function whose frame is larger
// than a page, with the frame's size in eax (rax). Windows grows a thread's
// stack only through the guard page just below what it has used, so each
// page of the new frame is touched in turn, from the top down, before the
// function moves its stack pointer there itself. Every register is kept.
#if defined(__i386__)
__asm__(".text\n"
        ".globl ___chkstk_ms\n"
        ".def ___chkstk_ms; .scl 2; .type 32; .endef\n"
        "___chkstk_ms:\n"
        "    pushl %ecx\n"
        "    pushl %eax\n"
        "    leal 12(%esp), %ecx\n"  // the stack pointer before the call
        "1:  cmpl $0x1000, %eax\n"
        "    jb 2f\n"
        "    subl $0x1000, %ecx\n"
        "    orl $0, (%ecx)\n"
        "    subl $0x1000, %eax\n"
        "    jmp 1b\n"
        "2:  subl %eax, %ecx\n"
        "    orl $0, (%ecx)\n"
        "    popl %eax\n"
        "    popl %ecx\n"
        "    ret\n");
#elif defined(__x86_64__)
__asm__(".text\n"
        ".globl ___chkstk_ms\n"
        ".def ___chkstk_ms; .scl 2; .type 32; .endef\n"
        "___chkstk_ms:\n"
        "    pushq %rcx\n"
        "    pushq %rax\n"
        "    leaq 24(%rsp), %rcx\n"  // the stack pointer before the call
        "1:  cmpq $0x1000, %rax\n"
        "    jb 2f\n"
        "    subq $0x1000, %rcx\n"
        "    orq $0, (%rcx)\n"
        "    subq $0x1000, %rax\n"
        "    jmp 1b\n"
        "2:  subq %rax, %rcx\n"
        "    orq $0, (%rcx)\n"
        "    popq %rax\n"
        "    popq %rcx\n"
        "    ret\n");
#else
#error "PLIMZOR builds for x86 and x64 Windows only"
#endif
