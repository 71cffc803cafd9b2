// Handing freed memory back to the system.
#pragma once

// Returns the free pages that the allocator keeps for later, in every thread's arena: after
// a large check they can be most of the program's resident memory. Does nothing where the
// allocator offers no such call.
void ReturnFreeMemory();
// Makes every thread allocate from one arena. The worker and its second sessions read headers
// that the main thread frees; with arenas of their own, about 3 MiB of that stayed resident
// after a large check. Called first thing, before any thread starts.
void ShareOneArena();
