// The product's own memory and string functions (runtime.cpp), by the
// names the tests call them with; the compiler and the headers know them as
// memcpy, memmove, memset, memcmp and strlen, which are the same functions.
#pragma once

#include <cstddef>

extern "C" {
void* CopyBytes(void* to, const void* from, size_t n);
void* MoveBytes(void* to, const void* from, size_t n);
void* FillBytes(void* to, int value, size_t n);
int CompareBytes(const void* a, const void* b, size_t n);
size_t TextLength(const char* text);
}
