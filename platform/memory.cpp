// The product's memory: blocks of the process heap, which every Windows
// from 95 and NT 3.1 on has ready before the first instruction runs, so
// the saver needs no allocator of a runtime DLL. The platform seam
// (platform.h) hands these out; nothing else calls them.
#include "platform/platform.h"

void* HeapAllocate(size_t bytes)
{
    return HeapAlloc(GetProcessHeap(), 0, bytes);
}

void* HeapResize(void* block, size_t bytes)
{
    // HeapReAlloc takes no null block.
    if (!block)
        return HeapAllocate(bytes);
    return HeapReAlloc(GetProcessHeap(), 0, block, bytes);
}

void HeapRelease(void* block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}
