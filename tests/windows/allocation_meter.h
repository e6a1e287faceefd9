#pragma once
// Counts the bytes the test program holds through operator new, so a test can
// show how much memory an operation needed at its peak. Other allocations
// (the C heap, Windows' own heaps) are not counted.

#include <cstddef>

namespace zelkora::test {

// Bytes held now.
std::size_t allocated_bytes();
// The most held at once since the last restart_allocation_peak().
std::size_t allocation_peak();
void restart_allocation_peak();

}  // namespace zelkora::test
