// Work shared over the cores: every row or job done once, and an exception
// thrown on any core (memory running out) reaching the caller instead of
// ending the program.

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <vector>

#include "platform/Parallel.h"

using namespace karto;

TEST(Parallel, EveryRowAndJobIsDoneOnce) {
  for (const int rows : {1, 2, 7, 1000}) {
    std::vector<std::atomic<int>> done(static_cast<size_t>(rows));
    ParallelRows(rows, 1000000, [&](int first, int last) {
      for (int y = first; y < last; ++y) ++done[size_t(y)];
    });
    for (int y = 0; y < rows; ++y) EXPECT_EQ(done[size_t(y)].load(), 1) << rows << " rows, row " << y;
    std::vector<std::atomic<int>> jobs(static_cast<size_t>(rows));
    ParallelEach(size_t(rows), [&](size_t i) { ++jobs[i]; });
    for (int i = 0; i < rows; ++i) EXPECT_EQ(jobs[size_t(i)].load(), 1) << rows << " jobs, job " << i;
  }
}

TEST(Parallel, AnExceptionOnAnyCoreReachesTheCaller) {
  // The first row or job is the calling thread's; the last another core's
  // (where there is one).
  for (const int throwing : {0, 999}) {
    SCOPED_TRACE(throwing);
    std::atomic<int> rowsDone{0};
    EXPECT_THROW(ParallelRows(1000, 1000000,
                              [&](int first, int last) {
                                for (int y = first; y < last; ++y) {
                                  if (y == throwing) throw std::bad_alloc();
                                  ++rowsDone;
                                }
                              }),
                 std::bad_alloc);
    EXPECT_LT(rowsDone.load(), 1000);
    EXPECT_THROW(ParallelEach(1000,
                              [&](size_t i) {
                                if (int(i) == throwing) throw std::runtime_error("no room");
                              }),
                 std::runtime_error);
  }
}
