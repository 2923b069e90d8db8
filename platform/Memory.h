#pragma once
// How much memory the machine gives Karto, and refusing work up front that
// would need more: a picture too large for its road is turned away with its
// size and the memory it needs, before an allocation fails half-way.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

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

// Memory for a large buffer, released with std::free; null when there is
// none. Buffers of 8 MB and more are aligned to 2 MB and offered to the
// kernel for 2 MB pages: a whole-picture plane then costs a few page faults
// instead of thousands, and reads across its rows miss the address cache
// less.
void* AllocateLarge(size_t bytes);
// The same, with every byte zero. Fresh memory from the system is zero
// already, so a large block costs no pass of clearing beyond the kernel's.
void* AllocateLargeZeroed(size_t bytes);

// Asks the kernel to back the pages of [data, data + bytes) now, for
// writing, without writing a byte: another thread may be writing into
// them meanwhile. Spares that thread the page faults (clearing fresh
// pages) on its way. Does nothing where the kernel cannot.
void PopulateForWriting(void* data, size_t bytes);

// Whole-picture work planes (a byte or a number per pixel) in such memory.
// Elements are not zeroed when the plane is made, as its users write every
// one before reading; give a value to have them set. A TZeroPlane starts
// all zero, for users that write only some elements (the ink of a
// picture) and read the rest as zero.
template <class T, bool Zeroed = false>
struct TPlaneAllocator {
  using value_type = T;
  template <class U>
  struct rebind {
    using other = TPlaneAllocator<U, Zeroed>;
  };
  TPlaneAllocator() = default;
  template <class U>
  TPlaneAllocator(const TPlaneAllocator<U, Zeroed>&) {}
  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    if (void* p = Zeroed ? AllocateLargeZeroed(n * sizeof(T)) : AllocateLarge(n * sizeof(T))) return static_cast<T*>(p);
    throw std::bad_alloc();
  }
  void deallocate(T* p, size_t) { std::free(p); }
  template <class U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const TPlaneAllocator<U, Zeroed>&) const { return true; }
  template <class U>
  bool operator!=(const TPlaneAllocator<U, Zeroed>&) const { return false; }
};
template <class T>
using TPlane = std::vector<T, TPlaneAllocator<T>>;
template <class T>
using TZeroPlane = std::vector<T, TPlaneAllocator<T, true>>;

}  // namespace karto
