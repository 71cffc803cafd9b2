// Handing freed memory back to the system.
#pragma once

// Returns the free pages that the allocator keeps for later, in every thread's arena: after
// a large check they can be most of the program's resident memory. Does nothing where the
// allocator offers no such call.
void ReturnFreeMemory();
