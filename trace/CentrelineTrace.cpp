#include "trace/CentrelineTrace.h"

#include <QElapsedTimer>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <numeric>

#include "platform/Memory.h"
#include "platform/Parallel.h"

namespace karto {

namespace {

constexpr float kInf = 1e20f;
constexpr size_t kMaxJunctionEnds = 16;
// A stroke's end that is a cut where its colour or thickness changes (in
// place of a junction's number, or -1 for a free end).
constexpr int kCut = -2;

struct TPt {
  float x = 0, y = 0;
};
inline TPt operator+(TPt a, TPt b) { return {a.x + b.x, a.y + b.y}; }
inline TPt operator-(TPt a, TPt b) { return {a.x - b.x, a.y - b.y}; }
inline TPt operator*(TPt a, float k) { return {a.x * k, a.y * k}; }
inline float Dot(TPt a, TPt b) { return a.x * b.x + a.y * b.y; }
inline float Len(TPt a) { return std::sqrt(Dot(a, a)); }
inline TPt Unit(TPt a) {
  const float l = Len(a);
  return l > 1e-6f ? a * (1 / l) : TPt{1, 0};
}
// How nearly straight a line through a, b and c goes on at b: the cosine of
// its turn there (1 straight on, -1 straight back).
inline float Turn(TPt a, TPt b, TPt c) { return Dot(Unit(b - a), Unit(c - b)); }

// Sets of numbered things joined one pair at a time (ink runs, junctions);
// Root follows the links, halving the path as it goes, without recursion.
struct TUnionFind {
  explicit TUnionFind(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
  int Root(int a) {
    while (parent[size_t(a)] != a) a = parent[size_t(a)] = parent[size_t(parent[size_t(a)])];
    return a;
  }
  std::vector<int> parent;
};

// --- stage 2: exact Euclidean distance (Felzenszwalb and Huttenlocher) ----------

void Edt1D(const float* f, int n, float* d, int* v, float* z) {
  int k = 0;
  v[0] = 0;
  z[0] = -kInf;
  z[1] = kInf;
  for (int q = 1; q < n; ++q) {
    float s;
    while (true) {
      const int p = v[k];
      s = ((f[q] + float(q) * q) - (f[p] + float(p) * p)) / (2.0f * float(q - p));
      if (s <= z[k] && k > 0) --k;
      else break;
    }
    if (s <= z[k]) {  // k == 0: replace
      v[0] = q;
      z[1] = kInf;
      continue;
    }
    ++k;
    v[k] = q;
    z[k] = s;
    z[k + 1] = kInf;
  }
  k = 0;
  for (int q = 0; q < n; ++q) {
    while (z[k + 1] < float(q)) ++k;
    const float dq = float(q - v[k]);
    d[q] = dq * dq + f[v[k]];
  }
}

// The first x from x on where (row[x] & bit), or w: paper is passed over
// eight pixels at a time.
int NextInk(const uint8_t* row, int x, int w, uint8_t bit) {
  const uint64_t bits = uint64_t(bit) * 0x0101010101010101ull;
  for (; x + 8 <= w; x += 8) {
    uint64_t eight;
    std::memcpy(&eight, row + x, 8);
    if (eight & bits) break;
  }
  while (x < w && !(row[x] & bit)) ++x;
  return x;
}

// Distances to paper are exact only up to far, a squared distance past
// which no test of the stages looks: every one asks whether a pixel lies
// within some reach of paper, of a fill or of a centre, and the reaches
// are at most a stroke's half width and four pixels (see FarSquared), so
// 16 bits a pixel hold the distance plane (half the memory of exact
// numbers: on a picture of 12 million pixels 24 MB less to take from the
// system and to walk), and a pixel's nearest paper along its row is
// looked for only as far as far reaches.
constexpr float kMaxStrokeWidth = 500;  // far then still fits 16 bits
// Rows' runs of ink this long or shorter (with the paper at their ends)
// are solved by trying every pixel.
constexpr int kShortRun = 10;

// The far distance for strokes at most maxWidth wide: past the half width
// and the ring layers of a fill (half the width and two more pixels, a
// pixel and a half beyond that for the fill's inside), all a test reads.
uint32_t FarSquared(float maxWidth) {
  const float width = maxWidth > 0 ? std::min(maxWidth, kMaxStrokeWidth) : 0.0f;  // (no width for NaN)
  const float reach = width / 2 + 4;
  return uint32_t(std::ceil(reach * reach));
}

// Squared distances from every pixel where (ink & bit) to the nearest
// pixel where not, the picture's border counting as paper; 0 off the ink,
// far from far on. Squared distances between pixels are whole numbers,
// kept exactly below that. The plane starts zero and only the ink's
// stretches of it are written: in a drawing most of the plane is paper,
// whose memory is then never touched.
TZeroPlane<uint16_t> SquaredDistances(const uint8_t* ink, int w, int h, uint32_t far, uint8_t bit = 1) {
  far = std::min<uint32_t>(far, 65535);
  // A run this long down a column, or this far along a row, is far.
  uint32_t farRun = 1;
  while (farRun * farRun < far) ++farRun;
  TZeroPlane<uint16_t> dt(size_t(w) * size_t(h));
  // Down the columns the distance to paper is a count, from above and
  // from below: one scan down the rows in memory order (bands of columns
  // on each core, a block of 64 columns at a time), which writes each ink
  // pixel's distance from above, and where a run of ink ends goes back up
  // over its last farRun pixels, nearer the paper below. A block of paper
  // only ends the runs. Counts stop at farRun, whose square is already far.
  constexpr int kBlock = 64;
  ParallelRows((w + 255) / 256, 2LL * 256 * h, [&](int b0, int b1) {
    const int x0 = b0 * 256, x1 = std::min(w, b1 * 256), n = x1 - x0;
    std::vector<uint32_t> run(static_cast<size_t>(n), 0);
    std::vector<uint8_t> going((static_cast<size_t>(n) + kBlock - 1) / kBlock, 0);  // a block's runs may go on
    uint32_t* const r = run.data();
    uint16_t* const band = dt.data() + size_t(x0);
    // Column i's run ends above row y (the picture's bottom at y = h).
    const auto end = [&](int i, int y) {
      uint16_t* p = band + size_t(y) * size_t(w) + size_t(i);
      for (uint32_t k = 1; k <= r[i]; ++k) {
        p -= w;
        *p = uint16_t(std::min<uint32_t>(*p, k * k));
      }
      r[i] = 0;
    };
    for (int y = 0; y < h; ++y) {
      const uint8_t* in = ink + size_t(y) * size_t(w) + size_t(x0);
      uint16_t* out = band + size_t(y) * size_t(w);
      for (int i0 = 0, blk = 0; i0 < n; i0 += kBlock, ++blk) {
        const int i1 = std::min(n, i0 + kBlock);
        if (NextInk(in + i0, 0, i1 - i0, bit) == i1 - i0) {  // no ink
          if (going[size_t(blk)])
            for (int i = i0; i < i1; ++i)
              if (r[i]) end(i, y);
          going[size_t(blk)] = 0;
          continue;
        }
        going[size_t(blk)] = 1;
        for (int i = i0; i < i1; ++i) {
          if (in[i] & bit) {
            r[i] = std::min(r[i] + 1, farRun);
            out[i] = uint16_t(std::min(r[i] * r[i], far));
          } else if (r[i]) {
            end(i, y);
          }
        }
      }
    }
    for (int i = 0; i < n; ++i)
      if (r[i]) end(i, h);
  });
  // Past a few dozen steps the envelope, whose cost does not grow with
  // far, is cheaper.
  const bool windowed = farRun <= 32;
  ParallelRows(h, 8LL * w, [&](int y0, int y1) {
    std::vector<float> f(static_cast<size_t>(w)), d(static_cast<size_t>(w)), z(static_cast<size_t>(w) + 1);
    std::vector<int> v(static_cast<size_t>(w)), near;
    // Along a row, an ink pixel's nearest paper lies no further out than
    // the paper pixels that end its run of ink: each run is solved on its
    // own, with those two, and paper stays 0. The work follows the ink, not
    // the picture.
    for (int y = y0; y < y1; ++y) {
      uint16_t* row = dt.data() + size_t(y) * size_t(w);
      const uint8_t* in = ink + size_t(y) * size_t(w);
      for (int x = NextInk(in, 0, w, bit); x < w; x = NextInk(in, x, w, bit)) {
        const int a = x;
        while (x < w && (in[x] & bit)) ++x;
        const int lo = std::max(a - 1, 0), hi = std::min(x, w - 1), n = hi - lo + 1;
        // (Far columns are far in the row too: a sum with one stands for a
        // distance at least as far.)
        const auto put = [&](int i, uint32_t squared) {
          const uint32_t border = uint32_t(std::min({i + 1, w - i, int(farRun)}));
          row[i] = uint16_t(std::min({squared, border * border, far}));
        };
        if (n <= kShortRun) {
          // Most runs cross a line a few pixels wide: the nearest of a
          // handful tried in whole numbers, where the envelope's divisions
          // cost more.
          uint32_t column[kShortRun];
          for (int i = lo; i <= hi; ++i) column[i - lo] = row[i];
          for (int i = a; i < x; ++i) {
            uint32_t best = column[i - lo];
            for (int j = lo; j <= hi; ++j) best = std::min(best, uint32_t((i - j) * (i - j)) + column[j - lo]);
            put(i, best);
          }
          continue;
        }
        for (int i = lo; i <= hi; ++i) f[size_t(i - lo)] = float(row[i]);
        if (windowed) {
          // Across a wide run (a fill), only a pixel nearer than far, and
          // within farRun, can bring another nearer than far. Where such
          // pixels are few (the paper at the run's ends, inside a fill),
          // each lends its distance to those round it; where they are many
          // (near a fill's top or bottom), each step out along the row is
          // a pass over the whole run, in vector lanes.
          float* const out = d.data();
          const float* const in = f.data();
          std::copy(in, in + n, out);
          const int reach = std::min(n, int(farRun));
          near.clear();
          for (int i = 0; i < n; ++i)
            if (in[i] < float(far)) near.push_back(i);
          if (near.size() * size_t(2 * reach + 1) < size_t(n) * size_t(reach) / 2) {
            for (const int j : near)
              for (int i = std::max(0, j - reach + 1); i < std::min(n, j + reach); ++i)
                out[i] = std::min(out[i], in[j] + float((i - j) * (i - j)));
          } else {
            for (int o = 1; o < reach; ++o) {
              const float step = float(o * o);
              for (int i = o; i < n; ++i) out[i] = std::min(out[i], in[i - o] + step);
              for (int i = 0; i + o < n; ++i) out[i] = std::min(out[i], in[i + o] + step);
            }
          }
        } else {
          Edt1D(f.data(), n, d.data(), v.data(), z.data());
        }
        for (int i = lo; i <= hi; ++i) put(i, uint32_t(d[size_t(i - lo)] + 0.5f));
      }
    }
  });
  return dt;
}

// Pixel index to column and row without a hardware division per pixel
// (the loops below take apart millions of indices): a multiplication by the
// width's rounded-up reciprocal, exact for every index below 2^32.
struct TIndexSplit {
  explicit TIndexSplit(int width) : w(width) {
    while ((int64_t(1) << shift) < int64_t(w)) ++shift;
    magic = ((uint64_t(1) << (32 + shift)) + uint64_t(w) - 1) / uint64_t(w);
  }
  int Y(int p) const { return int((uint64_t(uint32_t(p)) * magic) >> (32 + shift)); }
  int X(int p) const { return p - Y(p) * w; }
  int w;
  int shift = 0;
  uint64_t magic = 0;
};

// The smallest box round some pixels: columns x0 .. x1, rows y0 .. y1.
struct TPixelBox {
  int x0, y0, x1, y1;
};
TPixelBox BoxOf(const std::vector<int>& pixels, const TIndexSplit& at) {
  TPixelBox b{std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), -1, -1};
  for (int p : pixels) {
    const int x = at.X(p), y = at.Y(p);
    b = {std::min(b.x0, x), std::min(b.y0, y), std::max(b.x1, x), std::max(b.y1, y)};
  }
  return b;
}

// The eight neighbours in order N, NE, E, SE, S, SW, W, NW.
constexpr int kDx[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int kDy[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

// Visits the pixels 8-connected to start through pixels that take(q)
// accepts; take marks what it accepts, so each pixel is visited once (the
// caller has marked start). stack is the caller's, kept for reuse.
template <class Take, class Visit>
void Flood8(int start, int w, int h, const TIndexSplit& at, std::vector<int>& stack, Take take, Visit visit) {
  stack.push_back(start);
  while (!stack.empty()) {
    const int q = stack.back();
    stack.pop_back();
    visit(q);
    const int x = at.X(q), y = at.Y(q);
    for (int k = 0; k < 8; ++k) {
      const int nx = x + kDx[k], ny = y + kDy[k];
      if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
      const int t = ny * w + nx;
      if (take(t)) stack.push_back(t);
    }
  }
}

// --- stage 3: thinning (Zhang and Suen) ---------------------------------------------

// What the engine knows of each pixel, one byte per pixel for the whole
// picture (the rest of its storage follows the ink): bits set as the
// stages find them.
enum : uint8_t {
  kInk = 1,       // ink that strokes are made of (not a speck, not a fill)
  kFill = 2,      // ink of a fill
  kSkel = 4,      // on the skeleton (during thinning: not thinned away yet)
  kSeen = 8,      // during thinning: on the list of pixels that may go
  kVisited = 16,  // a line pixel already walked into a chain (before the graph, a
                  // stage's own passing mark, cleared when it is done)
  kKindShift = 5  // two bits: 1 line, 2 end, 3 junction (skeleton pixels only;
                  // before the graph, thinning's other passing mark)
};

struct TGrid {
  int w, h;
  TPlane<uint8_t>& m;
  uint8_t bit;
  uint8_t At(int x, int y) const {
    return x < 0 || y < 0 || x >= w || y >= h ? 0 : m[size_t(y) * size_t(w) + size_t(x)] & bit;
  }
  void Ring(int x, int y, int p[8]) const {
    for (int i = 0; i < 8; ++i) p[i] = At(x + kDx[i], y + kDy[i]) ? 1 : 0;
  }
};

// Runs of set neighbours round the ring: the number of branches meeting here.
int Crossings(const int p[8]) {
  int n = 0;
  for (int i = 0; i < 8; ++i) n += !p[i] && p[(i + 1) % 8];
  return n;
}

// The ring of neighbours where bit is set, as a byte (bit k for the k-th
// neighbour, N first, clockwise); off the picture counts as unset. Inside
// the picture the eight reads go straight to memory.
uint8_t RingMask(const uint8_t* m, int w, int h, int x, int y, uint8_t bit) {
  if (x > 0 && y > 0 && x + 1 < w && y + 1 < h) {
    const uint8_t* c = m + size_t(y) * size_t(w) + size_t(x);
    const size_t s = size_t(w);
    return uint8_t(((c[-s] & bit) ? 1 : 0) | ((c[1 - s] & bit) ? 2 : 0) | ((c[1] & bit) ? 4 : 0) |
                   ((c[1 + s] & bit) ? 8 : 0) | ((c[s] & bit) ? 16 : 0) | ((c[s - 1] & bit) ? 32 : 0) |
                   ((c[-1] & bit) ? 64 : 0) | ((c[-1 - s] & bit) ? 128 : 0));
  }
  uint8_t mask = 0;
  for (int k = 0; k < 8; ++k) {
    const int nx = x + kDx[k], ny = y + kDy[k];
    if (nx >= 0 && ny >= 0 && nx < w && ny < h && (m[size_t(ny) * size_t(w) + size_t(nx)] & bit)) mask |= uint8_t(1u << k);
  }
  return mask;
}

// Zhang and Suen's test for each ring, for each kind of pass: the pixel
// goes when it has 2 to 6 neighbours in one run round the ring, and (first
// pass) not N, E and S all set nor E, S and W, or (second pass) not N, E
// and W nor N, S and W.
struct TThinningTable {
  bool removable[2][256];
  TThinningTable() {
    for (int mask = 0; mask < 256; ++mask) {
      int p[8];
      for (int k = 0; k < 8; ++k) p[k] = (mask >> k) & 1;
      const int b = p[0] + p[1] + p[2] + p[3] + p[4] + p[5] + p[6] + p[7];
      const bool shape = b >= 2 && b <= 6 && Crossings(p) == 1;
      // N, E, S, W are p[0], p[2], p[4], p[6].
      removable[0][mask] = shape && p[0] * p[2] * p[4] == 0 && p[2] * p[4] * p[6] == 0;
      removable[1][mask] = shape && p[0] * p[2] * p[6] == 0 && p[0] * p[4] * p[6] == 0;
    }
  }
};

// Asks the memory for the plane's byte offset from the pixel listed 16
// places after k (if there is one), ahead of its use: the lists of pixels
// that thinning works through run all over the picture, in no order the
// processor could guess, and most of the rows above and below a pixel
// have left the cache since they were last read.
inline void FetchAhead(const uint8_t* plane, size_t size, const int* list, size_t k, size_t end, ptrdiff_t offset) {
  constexpr size_t kAhead = 16;
  if (k + kAhead >= end) return;
  const ptrdiff_t at = ptrdiff_t(list[k + kAhead]) + offset;
  if (at >= 0 && size_t(at) < size) __builtin_prefetch(plane + at);
}

// Zhang and Suen's thinning of the kSkel pixels listed in pixels (left
// holding the ones that stay). A pass only removes pixels with a paper
// neighbour, so only those are looked at: the ink's border at first, then
// the pixels a removal uncovers (marked kSeen while listed). A pixel that
// stayed through both kinds of pass with its neighbours unchanged stays
// until a neighbour goes, so it leaves the list until then. The work
// follows the changing border, not the ink, and each pass's decisions, all
// made on the state before it, are split over the cores.
void Thin(TPlane<uint8_t>& m, int w, int h, std::vector<int>& pixels) {
  // Stayed through a pass of each kind (bits free until the graph).
  constexpr uint8_t kStayed[2] = {kVisited, uint8_t(1u << kKindShift)};
  const TIndexSplit at(w);
  // The plane through a plain pointer: a byte stored through the vector's
  // [] may alias its own data pointer, which would be read again after
  // every store.
  uint8_t* const plane = m.data();
  const size_t size = m.size();
  std::vector<int> border;
  for (int i : pixels) plane[size_t(i)] &= uint8_t(~(kSeen | kStayed[0] | kStayed[1]));
  static const TThinningTable table;
  // The work of a pass is split in chunks of the list, which the cores
  // share; what each chunk finds is kept apart and joined in the chunks'
  // order, so the lists (and the skeleton) come out as if one core had
  // done it all. Only joining the pixels a pass uncovers to the list is
  // left to one core: a pixel may be uncovered from two chunks.
  constexpr int kChunks = 64;
  std::vector<std::vector<int>> found(kChunks);
  const auto inChunks = [&](size_t count, long long workPerItem, auto&& chunk) {
    const size_t per = (count + kChunks - 1) / kChunks;
    ParallelRows(kChunks, workPerItem * (long long)per, [&](int c0, int c1) {
      for (int c = c0; c < c1; ++c) chunk(c, std::min(count, size_t(c) * per), std::min(count, size_t(c + 1) * per));
    });
  };
  // The ink's border: pixels with a paper neighbour.
  inChunks(pixels.size(), 20, [&](int c, size_t k0, size_t k1) {
    std::vector<int>& edge = found[size_t(c)];
    edge.clear();
    for (size_t k = k0; k < k1; ++k) {
      FetchAhead(plane, size, pixels.data(), k, k1, w + 1);
      const int i = pixels[k];
      if (RingMask(plane, w, h, at.X(i), at.Y(i), kSkel) != 0xFF) edge.push_back(i);
    }
  });
  for (const std::vector<int>& edge : found)
    for (int i : edge) {
      plane[size_t(i)] |= kSeen;
      border.push_back(i);
    }
  std::vector<std::vector<int>> removeIn(kChunks);
  for (int pass = 0; !border.empty(); pass = 1 - pass) {
    // Which pixels go, all judged on the plane as the pass found it.
    const size_t listed = border.size();
    inChunks(listed, 20, [&](int c, size_t k0, size_t k1) {
      std::vector<int>& remove = removeIn[size_t(c)];
      remove.clear();
      for (size_t k = k0; k < k1; ++k) {
        FetchAhead(plane, size, border.data(), k, k1, w + 1);  // the row below
        const int i = border[k];
        if (table.removable[pass][RingMask(plane, w, h, at.X(i), at.Y(i), kSkel)]) remove.push_back(i);
      }
    });
    // A chunk's pixels go, and the rest of its list that stays is marked:
    // each touches only its own pixels.
    inChunks(listed, 4, [&](int c, size_t k0, size_t k1) {
      for (int i : removeIn[size_t(c)]) plane[size_t(i)] &= uint8_t(~(kSkel | kSeen | kStayed[0] | kStayed[1]));
      for (size_t k = k0; k < k1; ++k) {
        FetchAhead(plane, size, border.data(), k, k1, 0);
        const int i = border[k];
        if (plane[size_t(i)] & kSkel) plane[size_t(i)] |= kStayed[pass];
      }
    });
    // The skeleton's pixels next to those that went, found by reading
    // only; then, in order, they lose their marks of staying, and those
    // not listed yet join the list.
    inChunks(listed, 8, [&](int c, size_t, size_t) {
      const std::vector<int>& remove = removeIn[size_t(c)];
      std::vector<int>& next = found[size_t(c)];
      next.clear();
      for (size_t r = 0; r < remove.size(); ++r) {
        FetchAhead(plane, size, remove.data(), r, remove.size(), -w);
        FetchAhead(plane, size, remove.data(), r, remove.size(), w);
        const int i = remove[r];
        const int x = at.X(i), y = at.Y(i);
        for (int k = 0; k < 8; ++k) {
          const int nx = x + kDx[k], ny = y + kDy[k];
          if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
          const int q = ny * w + nx;
          if (plane[size_t(q)] & kSkel) next.push_back(q);
        }
      }
    });
    for (const std::vector<int>& next : found)
      for (int q : next) {
        uint8_t& b = plane[size_t(q)];
        b &= uint8_t(~(kStayed[0] | kStayed[1]));
        if (!(b & kSeen)) {
          b |= kSeen;
          border.push_back(q);
        }
      }
    border.erase(std::remove_if(border.begin(), border.end(),
                                [&](int i) {
                                  uint8_t& q = plane[size_t(i)];
                                  if (!(q & kSkel)) return true;
                                  if ((q & kStayed[0]) && (q & kStayed[1])) {
                                    q &= uint8_t(~(kSeen | kStayed[0] | kStayed[1]));
                                    return true;
                                  }
                                  return false;
                                }),
                 border.end());
  }
  pixels.erase(std::remove_if(pixels.begin(), pixels.end(), [&](int i) { return !(plane[size_t(i)] & kSkel); }),
               pixels.end());
}

// Removes the stair pixels thinning leaves on slanted lines: a pixel whose
// two set neighbours are an orthogonal pair that touch each other
// diagonally joins nothing they do not already join. Afterwards a line
// pixel has exactly two neighbours, so neighbour counts find ends and
// junctions.
void RemoveStairs(TPlane<uint8_t>& m, int w, int h, std::vector<int>& pixels) {
  const TGrid g{w, h, m, kSkel};
  const TIndexSplit at(w);
  for (int i : pixels) {
    const int x = at.X(i), y = at.Y(i);
    int p[8];
    g.Ring(x, y, p);
    // N, NE, E, SE, S, SW, W, NW = p[0..7]
    const bool ne = p[0] && p[2] && !p[4] && !p[6] && !p[5];
    const bool se = p[2] && p[4] && !p[0] && !p[6] && !p[7];
    const bool sw = p[4] && p[6] && !p[0] && !p[2] && !p[1];
    const bool nw = p[6] && p[0] && !p[2] && !p[4] && !p[3];
    if (ne || se || sw || nw) m[size_t(i)] &= uint8_t(~kSkel);
  }
  pixels.erase(std::remove_if(pixels.begin(), pixels.end(), [&](int i) { return !(m[size_t(i)] & kSkel); }),
               pixels.end());
}

// --- stage 8: fitting cubic Béziers (Schneider) -------------------------------------

struct TBezier {
  TPt p0, p1, p2, p3;
};

TPt BezierAt(const TBezier& b, float t) {
  const float u = 1 - t;
  return b.p0 * (u * u * u) + b.p1 * (3 * u * u * t) + b.p2 * (3 * u * t * t) + b.p3 * (t * t * t);
}

TBezier FitOne(const std::vector<TPt>& pts, int first, int last, const std::vector<float>& u, TPt t1, TPt t2) {
  const TPt p0 = pts[size_t(first)], p3 = pts[size_t(last)];
  double c00 = 0, c01 = 0, c11 = 0, x0 = 0, x1 = 0;
  for (int i = first; i <= last; ++i) {
    const float t = u[size_t(i - first)], s = 1 - t;
    const TPt a1 = t1 * (3 * s * s * t), a2 = t2 * (3 * s * t * t);
    c00 += Dot(a1, a1);
    c01 += Dot(a1, a2);
    c11 += Dot(a2, a2);
    const TPt tmp = pts[size_t(i)] - (p0 * (s * s * s + 3 * s * s * t) + p3 * (3 * s * t * t + t * t * t));
    x0 += Dot(a1, tmp);
    x1 += Dot(a2, tmp);
  }
  const double det = c00 * c11 - c01 * c01;
  double alpha1 = 0, alpha2 = 0;
  if (std::fabs(det) > 1e-12) {
    alpha1 = (x0 * c11 - x1 * c01) / det;
    alpha2 = (c00 * x1 - c01 * x0) / det;
  }
  const float seg = Len(p3 - p0);
  if (alpha1 < 1e-3 * seg || alpha2 < 1e-3 * seg) alpha1 = alpha2 = seg / 3;
  return {p0, p0 + t1 * float(alpha1), p3 + t2 * float(alpha2), p3};
}

void Fit(const std::vector<TPt>& pts, int first, int last, TPt t1, TPt t2, float tol, std::vector<TBezier>& out,
         int depth = 0) {
  if (last - first == 1 || depth > 24) {
    const float d = Len(pts[size_t(last)] - pts[size_t(first)]) / 3;
    out.push_back({pts[size_t(first)], pts[size_t(first)] + t1 * d, pts[size_t(last)] + t2 * d, pts[size_t(last)]});
    return;
  }
  std::vector<float> u(static_cast<size_t>(last - first + 1));
  u[0] = 0;
  for (int i = first + 1; i <= last; ++i) u[size_t(i - first)] = u[size_t(i - first - 1)] + Len(pts[size_t(i)] - pts[size_t(i - 1)]);
  const float total = u.back() > 0 ? u.back() : 1;
  for (float& v : u) v /= total;
  TBezier b{};
  int split = (first + last) / 2;
  for (int attempt = 0; attempt < 4; ++attempt) {
    b = FitOne(pts, first, last, u, t1, t2);
    float worst = 0;
    for (int i = first + 1; i < last; ++i) {
      const float e = Len(BezierAt(b, u[size_t(i - first)]) - pts[size_t(i)]);
      if (e > worst) {
        worst = e;
        split = i;
      }
    }
    if (worst <= tol) {
      out.push_back(b);
      return;
    }
    if (worst > 4 * tol) break;
    // Newton steps towards each point's nearest parameter.
    for (int i = first; i <= last; ++i) {
      float& t = u[size_t(i - first)];
      const TPt d = BezierAt(b, t) - pts[size_t(i)];
      const float s = 1 - t;
      const TPt d1 = (b.p1 - b.p0) * (3 * s * s) + (b.p2 - b.p1) * (6 * s * t) + (b.p3 - b.p2) * (3 * t * t);
      const TPt d2 = (b.p2 - b.p1 * 2 + b.p0) * (6 * s) + (b.p3 - b.p2 * 2 + b.p1) * (6 * t);
      const float den = Dot(d1, d1) + Dot(d, d2);
      if (std::fabs(den) > 1e-9f) t = std::clamp(t - Dot(d, d1) / den, 0.0f, 1.0f);
    }
  }
  split = std::clamp(split, first + 1, last - 1);
  const TPt centre = Unit(pts[size_t(split - 1)] - pts[size_t(split + 1)]);
  Fit(pts, first, split, t1, centre, tol, out, depth + 1);
  Fit(pts, split, last, centre * -1, t2, tol, out, depth + 1);
}

// Passes of the [1 2 1] filter over a polyline's inner points (its ends
// stay put), or over all the points of a closed one, round where it closes.
void Smooth(std::vector<TPt>& pts, int passes, bool closed = false) {
  const size_t n = pts.size();
  for (int pass = 0; pass < passes && n > 4; ++pass) {
    std::vector<TPt> s = pts;
    for (size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i)
      s[i] = (pts[(i + n - 1) % n] + pts[i] * 2 + pts[(i + 1) % n]) * 0.25f;
    pts.swap(s);
  }
}

// A polyline as cubic curves: smoothed a little (pixel stairs are noise),
// cut at corners, each piece fitted within the tolerance.
void FitPolyline(std::vector<TPt> pts, float tol, float cornerDegrees, TPathData& path, float width = 2,
                 const std::function<bool(TPt)>& inked = {}) {
  if (pts.size() < 2) return;
  const float cosLimit = std::cos(cornerDegrees * 3.14159265f / 180);
  constexpr size_t kSpan = 5;
  // A closed line (its last point its first) without a corner anywhere (a
  // ring, an ellipse) has no ends: it is smoothed round where it closes as
  // everywhere else, and fitted with one direction there for both ends.
  // Held in place and fitted from each side, the point where it closes
  // stood out of the curve as a small spike.
  if (pts.size() > 4 * kSpan && Len(pts.front() - pts.back()) < 1e-3f) {
    std::vector<TPt> ring(pts.begin(), pts.end() - 1);
    const size_t m = ring.size();
    Smooth(ring, 2, true);
    bool corner = false;
    for (size_t i = 0; i < m && !corner; ++i) corner = Turn(ring[(i + m - kSpan) % m], ring[i], ring[(i + kSpan) % m]) < cosLimit;
    if (!corner) {
      Smooth(ring, 6, true);
      ring.push_back(ring.front());
      const TPt across = Unit(ring[1] - ring[m - 1]);
      std::vector<TBezier> curves;
      Fit(ring, 0, int(m), across, across * -1.0f, tol, curves);
      path.MoveTo({ring[0].x, ring[0].y});
      for (const TBezier& b : curves) path.CurveTo({b.p1.x, b.p1.y}, {b.p2.x, b.p2.y}, {b.p3.x, b.p3.y});
      return;
    }
  }
  Smooth(pts, 2);
  const size_t n = pts.size();
  // Corners: where the direction over five points each side turns sharply
  // (shorter spans see the pixel stairs as corners); the sharpest point of
  // a bend is the corner.
  std::vector<size_t> cuts{0};
  for (size_t i = kSpan; i + kSpan < n; ++i) {
    const float turn = Turn(pts[i - kSpan], pts[i], pts[i + kSpan]);
    if (turn >= cosLimit) continue;
    // The sharpest point of this bend.
    size_t best = i;
    float sharpest = turn;
    for (size_t k = i + 1; k + kSpan < n && k < i + kSpan; ++k) {
      const float t = Turn(pts[k - kSpan], pts[k], pts[k + kSpan]);
      if (t < sharpest) {
        sharpest = t;
        best = k;
      }
    }
    if (best - cuts.back() >= kSpan) cuts.push_back(best);
    i = best + kSpan - 1;
  }
  // A gentler bend between straight stretches is a corner too (a polygon's
  // vertex, the point of a chin), where a curve bends all along. Looked at
  // from as far as the line is wide, past the rounding thinning leaves.
  {
    const size_t s = std::max(kSpan, size_t(width));
    const float gentle = std::cos(35 * 3.14159265f / 180), straight = std::cos(12 * 3.14159265f / 180);
    std::vector<size_t> more;
    for (size_t i = 3 * s; i + 3 * s < n; ++i) {
      const float turn = Turn(pts[i - s], pts[i], pts[i + s]);
      if (turn >= gentle || turn < cosLimit) continue;
      if (Turn(pts[i - 3 * s], pts[i - 2 * s], pts[i - s]) < straight || Turn(pts[i + s], pts[i + 2 * s], pts[i + 3 * s]) < straight)
        continue;
      size_t best = i;
      float sharpest = turn;
      for (size_t k = i + 1; k + 3 * s < n && k < i + s; ++k) {
        const float t = Turn(pts[k - s], pts[k], pts[k + s]);
        if (t < sharpest) {
          sharpest = t;
          best = k;
        }
      }
      more.push_back(best);
      i = best + s - 1;
    }
    for (size_t c : more) {
      const auto at = std::lower_bound(cuts.begin(), cuts.end(), c);
      const bool apart = (at == cuts.end() || *at - c >= kSpan) && (at == cuts.begin() || c - *(at - 1) >= kSpan);
      if (apart) cuts.insert(at, c);
    }
  }
  cuts.push_back(n - 1);
  // Thinning cuts a corner's tip off, the more so the wider the line and
  // the sharper the corner: the corner point goes back to where the
  // straight stretches on either side meet (looked at from as far off as
  // the line is wide), and the rounded points about it give way, so the
  // stretches run straight into the corner.
  std::vector<uint8_t> drop(n, 0);
  for (size_t c = 1; c + 1 < cuts.size(); ++c) {
    const size_t i = cuts[c];
    size_t span = std::max(kSpan, size_t(1.5f * width));
    if (i < 2 * span || i + 2 * span >= n) span = kSpan;
    if (i < 2 * span || i + 2 * span >= n) continue;
    // Where the stretches span to 2 span points before and after i meet.
    const auto meetOf = [&](size_t reach, TPt& meet) {
      const TPt a0 = pts[i - 2 * reach], a1 = pts[i - reach], b0 = pts[i + reach], b1 = pts[i + 2 * reach];
      const TPt da = a1 - a0, db = b1 - b0;
      const float den = da.x * db.y - da.y * db.x;
      if (std::fabs(den) < 1e-3f) return false;
      const float t = ((b0.x - a0.x) * db.y - (b0.y - a0.y) * db.x) / den;
      meet = a0 + da * t;
      return true;
    };
    TPt meet;
    if (!meetOf(span, meet)) continue;
    float moved = Len(meet - pts[i]);
    // Farther off only into ink: the mitred tip of a sharp bend reaches
    // far past where thinning rounds it, and its sides run straight only
    // well away from the fork, where they are looked at again (the sides
    // seen from twice as far meeting farther out, in ink).
    // The stretches must not reach past the corners before and after.
    const auto clear = [&](size_t reach) { return cuts[c - 1] + 2 * reach <= i && i + 2 * reach <= cuts[c + 1]; };
    const auto intoInk = [&](TPt q) { return inked && Len(q - pts[i]) <= 8 * width && inked(q) && inked((q + pts[i]) * 0.5f); };
    if (moved > std::max(4.0f, 2 * width) && !(clear(span) && intoInk(meet))) continue;
    TPt farther;
    if (inked && clear(2 * span) && meetOf(2 * span, farther) && Len(farther - pts[i]) > moved + 1 && intoInk(farther)) {
      meet = farther;
      span *= 2;
      moved = Len(meet - pts[i]);
    }
    pts[i] = meet;
    const size_t round = std::min(span - 1, size_t(moved + width / 2));
    for (size_t k = i - round; k <= i + round; ++k)
      if (k != i) drop[k] = 1;
  }
  {
    std::vector<TPt> keptPts;
    std::vector<size_t> at(n);
    for (size_t i = 0; i < n; ++i) {
      at[i] = keptPts.size();
      if (!drop[i]) keptPts.push_back(pts[i]);
    }
    for (size_t& c : cuts) c = at[c];
    pts.swap(keptPts);
  }
  path.MoveTo({pts[0].x, pts[0].y});
  for (size_t c = 0; c + 1 < cuts.size(); ++c) {
    const int first = int(cuts[c]), last = int(cuts[c + 1]);
    if (last <= first) continue;
    // Between corners the pixel stairs are smoothed further (the corners
    // and ends stay put), so a round shape is fitted as round, not as the
    // stairs it was drawn with.
    std::vector<TPt> piece(pts.begin() + first, pts.begin() + last + 1);
    Smooth(piece, 6);
    const int m = int(piece.size()) - 1;
    // A piece that stays within half the tolerance of its chord is a
    // straight line, drawn as one.
    const TPt a = piece.front(), b = piece.back(), chord = b - a;
    const float chordLength = Len(chord);
    float off = 0;
    for (const TPt& p : piece)
      off = std::max(off, chordLength > 1e-3f ? std::fabs((p - a).x * chord.y - (p - a).y * chord.x) / chordLength : Len(p - a));
    if (off <= tol / 2) {
      path.CurveTo({a.x + chord.x / 3, a.y + chord.y / 3}, {a.x + chord.x * 2 / 3, a.y + chord.y * 2 / 3}, {b.x, b.y});
      continue;
    }
    // The end directions over a stretch as long as the line is wide: the
    // last pixels of a thinned line bend off.
    const int span = std::max(2, std::min(int(width), m / 3));
    const TPt t1 = Unit(piece[size_t(std::min(span, m))] - piece[0]);
    const TPt t2 = Unit(piece[size_t(std::max(m - span, 0))] - piece[size_t(m)]);
    std::vector<TBezier> curves;
    Fit(piece, 0, m, t1, t2, tol, curves);
    for (const TBezier& b : curves) path.CurveTo({b.p1.x, b.p1.y}, {b.p2.x, b.p2.y}, {b.p3.x, b.p3.y});
  }
}

// --- stage 4: fills as outlines ------------------------------------------------------

// A closed loop of pixel corners as curves: through the middles of the
// pixel edges (the stairs' corners are not the shape's), started at its
// sharpest corner so that corners stay sharp, fitted like a stroke's
// centre line. The figure is left open for the caller to close.
void FitLoop(const std::vector<TPt>& loop, float tol, float cornerDegrees, TPathData& path) {
  const size_t n = loop.size();
  std::vector<TPt> mid(n);
  for (size_t i = 0; i < n; ++i) mid[i] = (loop[i] + loop[(i + 1) % n]) * 0.5f;
  size_t start = 0;
  if (n > 12) {
    constexpr size_t kSpan = 5;
    float sharpest = 2;
    for (size_t i = 0; i < n; ++i) {
      const float turn = Turn(mid[(i + n - kSpan) % n], mid[i], mid[(i + kSpan) % n]);
      if (turn < sharpest) {
        sharpest = turn;
        start = i;
      }
    }
  }
  std::vector<TPt> pts;
  pts.reserve(n + 1);
  for (size_t i = 0; i <= n; ++i) pts.push_back(mid[(start + i) % n]);
  FitPolyline(std::move(pts), tol, cornerDegrees, path);
}

// The outlines of the pixels where inside(x, y) holds, as closed loops
// along pixel edges (ink on the left), each fitted as curves.
template <class Inside>
void Outlines(int x0, int y0, int x1, int y1, Inside inside, float tol, float cornerDegrees, TPathData& path) {
  // Directed edges by their start corner (a corner starts two edges where
  // two pixels touch diagonally; the first found is walked first). Stored
  // as a list, not a map of corners, so a large fill costs its outline.
  const long long cw = x1 - x0 + 2;
  auto key = [&](int x, int y) { return (long long)(y - y0) * cw + (x - x0); };
  struct TEdge {
    long long from, to;
  };
  std::vector<TEdge> edges;
  auto add = [&](int ax, int ay, int bx, int by) { edges.push_back({key(ax, ay), key(bx, by)}); };
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      if (!inside(x, y)) continue;
      if (!inside(x, y - 1)) add(x, y, x + 1, y);          // top, going right
      if (!inside(x + 1, y)) add(x + 1, y, x + 1, y + 1);  // right, going down
      if (!inside(x, y + 1)) add(x + 1, y + 1, x, y + 1);  // bottom, going left
      if (!inside(x - 1, y)) add(x, y + 1, x, y);          // left, going up
    }
  std::stable_sort(edges.begin(), edges.end(), [](const TEdge& a, const TEdge& b) { return a.from < b.from; });
  std::vector<uint8_t> used(edges.size(), 0);
  const auto firstFrom = [&](long long corner) {
    size_t i = size_t(std::lower_bound(edges.begin(), edges.end(), corner,
                                       [](const TEdge& e, long long c) { return e.from < c; }) -
                      edges.begin());
    while (i < edges.size() && edges[i].from == corner && used[i]) ++i;
    return i < edges.size() && edges[i].from == corner ? long(i) : -1L;
  };
  for (size_t start = 0; start < edges.size(); ++start) {
    if (used[start]) continue;
    std::vector<TPt> loop;
    const long long origin = edges[start].from;
    long e = long(start);
    do {
      const long long at = edges[size_t(e)].from;
      loop.push_back({float(at % cw + x0), float(at / cw + y0)});
      used[size_t(e)] = 1;
      e = edges[size_t(e)].to == origin ? -1L : firstFrom(edges[size_t(e)].to);
    } while (e >= 0);
    if (loop.size() < 3) continue;
    FitLoop(loop, tol, cornerDegrees, path);
    path.ClosePath();
  }
}

float Luma3(float r, float g, float b) { return 0.299f * r + 0.587f * g + 0.114f * b; }
float LumaOf(uint32_t c) { return Luma3(float((c >> 16) & 0xFF), float((c >> 8) & 0xFF), float(c & 0xFF)); }

// How far apart two colours' hues lie, leaving out how light they are:
// an anti-aliased thin stroke is a lighter grey than a thick black one
// but not another colour.
int HueDistance(uint32_t a, uint32_t b) {
  const auto rg = [](uint32_t c) { return int((c >> 16) & 0xFF) - int((c >> 8) & 0xFF); };
  const auto gb = [](uint32_t c) { return int((c >> 8) & 0xFF) - int(c & 0xFF); };
  return std::max(std::abs(rg(a) - rg(b)), std::abs(gb(a) - gb(b)));
}

TAlphaColor MeanColour(const double sum[3], double n) {
  if (n <= 0) return 0xFF000000u;
  return 0xFF000000u | uint32_t(std::lround(sum[0] / n)) << 16 | uint32_t(std::lround(sum[1] / n)) << 8 |
         uint32_t(std::lround(sum[2] / n));
}

}  // namespace

namespace {

// A row of the picture as grey for the ink test, composed onto white
// paper. Coloured ink stands out from paper by its colour as much as by its
// darkness: an orange or pink line is nearly as light as mid grey. Strong
// colour counts as dark (paper's faint tints and a photo's colour noise
// stay well above any threshold). Every step fits in 16 bits, and the
// division by 255 is done exactly with shifts, so the loop runs in vector
// lanes; built twice, for AVX2 (three times as fast here: SSE2 lacks the
// 16-bit minimum and maximum) and for any x86-64, the machine picking one
// when the program starts.
KARTO_WIDE_CLONES void GreyRow(const uint32_t* s, uint8_t* out, int width) {
  for (int x = 0; x < width; ++x) {
    const uint32_t c = s[x];
    const uint16_t a = uint16_t(c >> 24), r = uint16_t((c >> 16) & 0xFF), g = uint16_t((c >> 8) & 0xFF),
                   b = uint16_t(c & 0xFF);
    const uint16_t luma = uint16_t(uint16_t(77 * r + 150 * g + 29 * b + 128) >> 8);
    const uint16_t chroma = uint16_t(std::max(r, std::max(g, b)) - std::min(r, std::min(g, b)));
    const uint16_t fade = uint16_t(chroma + (chroma >> 1));  // 3/2 of the chroma
    const uint16_t l = std::min(luma, uint16_t(fade >= 255 ? 0 : 255 - fade));
    // 255 - a * (255 - l) / 255, rounded.
    const uint16_t v = uint16_t(a * uint16_t(255 - l) + 127);
    out[x] = uint8_t(255 - (uint16_t(v + 1 + (v >> 8)) >> 8));
  }
}

// The paper's level is estimated per block of this many pixels square.
constexpr int kPaperBlock = 16;

// Paper photographed in uneven light, or scanned with a shadow at the
// binding, is grey in places, sometimes darker than the threshold. The
// paper's own level is estimated as the brightest grey in blocks of 16
// pixels (strokes are thin, so every block holds some paper), widened to
// the brightest of the blocks around (so ink areas up to about 40 pixels
// across still see paper), smoothed, and divided out: paper becomes white
// wherever it is, ink keeps its contrast to it. Where even that estimate
// is dark (inside a large filled shape) the picture's usual paper level
// stands in, so large fills stay ink. On white paper nothing changes, and
// the answer is false. brightest holds the brightest grey of each block,
// in rows of blocks, gathered by the pass that makes the grey.
bool EvenOutPaper(TPlane<uint8_t>& grey, const std::vector<uint8_t>& brightest, int w, int h) {
  constexpr int kBlock = kPaperBlock;
  const int bw = (w + kBlock - 1) / kBlock, bh = (h + kBlock - 1) / kBlock;
  std::vector<float> level(brightest.begin(), brightest.end());
  const auto spread = [&](const std::vector<float>& in, int r, bool useMax) {
    std::vector<float> out(in.size());
    for (int by = 0; by < bh; ++by)
      for (int bx = 0; bx < bw; ++bx) {
        float acc = 0;
        int count = 0;
        for (int dy = -r; dy <= r; ++dy)
          for (int dx = -r; dx <= r; ++dx) {
            const int x = std::clamp(bx + dx, 0, bw - 1), y = std::clamp(by + dy, 0, bh - 1);
            const float v = in[size_t(y) * size_t(bw) + size_t(x)];
            acc = useMax ? std::max(acc, v) : acc + v;
            ++count;
          }
        out[size_t(by) * size_t(bw) + size_t(bx)] = useMax ? acc : acc / float(count);
      }
    return out;
  };
  level = spread(spread(level, 1, true), 1, false);
  std::vector<float> sorted = level;
  std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
  const float usual = sorted[sorted.size() / 2];
  if (usual >= 250) return false;  // white paper: nothing to even out
  const float floor = std::max(64.0f, 0.6f * usual);
  for (float& v : level) v = std::max(v, floor);
  // Block levels at block middles, interpolated between them; the columns'
  // blocks and weights are the same on every row.
  std::vector<int> colA(static_cast<size_t>(w)), colB(static_cast<size_t>(w));
  std::vector<float> colT(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x) {
    const float fx = std::clamp((float(x) + 0.5f) / kBlock - 0.5f, 0.0f, float(bw - 1));
    colA[size_t(x)] = int(fx);
    colB[size_t(x)] = std::min(bw - 1, int(fx) + 1);
    colT[size_t(x)] = fx - float(int(fx));
  }
  ParallelRows(h, 8LL * w, [&](int y0, int y1) {
    std::vector<float> scale(static_cast<size_t>(w));
    for (int y = y0; y < y1; ++y) {
      const float fy = std::clamp((float(y) + 0.5f) / kBlock - 0.5f, 0.0f, float(bh - 1));
      const int ya = int(fy), yb = std::min(bh - 1, ya + 1);
      const float ty = fy - float(ya);
      const float* ra = level.data() + size_t(ya) * size_t(bw);
      const float* rb = level.data() + size_t(yb) * size_t(bw);
      for (int x = 0; x < w; ++x) {
        const int xa = colA[size_t(x)], xb = colB[size_t(x)];
        const float tx = colT[size_t(x)];
        const float v = (ra[xa] * (1 - tx) + ra[xb] * tx) * (1 - ty) + (rb[xa] * (1 - tx) + rb[xb] * tx) * ty;
        scale[size_t(x)] = 255.0f / v;
      }
      uint8_t* row = grey.data() + size_t(y) * size_t(w);
      for (int x = 0; x < w; ++x) row[x] = uint8_t(std::min(255.0f, float(row[x]) * scale[size_t(x)] + 0.5f));
    }
  });
  return true;
}

// A number for each of a known count of pixels, by pixel index: open
// addressing in one array, for the few (or, in a speckled picture, the many)
// pixels that need one, where a whole-picture plane would cost 4 bytes a
// pixel.
class TPixelIds {
 public:
  explicit TPixelIds(size_t count) {
    size_t capacity = 16;
    while (capacity < 2 * count) capacity *= 2;
    m_slots.assign(capacity, {-1, -1});
    m_mask = capacity - 1;
  }
  // The number of pixel p, or -1.
  int Find(int p) const {
    for (size_t i = Slot(p);; i = (i + 1) & m_mask) {
      if (m_slots[i].first == p) return m_slots[i].second;
      if (m_slots[i].first < 0) return -1;
    }
  }
  // Sets the number of p; at most the count given pixels take one.
  void Set(int p, int id) {
    size_t i = Slot(p);
    while (m_slots[i].first >= 0 && m_slots[i].first != p) i = (i + 1) & m_mask;
    m_slots[i] = {p, id};
  }

 private:
  size_t Slot(int p) const { return size_t(uint32_t(p) * 0x9E3779B1u) & m_mask; }
  std::vector<std::pair<int, int>> m_slots;
  size_t m_mask = 0;
};

// An 8-connected area of ink.
struct TArea {
  std::vector<int> pixels;
  float maxRadius = 0;
  int skeleton = 0;
  bool fill = false;
};

// A run of kInk pixels along a row; x1 is one past the last pixel.
struct TInkRun {
  int y, x0, x1;
};

// Runs (in scan order) joined into sets where they touch on neighbouring
// rows, diagonally too (8-connected); a set's root is its first run.
TUnionFind JoinTouchingRuns(const std::vector<TInkRun>& runs) {
  TUnionFind sets(runs.size());
  for (size_t prev = 0, cur = 0; cur < runs.size(); ++cur) {
    const TInkRun& b = runs[cur];
    // Runs of the row above that may touch b.
    while (prev < cur && (runs[prev].y < b.y - 1 || (runs[prev].y == b.y - 1 && runs[prev].x1 < b.x0))) ++prev;
    for (size_t a = prev; a < cur && runs[a].y == b.y - 1 && runs[a].x0 <= b.x1; ++a) {
      const int ra = sets.Root(int(a)), rb = sets.Root(int(cur));
      if (ra != rb) sets.parent[size_t(std::max(ra, rb))] = std::min(ra, rb);
    }
  }
  return sets;
}

// Adds pixel p to runs along the rows, where p comes after previous (the
// last pixel added, -2 for none) in scan order; true when it starts a run.
bool ExtendRuns(std::vector<TInkRun>& runs, int p, int previous, const TIndexSplit& at) {
  if (p == previous + 1 && at.X(p) != 0) {
    ++runs.back().x1;
    return false;
  }
  runs.push_back({at.Y(p), at.X(p), at.X(p) + 1});
  return true;
}

// The 8-connected pieces of pixels given in scan order, as the stretches
// of the list that are runs along a row, each with the number of its piece
// (pieces numbered in the order they start).
struct TPieceRun {
  size_t first, count;
  int piece;
};
std::vector<TPieceRun> PieceRuns(const std::vector<int>& pixels, const TIndexSplit& at, int& count) {
  std::vector<TInkRun> runs;
  std::vector<TPieceRun> stretches;
  for (size_t k = 0; k < pixels.size(); ++k) {
    if (ExtendRuns(runs, pixels[k], k > 0 ? pixels[k - 1] : -2, at)) stretches.push_back({k, 1, 0});
    else ++stretches.back().count;
  }
  TUnionFind sets = JoinTouchingRuns(runs);
  std::vector<int> pieceOfRoot(runs.size(), -1);
  count = 0;
  for (size_t r = 0; r < runs.size(); ++r) {
    int& n = pieceOfRoot[size_t(sets.Root(int(r)))];
    if (n < 0) n = count++;
    stretches[r].piece = n;
  }
  return stretches;
}

// Paper enclosed by ink in fewer than speck pixels is a pinhole, and
// counts as ink: the white dots where two lines drawn side by side
// almost touch, or where a scan's ink let the paper through, would
// otherwise thin into ladders and loops, and every distance to paper
// inside the ink would stop at them. The paper between the runs of a row
// is joined (4-connected, the other side of 8-connected ink) with the paper
// between the runs of the rows above and below; paper that reaches the
// picture's edge is no hole. runs (in scan order) are merged across the
// holes filled, and state marks their pixels as ink.
void FillPinholes(std::vector<TInkRun>& runs, TPlane<uint8_t>& state, int w, int h, int speck) {
  if (speck <= 1 || runs.empty()) return;
  // The paper between consecutive runs of a row (the paper before a row's
  // first run and after its last reaches the edge, and is left out; what
  // touches it is open).
  struct TGap {
    int y, x0, x1;
    size_t after;  // the run it follows
  };
  std::vector<TGap> gaps;
  for (size_t r = 0; r + 1 < runs.size(); ++r)
    if (runs[r + 1].y == runs[r].y) gaps.push_back({runs[r].y, runs[r].x1, runs[r + 1].x0, r});
  if (gaps.empty()) return;
  TUnionFind sets(gaps.size());
  std::vector<uint8_t> open(gaps.size(), 0);
  // A gap is open where it lies on the first or last row, or where paper
  // of the row above or below that is not a gap (before the first run,
  // after the last, or a row without ink) touches it.
  std::vector<size_t> rowStart(size_t(h) + 1, runs.size());  // first run of each row
  for (size_t r = runs.size(); r-- > 0;) rowStart[size_t(runs[r].y)] = r;
  for (int y = h - 1; y >= 0; --y)
    if (rowStart[size_t(y)] == runs.size()) rowStart[size_t(y)] = rowStart[size_t(y) + 1];
  const auto rowRuns = [&](int y, size_t& a, size_t& b) {
    a = rowStart[size_t(y)];
    b = a;
    while (b < runs.size() && runs[b].y == y) ++b;
  };
  for (size_t g = 0; g < gaps.size(); ++g) {
    const TGap& gap = gaps[g];
    if (gap.y == 0 || gap.y == h - 1) open[g] = 1;
    for (int y : {gap.y - 1, gap.y + 1}) {
      if (y < 0 || y >= h || open[g]) continue;
      size_t a, b;
      rowRuns(y, a, b);
      // Open paper of that row: before its first run, after its last.
      if (a == b || runs[a].x0 > gap.x0 || runs[b - 1].x1 < gap.x1) open[g] = 1;
    }
  }
  // Join the gaps of neighbouring rows that share a column.
  for (size_t prev = 0, cur = 0; cur < gaps.size(); ++cur) {
    const TGap& b = gaps[cur];
    while (prev < cur && (gaps[prev].y < b.y - 1 || (gaps[prev].y == b.y - 1 && gaps[prev].x1 <= b.x0))) ++prev;
    for (size_t a = prev; a < cur && gaps[a].y == b.y - 1 && gaps[a].x0 < b.x1; ++a) {
      const int ra = sets.Root(int(a)), rb = sets.Root(int(cur));
      if (ra != rb) sets.parent[size_t(std::max(ra, rb))] = std::min(ra, rb);
    }
  }
  std::vector<long long> size(gaps.size(), 0);
  std::vector<uint8_t> openSet(gaps.size(), 0);
  for (size_t g = 0; g < gaps.size(); ++g) {
    const size_t root = size_t(sets.Root(int(g)));
    size[root] += gaps[g].x1 - gaps[g].x0;
    openSet[root] |= open[g];
  }
  std::vector<uint8_t> merge(runs.size(), 0);  // run r runs on into run r + 1
  bool any = false;
  for (size_t g = 0; g < gaps.size(); ++g) {
    const size_t root = size_t(sets.Root(int(g)));
    if (openSet[root] || size[root] >= speck) continue;
    std::fill(state.begin() + long(gaps[g].y) * w + gaps[g].x0, state.begin() + long(gaps[g].y) * w + gaps[g].x1, kInk);
    merge[gaps[g].after] = 1;
    any = true;
  }
  if (!any) return;
  size_t kept = 0;
  for (size_t r = 0; r < runs.size(); ++r) {
    if (r > 0 && merge[r - 1]) runs[kept - 1].x1 = runs[r].x1;
    else runs[kept++] = runs[r];
  }
  runs.resize(kept);
}

// The 8-connected areas of kInk pixels, in the order of their first pixel
// in scan order, each area's pixels in scan order. Areas of fewer than
// speck pixels are dropped and their pixels cleared. Found from the runs of
// ink along the rows (gathered on the cores), joined where runs on
// neighbouring rows touch: the work follows the runs, and memory is read in
// order.
std::vector<TArea> InkAreas(TPlane<uint8_t>& state, int w, int h, int speck) {
  using TRun = TInkRun;
  constexpr int kBands = 16;
  std::vector<std::vector<TRun>> bandRuns(kBands);
  ParallelRows(kBands, (long long)w * h / kBands, [&](int b0, int b1) {
    for (int b = b0; b < b1; ++b)
      for (int y = h * b / kBands; y < h * (b + 1) / kBands; ++y) {
        const uint8_t* row = state.data() + size_t(y) * size_t(w);
        for (int x = NextInk(row, 0, w, kInk); x < w; x = NextInk(row, x, w, kInk)) {
          const int x0 = x;
          while (x < w && (row[x] & kInk)) ++x;
          bandRuns[size_t(b)].push_back({y, x0, x});
        }
      }
  });
  std::vector<TRun> runs;
  {
    size_t total = 0;
    for (const auto& band : bandRuns) total += band.size();
    runs.reserve(total);
    for (auto& band : bandRuns) {
      runs.insert(runs.end(), band.begin(), band.end());
      std::vector<TRun>().swap(band);
    }
  }
  FillPinholes(runs, state, w, h, speck);
  TUnionFind sets = JoinTouchingRuns(runs);
  std::vector<int> label(runs.size(), -1);
  std::vector<long long> count;
  for (size_t r = 0; r < runs.size(); ++r) {
    const int top = sets.Root(int(r));
    if (label[size_t(top)] < 0) {
      label[size_t(top)] = int(count.size());
      count.push_back(0);
    }
    label[r] = label[size_t(top)];
    count[size_t(label[r])] += runs[r].x1 - runs[r].x0;
  }
  std::vector<int> id(count.size(), -1);
  std::vector<TArea> areas;
  for (size_t l = 0; l < count.size(); ++l) {
    if (count[l] < speck) continue;
    id[l] = int(areas.size());
    areas.emplace_back();
    areas.back().pixels.resize(size_t(count[l]));
  }
  // Where each run's pixels go in its area's list (runs come in scan
  // order, so each list is too); then the lists are written, and the
  // specks cleared, on the cores.
  std::vector<size_t> filled(areas.size(), 0), at(runs.size());
  for (size_t r = 0; r < runs.size(); ++r) {
    const int a = id[size_t(label[r])];
    if (a < 0) continue;
    at[r] = filled[size_t(a)];
    filled[size_t(a)] += size_t(runs[r].x1 - runs[r].x0);
  }
  ParallelRows(int(runs.size()), 64, [&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      const TRun& run = runs[size_t(r)];
      const int a = id[size_t(label[size_t(r)])];
      const int p0 = run.y * w;
      if (a < 0) {
        std::fill(state.begin() + p0 + run.x0, state.begin() + p0 + run.x1, uint8_t(0));
        continue;
      }
      int* px = areas[size_t(a)].pixels.data() + at[size_t(r)];
      for (int x = run.x0; x < run.x1; ++x) *px++ = p0 + x;
    }
  });
  return areas;
}

// The order in which to hand jobs of these sizes to the cores: largest
// first, so that no core is left with a long one at the end.
std::vector<size_t> LargestFirst(const std::vector<size_t>& sizes) {
  std::vector<size_t> order(sizes.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return sizes[a] > sizes[b]; });
  return order;
}

// Hands every ink pixel to what took it: a fill's pixels to the fill, a
// stroke area's pixels to the kept stroke whose centre line is nearest
// through the ink (breadth first from all centre lines at once, so each
// pixel is visited once). A plane of owners, 0 off the ink, holds
// 1 + the owner's index, with kCentreClaim on centre-line pixels.
void ClaimInk(const std::vector<TArea>& areas, const std::vector<int>& fillOf,
              const std::vector<std::vector<int>>& strokePixels, const std::vector<int>& keptAs, int w, int h,
              TCentrelineDrawing& out) {
  constexpr uint32_t kCentre = TCentrelineDrawing::kCentreClaim, kUnclaimed = ~kCentre;
  TZeroPlane<uint32_t> owner(size_t(w) * size_t(h));
  const uint32_t strokes = uint32_t(out.Strokes.size());
  const TIndexSplit at(w);
  // Every ink pixel is an area's, and a bit in inked: found again in scan
  // order at the end, a word of 64 pixels at a time, with no pass over the
  // picture's paper.
  std::vector<uint64_t> inked((size_t(w) * size_t(h) + 63) / 64, 0);
  size_t inkCount = 0;
  for (size_t i = 0; i < areas.size(); ++i) {
    const uint32_t code = areas[i].fill && fillOf[i] >= 0 ? 1 + strokes + uint32_t(fillOf[i]) : kUnclaimed;
    for (int p : areas[i].pixels) {
      owner[size_t(p)] = code;
      inked[size_t(p) >> 6] |= uint64_t(1) << (p & 63);
    }
    inkCount += areas[i].pixels.size();
  }
  std::vector<int> queue;
  for (size_t s = 0; s < strokePixels.size(); ++s) {
    if (keptAs[s] < 0) continue;
    for (int p : strokePixels[s]) {
      owner[size_t(p)] = (1 + uint32_t(keptAs[s])) | kCentre;
      queue.push_back(p);
    }
  }
  for (size_t head = 0; head < queue.size(); ++head) {
    const int p = queue[head], x = at.X(p), y = at.Y(p);
    for (int k = 0; k < 8; ++k) {
      const int nx = x + kDx[k], ny = y + kDy[k];
      if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
      const int q = ny * w + nx;
      if (owner[size_t(q)] != kUnclaimed) continue;
      owner[size_t(q)] = owner[size_t(p)] & ~kCentre;
      queue.push_back(q);
    }
  }
  std::vector<int>().swap(queue);
  // In scan order, so lookups can search.
  out.ClaimPixels.reserve(inkCount);
  out.ClaimOwners.reserve(inkCount);
  for (size_t word = 0; word < inked.size(); ++word)
    for (uint64_t bits = inked[word]; bits != 0; bits &= bits - 1) {
      const size_t p = word * 64 + size_t(__builtin_ctzll(bits));
      const uint32_t code = owner[p];
      if (code == kUnclaimed) continue;
      out.ClaimPixels.push_back(int32_t(p));
      out.ClaimOwners.push_back(((code & ~kCentre) - 1) | (code & kCentre));
    }
}

}  // namespace

long long ClaimOwnerAt(const TCentrelineDrawing& d, int x, int y) {
  if (x < 0 || y < 0 || x >= d.Width || y >= d.Height) return -1;
  const int32_t p = int32_t(y * d.Width + x);
  const auto it = std::lower_bound(d.ClaimPixels.begin(), d.ClaimPixels.end(), p);
  if (it == d.ClaimPixels.end() || *it != p) return -1;
  return d.ClaimOwners[size_t(it - d.ClaimPixels.begin())] & ~TCentrelineDrawing::kCentreClaim;
}

TCentrelineDrawing TraceCentrelines(const TBitmap& picture, const TBitmap& colours, const TCentrelineParams& asked,
                                    const std::function<void(int)>& progress) {
  // Strokes are at most kMaxStrokeWidth wide: the distance plane reaches
  // no further.
  TCentrelineParams params = asked;
  params.MaxStrokeWidth = std::min(params.MaxStrokeWidth, kMaxStrokeWidth);
  TCentrelineDrawing out;
  const int w = picture.Width(), h = picture.Height();
  out.Width = w;
  out.Height = h;
  if (w <= 0 || h <= 0) return out;
  const TBitmap& origin = colours.Width() == w && colours.Height() == h ? colours : picture;
  // The colours' pixels addressed directly (a row through the picture's
  // own accessor is a call into Qt, and strokes read millions of pixels).
  const uint32_t* const originBits = origin.Bits();
  const size_t originStride = size_t(origin.Stride());
  const auto originAt = [originBits, originStride](int x, int y) { return originBits[size_t(y) * originStride + size_t(x)]; };
  const auto report = [&](int p) {
    if (progress) progress(p);
  };
  QElapsedTimer clock;
  clock.start();
  const size_t n = size_t(w) * size_t(h);
  const TIndexSplit at(w);

  // 1. Ink, and the ink areas (8-connected) without their specks.
  TPlane<uint8_t> state(n), grey(n);
  // The grey, the ink it shows and the paper blocks' brightest grey in one
  // pass, a band of blocks on each core, each row thresholded while it is
  // at hand: on white paper the grey is final.
  const int blockColumns = (w + kPaperBlock - 1) / kPaperBlock, blockRows = (h + kPaperBlock - 1) / kPaperBlock;
  std::vector<uint8_t> brightest(size_t(blockColumns) * size_t(blockRows));
  const auto thresholdRows = [&](int y0, int y1) {
    const uint8_t* in = grey.data();
    uint8_t* ink = state.data();
    const int below = params.Threshold;
    for (size_t i = size_t(y0) * size_t(w), end = size_t(y1) * size_t(w); i < end; ++i) ink[i] = in[i] < below ? kInk : 0;
  };
  ParallelRows(blockRows, 4LL * kPaperBlock * w, [&](int by0, int by1) {
    const int width = w;  // in a local: the byte stores below may alias a capture
    std::vector<uint8_t> columnMax(size_t(width) + kPaperBlock, 0);
    for (int by = by0; by < by1; ++by) {
      std::fill(columnMax.begin(), columnMax.end(), 0);
      const int y0 = by * kPaperBlock, y1 = std::min(h, y0 + kPaperBlock);
      for (int y = y0; y < y1; ++y) {
        uint8_t* row = grey.data() + size_t(y) * size_t(width);
        GreyRow(picture.ScanLine(y), row, width);
        uint8_t* top = columnMax.data();
        for (int x = 0; x < width; ++x) top[x] = std::max(top[x], row[x]);
      }
      thresholdRows(y0, y1);
      uint8_t* out = brightest.data() + size_t(by) * size_t(blockColumns);
      for (int bx = 0; bx < blockColumns; ++bx)
        out[bx] = *std::max_element(columnMax.begin() + bx * kPaperBlock, columnMax.begin() + (bx + 1) * kPaperBlock);
    }
  });
  if (params.EvenPaper && EvenOutPaper(grey, brightest, w, h)) ParallelRows(h, w, thresholdRows);
  std::vector<TArea> areas = InkAreas(state, w, h, params.SpeckSize);
  for (const TArea& a : areas) out.InkPixels += (long long)a.pixels.size();
  out.MsInk = double(clock.nsecsElapsed()) / 1e6;
  report(15);

  // 2. Distances.
  clock.restart();
  const uint32_t far = FarSquared(params.MaxStrokeWidth);
  TZeroPlane<uint16_t> dt = SquaredDistances(state.data(), w, h, far, kInk);
  // Each area's greatest distance to paper, on the cores: areas taken in
  // runs of about a 64th of the ink each, as a speckled photo holds
  // hundreds of thousands of tiny ones.
  const auto measure = [&] {
    std::vector<size_t> bounds{0};
    size_t pixels = 0;
    for (const TArea& a : areas) pixels += a.pixels.size();
    const size_t per = std::max<size_t>(1, pixels / 64);
    size_t gathered = 0;
    for (size_t i = 0; i < areas.size(); ++i) {
      gathered += areas[i].pixels.size();
      if (gathered >= per || i + 1 == areas.size()) {
        bounds.push_back(i + 1);
        gathered = 0;
      }
    }
    const uint16_t* distances = dt.data();
    ParallelEach(bounds.size() - 1, [&](size_t run) {
      for (size_t i = bounds[run]; i < bounds[run + 1]; ++i) {
        uint16_t m = 0;
        for (int p : areas[i].pixels) m = std::max(m, distances[size_t(p)]);
        areas[i].maxRadius = std::sqrt(float(m));
      }
    });
  };
  measure();
  // Ink thicker than any stroke is a fill, also where strokes run into it:
  // the pixels within reach of the centres of the widest disks that fit the
  // ink (radius MaxStrokeWidth / 2) split off as a fill area of their own;
  // what is left of the area goes on as strokes, which now end at the fill
  // and are measured against paper and fill alike. The work is done about
  // each blob of such centres on its own (an area spanning the picture
  // through its strokes may hold many), in a box just round it.
  //
  // Each area is split on its own, on the cores, largest first: a split
  // reads and writes only its own pixels (in the planes too), and the
  // areas it makes join the list afterwards, in the order of the areas
  // they came from. (Another area's ink near a fill lies beyond paper,
  // which is nearer to it than the fill, so the fill would not change its
  // distances.)
  {
    const float core = params.MaxStrokeWidth / 2, reach = core + 1.5f, hug = core;
    const int r = int(std::ceil(reach)), pad = r + 2;
    const int grow = int(std::ceil(params.MaxStrokeWidth)) + 2;
    const auto isCore = [&](int p) { return float(dt[size_t(p)]) >= core * core; };
    struct TBox {
      int x0, y0, x1, y1;
    };
    // visit(k, p) for the pixels p = sorted[k] (in scan order) inside the
    // box, as far as it lies on the picture.
    const auto inBox = [&](const std::vector<int>& sorted, const TBox& b, auto&& visit) {
      const int x0 = std::max(0, b.x0), x1 = std::min(w - 1, b.x1);
      if (x0 > x1) return;
      auto from = sorted.begin();
      for (int y = std::max(0, b.y0); y <= std::min(h - 1, b.y1); ++y) {
        const int first = y * w + x0, last = y * w + x1;
        from = std::lower_bound(from, sorted.end(), first);
        for (auto it = from; it != sorted.end() && *it <= last; ++it) visit(size_t(it - sorted.begin()), *it);
      }
    };
    std::vector<size_t> wide;  // the areas too thick to be strokes only
    for (size_t i = 0; i < areas.size(); ++i)
      if (!areas[i].pixels.empty() && 2 * areas[i].maxRadius - 0.5f > params.MaxStrokeWidth) wide.push_back(i);
    std::vector<std::vector<TArea>> madeBy(wide.size());
    std::vector<uint8_t> splitHere(wide.size(), 0);
    std::vector<size_t> wideSizes;
    for (size_t i : wide) wideSizes.push_back(areas[i].pixels.size());
    const std::vector<size_t> largest = LargestFirst(wideSizes);
    ParallelEach(wide.size(), [&](size_t job) {
      const size_t which = largest[job];
      TArea& area = areas[wide[which]];
      std::vector<TArea>& made = madeBy[which];
      // The blobs of centres (8-connected; they are the area's own, as a
      // centre's neighbours are ink), each with its box grown by the reach.
      // Found from the centres' runs along the rows (the area's pixels are
      // in scan order), numbered as they start in scan order.
      std::vector<TInkRun> centreRuns;
      int previous = -2;
      for (int p : area.pixels)
        if (isCore(p)) {
          ExtendRuns(centreRuns, p, previous, at);
          previous = p;
        }
      TUnionFind joined = JoinTouchingRuns(centreRuns);
      std::vector<int> blobOfRoot(centreRuns.size(), -1);
      std::vector<TBox> blobs;
      std::vector<std::vector<size_t>> runsOf;  // each blob's runs
      for (size_t k = 0; k < centreRuns.size(); ++k) {
        int& b = blobOfRoot[size_t(joined.Root(int(k)))];
        if (b < 0) {
          b = int(blobs.size());
          blobs.push_back({w, h, -1, -1});
          runsOf.emplace_back();
        }
        runsOf[size_t(b)].push_back(k);
        const TInkRun& run = centreRuns[k];
        TBox& box = blobs[size_t(b)];
        box = {std::min(box.x0, run.x0), std::min(box.y0, run.y), std::max(box.x1, run.x1 - 1), std::max(box.y1, run.y)};
      }
      for (TBox& box : blobs) box = {box.x0 - r, box.y0 - r, box.x1 + r, box.y1 + r};
      if (blobs.empty()) return;
      // The area's ink within reach of a blob's centres; the box is padded
      // so that its edge, which counts as centre, lies beyond reach of every
      // pixel inside.
      std::vector<uint8_t> reached(area.pixels.size(), 0);
      for (size_t b = 0; b < blobs.size(); ++b) {
        const TBox& in = blobs[b];
        const int x0 = in.x0 - pad, y0 = in.y0 - pad, bw = in.x1 - in.x0 + 1 + 2 * pad, bh = in.y1 - in.y0 + 1 + 2 * pad;
        std::vector<uint8_t> notCore(size_t(bw) * size_t(bh), 1);
        for (const size_t k : runsOf[b]) {
          const TInkRun& run = centreRuns[k];
          std::fill_n(notCore.begin() + long(size_t(run.y - y0) * size_t(bw) + size_t(run.x0 - x0)), run.x1 - run.x0, 0);
        }
        const TZeroPlane<uint16_t> toCore = SquaredDistances(notCore.data(), bw, bh, far);
        inBox(area.pixels, in, [&](size_t k, int p) {
          if (float(toCore[size_t(at.Y(p) - y0) * size_t(bw) + size_t(at.X(p) - x0)]) <= reach * reach) reached[k] = 1;
        });
      }
      // The fill keeps the area's place (and so the order of the fills);
      // the strokes left over become a new area.
      TArea rest;
      std::vector<int> kept;
      const size_t inFill = size_t(std::count(reached.begin(), reached.end(), uint8_t(1)));
      kept.reserve(inFill);
      rest.pixels.reserve(area.pixels.size() - inFill);
      for (size_t k = 0; k < area.pixels.size(); ++k) {
        const int p = area.pixels[k];
        if (reached[k]) {
          kept.push_back(p);
          state[size_t(p)] = uint8_t((state[size_t(p)] & ~kInk) | kFill);
        } else {
          rest.pixels.push_back(p);
        }
      }
      area.pixels.swap(kept);
      area.fill = true;
      splitHere[which] = 1;
      // The fill is paper to the strokes now. Distances can only shrink,
      // and only near the fill: within a blob's box grown by a stroke's
      // reach, each stroke pixel takes the distance to the nearest fill
      // pixel where that is shorter (worked out in a box grown twice as
      // far, so the box's edge, which counts as fill, is out of reach).
      // Stroke pixels within hug of the fill are marked (kVisited).
      std::vector<int> hugging;
      for (const TBox& in : blobs) {
        const int cx0 = in.x0 - 2 * grow, cy0 = in.y0 - 2 * grow, cw = in.x1 - in.x0 + 4 * grow + 1,
                  ch = in.y1 - in.y0 + 4 * grow + 1;
        std::vector<uint8_t> notFill(size_t(cw) * size_t(ch), 1);
        inBox(area.pixels, {cx0, cy0, cx0 + cw - 1, cy0 + ch - 1},
              [&](size_t, int p) { notFill[size_t(at.Y(p) - cy0) * size_t(cw) + size_t(at.X(p) - cx0)] = 0; });
        const TZeroPlane<uint16_t> toFill = SquaredDistances(notFill.data(), cw, ch, far);
        inBox(rest.pixels, {in.x0 - grow, in.y0 - grow, in.x1 + grow, in.y1 + grow}, [&](size_t, int q) {
          const uint16_t f = toFill[size_t(at.Y(q) - cy0) * size_t(cw) + size_t(at.X(q) - cx0)];
          dt[size_t(q)] = std::min(dt[size_t(q)], f);
          if (float(f) <= hug * hug && !(state[size_t(q)] & kVisited)) {
            state[size_t(q)] |= kVisited;
            hugging.push_back(q);
          }
        });
      }
      // What is left of the ink in pieces that lie wholly along the fill
      // is the fill's too: the corners of a filled shape's outline, which
      // reach past the rounded corners of the fill, would be short stubs
      // in the outline's colour (a stroke leaving the fill runs on, away
      // from it). (Nothing lying along the fill, nothing joins it.) Such a
      // piece is a group of hugging pixels (8-connected) next to no other
      // stroke ink: each group is flooded (marked kSeen, free until
      // thinning) and is away as soon as it meets such ink. The work
      // follows the few pixels along the fill, not the strokes, which may
      // be half the drawing.
      if (!hugging.empty()) {
        std::vector<int> joins, group, stack;
        for (const int start : hugging) {
          if (state[size_t(start)] & kSeen) continue;
          group.clear();
          bool away = false;
          state[size_t(start)] |= kSeen;
          stack.push_back(start);
          while (!stack.empty()) {
            const int p = stack.back();
            stack.pop_back();
            group.push_back(p);
            const int x = at.X(p), y = at.Y(p);
            for (int k = 0; k < 8; ++k) {
              const int nx = x + kDx[k], ny = y + kDy[k];
              if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
              const size_t q = size_t(ny) * size_t(w) + size_t(nx);
              const uint8_t s = state[q];
              if (!(s & kInk)) continue;  // paper, or the fill
              if (!(s & kVisited)) {
                away = true;
              } else if (!(s & kSeen)) {
                state[q] = uint8_t(s | kSeen);
                stack.push_back(int(q));
              }
            }
          }
          if (!away) joins.insert(joins.end(), group.begin(), group.end());
        }
        for (int q : hugging) state[size_t(q)] &= uint8_t(~(kVisited | kSeen));
        if (!joins.empty()) {
          std::sort(joins.begin(), joins.end());
          for (int q : joins) state[size_t(q)] = uint8_t((state[size_t(q)] & ~kInk) | kFill);
          std::vector<int> both(area.pixels.size() + joins.size());
          std::merge(area.pixels.begin(), area.pixels.end(), joins.begin(), joins.end(), both.begin());
          area.pixels.swap(both);
          rest.pixels.erase(std::remove_if(rest.pixels.begin(), rest.pixels.end(), [&](int q) { return !(state[size_t(q)] & kInk); }),
                            rest.pixels.end());
        }
      }
      if (!rest.pixels.empty()) made.push_back(std::move(rest));
      // Fills apart from each other are shapes of their own, each with its
      // own colour: a blue pond and a teal window joined by the ground line
      // they stand on are one area of ink, but two fills. The largest piece
      // keeps the area's place; crumbs (where a blob's reach just takes in
      // a corner of ink) stay with it, as shapes of their own they would be
      // dots in the lines' colour. (The ink about one blob of centres is one
      // piece: only several blobs are looked at.)
      if (blobs.size() > 1) {
        int pieces = 0;
        const std::vector<TPieceRun> stretches = PieceRuns(area.pixels, at, pieces);
        if (pieces > 1) {
          std::vector<size_t> size(size_t(pieces), 0);
          for (const TPieceRun& run : stretches) size[size_t(run.piece)] += run.count;
          const size_t biggest = size_t(std::max_element(size.begin(), size.end()) - size.begin());
          const size_t crumb = size_t(params.MaxStrokeWidth * params.MaxStrokeWidth / 2);
          std::vector<int> madeAs(size_t(pieces), -1);  // pieces that become areas of their own
          for (size_t k = 0; k < size.size(); ++k)
            if (k != biggest && size[k] >= crumb) {
              madeAs[k] = int(made.size());
              made.emplace_back();
              made.back().fill = true;
            }
          std::vector<int> own;
          for (const TPieceRun& run : stretches) {
            const int to = madeAs[size_t(run.piece)];
            std::vector<int>& into = to < 0 ? own : made[size_t(to)].pixels;
            into.insert(into.end(), area.pixels.begin() + long(run.first), area.pixels.begin() + long(run.first + run.count));
          }
          area.pixels.swap(own);
        }
      }
    });
    for (std::vector<TArea>& made : madeBy)
      for (TArea& a : made) areas.push_back(std::move(a));
    if (std::find(splitHere.begin(), splitHere.end(), 1) != splitHere.end()) measure();
  }
  out.MsDistance = double(clock.nsecsElapsed()) / 1e6;
  report(30);

  // 3. Skeleton; 4. fills.
  clock.restart();
  std::vector<int> pixels;
  pixels.reserve(size_t(out.InkPixels));
  for (const TArea& a : areas)
    if (!a.fill) pixels.insert(pixels.end(), a.pixels.begin(), a.pixels.end());
  for (int p : pixels) state[size_t(p)] |= kSkel;
  Thin(state, w, h, pixels);
  RemoveStairs(state, w, h, pixels);
  for (TArea& a : areas) {
    if (a.pixels.empty() || a.fill) continue;
    for (int p : a.pixels) a.skeleton += (state[size_t(p)] & kSkel) != 0;
    const float thick = 2 * a.maxRadius - 0.5f;
    // A dot: thinned to less than it is thick, and no longer than that
    // either (a dash a pixel or two wide at a slant can thin to almost
    // nothing, but it is long).
    bool compact = float(a.skeleton) <= thick;
    if (compact) {
      const TPixelBox b = BoxOf(a.pixels, at);
      compact = float(std::max(b.x1 - b.x0, b.y1 - b.y0)) <= thick + 2;
    }
    a.fill = thick > params.MaxStrokeWidth || compact;
    if (a.fill)
      for (int p : a.pixels) state[size_t(p)] = uint8_t((state[size_t(p)] & ~(kInk | kSkel)) | kFill);
  }
  pixels.erase(std::remove_if(pixels.begin(), pixels.end(), [&](int p) { return !(state[size_t(p)] & kSkel); }),
               pixels.end());
  out.MsSkeleton = double(clock.nsecsElapsed()) / 1e6;
  report(55);

  // 5. Graph: ends, junction clusters, chains between them.
  clock.restart();
  const TGrid g{w, h, state, kSkel};
  const auto kind = [&](int p) { return (state[size_t(p)] >> kKindShift) & 3; };
  const auto onSkeleton = [&](int p) { return (state[size_t(p)] & kSkel) != 0; };
  const auto walked = [&](int p) { return (state[size_t(p)] & kVisited) != 0; };
  const auto markWalked = [&](int p) { state[size_t(p)] |= kVisited; };
  std::vector<int>& skel = pixels;
  for (int p : pixels) {
    // By neighbour count: where lines cross at a slant the crossing can
    // look like one line round its ring, but it has more neighbours. Stair
    // corners that count three become junctions of two chains, which join
    // again as a bend.
    int ring[8];
    g.Ring(at.X(p), at.Y(p), ring);
    const int c = std::accumulate(ring, ring + 8, 0);
    state[size_t(p)] |= uint8_t((c <= 1 ? 2 : c == 2 ? 1 : 3) << kKindShift);
  }
  // Junction pixels touching each other are one junction. In a drawing
  // junctions are few, so their clusters are kept by pixel, not in a plane.
  TPixelIds clusterIds(size_t(std::count_if(skel.begin(), skel.end(), [&](int p) { return kind(p) == 3; })));
  std::vector<int> stack;
  std::vector<TPt> clusterAt;
  const auto cluster = [&](int p) { return kind(p) == 3 ? clusterIds.Find(p) : -1; };
  for (int p : skel) {
    if (kind(p) != 3 || clusterIds.Find(p) >= 0) continue;
    const int id = int(clusterAt.size());
    clusterIds.Set(p, id);
    TPt sum;
    int count = 0;
    Flood8(
        p, w, h, at, stack,
        [&](int r) {
          if (kind(r) != 3 || clusterIds.Find(r) >= 0) return false;
          clusterIds.Set(r, id);
          return true;
        },
        [&](int q) {
          sum = sum + TPt{float(at.X(q)) + 0.5f, float(at.Y(q)) + 0.5f};
          ++count;
        });
    clusterAt.push_back(sum * (1.0f / float(count)));
  }
  struct TChain {
    std::vector<int> px;
    int node[2] = {-1, -1};  // junction cluster at each end, -1 for a free end
    bool loop = false;
    bool dropped = false;
  };
  std::vector<TChain> chains;
  const auto walk = [&](int start, int first) {
    TChain c;
    c.px = {start, first};
    c.node[0] = cluster(start);
    int prev = start, cur = first;
    if (kind(cur) == 1) markWalked(cur);
    while (kind(cur) == 1) {
      int best = -1, bestRank = 99;
      for (int k = 0; k < 8; ++k) {
        const int nx = at.X(cur) + kDx[k], ny = at.Y(cur) + kDy[k];
        if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
        const int q = ny * w + nx;
        if (q == prev || !onSkeleton(q)) continue;
        if (kind(q) == 1 && walked(q)) continue;
        if (cluster(q) >= 0 && cluster(q) == cluster(start) && c.px.size() < 3) continue;
        // Ends and junctions first; otherwise the neighbour that goes on
        // most nearly the way the line was going (so stair pixels are passed
        // in order, not doubled back over).
        const int dx = nx - at.X(cur), dy = ny - at.Y(cur);
        const int px0 = at.X(cur) - at.X(prev), py0 = at.Y(cur) - at.Y(prev);
        const int rank = (kind(q) != 1 ? 0 : 4) + (4 - (dx * px0 + dy * py0 + 2));
        if (rank < bestRank) {
          bestRank = rank;
          best = q;
        }
      }
      if (best < 0) break;
      prev = cur;
      cur = best;
      c.px.push_back(cur);
      if (kind(cur) == 1) markWalked(cur);
    }
    c.node[1] = cluster(cur);
    return c;
  };
  for (int p : skel) {
    if (kind(p) == 1) continue;
    for (int k = 0; k < 8; ++k) {
      const int nx = at.X(p) + kDx[k], ny = at.Y(p) + kDy[k];
      if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
      const int q = ny * w + nx;
      if (!onSkeleton(q)) continue;
      if (kind(q) == 1 && walked(q)) continue;
      if (kind(q) != 1) {
        // Node next to node: a chain of two pixels, once.
        if (cluster(q) >= 0 && cluster(q) == cluster(p)) continue;
        if (q < p) continue;
        TChain c;
        c.px = {p, q};
        c.node[0] = cluster(p);
        c.node[1] = cluster(q);
        chains.push_back(c);
        continue;
      }
      chains.push_back(walk(p, q));
    }
    if (kind(p) == 2) {
      int ring[8];
      g.Ring(at.X(p), at.Y(p), ring);
      if (std::accumulate(ring, ring + 8, 0) == 0) {
        TChain c;
        c.px = {p};
        chains.push_back(c);
      }
    }
  }
  // What is left are closed loops without ends or junctions.
  for (int p : skel) {
    if (kind(p) != 1 || walked(p)) continue;
    markWalked(p);
    int q = -1;
    for (int k = 0; k < 8 && q < 0; ++k) {
      const int nx = at.X(p) + kDx[k], ny = at.Y(p) + kDy[k];
      if (nx >= 0 && ny >= 0 && nx < w && ny < h && onSkeleton(ny * w + nx) && !walked(ny * w + nx)) q = ny * w + nx;
    }
    if (q < 0) continue;
    TChain c = walk(p, q);
    c.loop = true;
    chains.push_back(c);
  }
  const auto pos = [&](int p) { return TPt{float(at.X(p)) + 0.5f, float(at.Y(p)) + 0.5f}; };
  const auto radius = [&](int p) { return std::sqrt(float(dt[size_t(p)])); };

  // Two junctions joined by a chain shorter than the ink is thick there are
  // one crossing that thinning pulled apart (lines crossing at a slant).
  {
    TUnionFind joined(clusterAt.size());
    std::vector<int> count(clusterAt.size(), 1);
    for (TChain& c : chains) {
      if (c.loop || c.node[0] < 0 || c.node[1] < 0) continue;
      const float thick = 2 * std::max(radius(c.px.front()), radius(c.px.back()));
      if (float(c.px.size()) > std::max(3.0f, thick)) continue;
      const int a = joined.Root(c.node[0]), b = joined.Root(c.node[1]);
      c.dropped = true;
      if (a == b) continue;
      clusterAt[size_t(a)] = (clusterAt[size_t(a)] * float(count[size_t(a)]) + clusterAt[size_t(b)] * float(count[size_t(b)])) *
                             (1.0f / float(count[size_t(a)] + count[size_t(b)]));
      count[size_t(a)] += count[size_t(b)];
      joined.parent[size_t(b)] = a;
    }
    for (TChain& c : chains)
      for (int& node : c.node)
        if (node >= 0) node = joined.Root(node);
  }

  // Spurs: end chains shorter than the ink is thick where they branch off.
  // Thinning leaves them where a wide line's corner or end pokes out: the
  // spur runs into the corner, and no ink lies beyond its tip. A line that
  // ends just past another it crosses leaves as short a chain, but its
  // ink goes on past the tip (the rest of its thinned-away end): reaching
  // that far, it stays.
  for (TChain& c : chains) {
    if (c.loop || (c.node[0] < 0) == (c.node[1] < 0)) continue;
    const bool fromFront = c.node[0] >= 0;
    const int j = fromFront ? c.px.front() : c.px.back();
    const float n = float(c.px.size()), r = radius(j);
    if (n >= std::max(3.0f, 1.5f * r)) continue;
    bool keep = false;
    if (n >= 3) {
      const int tip = fromFront ? c.px.back() : c.px.front();
      const int inner = fromFront ? c.px[c.px.size() - 3] : c.px[2];
      const TPt dir = Unit(pos(tip) - pos(inner));
      float ahead = 0;
      for (;; ahead += 0.5f) {
        const TPt q = pos(tip) + dir * (ahead + 0.5f);
        const int qx = int(std::floor(q.x)), qy = int(std::floor(q.y));
        if (qx < 0 || qy < 0 || qx >= w || qy >= h || !(state[size_t(qy) * size_t(w) + size_t(qx)] & kInk) || ahead > 2 * r) break;
      }
      keep = n + ahead >= 2 * r;
    }
    if (!keep) c.dropped = true;
  }

  // A chain's thickness: twice the median distance to paper along its
  // middle half.
  std::vector<float> chainThick(chains.size(), -1);
  const auto chainThickness = [&](int c) {
    float& cached = chainThick[size_t(c)];
    if (cached >= 0) return cached;
    const std::vector<int>& px = chains[size_t(c)].px;
    const size_t skip = px.size() > 6 ? px.size() / 4 : 0;
    std::vector<float> r;
    for (size_t i = skip; i < px.size() - skip; ++i) r.push_back(radius(px[i]));
    std::nth_element(r.begin(), r.begin() + long(r.size() / 2), r.end());
    cached = 2 * r[r.size() / 2];
    return cached;
  };

  // The mitred tip of a sharp bend: thinned, a line bent back on itself at
  // a sharp angle (a river's zigzag, the point of a star) forks where its
  // two sides part, and the ink of the tip beyond runs on as a third
  // chain. Paired straight on with one side, it cut the bend in two. A
  // free end that leaves a junction of three ends against both others,
  // which part at less than 75 degrees, is no longer than the mitre of that
  // angle on lines that wide and narrows as a mitre does, is the tip: it
  // goes, and the two sides join as a bend (whose corner the fit puts where
  // the sides meet, in the tip's ink).
  {
    std::vector<std::vector<int>> endsAt(clusterAt.size());  // chain * 2 + side
    for (size_t i = 0; i < chains.size(); ++i) {
      if (chains[i].dropped || chains[i].loop) continue;
      for (int side = 0; side < 2; ++side)
        if (chains[i].node[side] >= 0) endsAt[size_t(chains[i].node[side])].push_back(int(i) * 2 + side);
    }
    // Where an end's chain heads, from the junction, over a few pixels.
    const auto heading = [&](int end, size_t span) {
      const TChain& c = chains[size_t(end / 2)];
      const size_t k = std::min(c.px.size() - 1, span);
      const int near = end % 2 == 0 ? c.px.front() : c.px.back();
      const int far = end % 2 == 0 ? c.px[k] : c.px[c.px.size() - 1 - k];
      return Unit(pos(far) - pos(near));
    };
    for (size_t j = 0; j < endsAt.size(); ++j) {
      if (endsAt[j].size() != 3) continue;
      for (int t = 0; t < 3; ++t) {
        const int tipEnd = endsAt[j][size_t(t)];
        TChain& tip = chains[size_t(tipEnd / 2)];
        if (tip.node[1 - tipEnd % 2] >= 0) continue;  // not a free end
        const int a = endsAt[j][size_t((t + 1) % 3)], b = endsAt[j][size_t((t + 2) % 3)];
        const float width = (chainThickness(a / 2) + chainThickness(b / 2)) / 2;  // the sides' width
        // The sides' directions from well past the fork, where they run
        // straight; the tip's over its own length.
        const TPt da = heading(a, size_t(std::max(8.0f, 4 * width))), db = heading(b, size_t(std::max(8.0f, 4 * width)));
        const TPt along = heading(tipEnd, tip.px.size());
        const float cosine = Dot(da, db);
        if (cosine < std::cos(75 * 3.14159265f / 180) || Dot(along, da) > -0.2f || Dot(along, db) > -0.2f) continue;
        const float half = std::sqrt((1 - cosine) / 2);  // sin of half the angle between the sides
        if (float(tip.px.size()) > 1.5f * width / std::max(half, 0.05f) + 3) continue;
        // A mitre narrows to a point: three quarters of the way out its ink
        // is about half as wide as the sides (a line's own end, as the
        // stem of a Y, keeps its width). Thinning leaves a short tip, no
        // longer than the line is wide, of a mitre that is not so sharp;
        // a stem that short is no stem.
        const size_t out = tip.px.size() * 3 / 4;
        if (float(tip.px.size()) > width &&
            2 * radius(tipEnd % 2 == 0 ? tip.px[out] : tip.px[tip.px.size() - 1 - out]) > 0.75f * width)
          continue;
        tip.dropped = true;
        break;
      }
    }
  }

  // 6. Strokes: chain ends paired through junctions, straightest first.
  struct TEnd {
    int chain, side;
  };
  std::vector<std::vector<TEnd>> atJunction(clusterAt.size());
  for (size_t i = 0; i < chains.size(); ++i) {
    if (chains[i].dropped || chains[i].loop) continue;
    for (int s = 0; s < 2; ++s)
      if (chains[i].node[s] >= 0) atJunction[size_t(chains[i].node[s])].push_back({int(i), s});
  }
  std::vector<std::array<int, 2>> partner(chains.size(), {-1, -1});  // chain * 2 + side
  const auto direction = [&](const TEnd& e, TPt from, float reach) {
    const TChain& c = chains[size_t(e.chain)];
    const int m = int(c.px.size());
    const auto point = [&](int i) { return pos(c.px[size_t(e.side == 0 ? i : m - 1 - i)]); };
    // Along the chain past the junction's blob, where thinning pulls the
    // line towards the other branches; from the junction when the chain is
    // too short for that.
    const int near = std::min(m - 1, int(reach / 2)), far = std::min(m - 1, int(1.5f * reach));
    if (far - near >= 3) return Unit(point(far) - point(near));
    return Unit(point(std::min(m - 1, std::max(1, int(reach)))) - from);
  };
  // A chain's colour in the origin picture (its middle pixels), worked out
  // when a junction first asks.
  std::vector<uint32_t> chainColours(chains.size(), 0);
  const auto chainColour = [&](int c) {
    uint32_t& cached = chainColours[size_t(c)];
    if (cached) return cached;
    const std::vector<int>& px = chains[size_t(c)].px;
    const size_t skip = px.size() > 6 ? px.size() / 4 : 0;
    double sum[3] = {0, 0, 0};
    for (size_t i = skip; i < px.size() - skip; ++i) {
      const uint32_t col = originAt(at.X(px[i]), at.Y(px[i]));
      sum[0] += (col >> 16) & 0xFF;
      sum[1] += (col >> 8) & 0xFF;
      sum[2] += col & 0xFF;
    }
    cached = MeanColour(sum, double(px.size() - 2 * skip));
    return cached;
  };
  for (size_t j = 0; j < atJunction.size(); ++j) {
    std::vector<TEnd>& ends = atJunction[j];
    // Lines in a drawing meet a few at a time; a junction of dozens of ends
    // is a blob of noise (a speckled photo traced as it is), whose ends are
    // left to end there. Pairing looks at every pair for every pair taken,
    // which on such a blob would take minutes.
    if (ends.size() < 2 || ends.size() > kMaxJunctionEnds) continue;
    const float reach = 3 + 2 * radius(int(clusterAt[j].y) * w + int(clusterAt[j].x));
    std::vector<TPt> dir;
    for (const TEnd& e : ends) dir.push_back(direction(e, clusterAt[j], reach));
    std::vector<bool> used(ends.size(), false);
    while (true) {
      float best = ends.size() == 2 ? -2.0f : 0.5f;  // two ends always join (a bend)
      int a = -1, b = -1;
      for (size_t u = 0; u < ends.size(); ++u)
        for (size_t v = u + 1; v < ends.size(); ++v) {
          if (used[u] || used[v]) continue;
          // Strokes of different colours meet; they do not continue each
          // other.
          if (HueDistance(chainColour(ends[u].chain), chainColour(ends[v].chain)) > 40) continue;
          // Straight on, and as thick on both sides: a thin line crossing a
          // thick one does not take over the thick one's other half.
          const float tu = chainThickness(ends[u].chain), tv = chainThickness(ends[v].chain);
          // Nor does a thin line that leaves a thick one's end after
          // running along it: a bend keeps its thickness.
          if (std::max(tu, tv) > 2 * std::min(tu, tv) + 1) continue;
          const float straight = -Dot(dir[u], dir[v]) - 0.8f * std::fabs(tu - tv) / std::max({tu, tv, 1.0f});
          if (straight > best) {
            best = straight;
            a = int(u);
            b = int(v);
          }
        }
      if (a < 0) break;
      used[size_t(a)] = used[size_t(b)] = true;
      partner[size_t(ends[size_t(a)].chain)][size_t(ends[size_t(a)].side)] = ends[size_t(b)].chain * 2 + ends[size_t(b)].side;
      partner[size_t(ends[size_t(b)].chain)][size_t(ends[size_t(b)].side)] = ends[size_t(a)].chain * 2 + ends[size_t(a)].side;
    }
  }
  // Walk the pairings into point lists.
  std::vector<uint8_t> taken(chains.size(), 0);
  std::vector<std::vector<int>> strokes;  // pixel lists
  std::vector<std::array<int, 2>> strokeEnds;  // junction (or -1) at each end
  std::vector<bool> strokeLoop;
  // Where a stroke passes through a junction: its index in the pixel list
  // and the junction.
  std::vector<std::vector<std::array<int, 2>>> strokeJoins;
  const auto assemble = [&](int startChain, int startSide) {
    std::vector<int> px;
    std::vector<std::array<int, 2>> joins;
    int c = startChain, side = startSide;  // enter chain c at its end side
    const int firstNode = chains[size_t(c)].node[side];
    int lastNode = -1;
    bool loop = false;
    while (true) {
      taken[size_t(c)] = 1;
      const TChain& ch = chains[size_t(c)];
      if (side == 0) px.insert(px.end(), ch.px.begin() + (px.empty() ? 0 : 1), ch.px.end());
      else px.insert(px.end(), ch.px.rbegin() + (px.empty() ? 0 : 1), ch.px.rend());
      const int out = 1 - side;
      lastNode = ch.node[out];
      const int next = partner[size_t(c)][size_t(out)];
      if (next < 0) break;
      if (taken[size_t(next / 2)]) {
        loop = next / 2 == startChain;
        break;
      }
      if (lastNode >= 0) joins.push_back({int(px.size()) - 1, lastNode});
      c = next / 2;
      side = next % 2;
    }
    strokes.push_back(std::move(px));
    strokeJoins.push_back(std::move(joins));
    strokeEnds.push_back({firstNode, lastNode});
    strokeLoop.push_back(loop || chains[size_t(startChain)].loop);
  };
  for (size_t i = 0; i < chains.size(); ++i) {
    if (chains[i].dropped || taken[i]) continue;
    for (int s = 0; s < 2 && !taken[i]; ++s)
      if (partner[i][size_t(s)] < 0) assemble(int(i), s);
  }
  for (size_t i = 0; i < chains.size(); ++i)
    if (!chains[i].dropped && !taken[i]) assemble(int(i), 0);  // closed rings of chains
  // Strokes of two colours, or a thin line and a thick one, that touch end
  // to end with no junction between them (a road running into a river at
  // a town's dot, a hairline leaving a heavy stroke's end) thin into one
  // line. Where the colour or the thickness along a stroke changes for
  // good, it is cut in two; the cut ends stay where they are.
  {
    constexpr size_t kSpan = 6;
    const size_t count = strokes.size();
    for (size_t s = 0; s < count; ++s) {
      if (strokeLoop[s] || strokes[s].size() < 3 * kSpan) continue;
      const std::vector<int>& px = strokes[s];
      // Running sums of the colour's two opponent axes (red against green,
      // green against blue), which stay in proportion when ink mixes with
      // white paper at an anti-aliased edge, and of the ink's half width.
      std::vector<std::array<double, 3>> sum(px.size() + 1, {0, 0, 0});
      for (size_t i = 0; i < px.size(); ++i) {
        const uint32_t c = originAt(at.X(px[i]), at.Y(px[i]));
        const int r = int((c >> 16) & 0xFF), g = int((c >> 8) & 0xFF), b = int(c & 0xFF);
        sum[i + 1] = {sum[i][0] + (r - g), sum[i][1] + (g - b), sum[i][2] + radius(px[i])};
      }
      const auto mean = [&](size_t from, size_t to, int k) { return (sum[to][size_t(k)] - sum[from][size_t(k)]) / double(to - from); };
      // Between the spans before and after i: how much the colour turns.
      const auto colourChange = [&](size_t i) {
        const double ax = mean(i - kSpan, i, 0), ay = mean(i - kSpan, i, 1);
        const double bx = mean(i, i + kSpan, 0), by = mean(i, i + kSpan, 1);
        const double la = std::hypot(ax, ay), lb = std::hypot(bx, by);
        const double strong = std::max(la, lb), weak = std::min(la, lb);
        if (strong < 40) return 0.0;             // both near grey: one ink
        if (weak < 0.25 * strong) return strong;  // colour against grey or black
        const double cosine = (ax * bx + ay * by) / (la * lb);
        return cosine < std::cos(40 * 3.14159265 / 180) ? (1 - cosine) * strong : 0.0;
      };
      // How many times thicker one side is, when more than twice. Not near
      // a junction, where the ink of the other branches widens the line.
      std::vector<uint8_t> nearJoin(px.size(), 0);
      for (const std::array<int, 2>& join : strokeJoins[s]) {
        const int reach = int(kSpan) + int(2 * radius(px[size_t(join[0])])) + 2;
        for (int i = std::max(0, join[0] - reach); i <= std::min(int(px.size()) - 1, join[0] + reach); ++i)
          nearJoin[size_t(i)] = 1;
      }
      std::vector<int> edgeCount(px.size() + 1, 0);  // points near the edge before each
      for (size_t i = 0; i < px.size(); ++i) {
        const int x = at.X(px[i]), y = at.Y(px[i]), near = int(radius(px[i])) + 2;
        edgeCount[i + 1] = edgeCount[i] + (x < near || y < near || x >= w - near || y >= h - near);
      }
      const auto widthChange = [&](size_t i) {
        if (nearJoin[i]) return 0.0;
        const double a = mean(i - kSpan, i, 2), b = mean(i, i + kSpan, 2);
        const double thick = std::max(a, b), thin = std::min(a, b);
        if (thick > 2 * thin + 0.75) return thick / std::max(thin, 0.5);
        // A lesser change that lasts: judged over stretches several times
        // as long as the line is wide on either side, away from the
        // picture's edge (which cuts a line off, and thins it there).
        const size_t span = std::max<size_t>(2 * kSpan, size_t(4 * thick));
        if (i < span || i + span > px.size() || edgeCount[i + span] != edgeCount[i - span]) return 0.0;
        const double la = mean(i - span, i, 2), lb = mean(i, i + span, 2);
        const double lthick = std::max(la, lb), lthin = std::min(la, lb);
        return lthick > 1.5 * lthin && lthick - lthin >= 0.9 ? lthick / std::max(lthin, 0.5) : 0.0;
      };
      std::vector<size_t> cuts;
      const auto findCuts = [&](const auto& change) {
        for (size_t i = kSpan; i + kSpan <= px.size(); ++i) {
          const double here = change(i);
          if (here <= 0) continue;
          // The strongest change nearby is the boundary.
          bool best = true;
          for (size_t k = std::max(kSpan, i - std::min(i, kSpan)); k <= std::min(px.size() - kSpan, i + kSpan) && best; ++k)
            best = k == i || change(k) < here || (change(k) == here && k > i);
          if (best) cuts.push_back(i);
        }
      };
      findCuts(colourChange);
      findCuts(widthChange);
      std::sort(cuts.begin(), cuts.end());
      std::vector<size_t> apart;
      for (size_t c : cuts)
        if (apart.empty() || c - apart.back() >= kSpan) apart.push_back(c);
      cuts.swap(apart);
      if (cuts.empty()) continue;
      const std::vector<int> whole = px;  // px is the list about to be cut down
      const std::array<int, 2> ends = strokeEnds[s];
      const std::vector<std::array<int, 2>> joins = strokeJoins[s];
      cuts.push_back(whole.size());
      size_t from = 0;
      for (size_t k = 0; k < cuts.size(); ++k) {
        std::vector<int> piece(whole.begin() + long(from), whole.begin() + long(cuts[k]));
        const std::array<int, 2> pieceEnds = {k == 0 ? ends[0] : kCut, k + 1 == cuts.size() ? ends[1] : kCut};
        std::vector<std::array<int, 2>> pieceJoins;
        for (const std::array<int, 2>& j : joins)
          if (size_t(j[0]) >= from && size_t(j[0]) < cuts[k]) pieceJoins.push_back({j[0] - int(from), j[1]});
        if (k == 0) {
          strokes[s] = std::move(piece);
          strokeEnds[s] = pieceEnds;
          strokeJoins[s] = std::move(pieceJoins);
        } else {
          strokes.push_back(std::move(piece));
          strokeEnds.push_back(pieceEnds);
          strokeLoop.push_back(false);
          strokeJoins.push_back(std::move(pieceJoins));
        }
        from = cuts[k];
      }
    }
  }
  out.MsGraph = double(clock.nsecsElapsed()) / 1e6;
  report(75);

  // 7, 8. Width, colour and curves per stroke.
  clock.restart();
  // The index each kept stroke got in the drawing; -1 for a dropped one.
  std::vector<int> keptAs(strokes.size(), -1);
  // Strokes are measured and fitted each on its own, split over the cores;
  // the kept ones take their places in order afterwards.
  std::vector<TCentrelineStroke> made(strokes.size());
  std::vector<uint8_t> kept(strokes.size(), 0);
  // Strokes (and below, fills) are handed to the cores longest first.
  std::vector<size_t> strokeSizes;
  for (const std::vector<int>& px : strokes) strokeSizes.push_back(px.size());
  const std::vector<size_t> strokeOrder = LargestFirst(strokeSizes);
  const auto makeStroke = [&](size_t s) {
    const std::vector<int>& px = strokes[s];
    if (px.empty()) return;
    std::vector<TPt> pts;
    pts.reserve(px.size() + 2);
    for (int p : px) pts.push_back(pos(p));
    std::vector<float> widths;
    // Per centre pixel: the direction across, the ink measured across and
    // how far its middle lies from the pixel's.
    struct TAcross {
      TPt dir;
      float ink = 0, shift = 0;
      float off[4] = {0, 0, 0, 0};  // the colour's departure from the paper (and its lightness's), summed across
    };
    std::vector<TAcross> acrossAt(px.size());
    double colour[3] = {0, 0, 0};
    // The width from the grey levels: ink summed across the line (paper 0,
    // the stroke's own ink 1), so an antialiased edge counts with its share.
    std::vector<uint8_t> core;
    for (int p : px) core.push_back(grey[size_t(p)]);
    std::nth_element(core.begin(), core.begin() + long(core.size() / 2), core.end());
    // The direction across the line at each point, and the paper on either
    // side past the ink: its grey (on a photographed page well below white)
    // for the width, its colour for the stroke's colour. The grey is taken
    // close by, 3 pixels past the middle's reach, where a JPEG keeps the
    // lightness sharp. The colour is taken twice as far out: a JPEG keeps
    // colour at half resolution, and a thin stroke's colour still tints the
    // paper 4 to 5 pixels beside it, which taken for the paper's own would
    // cancel part of the stroke's colour. Paper too close to other ink for
    // that (hatching) gives its colour close by instead.
    std::vector<uint8_t> beside;
    std::vector<uint32_t> paperNear[2], paperFar[2];  // left and right of the line
    const auto paperAt = [&](TPt q, uint32_t& c) {
      const int qx = int(std::floor(q.x)), qy = int(std::floor(q.y));
      if (qx < 0 || qy < 0 || qx >= w || qy >= h || (state[size_t(qy) * size_t(w) + size_t(qx)] & (kInk | kFill))) return false;
      c = originAt(qx, qy);
      return true;
    };
    for (size_t i = 2; i + 2 < px.size(); ++i) {
      const TPt along = Unit(pos(px[i + 2]) - pos(px[i - 2]));
      acrossAt[i].dir = {-along.y, along.x};
      for (const float side : {-1.0f, 1.0f}) {
        const TPt out = acrossAt[i].dir * side;
        uint32_t c = 0, far = 0;
        if (!paperAt(pos(px[i]) + out * (radius(px[i]) + 3), c)) continue;
        paperNear[side > 0].push_back(c);
        if (i % 2 == 0) {
          const TPt q = pos(px[i]) + out * (radius(px[i]) + 3);
          beside.push_back(grey[size_t(std::floor(q.y)) * size_t(w) + size_t(std::floor(q.x))]);
        }
        // Farther out the same paper, not something darker beyond it.
        if (paperAt(pos(px[i]) + out * (radius(px[i]) + 6), far) && LumaOf(far) >= 0.8f * LumaOf(c))
          paperFar[side > 0].push_back(far);
      }
    }
    float paperGrey = 255;
    if (!beside.empty()) {
      std::nth_element(beside.begin(), beside.begin() + long(beside.size() / 2), beside.end());
      paperGrey = float(beside[beside.size() / 2]);
    }
    const float inkGrey = std::min(float(core[core.size() / 2]), paperGrey - 5);
    const auto widthsMedian = [](std::vector<float> all) {
      std::nth_element(all.begin(), all.begin() + long(all.size() / 2), all.end());
      return std::max(1.0f, all[all.size() / 2]);
    };
    // How much of the pixel at (ix, iy) the stroke's ink covers (0 off the
    // picture), by its grey: worked out once for each grey level, as the
    // cross-sections below ask millions of times.
    float coverageOf[256];
    for (int g = 0; g < 256; ++g) coverageOf[g] = std::clamp((paperGrey - float(g)) / (paperGrey - inkGrey), 0.0f, 1.0f);
    const auto coverage = [&](int ix, int iy) {
      if (ix < 0 || iy < 0 || ix >= w || iy >= h) return 0.0f;
      return coverageOf[grey[size_t(iy) * size_t(w) + size_t(ix)]];
    };
    // The paper's colour: the median of each channel, as a sample may still
    // fall on another stroke's tinted edge or a speck. Both sides together,
    // unless one is far darker than the other: a stroke may run along a
    // shape that the prepared picture does not count as ink (a sketch keeps
    // only a filled shape's outline), whose colour is then all that side
    // sees, and the lighter side alone is paper. (Uneven light makes the
    // sides differ by a few percent, not by a fifth.)
    const auto channelMedian = [](const std::vector<uint32_t>& colours, int k) {
      std::vector<uint8_t> v;
      v.reserve(colours.size());
      for (uint32_t c : colours) v.push_back(uint8_t(c >> (16 - 8 * k)));
      std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
      return float(v[v.size() / 2]);
    };
    std::vector<uint32_t>* sides = !paperFar[0].empty() || !paperFar[1].empty() ? paperFar : paperNear;
    const auto sideLuma = [&](int side) {
      if (sides[side].empty()) return -1.0f;
      return Luma3(channelMedian(sides[side], 0), channelMedian(sides[side], 1), channelMedian(sides[side], 2));
    };
    const float leftLuma = sideLuma(0), rightLuma = sideLuma(1);
    if (rightLuma < 0.8f * leftLuma) sides[1].clear();
    if (leftLuma < 0.8f * rightLuma) sides[0].clear();
    std::vector<uint32_t>& paperSamples = sides[0];
    paperSamples.insert(paperSamples.end(), sides[1].begin(), sides[1].end());
    const bool paperSeen = !paperSamples.empty();
    float paperColour[3] = {255, 255, 255};
    if (paperSeen)
      for (int k = 0; k < 3; ++k) paperColour[k] = channelMedian(paperSamples, k);
    const float paperLuma = Luma3(paperColour[0], paperColour[1], paperColour[2]);
    for (size_t i = 0; i < px.size(); ++i) {
      const int p = px[i];
      const float r = radius(p);
      if (px.size() >= 5 && i >= 2 && i + 2 < px.size()) {
        const TPt across = acrossAt[i].dir;
        const float reach = r + 2;
        float sum = 0, moment = 0;
        // Samples a quarter pixel apart fall on each pixel two to four times
        // in a row: its shares are worked out once.
        int lastX = INT_MIN, lastY = INT_MIN;
        float c = 0, share[4] = {0, 0, 0, 0}, off[4] = {0, 0, 0, 0};
        for (float t = -reach; t <= reach; t += 0.25f) {
          const TPt q = pos(p) + across * t;
          const int ix = int(std::floor(q.x)), iy = int(std::floor(q.y));
          if (ix != lastX || iy != lastY) {
            lastX = ix;
            lastY = iy;
            c = coverage(ix, iy) * 0.25f;
            const uint32_t o = originAt(std::clamp(ix, 0, w - 1), std::clamp(iy, 0, h - 1));
            share[0] = 0.25f * (float((o >> 16) & 0xFF) - paperColour[0]);
            share[1] = 0.25f * (float((o >> 8) & 0xFF) - paperColour[1]);
            share[2] = 0.25f * (float(o & 0xFF) - paperColour[2]);
            share[3] = 0.25f * (Luma3(float((o >> 16) & 0xFF), float((o >> 8) & 0xFF), float(o & 0xFF)) - paperLuma);
          }
          sum += c;
          moment += c * t;
          for (int k = 0; k < 4; ++k) off[k] += share[k];
        }
        for (int k = 0; k < 4; ++k) acrossAt[i].off[k] = off[k];
        widths.push_back(sum);
        acrossAt[i].ink = sum;
        acrossAt[i].shift = sum > 0 ? moment / sum : 0.0f;
      } else {
        widths.push_back(2 * r - 0.5f);
      }
    }
    const float width = widthsMedian(widths);
    // The colour: the median of each channel along the centre line, seen as
    // it would be on white paper: divided by the paper's own colour, which
    // evens out uneven light on a photographed page. From 2 pixels wide a
    // stroke covers its centre pixels fully all along; the median passes
    // over the few that it does not (at its ends, where other ink joins).
    // Not the darker half of the centre there: picked by how dark they are,
    // the pixels are those a photo's grain happened to darken, a few levels
    // too dark, and more once divided by a dim paper. A thinner stroke
    // covers only some of its centre pixels fully, and its darker half are
    // those.
    {
      std::vector<uint32_t> centre;
      centre.reserve(px.size());
      for (int p : px) centre.push_back(originAt(at.X(p), at.Y(p)));
      if (width >= 2) {
        for (int k = 0; k < 3; ++k) colour[k] = channelMedian(centre, k);
      } else {
        std::sort(centre.begin(), centre.end(), [&](uint32_t a, uint32_t b) { return LumaOf(a) < LumaOf(b); });
        const size_t half = std::max<size_t>(1, (centre.size() + 1) / 2);
        for (size_t i = 0; i < half; ++i)
          for (int k = 0; k < 3; ++k) colour[k] += double((centre[i] >> (16 - 8 * k)) & 0xFF) / double(half);
      }
      // A thin stroke has no fully inked middle, and a JPEG keeps colour
      // at half resolution, spreading a thin stroke's colour over the
      // paper beside it; blurring moves colour, it does not lose it. So the
      // colour's departure from the paper is summed across the line and
      // scaled to the lightness found in the middle (which a JPEG keeps at
      // full resolution): the departure of lightness summed across, over
      // the middle's own, is how much ink the sums hold.
      {
        double off[4] = {0, 0, 0, 0};
        for (const TAcross& a : acrossAt) {
          if (a.ink <= 0 || a.ink > 1.3f * width) continue;
          for (int k = 0; k < 4; ++k) off[k] += a.off[k];
        }
        const double middle = double(Luma3(float(colour[0]), float(colour[1]), float(colour[2])) - paperLuma);
        if (middle < -20 && off[3] < 2 * middle)
          for (int k = 0; k < 3; ++k) colour[k] = std::clamp(double(paperColour[k]) + off[k] * middle / off[3], 0.0, 255.0);
      }
      // Paper is about grey, whatever the light: a strongly coloured
      // "paper" is a shape the stroke is drawn over, and dividing by it
      // would shift the stroke's colour, not undo the light.
      const float paperMax = std::max({paperColour[0], paperColour[1], paperColour[2]});
      const float paperMin = std::min({paperColour[0], paperColour[1], paperColour[2]});
      if (paperSeen && paperMax - paperMin < 0.25f * paperMax)
        for (int k = 0; k < 3; ++k)
          if (paperColour[k] > 96) colour[k] = std::min(255.0, colour[k] * 255.0 / paperColour[k]);
    }
    // The skeleton runs through pixel middles; the ink's middle across the
    // line may lie between them (a line two pixels wide). Each point moves
    // across to the middle of the ink it measured, unless other ink (a
    // crossing, a neighbour) made that measure wider than the stroke.
    for (size_t i = 0; i < px.size(); ++i) {
      const TAcross& a = acrossAt[i];
      if (a.ink <= 0 || a.ink > 1.3f * width) continue;
      pts[i] = pts[i] + a.dir * std::clamp(a.shift, -0.75f, 0.75f);
    }
    // Through a junction, thinning pulls a line towards the branch that
    // meets it: the skeleton dips into the blob where the inks join. Where
    // the stroke goes on nearly straight, its points within the blob are
    // left out, and the line bridges the blob straight.
    if (!strokeJoins[s].empty()) {
      std::vector<uint8_t> drop(pts.size(), 0);
      const int last = int(pts.size()) - 1;
      for (const std::array<int, 2>& join : strokeJoins[s]) {
        const TPt c = clusterAt[size_t(join[1])];
        const float blob = radius(px[size_t(join[0])]) + 1;
        int a = join[0], b = join[0];
        while (a > 0 && Len(pts[size_t(a)] - c) < blob) --a;
        while (b < last && Len(pts[size_t(b)] - c) < blob) ++b;
        if (a == 0 || b == last || b - a < 2) continue;
        const int reach = int(blob) + 2;
        const TPt before = Unit(pts[size_t(a)] - pts[size_t(std::max(0, a - reach))]);
        const TPt after = Unit(pts[size_t(std::min(last, b + reach))] - pts[size_t(b)]);
        // Only where lines cross or a branch meets the line (a junction of
        // two ends is a bend, whose corner is kept) and the line goes on
        // within 60 degrees, as the pairing chose.
        if (atJunction[size_t(join[1])].size() < 3 || Dot(before, after) < 0.5f) continue;
        for (int i = a + 1; i < b; ++i) drop[size_t(i)] = 1;
      }
      size_t kept = 0;
      for (size_t i = 0; i < pts.size(); ++i)
        if (!drop[i]) pts[kept++] = pts[i];
      pts.resize(kept);
    }
    // Ends. The stroke is drawn with round caps, so its centre line ends
    // half a width short of where its ink ends, and the cap ends with the
    // ink: from the end (or from the middle of the junction it ends at) the
    // line goes on along its direction while there is ink, less half a
    // width. Ink that ends on a fill runs on into it, leaving no gap. This
    // gives back what thinning took from a free end, and the short overhang
    // of a stroke that ends just past a line crossing it (dropped as a spur).
    const auto inkAhead = [&](TPt from, TPt dir, float limit, bool& intoFill) {
      float t = 0;
      int stop = -1;
      while (t < limit) {
        const TPt q = from + dir * (t + 0.5f);
        const int qx = int(std::floor(q.x)), qy = int(std::floor(q.y));
        stop = qx < 0 || qy < 0 || qx >= w || qy >= h ? -1 : qy * w + qx;
        if (stop < 0 || !(state[size_t(stop)] & kInk)) break;
        t += 0.5f;
      }
      intoFill = stop >= 0 && (state[size_t(stop)] & kFill);
      return t;
    };
    // A short straight piece of ink on its own (a dash, a tick, a hatching
    // line): thinned, a line a pixel or two wide at a slant leaves a
    // skeleton much shorter than its ink, whose ends cannot be run on, as
    // their direction is a guess. Its centre line is the ink's own axis,
    // from one end of the ink to the other (less the round caps).
    bool onAxis = false;
    if (!strokeLoop[s] && strokeEnds[s][0] < 0 && strokeEnds[s][1] < 0 && px.size() < size_t(3 * width) + 12) {
      const int grow = int(2 * width) + 4;
      const TPixelBox box = BoxOf(px, at);
      const int bx0 = box.x0 - grow, by0 = box.y0 - grow, bx1 = box.x1 + grow, by1 = box.y1 + grow;
      const int bw = bx1 - bx0 + 1;
      std::vector<uint8_t> seen(size_t(bw) * size_t(by1 - by0 + 1), 0);
      std::vector<int> ink, stack;
      seen[size_t(at.Y(px[0]) - by0) * size_t(bw) + size_t(at.X(px[0]) - bx0)] = 1;
      bool alone = true;  // no ink reaches the box's edge
      Flood8(
          px[0], w, h, at, stack,
          [&](int t) {
            const int x = at.X(t), y = at.Y(t);
            if (!(state[size_t(t)] & kInk)) return false;
            if (x <= bx0 || y <= by0 || x >= bx1 || y >= by1) {
              alone = false;
              return false;
            }
            uint8_t& m = seen[size_t(y - by0) * size_t(bw) + size_t(x - bx0)];
            if (m) return false;
            m = 1;
            return true;
          },
          [&](int q) { ink.push_back(q); });
      if (alone && ink.size() >= 3) {
        double mx = 0, my = 0;
        for (int q : ink) mx += at.X(q), my += at.Y(q);
        mx /= double(ink.size()), my /= double(ink.size());
        double cxx = 0, cyy = 0, cxy = 0;
        for (int q : ink) {
          const double dx = at.X(q) - mx, dy = at.Y(q) - my;
          cxx += dx * dx, cyy += dy * dy, cxy += dx * dy;
        }
        cxx /= double(ink.size()), cyy /= double(ink.size()), cxy /= double(ink.size());
        const double angle = 0.5 * std::atan2(2 * cxy, cxx - cyy);
        const TPt d{float(std::cos(angle)), float(std::sin(angle))};
        const double mid = (cxx + cyy) / 2, dev = std::sqrt((cxx - cyy) * (cxx - cyy) / 4 + cxy * cxy);
        const double across = std::sqrt(std::max(0.0, mid - dev));
        float t0 = 1e9f, t1 = -1e9f;
        for (int q : ink) {
          const float t = float((at.X(q) - mx) * d.x + (at.Y(q) - my) * d.y);
          t0 = std::min(t0, t);
          t1 = std::max(t1, t);
        }
        // Straight (its ink spread across no more than a line's), and
        // longer than wide.
        const float cap = width / 2 - 0.5f;
        if (across <= 0.6 * std::max(1.0f, width) && t1 - t0 > 2 * cap + 1) {
          const TPt centre{float(mx) + 0.5f, float(my) + 0.5f};
          pts = {centre + d * (t0 + cap), centre + d * (t1 - cap)};
          onAxis = true;
        }
      }
    }
    if (!strokeLoop[s] && pts.size() > 1 && !onAxis) {
      for (int side = 0; side < 2; ++side) {
        const int node = strokeEnds[s][size_t(side)];
        if (node == kCut) continue;  // cut where the colour or thickness changes: ends there
        // A free end's last pixels bend off with the thinning; they give
        // way to the line run on straight below. So do those of an end at a
        // junction, pulled towards the other branches inside the blob where
        // the inks join: they give way to the line run on straight to the
        // junction's middle.
        size_t trim = 0;
        if (node < 0) {
          trim = std::min(pts.size() / 4, std::max<size_t>(3, size_t(width / 2)));
        } else {
          const TPt middle = clusterAt[size_t(node)];
          const float blob = radius(side == 0 ? px.front() : px.back()) + 1;
          while (trim < pts.size() / 4 && Len((side == 0 ? pts[trim] : pts[pts.size() - 1 - trim]) - middle) < blob) ++trim;
        }
        if (side == 0) pts.erase(pts.begin(), pts.begin() + long(trim));
        else pts.resize(pts.size() - trim);
        TPt end = side == 0 ? pts.front() : pts.back();
        // The end's direction over a stretch as long as the stroke is
        // thick: the last few pixels of a thinned end wander.
        const size_t back = std::min(pts.size() - 1, size_t(std::max(3.0f, width)));
        const TPt inner = side == 0 ? pts[back] : pts[pts.size() - 1 - back];
        std::vector<TPt> extra;
        // Ending at a junction, the line goes on along its own direction as
        // deep as the junction's middle lies (the middle of a blob where
        // three lines meet can lie off this one).
        if (node >= 0) {
          const TPt own = Unit(end - inner);
          const float along = Dot(clusterAt[size_t(node)] - end, own);
          if (along > 0.5f) {
            end = end + own * along;
            extra.push_back(end);
          }
        }
        const TPt dir = Unit(end - inner);
        bool intoFill = false;
        const float t = inkAhead(end, dir, 2 * radius(side == 0 ? px.front() : px.back()) + width + 3, intoFill);
        const float grow = intoFill ? t + width / 2 : t - width / 2;
        if (grow > 0.25f) extra.push_back(end + dir * grow);
        for (const TPt& e : extra) {
          if (side == 0) pts.insert(pts.begin(), e);
          else pts.push_back(e);
        }
      }
    }
    float length = 0;
    for (size_t i = 1; i < pts.size(); ++i) length += Len(pts[i] - pts[i - 1]);
    if (length < params.MinStrokeLength && pts.size() > 1) return;
    kept[s] = 1;
    TCentrelineStroke& stroke = made[s];
    stroke.Width = width;
    stroke.Color = MeanColour(colour, 1);
    if (strokeLoop[s] && pts.size() > 2) {
      // A closed line starts in the middle of its longest stretch without
      // a bend, so that its corners fall well inside the line, where they
      // are found and kept sharp.
      const size_t m = pts.size(), span = std::min<size_t>(5, m / 3);
      std::vector<uint8_t> bend(m, 0);
      for (size_t i = 0; i < m && span > 0; ++i) {
        bend[i] = Turn(pts[(i + m - span) % m], pts[i], pts[(i + span) % m]) < 0.9f;
      }
      size_t start = 0, longest = 0;
      for (size_t i = 0; i < m; ++i) {
        if (bend[i] || !bend[(i + m - 1) % m]) continue;  // stretches start after a bend
        size_t k = 0;
        while (k < m && !bend[(i + k) % m]) ++k;
        if (k > longest) {
          longest = k;
          start = (i + k / 2) % m;
        }
      }
      std::rotate(pts.begin(), pts.begin() + long(start), pts.end());
      pts.push_back(pts.front());
    }
    if (pts.size() == 1) {
      stroke.Path.MoveTo({pts[0].x, pts[0].y});
      stroke.Path.LineTo({pts[0].x, pts[0].y});
    } else {
      FitPolyline(pts, params.CurveTolerance, params.CornerAngle, stroke.Path, width, [&](TPt q) {
        const int qx = int(std::floor(q.x)), qy = int(std::floor(q.y));
        return qx >= 0 && qy >= 0 && qx < w && qy < h && (state[size_t(qy) * size_t(w) + size_t(qx)] & (kInk | kFill));
      });
    }
  };
  ParallelEach(strokes.size(), [&](size_t k) { makeStroke(strokeOrder[k]); });
  for (size_t s = 0; s < strokes.size(); ++s) {
    if (!kept[s]) continue;
    keptAs[s] = int(out.Strokes.size());
    out.Points += made[s].Path.Count();
    out.Strokes.push_back(std::move(made[s]));
  }
  // Fills: each filled area's outline with its holes, made on the cores
  // and taken in the areas' order.
  std::vector<int> fillOf(areas.size(), -1);
  std::vector<size_t> fillAreas, fillSizes;
  for (size_t i = 0; i < areas.size(); ++i)
    if (areas[i].fill && !areas[i].pixels.empty()) {
      fillAreas.push_back(i);
      fillSizes.push_back(areas[i].pixels.size());
    }
  std::vector<TCentrelineFill> madeFills(fillAreas.size());
  std::vector<TCentrelineStroke> madeRings(fillAreas.size());  // an empty path: no ring
  const auto makeFill = [&](size_t f) {
    const TArea& a = areas[fillAreas[f]];
    // The colour of the fill's inside (at least three pixels in), the
    // middle value of each channel: a filled shape drawn with an outline
    // of another colour (a pink nose ringed in dark red) keeps its own
    // colour, not a mix of the two. Small fills (dots) take all their
    // pixels; large ones a sample of at most about 65536.
    const TPixelBox box = BoxOf(a.pixels, at);
    const int x0 = box.x0, y0 = box.y0, x1 = box.x1, y1 = box.y1;
    const size_t step = a.pixels.size() / 65536 + 1;
    std::array<std::vector<uint8_t>, 3> deep, any;
    for (size_t k = 0; k < a.pixels.size(); k += step) {
      const int p = a.pixels[k];
      const uint32_t c = originAt(at.X(p), at.Y(p));
      for (int ch = 0; ch < 3; ++ch) {
        const uint8_t v = uint8_t(c >> (16 - 8 * ch));
        any[size_t(ch)].push_back(v);
        if (dt[size_t(p)] >= 9) deep[size_t(ch)].push_back(v);
      }
    }
    std::array<std::vector<uint8_t>, 3>& from = deep[0].size() * 5 >= any[0].size() ? deep : any;
    TCentrelineFill& fill = madeFills[f];
    const auto median = [](std::array<std::vector<uint8_t>, 3>& channels) {
      uint32_t c = 0xFF000000u;
      for (int ch = 0; ch < 3; ++ch) {
        std::vector<uint8_t>& v = channels[size_t(ch)];
        std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
        c |= uint32_t(v[v.size() / 2]) << (16 - 8 * ch);
      }
      return c;
    };
    fill.Color = median(from);
    const int bw = x1 - x0 + 1;
    std::vector<uint8_t> mine(size_t(bw) * size_t(y1 - y0 + 1), 0);
    for (int p : a.pixels) mine[size_t(at.Y(p) - y0) * size_t(bw) + size_t(at.X(p) - x0)] = 1;
    Outlines(x0, y0, x1, y1,
             [&](int x, int y) {
               return x >= x0 && y >= y0 && x <= x1 && y <= y1 && mine[size_t(y - y0) * size_t(bw) + size_t(x - x0)];
             },
             std::max(0.5f, params.CurveTolerance), params.CornerAngle, fill.Outline);
    // A ring of a darker colour round the inside (a shape drawn with an
    // outline, as cartoons and icons are) is a stroke of its own along the
    // ring's middle, drawn over the fill's edge. The fill's pixels are
    // sorted by how deep they lie (distance to paper, whole pixels; the
    // edge pixels, mixed with the paper, left out): the ring is the layers
    // from the edge in whose colour most pixels are darker than the inside,
    // up to the first layer of the inside's own colour. (Mixing with white
    // paper only makes colours lighter, so a darker ring is ink.)
    const int layers = int(params.MaxStrokeWidth / 2) + 2;
    std::vector<std::array<std::vector<uint8_t>, 3>> byDepth(static_cast<size_t>(layers) + 1);
    const uint32_t shallow = uint32_t(std::ceil((float(layers) + 0.5f) * (float(layers) + 0.5f)));  // deeper: no layer
    for (size_t k = 0; k < a.pixels.size(); k += step) {
      const int p = a.pixels[k];
      if (dt[size_t(p)] >= shallow) continue;
      const int depth = int(std::sqrt(float(dt[size_t(p)])) + 0.5f);
      if (depth < 2 || depth > layers) continue;
      const uint32_t c = originAt(at.X(p), at.Y(p));
      for (int ch = 0; ch < 3; ++ch) byDepth[size_t(depth)][size_t(ch)].push_back(uint8_t(c >> (16 - 8 * ch)));
    }
    // Darker than the inside in most of a layer's pixels, not only in its
    // middle value: a ring round part of the shape (a shadow) is none.
    const auto ringLayer = [&](int depth, uint32_t inside) {
      const auto& v = byDepth[size_t(depth)];
      if (v[0].size() < 8) return false;
      const float insideLuma = LumaOf(inside);
      size_t darker = 0;
      for (size_t i = 0; i < v[0].size(); ++i) {
        const uint32_t c = 0xFF000000u | uint32_t(v[0][i]) << 16 | uint32_t(v[1][i]) << 8 | v[2][i];
        int most = 0;
        for (int k = 0; k < 3; ++k) most = std::max(most, std::abs(int((c >> (8 * k)) & 0xFF) - int((inside >> (8 * k)) & 0xFF)));
        darker += most > 48 && LumaOf(c) < insideLuma - 24;
      }
      return darker * 10 >= v[0].size() * 6;
    };
    int ringDepth = 1;
    while (ringDepth < layers && ringLayer(ringDepth + 1, fill.Color)) ++ringDepth;
    if (ringDepth >= 2 && ringDepth + 2 <= layers && !byDepth[size_t(ringDepth) + 2][0].empty() &&
        !ringLayer(ringDepth + 2, fill.Color)) {
      std::array<std::vector<uint8_t>, 3> ringColours;
      for (int depth = 2; depth <= ringDepth; ++depth)
        for (int ch = 0; ch < 3; ++ch) {
          const std::vector<uint8_t>& v = byDepth[size_t(depth)][size_t(ch)];
          ringColours[size_t(ch)].insert(ringColours[size_t(ch)].end(), v.begin(), v.end());
        }
      TCentrelineStroke& ring = madeRings[f];
      ring.Width = float(ringDepth);
      ring.Color = median(ringColours);
      // A ring deeper than the three pixels the inside's colour was taken
      // from: the inside's colour again, from below the ring.
      if (ringDepth >= 3) {
        const float below = float(ringDepth) + 1.5f;
        std::array<std::vector<uint8_t>, 3> inside;
        for (size_t k = 0; k < a.pixels.size(); k += step) {
          const int p = a.pixels[k];
          if (float(dt[size_t(p)]) <= below * below) continue;
          const uint32_t c = originAt(at.X(p), at.Y(p));
          for (int ch = 0; ch < 3; ++ch) inside[size_t(ch)].push_back(uint8_t(c >> (16 - 8 * ch)));
        }
        if (inside[0].size() >= 8) fill.Color = median(inside);
      }
      const float middle = float(ringDepth) / 2 + 0.5f;
      Outlines(x0, y0, x1, y1,
               [&](int x, int y) {
                 return x >= x0 && y >= y0 && x <= x1 && y <= y1 && mine[size_t(y - y0) * size_t(bw) + size_t(x - x0)] &&
                        float(dt[size_t(y) * size_t(w) + size_t(x)]) > middle * middle;
               },
               std::max(0.5f, params.CurveTolerance), params.CornerAngle, ring.Path);
    }
  };
  const std::vector<size_t> fillOrder = LargestFirst(fillSizes);
  ParallelEach(fillAreas.size(), [&](size_t k) { makeFill(fillOrder[k]); });
  for (size_t f = 0; f < fillAreas.size(); ++f) {
    out.Points += madeFills[f].Outline.Count();
    fillOf[fillAreas[f]] = int(out.Fills.size());
    out.Fills.push_back(std::move(madeFills[f]));
  }
  // The rings come after the strokes found along the skeleton; their ink
  // is claimed by their fills.
  for (TCentrelineStroke& ring : madeRings)
    if (ring.Path.Count() > 0) {
      out.Points += ring.Path.Count();
      out.Strokes.push_back(std::move(ring));
    }
  // The claims' lists grow while the planes below are no longer needed.
  TPlane<uint8_t>().swap(grey);
  TPlane<uint8_t>().swap(state);
  TZeroPlane<uint16_t>().swap(dt);
  if (params.Claims) ClaimInk(areas, fillOf, strokes, keptAs, w, h, out);
  out.MsFit = double(clock.nsecsElapsed()) / 1e6;
  report(100);
  return out;
}

}  // namespace karto
