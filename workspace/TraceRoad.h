#pragma once
// One road from a prepared picture to traced shapes, for the window and
// karto-cli alike: pick an engine, trace, say what went wrong in the words
// users see, show the trace over the picture, and put the result into a 2D
// view as path shapes.
//
// The stroke follower (TImgTrace) paints the pixels it claims into the
// picture it traces while it traces. The centre-line engine leaves the
// picture alone; PaintClaims paints its claims afterwards in the same state
// colours: stroke ink as line part, centre lines as line centre, fills as
// symbols, and a highlighted stroke or fill in the highlight colours.

#include <functional>
#include <memory>
#include <string>

#include "platform/Bitmap.h"
#include "platform/Control.h"
#include "trace/CentrelineTrace.h"
#include "trace/ImgTrace.h"

namespace karto {

enum class TTraceEngine { Follower, Centreline };

struct TTraceSettings {
  TTraceEngine Engine = TTraceEngine::Centreline;
  // Params.Threshold is the grey level below which a pixel is ink for both
  // engines (the follower's limit, the darkest grey it still walks, is one
  // below it).
  TCentrelineParams Params;
};

enum class TTraceStatus { Traced, Empty, CannotTrace, TooLarge, OutOfMemory };

class TTraceRun {
 public:
  // Traces picture (painted into by the follower), colours from origin.
  // Both must outlive the run, or be handed over with Rebind. progress, when
  // given, receives 0-100 (from the thread that traces).
  static std::unique_ptr<TTraceRun> Trace(TBitmap& picture, const TBitmap& origin, const TTraceSettings& settings,
                                          const std::function<void(int)>& progress = {});

  TTraceEngine Engine() const { return m_engine; }
  TTraceStatus Status() const { return m_status; }
  bool Traced() const { return m_status == TTraceStatus::Traced; }
  // What to tell the user when the trace did not succeed.
  std::string Message() const;
  long long DarkPixels() const;

  // The bitmaps the run works on from now on (the same pictures moved).
  void Rebind(TBitmap& picture, const TBitmap& origin);

  // Shows the trace over picture; the centre-line engine's claims are
  // painted here (the follower has painted its own).
  void PaintClaims();
  // Highlights the stroke or fill under (x, y) in picture pixels.
  void Highlight(float x, float y);

  // Puts the shapes into view; false when there were none.
  bool DrawShapes(TControl& view);
  // Paths (or strokes and fills) and their points, for summaries.
  int Paths() const { return m_paths; }
  long long Points() const { return m_points; }

  TImgTrace* Follower() const { return m_follower.get(); }
  const TCentrelineDrawing* Drawing() const { return m_drawing.get(); }
  // Milliseconds the follower took to build its map and to trace.
  double MsBuild = 0, MsTrace = 0;

 private:
  TTraceRun() = default;
  TTraceEngine m_engine = TTraceEngine::Centreline;
  TTraceStatus m_status = TTraceStatus::Empty;
  std::string m_detail;
  TBitmap* m_picture = nullptr;
  const TBitmap* m_origin = nullptr;
  std::unique_ptr<TImgTrace> m_follower;
  std::unique_ptr<TCentrelineDrawing> m_drawing;
  long long m_highlight = -1;
  int m_paths = 0;
  long long m_points = 0;
};

}  // namespace karto
