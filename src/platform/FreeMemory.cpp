// Handing freed memory back to the system.
#include "platform/FreeMemory.h"

#include <cstdlib> // names the C library (__GLIBC__)
#if defined(__GLIBC__)
#include <malloc.h>
#endif

void ReturnFreeMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void ShareOneArena() {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
#endif
}
