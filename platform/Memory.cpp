#include "platform/Memory.h"

#include <sys/resource.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace karto {

uint64_t MachineMemoryBytes() {
  uint64_t bytes = UINT64_MAX;
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages > 0 && pageSize > 0) bytes = uint64_t(pages) * uint64_t(pageSize);
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) bytes = std::min<uint64_t>(bytes, limit.rlim_cur);
  // A container's limit (cgroup v2, then v1); "max" means none.
  for (const char* file : {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
    std::ifstream in(file);
    unsigned long long value = 0;
    if (in >> value && value > 0) bytes = std::min<uint64_t>(bytes, value);
  }
  return bytes;
}

void* AllocateLarge(size_t bytes) {
  constexpr size_t kHuge = size_t(2) << 20;
  if (bytes < 4 * kHuge) return std::malloc(std::max<size_t>(bytes, 1));
  const size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
  void* data = std::aligned_alloc(kHuge, rounded);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (data) madvise(data, rounded, MADV_HUGEPAGE);
#endif
  return data;
}

void* AllocateLargeZeroed(size_t bytes) {
  constexpr size_t kHuge = size_t(2) << 20;
  // calloc takes a large block straight from the system (zero, so it
  // clears nothing itself); its 2 MB stretches are offered for large pages.
  void* data = std::calloc(std::max<size_t>(bytes, 1), 1);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (data && bytes >= 4 * kHuge) {
    const uintptr_t from = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) / kHuge * kHuge;
    const uintptr_t to = (reinterpret_cast<uintptr_t>(data) + bytes) / kHuge * kHuge;
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
  }
#endif
  return data;
}

void PopulateForWriting(void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  // The kernel takes whole pages from a page's start; the part pages at the
  // ends are left to whoever writes into them first.
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGE_SIZE));
  const uintptr_t from = (reinterpret_cast<uintptr_t>(data) + page - 1) / page * page;
  const uintptr_t to = (reinterpret_cast<uintptr_t>(data) + bytes) / page * page;
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)data;
  (void)bytes;
#endif
}

std::string MemoryRefusal(int width, int height, double bytesPerPixel, const std::string& work, uint64_t available) {
  const double needed = double(width) * double(height) * bytesPerPixel;
  if (needed <= double(available)) return {};
  auto gigabytes = [](double b) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", b / (1024.0 * 1024.0 * 1024.0));
    return std::string(text);
  };
  return "The picture is " + std::to_string(width) + " x " + std::to_string(height) + " pixels; to " + work +
         " it needs about " + gigabytes(needed) + " of memory, more than this machine gives Karto (" +
         gigabytes(double(available)) + ").";
}

}  // namespace karto
