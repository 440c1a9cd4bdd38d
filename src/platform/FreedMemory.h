#pragma once

namespace pelorin {

// Hands the memory the allocator keeps after large frees (a closed screenshot, its textures)
// back to the system, so a tray program that has shown a few screenshots is as small as one
// that has not. Costs a few milliseconds; does nothing where the C library cannot do it.
void returnFreedMemory();

// For a program that runs for months: blocks of picture size go back to the system the moment
// they are freed. Left to itself the allocator raises that bar to the largest block freed so
// far, and then keeps every screenshot-sized block it ever held, in thread arenas that
// returnFreedMemory() cannot shrink.
void returnLargeBlocksWhenFreed();

// Lets go of the pages of shared libraries the process holds as the files have them (code and
// constants). They stay in the system's file cache and come back from there, a few
// milliseconds' worth, when next used: for a tray program whose editor has closed, the GL
// driver alone is some 40 MB of code it will not run until the next screenshot. Call it from
// the thread that loads and unloads libraries (the GUI thread).
void returnLibraryPages();

} // namespace pelorin
