#pragma once

#include <cstddef>

namespace pelorin {

// Memory for blocks of megabytes (format-json's input, the JSON parser's buffers) that the
// kernel backs with 2 MiB pages where it offers them. Each fresh 4 KiB page costs a fault
// when first touched, and on a virtual machine those faults took longer than formatting
// 2 MB of text; a 2 MiB page costs one. Where the kernel gives no large pages the block is
// plain anonymous memory. Sizes are rounded up to whole large pages: this is for few, big
// blocks only.
inline constexpr size_t largePage = size_t(2) << 20;

// A block of at least `size` bytes starting on a large-page boundary, or nullptr.
void* mapLargeBlock(size_t size);

// Returns a block from mapLargeBlock() of the same `size`.
void unmapLargeBlock(void* block, size_t size);

} // namespace pelorin
