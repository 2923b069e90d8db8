#pragma once
// Splits rows [0, rows) into contiguous bands, one per core, and runs
// fn(first, last) on each band; returns when all are done. Small jobs run
// on the calling thread, where starting threads would cost more than it saves.

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace karto {

// The cores the machine offers (at least one), asked once.
inline unsigned Cores() {
  static const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return cores;
}

template <class Fn>
void ParallelRows(int rows, long long workPerRow, Fn&& fn) {
  if (rows <= 0) return;
  const int cores = int(Cores());
  constexpr long long kMinWorkPerThread = 200000;
  const long long total = (long long)rows * std::max(1LL, workPerRow);
  const int bands = int(std::min<long long>({cores, rows, std::max(1LL, total / kMinWorkPerThread)}));
  if (bands <= 1) {
    fn(0, rows);
    return;
  }
  std::vector<std::thread> threads;
  threads.reserve(size_t(bands - 1));
  const int per = (rows + bands - 1) / bands;
  for (int b = 1; b < bands; ++b) {
    const int first = b * per, last = std::min(rows, first + per);
    if (first < last) threads.emplace_back([&fn, first, last] { fn(first, last); });
  }
  fn(0, std::min(rows, per));
  for (std::thread& t : threads) t.join();
}

// Runs fn(i) for every i in [0, count) on all cores, each core taking the
// next i as it finishes the last: for jobs of uneven size (strokes, filled
// shapes), which bands of equal count would share out unevenly. Give the
// larger jobs the smaller numbers. A single job, or a single core, runs on
// the calling thread.
template <class Fn>
void ParallelEach(size_t count, Fn&& fn) {
  const size_t workers = std::min(size_t(Cores()), count);
  if (workers <= 1) {
    for (size_t i = 0; i < count; ++i) fn(i);
    return;
  }
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t i = next++; i < count; i = next++) fn(i);
  };
  std::vector<std::thread> threads;
  threads.reserve(workers - 1);
  for (size_t t = 1; t < workers; ++t) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
}

}  // namespace karto
