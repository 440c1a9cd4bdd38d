#pragma once

namespace pelorin {

// Hands the memory the allocator keeps after large frees (a closed screenshot, its textures)
// back to the system, so a tray program that has shown a few screenshots is as small as one
// that has not. Costs a few milliseconds; does nothing where the C library cannot do it.
void returnFreedMemory();

} // namespace pelorin
