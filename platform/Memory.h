#pragma once
// How much memory the machine gives Karto, and refusing work up front that
// would need more: a picture too large for its road is turned away with its
// size and the memory it needs, before an allocation fails half-way.

#include <cstdint>
#include <string>

namespace karto {

// The least of the machine's physical memory, the process's address space
// limit and its control group's memory limit, in bytes.
uint64_t MachineMemoryBytes();

// A sentence refusing work ("trace", "adjust") on a width x height picture
// that needs bytesPerPixel bytes a pixel when more than available; empty
// when it fits.
std::string MemoryRefusal(int width, int height, double bytesPerPixel, const std::string& work, uint64_t available);

// The memory a pixel takes along each road, peak for peak: the picture,
// its copies and, for tracing, the engine's maps.
constexpr double kAdjustBytesPerPixel = 12;
constexpr double kTraceBytesPerPixel = 24;

}  // namespace karto
