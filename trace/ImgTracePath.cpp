// Path tracing: start direction, walking, width measurement and the centre
// line.
//
// During a trace "dark" means "has a record": the map is the darkness test
// of construction, which stays true while the trace repaints claimed pixels
// in state colours that may read as light.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <new>

#include "trace/ImgTrace.h"

namespace karto {

namespace {

// The gap filling between two centres steps at this fraction of the nominal
// one pixel, so that rounding never skips a pixel.
constexpr float GAP_STEP_FACTOR = 0.9f;
// Centre shifts of half a pixel go to the larger side: halves are moved up
// by this much before rounding.
constexpr double HALF_SHIFT = 0.01;

// Nearest integer, halves to even. Non-finite or far-off values become
// values far outside any bitmap but safe to add small offsets to.
int NearestInt(float v) {
  const float r = std::nearbyint(v);
  if (!(r > float(INT_MIN / 2))) return INT_MIN / 2;
  if (!(r < float(INT_MAX / 2))) return INT_MAX / 2;
  return int(r);
}

// The nearest integer to v + HALF_SHIFT; v is a multiple of one half, so no
// tie can occur.
int RoundHalfUp(double v) { return int(std::lround(v + HALF_SHIFT)); }

}  // namespace

int TImgTrace::UnclaimedAt(int x, int y) const {
  if (!Inside(x, y)) return -1;
  const int32_t idx = m_arPixelIdx[MapOffset(x, y)];
  return idx >= 0 && m_arPixelInfos[size_t(idx)].State == PixelState::NONE ? idx : -1;
}

bool TImgTrace::IsSimilarGrey(TAlphaColor a, TAlphaColor b) {
  return std::abs(int((a >> 16) & 0xFF) - int((b >> 16) & 0xFF)) <= GREY_TOLERANCE;
}

void TImgTrace::SetPixelState(int idx, int x, int y, PixelState state, int n) {
  PixelInfo& info = m_arPixelInfos[size_t(idx)];
  info.State = state;
  info.TraceObjIdx = n;
  m_pSrcBits[y * m_iSrcStride + x] = STATE_COLORS[size_t(state)];
}

void TImgTrace::MarkCentre(int x, int y, int n) {
  const int idx = PixelIndexAt(x, y);
  if (idx >= 0) SetPixelState(idx, x, y, PixelState::LINECENTER, n);
}

bool TImgTrace::DoTrace() {
  m_lstOfTraceObjects.reset();
  if (!m_oSrcBmp || m_oSrcBmp->IsEmpty() || m_iLastPixelIdx < MIN_TRACE_PIXELS - 1) return false;
  // Records and map describe the picture the engine was built over; a
  // bitmap of another size is another picture.
  if (m_oSrcBmp->Width() != m_iMapWidth || m_oSrcBmp->Height() != m_iMapHeight) return false;

  // Source rows first: taking them detaches pixels shared with other
  // bitmaps, and when origin and source are one bitmap the origin's rows
  // must be taken after that.
  m_pSrcBits = m_oSrcBmp->Bits();
  m_iSrcStride = m_oSrcBmp->Stride();
  m_pOrgBits = nullptr;
  m_iOrgStride = m_iOrgWidth = m_iOrgHeight = 0;
  if (m_oOrgBmp && !m_oOrgBmp->IsEmpty()) {
    m_pOrgBits = m_oOrgBmp->Bits();
    m_iOrgStride = m_oOrgBmp->Stride();
    m_iOrgWidth = m_oOrgBmp->Width();
    m_iOrgHeight = m_oOrgBmp->Height();
  }
  // Taking the rows copies pixels shared with another bitmap; without the
  // memory for the copy there are no rows.
  if (!m_pSrcBits || (m_oOrgBmp && !m_oOrgBmp->IsEmpty() && !m_pOrgBits)) {
    m_pSrcBits = nullptr;
    m_pOrgBits = nullptr;
    throw ETraceError("Not enough memory to trace the picture");
  }

  try {
    int n = 0;
    for (int i = 0; i <= m_iLastPixelIdx; ++i) {
      if (m_progress && (i & 0xFFFF) == 0) m_progress(int(100LL * i / (m_iLastPixelIdx + 1)));
      if (m_arPixelInfos[size_t(i)].State != PixelState::NONE) continue;
      std::unique_ptr<TTracePath> path = TracePath(i, n);
      if (!path) continue;
      if (!m_lstOfTraceObjects) m_lstOfTraceObjects = std::make_unique<TTraceObjList>();
      m_lstOfTraceObjects->push_back(std::move(path));
      ++n;
    }
  } catch (const std::bad_alloc&) {
    m_lstOfTraceObjects.reset();
    m_pSrcBits = nullptr;
    m_pOrgBits = nullptr;
    throw ETraceError("Not enough memory to keep the traced paths");
  }
  m_pSrcBits = nullptr;
  m_pOrgBits = nullptr;
  m_iPeakBytes = std::max(m_iPeakBytes, MemoryBytes());
  return m_lstOfTraceObjects && !m_lstOfTraceObjects->empty();
}

std::unique_ptr<TTracePath> TImgTrace::TracePath(int idx, int n) {
  if (m_arPixelInfos[size_t(idx)].State != PixelState::NONE) return nullptr;
  WidthHistogram histPlus{}, histMinus{};
  TTracePath& path = m_oWalk;
  path.Clear();
  const std::optional<Direction> start = FindStartDirection(idx);
  if (!start) return nullptr;  // nothing claimed, the pixel stays NONE
  const Direction dir = *start;

  int x = m_arPixelInfos[size_t(idx)].x;
  int y = m_arPixelInfos[size_t(idx)].y;
  m_oLastGreyColor = m_pSrcBits[y * m_iSrcStride + x];
  path.AddPoint(x, y, dir);
  MeasureStrokeWidth(1, x, y, dir, histPlus, histMinus);  // feeds the histograms only
  SetPixelState(idx, x, y, PixelState::LINEPART, n);

  while (NextPathPixel(x, y, idx, dir, path)) {
    const TAlphaColor grey = m_pSrcBits[y * m_iSrcStride + x];
    const TAlphaColor real = (x < m_iOrgWidth && y < m_iOrgHeight) ? m_pOrgBits[y * m_iOrgStride + x] : 0;
    // A rejected pixel is left unclaimed for a later path.
    if (!MeasureStrokeWidth(path.m_iPixelCntPath + 1, x, y, dir, histPlus, histMinus).verdict) break;
    if (!IsSimilarGrey(grey, m_oLastGreyColor)) break;
    path.AddPoint(x, y, dir);
    SetPixelState(idx, x, y, PixelState::LINEPART, n);
    path.m_oGreyColor = grey;
    path.m_oRealColor = real;
    m_oLastGreyColor = grey;
  }

  // Too short: dropped, but the pixels it claimed stay claimed and carry the
  // number n, which the next kept path will have.
  if (path.m_iPixelCntPath < MIN_PATH_POINTS) return nullptr;

  const int width = MostFrequentWidth(histPlus) + MostFrequentWidth(histMinus) + 1;
  CentreLinePass(path, n);
  path.m_bLineWidth = uint8_t(width);
  return std::make_unique<TTracePath>(path);  // copies at the exact size
}

std::optional<Direction> TImgTrace::FindStartDirection(int idx) const {
  if (idx < 0 || idx > m_iLastPixelIdx) return std::nullopt;
  const PixelInfo& info = m_arPixelInfos[size_t(idx)];
  std::optional<Direction> best;
  uint32_t bestScore = 0;
  for (int d = 0; d < DIRECTION_COUNT; ++d) {
    const uint32_t word = info.arDirSum[size_t(d)];
    if (word == 0) continue;
    // Bit s - 1 of a word weighs 2^(s - 1), so the sum favours the direction
    // in which unclaimed dark pixels reach farthest.
    uint32_t score = word;
    for (int s = 1; s <= RING_COUNT; ++s) {
      if (!(word & (1u << (s - 1)))) continue;  // a light pixel adds nothing
      const int other = UnclaimedAt(info.x + s * DIR_DX[d], info.y + s * DIR_DY[d]);
      if (other >= 0) score += m_arPixelInfos[size_t(other)].arDirSum[size_t(d)];
    }
    if (!best || score > bestScore ||
        (score == bestScore && DIR_PRIORITY[d] > DIR_PRIORITY[size_t(*best)])) {
      best = Direction(d);
      bestScore = score;
    }
  }
  return best;
}

bool TImgTrace::NextPathPixel(int& x, int& y, int& idx, Direction dir, TTracePath& path) const {
  if (PixelIndexAt(x, y) < 0) return false;
  // Straight on first; then small sideways moves towards either neighbour
  // of the walking direction, nearest patterns first. For a diagonal
  // direction some candidates are the current pixel or repeat an earlier
  // one; they are claimed or already tried, so they are not accepted.
  static constexpr int PATTERNS[5][2] = {{0, 1}, {1, 0}, {1, 1}, {2, 1}, {1, 2}};
  int nx = x + DirDx(dir), ny = y + DirDy(dir);
  int found = UnclaimedAt(nx, ny);
  for (int p = 0; p < 5 && found < 0; ++p) {
    for (const Direction nd : {dir - 1, dir + 1}) {
      nx = x + PATTERNS[p][0] * DirDx(nd);
      ny = y + PATTERNS[p][1] * DirDy(nd);
      found = UnclaimedAt(nx, ny);
      if (found >= 0) break;
    }
  }
  if (found < 0) return false;
  x = nx;
  y = ny;
  idx = found;
  ++path.m_arCntDirs[size_t(dir)];
  return true;
}

int TImgTrace::MeasureRay(int x, int y, int dx, int dy) const {
  int count = 0;
  bool gap = false;
  for (int k = 1; k < MAX_STROKE_WIDTH; ++k) {
    const int px = x + k * dx, py = y + k * dy;
    if (!Inside(px, py)) break;
    const int32_t idx = m_arPixelIdx[MapOffset(px, py)];
    if (idx >= 0) {
      // Pixels in a classification state belong to something else: passed
      // over without counting.
      const PixelState s = m_arPixelInfos[size_t(idx)].State;
      if (s == PixelState::NONE || s == PixelState::LINEPART || s == PixelState::LINECENTER) ++count;
    } else {
      if (gap) break;  // the second light pixel ends the stroke
      gap = true;
    }
  }
  return count;
}

TImgTrace::StrokeMeasure TImgTrace::MeasureStrokeWidth(int count, int x, int y, Direction dir,
                                                       WidthHistogram& histPlus,
                                                       WidthHistogram& histMinus) const {
  StrokeMeasure m;
  if (PixelIndexAt(x, y) < 0) return m;
  const Direction p = PERPENDICULAR_DIR[size_t(dir)];
  m.plus = std::min(MeasureRay(x, y, DirDx(p), DirDy(p)), MAX_STROKE_WIDTH);
  ++histPlus[size_t(m.plus)];
  m.minus = std::min(MeasureRay(x, y, -DirDx(p), -DirDy(p)), MAX_STROKE_WIDTH);
  ++histMinus[size_t(m.minus)];
  m.width = m.plus + m.minus + 1;
  if (m.width > MAX_STROKE_WIDTH) {
    // The longer side gives way; equal sides stay.
    if (m.plus < m.minus) m.minus = MAX_STROKE_WIDTH - m.plus - 1;
    else if (m.minus < m.plus) m.plus = MAX_STROKE_WIDTH - m.minus - 1;
    m.width = MAX_STROKE_WIDTH;
  }
  if (count > WIDTH_CHECK_AFTER) {
    const int usual = MostFrequentWidth(histPlus) + MostFrequentWidth(histMinus) + 1;
    m.verdict = std::abs(m.width - usual) <= WIDTH_TOLERANCE;
  }
  return m;
}

int TImgTrace::MostFrequentWidth(const WidthHistogram& hist) {
  // Entry 0 (no extent on that side) never counts as a width.
  size_t best = 1;
  for (size_t i = 2; i < hist.size(); ++i)
    if (hist[i] > hist[best]) best = i;
  return hist[best] > MIN_WIDTH_VOTES ? int(best) : 0;
}

TImgTrace::CentredPoint TImgTrace::CenterPathPoint(const TTracePath& path, int k) const {
  CentredPoint c;
  if (k < 0 || size_t(k) >= path.m_arPt.size() || size_t(k) >= path.m_arDirs.size()) return c;
  c.x = NearestInt(path.m_arPt[size_t(k)].x);
  c.y = NearestInt(path.m_arPt[size_t(k)].y);
  const Direction dir = path.m_arDirs[size_t(k)];
  const Direction p = PERPENDICULAR_DIR[size_t(dir)];
  WidthHistogram histPlus{}, histMinus{};  // the path's own stay untouched
  const StrokeMeasure m = MeasureStrokeWidth(k, c.x, c.y, dir, histPlus, histMinus);
  const int P = m.plus, M = m.minus;
  if (std::abs(P - M) <= 1) {
    c.outPlus = P;
    c.outMinus = M;
    return c;
  }
  int s = 0;
  if (P > 0 && M == 0) {
    s = RoundHalfUp(P / 2.0);
    c.outPlus = P - s;
    c.outMinus = s;
  } else if (P == 0 && M > 0) {
    s = -RoundHalfUp(M / 2.0);
    c.outPlus = -s;
    c.outMinus = M + s;
  } else {
    s = RoundHalfUp((P - M) / 2.0);  // negative when the minus side is longer
    c.outPlus = P - s;
    c.outMinus = M + s;
  }
  c.x += s * DirDx(p);
  c.y += s * DirDy(p);
  return c;
}

void TImgTrace::CentreLinePass(TTracePath& path, int n) {
  int px = 0, py = 0;
  for (int k = 0; k <= path.m_iLastIdx; ++k) {
    const Direction p = PERPENDICULAR_DIR[size_t(path.m_arDirs[size_t(k)])];
    const Direction across[3] = {p, p + 1, p - 1};
    const CentredPoint c = CenterPathPoint(path, k);

    // Widen: claim the unclaimed stroke pixels in a fan on both sides.
    for (int h = 1; h <= c.outPlus; ++h)
      for (const Direction d : across) {
        const int qx = c.x + h * DirDx(d), qy = c.y + h * DirDy(d);
        const int idx = UnclaimedAt(qx, qy);
        if (idx >= 0) SetPixelState(idx, qx, qy, PixelState::LINEPART, n);
      }
    for (int h = 1; h <= c.outMinus; ++h)
      for (const Direction d : across) {
        const int qx = c.x - h * DirDx(d), qy = c.y - h * DirDy(d);
        const int idx = UnclaimedAt(qx, qy);
        if (idx >= 0) SetPixelState(idx, qx, qy, PixelState::LINEPART, n);
      }

    path.m_arPt[size_t(k)] = {float(c.x), float(c.y)};
    // The centre line takes its pixels whoever claimed them before.
    MarkCentre(c.x, c.y, n);

    if (k > 0) {
      const int ddx = c.x - px, ddy = c.y - py;
      if (std::abs(ddx) > 1 || std::abs(ddy) > 1) {
        // Centres more than a pixel apart: join them with centre pixels.
        const float len = std::sqrt(float(ddx) * float(ddx) + float(ddy) * float(ddy));
        const float ux = float(ddx) / len, uy = float(ddy) / len;
        const float step = len / std::nearbyint(len) * GAP_STEP_FACTOR;
        for (float t = step; t <= len; t += step)
          MarkCentre(NearestInt(float(px) + t * ux), NearestInt(float(py) + t * uy), n);
      }
    }
    px = c.x;
    py = c.y;
  }
}

}  // namespace karto
