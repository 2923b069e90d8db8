#pragma once
// The tracing engine: turns the dark pixels of a grey bitmap into straight
// stroke paths, each centred on its stroke, with a width and a colour.
//
// Construction marks the dark pixels, gives each one a PixelInfo record and
// takes a census of the dark pixels around it (12 rings, 8 directions).
// DoTrace then offers every unclaimed dark pixel, in scan order, as the start
// of a path: it walks straight on while the stroke keeps its width and grey,
// moves the walked points onto the stroke's centre line, claims the stroke's
// pixels and repaints them in the source bitmap in their state colours.
//
// Sizes: the pixel map holds 4 bytes per bitmap pixel, each dark pixel costs
// one 36-byte record, and each kept path point 9 bytes. Construction and
// DoTrace are linear in the number of pixels; nothing grows by fixed steps.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Memory.h"
#include "platform/Types.h"

namespace karto {

// Raised by the engine when its pixel map or records do not fit in memory
// (or the bitmap has more pixels than a record index can number); what()
// says how large the bitmap was. The bitmaps are left untouched.
class ETraceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The eight walking directions, counter-clockwise from east in steps of 45
// degrees. Pixel coordinates: x to the right, y downwards ("north" is y - 1).
enum class Direction : uint8_t { DIR000, DIR045, DIR090, DIR135, DIR180, DIR225, DIR270, DIR315 };
constexpr int DIRECTION_COUNT = 8;

// Direction arithmetic is modulo 8: DIR000 - 1 is DIR315.
constexpr Direction operator+(Direction d, int k) { return Direction((int(d) + k) & 7); }
constexpr Direction operator-(Direction d, int k) { return Direction((int(d) - k) & 7); }

// Unit steps. The even directions are the axis steps; an odd direction's
// step is the sum of its two even neighbours' steps.
constexpr int DIR_DX[DIRECTION_COUNT] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int DIR_DY[DIRECTION_COUNT] = {0, -1, -1, -1, 0, 1, 1, 1};
constexpr int DirDx(Direction d) { return DIR_DX[int(d)]; }
constexpr int DirDy(Direction d) { return DIR_DY[int(d)]; }

// The state of a dark pixel. UNKNOWN, CHAR and SYMBOL are classification
// slots that nothing assigns yet; they have colours so that a future
// classifier shows up without further changes.
enum class PixelState : uint8_t { NONE, UNKNOWN, CHAR, SYMBOL, LINEPART, LINECENTER };
constexpr int PIXEL_STATE_COUNT = 6;

// The classification slot of a traced path; every path is PATH_NONE for now.
enum class PathType : uint8_t {
  PATH_NONE,
  PATH_UNKNOWN,
  PATH_LINE,
  PATH_RECTANGLE,
  PATH_CIRCLE,
  PATH_CURVE,
  PATH_SMALLTHING
};

// One 16-bit word per direction.
using ArrayOfValDirs = std::array<uint16_t, DIRECTION_COUNT>;

// Widths are measured with rays of at most MAX_STROKE_WIDTH - 1 pixels per
// side and capped at MAX_STROKE_WIDTH.
constexpr int MAX_STROKE_WIDTH = 10;
// Rings of the census, and the look-ahead when choosing a start direction.
constexpr int RING_COUNT = 12;
// A trace needs at least this many dark pixels, a kept path this many points.
constexpr int MIN_TRACE_PIXELS = 11;
constexpr int MIN_PATH_POINTS = 4;
// From the point after this count on, a step whose width differs from the
// path's usual width by more than WIDTH_TOLERANCE ends the path.
constexpr int WIDTH_CHECK_AFTER = 20;
constexpr int WIDTH_TOLERANCE = 2;
// A step whose red channel differs from the previous step's by more than
// this ends the path.
constexpr int GREY_TOLERANCE = 5;
// A width counts as the usual one only when it was measured more than this
// many times.
constexpr int MIN_WIDTH_VOTES = 5;
// Width histograms: one counter per width 0 .. 20 (only 0 .. 9 occur).
constexpr int WIDTH_HISTOGRAM_SIZE = 21;
// The pixel map numbers records with 32-bit signed integers.
constexpr long long MAX_TRACE_PIXELS = 0x7FFFFFFFLL;

// The direction across each walking direction, used to measure a stroke and
// to widen a path. Opposite directions share the entry, so a stroke is
// measured along the same line whichever way it is walked.
constexpr Direction PERPENDICULAR_DIR[DIRECTION_COUNT] = {
    Direction::DIR270, Direction::DIR315, Direction::DIR000, Direction::DIR225,
    Direction::DIR270, Direction::DIR315, Direction::DIR000, Direction::DIR225};

// Tie-break weight when two start directions score alike; higher wins. In
// order of preference: east, south, south-east, south-west, west, north,
// north-east, north-west.
constexpr int DIR_PRIORITY[DIRECTION_COUNT] = {8, 2, 3, 1, 4, 5, 7, 6};

// Colours a claimed pixel is painted in, by state, and while its path is
// highlighted.
constexpr TAlphaColor STATE_COLORS[PIXEL_STATE_COUNT] = {
    0xFF000000u, 0xFFFFFF00u, 0xFF00FFFFu, 0xFF008000u, 0xFFADD8E6u, 0xFF0000FFu};
constexpr TAlphaColor HIGHLIGHT_COLORS[PIXEL_STATE_COUNT] = {
    0xFF000000u, 0xFFE0FFFFu, 0xFF8B0000u, 0xFF8B0000u, 0xFFFFB6C1u, 0xFF8B0000u};

// One record per dark pixel of the traced bitmap.
struct PixelInfo {
  int32_t x = 0;
  int32_t y = 0;
  // Dark pixels found by the census over all rings and directions.
  int32_t Sum = 0;
  // Number of the path that last claimed the pixel; -1 while unclaimed.
  int32_t TraceObjIdx = -1;
  PixelState State = PixelState::NONE;
  // For direction d, bit r - 1 (r = 1 .. 12) is set when the pixel r steps
  // away in direction d is dark. Bits 12 .. 15 are always 0.
  ArrayOfValDirs arDirSum{};
};
// One record per dark pixel: its size is the bulk of the engine's memory.
static_assert(sizeof(PixelInfo) <= 36, "PixelInfo grew");

// Base of traced objects: the bounding box of the points as they were added.
class TTraceObj {
 public:
  struct Point {
    float x = 0;
    float y = 0;
  };

  virtual ~TTraceObj() = default;

  // Smallest and largest x and y added; the minimum starts far above any
  // bitmap coordinate and the maximum at 0, so the first point sets both.
  Point m_oMinPnt{1000000000.0f, 1000000000.0f};
  Point m_oMaxPnt{0.0f, 0.0f};
};

// One traced path: a straight-ish stroke walked in one direction. After the
// trace its points lie on the stroke's centre line; the bounding box is the
// one of the walked pixels and is not recomputed when the points move.
class TTracePath : public TTraceObj {
 public:
  void AddPoint(int x, int y, Direction dir) { AddPoint(float(x), float(y), dir); }
  // Appends (x, y) with its walking direction, widens the bounding box and
  // counts the direction.
  void AddPoint(float x, float y, Direction dir);
  // Back to the state of a new path, keeping the arrays' storage for reuse.
  void Clear();

  PathType m_enPathType = PathType::PATH_NONE;
  // Traced-bitmap and origin-bitmap colour of the last pixel the follower
  // accepted (0 until it accepts one); the path is drawn in m_oRealColor.
  TAlphaColor m_oGreyColor = 0;
  TAlphaColor m_oRealColor = 0;
  int32_t m_iPixelCntPath = 0;
  // Stroke width estimated over the whole path.
  uint8_t m_bLineWidth = 1;
  // Index of the last point; -1 while empty. Always m_arPt.size() - 1.
  int32_t m_iLastIdx = -1;
  std::vector<Point> m_arPt;
  // Parallel to m_arPt: the walking direction recorded with each point.
  std::vector<Direction> m_arDirs;
  // Per direction: one for each point added plus one for each next pixel
  // the follower found. 32 bits, so that very long strokes do not wrap.
  std::array<uint32_t, DIRECTION_COUNT> m_arCntDirs{};
};

using TTraceObjList = std::vector<std::unique_ptr<TTraceObj>>;

// The engine. It refers to, but does not own, its bitmaps: both must
// outlive it. The source bitmap is repainted by DoTrace and SelectTracePath.
class TImgTrace {
 public:
  using WidthHistogram = std::array<int32_t, WIDTH_HISTOGRAM_SIZE>;

  // The stroke across a point: dark pixels on the plus side (the side of
  // PERPENDICULAR_DIR of the walking direction) and on the minus side, the
  // width (capped at MAX_STROKE_WIDTH, the sides shortened to match), and
  // whether the width fits the path so far. A light position measures
  // nothing: 0, 0, width 0, verdict true.
  struct StrokeMeasure {
    int plus = 0;
    int minus = 0;
    int width = 0;
    bool verdict = true;
  };

  // Where a point moves on the centre line, and how far the stroke reaches
  // from there to the plus and the minus side.
  struct CentredPoint {
    int x = 0;
    int y = 0;
    int outPlus = 0;
    int outMinus = 0;
  };

  // Builds the pixel map and the census of sourceBitmap: a pixel is dark
  // when its red channel is at most greyscaleLimit. A null or empty source
  // gives an engine without dark pixels. originBitmap (may be null, may
  // differ in size) supplies the paths' colours. Throws ETraceError when
  // the map or the records do not fit in memory.
  TImgTrace(TBitmap* sourceBitmap, const TBitmap* originBitmap, int greyscaleLimit);
  ~TImgTrace();
  TImgTrace(const TImgTrace&) = delete;
  TImgTrace& operator=(const TImgTrace&) = delete;

  // Runs a complete trace, replacing the paths of an earlier one. Returns
  // true when at least one path was kept. Does nothing and returns false
  // with fewer than MIN_TRACE_PIXELS dark pixels, or when the source bitmap
  // is gone or no longer has the size the pixel map was built for.
  bool DoTrace();
  // Called now and then by DoTrace with how far it has come (0-100), from
  // the thread that traces.
  void SetProgress(std::function<void(int)> progress) { m_progress = std::move(progress); }
  // The same pictures at new addresses (moved from where they were traced):
  // later highlighting paints into the one given here.
  void Rebind(TBitmap* sourceBitmap, const TBitmap* originBitmap) {
    m_oSrcBmp = sourceBitmap;
    m_oOrgBmp = originBitmap;
  }

  // Dark pixels: 0 when the source bitmap is null or empty.
  int GetPixelCount() const;
  // The kept paths in order of their numbers, or null before a trace found
  // one.
  const TTraceObjList* GetListOfTraceObjects() const { return m_lstOfTraceObjects.get(); }
  // The vector shapes are the paths themselves: nothing to compute.
  bool ComputeVectorize() const { return true; }

  // Highlights the path that claimed the pixel nearest to (x, y) (halves
  // round to even) and returns the previously highlighted path to its state
  // colours. A light pixel, a position outside the map or no paths at all
  // change nothing; an unclaimed dark pixel only removes the highlight.
  void SelectTracePath(float x, float y);
  // The number of the highlighted path, -1 when none.
  int GetLastSelIdx() const { return m_iLastSelIdx; }

  // Read access for callers and tests. The map has the source bitmap's
  // size at construction (0 x 0 without one).
  int GreyscaleLimit() const { return m_iGreyscaleLimit; }
  int MapWidth() const { return m_iMapWidth; }
  int MapHeight() const { return m_iMapHeight; }
  // The record index of pixel (x, y); -1 for a light pixel or outside.
  int PixelIndexAt(int x, int y) const {
    return Inside(x, y) ? m_arPixelIdx[MapOffset(x, y)] : -1;
  }
  // Records 0 .. GetPixelCount() - 1, in scan order.
  const std::vector<PixelInfo>& PixelInfos() const { return m_arPixelInfos; }
  // Bytes the engine holds: the map, the records, the paths and its working
  // arrays (allocator overhead aside).
  size_t MemoryBytes() const;
  // The most it held at any time: at the end of construction (with the
  // census's row buffers) or of a trace, whichever was more.
  size_t PeakMemoryBytes() const { return std::max(m_iPeakBytes, MemoryBytes()); }

  // The steps of a trace. They only read the engine, so they are open to
  // callers that want to inspect a single decision.

  // The walking direction for a path starting at record idx: of the
  // directions with a non-zero census word, the one whose word plus the
  // words of the unclaimed dark pixels 1 .. RING_COUNT steps along it sum
  // highest (ties go to the higher DIR_PRIORITY). Empty for a pixel without
  // dark neighbours in reach, or an index out of range.
  std::optional<Direction> FindStartDirection(int idx) const;
  // The next pixel of a walk in dir from (x, y): straight on, else the
  // sideways candidates in their fixed order; the first one inside, dark
  // and unclaimed wins. On success moves (x, y) and idx there and counts
  // the step in path.m_arCntDirs; false when (x, y) is light or nothing
  // fits.
  bool NextPathPixel(int& x, int& y, int& idx, Direction dir, TTracePath& path) const;
  // Measures the stroke across (x, y) for the count-th point of a path
  // walked in dir. Each side is a ray of up to MAX_STROKE_WIDTH - 1 pixels
  // that bridges one light pixel and ends at the second or at the map's
  // edge. Adds the two extents to the histograms; from count
  // WIDTH_CHECK_AFTER + 1 on the verdict compares the width with the
  // histograms' usual widths.
  StrokeMeasure MeasureStrokeWidth(int count, int x, int y, Direction dir, WidthHistogram& histPlus,
                                   WidthHistogram& histMinus) const;
  // The width measured most often among 1 .. 20 (the lowest on equal
  // counts), or 0 unless it was measured more than MIN_WIDTH_VOTES times.
  static int MostFrequentWidth(const WidthHistogram& hist);
  // Where point k of path moves on the centre line (all zeros for an index
  // out of range). A point that is light, or outside the map, stays put
  // with no extents.
  CentredPoint CenterPathPoint(const TTracePath& path, int k) const;

 private:
  bool Inside(int x, int y) const {
    return x >= 0 && y >= 0 && x < m_iMapWidth && y < m_iMapHeight;
  }
  size_t MapOffset(int x, int y) const { return size_t(y) * size_t(m_iMapWidth) + size_t(x); }
  bool IsDarkPixel(TAlphaColor c) const { return int((c >> 16) & 0xFF) <= m_iGreyscaleLimit; }
  // Record index of (x, y) when it is inside, dark and unclaimed; else -1.
  int UnclaimedAt(int x, int y) const;

  void BuildPixelMap();
  void TakeCensus();
  // What the census's sweep down over a strip notes of each row for the
  // sweep up: the row's darkness as bits (words a row) and its first dark
  // pixel's record in the strip's own columns (-1 for none).
  struct TStripRows {
    std::vector<uint64_t> bits;
    std::vector<int32_t> firstRecord;
    size_t words;
  };
  void SweepCensus(int x0, int x1, int lo, int hi, bool upwards, uint16_t* buffers, size_t stride, TStripRows& rows);

  std::unique_ptr<TTracePath> TracePath(int idx, int n);
  int MeasureRay(int x, int y, int dx, int dy) const;
  void CentreLinePass(TTracePath& path, int n);
  // Claims record idx at (x, y) for path n and paints the pixel.
  void SetPixelState(int idx, int x, int y, PixelState state, int n);
  // Claims (x, y) as centre line of path n when it is inside and dark.
  void MarkCentre(int x, int y, int n);
  static bool IsSimilarGrey(TAlphaColor a, TAlphaColor b);

  std::function<void(int)> m_progress;
  TBitmap* m_oSrcBmp = nullptr;
  const TBitmap* m_oOrgBmp = nullptr;
  int m_iGreyscaleLimit = 0;
  // Row-major: the entry of (x, y) is at y * width + x.
  TPlane<int32_t> m_arPixelIdx;
  int m_iMapWidth = 0;
  int m_iMapHeight = 0;
  TAlphaColor m_oLastGreyColor = 0;
  int m_iLastPixelIdx = -1;
  int m_iLastSelIdx = -1;
  std::vector<PixelInfo> m_arPixelInfos;
  std::unique_ptr<TTraceObjList> m_lstOfTraceObjects;

  // Working state of DoTrace: the rows of the source and origin bitmaps,
  // taken when the trace starts (taking them may detach shared pixels), and
  // the path being walked, whose storage is reused from one path to the
  // next so that a kept path is copied out at its exact size.
  uint32_t* m_pSrcBits = nullptr;
  ptrdiff_t m_iSrcStride = 0;
  const uint32_t* m_pOrgBits = nullptr;
  ptrdiff_t m_iOrgStride = 0;
  int m_iOrgWidth = 0;
  int m_iOrgHeight = 0;
  TTracePath m_oWalk;
  size_t m_iPeakBytes = 0;
};

}  // namespace karto
