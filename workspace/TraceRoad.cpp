#include "workspace/TraceRoad.h"

#include <QElapsedTimer>
#include <cmath>
#include <new>

#include "platform/Shapes.h"
#include "workspace/CentrelineShapes.h"
#include "workspace/TraceShapes.h"

namespace karto {

std::unique_ptr<TTraceRun> TTraceRun::Trace(TBitmap& picture, const TBitmap& origin, const TTraceSettings& settings,
                                            const std::function<void(int)>& progress) {
  std::unique_ptr<TTraceRun> run(new TTraceRun);
  run->m_engine = settings.Engine;
  run->m_picture = &picture;
  run->m_origin = &origin;
  QElapsedTimer clock;
  clock.start();
  try {
    if (settings.Engine == TTraceEngine::Centreline) {
      run->m_drawing = std::make_unique<TCentrelineDrawing>(TraceCentrelines(picture, origin, settings.Params, progress));
      run->MsTrace = double(clock.nsecsElapsed()) / 1e6;
      if (run->m_drawing->InkPixels < MIN_TRACE_PIXELS) run->m_status = TTraceStatus::Empty;
      else if (run->m_drawing->Strokes.empty() && run->m_drawing->Fills.empty()) run->m_status = TTraceStatus::CannotTrace;
      else run->m_status = TTraceStatus::Traced;
      return run;
    }
    const int limit = std::clamp(settings.Params.Threshold - 1, 0, 255);
    run->m_follower = std::make_unique<TImgTrace>(&picture, &origin, limit);
    run->MsBuild = double(clock.restart());
    if (progress) progress(30);
    if (run->m_follower->GetPixelCount() < MIN_TRACE_PIXELS) {
      run->m_status = TTraceStatus::Empty;
      return run;
    }
    if (progress) run->m_follower->SetProgress([&progress](int p) { progress(30 + p * 7 / 10); });
    const bool kept = run->m_follower->DoTrace();
    run->m_follower->SetProgress({});
    run->MsTrace = double(clock.elapsed());
    if (progress) progress(100);
    run->m_status = kept ? TTraceStatus::Traced : TTraceStatus::CannotTrace;
  } catch (const ETraceError& e) {
    run->m_follower.reset();
    run->m_drawing.reset();
    run->m_status = TTraceStatus::TooLarge;
    run->m_detail = e.what();
  } catch (const std::bad_alloc&) {
    run->m_follower.reset();
    run->m_drawing.reset();
    run->m_status = TTraceStatus::OutOfMemory;
  }
  return run;
}

std::string TTraceRun::Message() const {
  switch (m_status) {
    case TTraceStatus::Traced: return "";
    case TTraceStatus::Empty: return "The bitmap is empty or too small!";
    case TTraceStatus::CannotTrace: return "Can't trace this bitmap!";
    case TTraceStatus::TooLarge: return "The picture is too large to trace.\n" + m_detail;
    case TTraceStatus::OutOfMemory: return "There is not enough memory to trace this picture.";
  }
  return "";
}

long long TTraceRun::DarkPixels() const {
  if (m_follower) return m_follower->GetPixelCount();
  if (m_drawing) return m_drawing->InkPixels;
  return 0;
}

void TTraceRun::Rebind(TBitmap& picture, const TBitmap& origin) {
  m_picture = &picture;
  m_origin = &origin;
  if (m_follower) m_follower->Rebind(&picture, &origin);
}

void TTraceRun::PaintClaims() {
  if (!m_drawing || !m_picture || m_picture->Width() != m_drawing->Width || m_picture->Height() != m_drawing->Height)
    return;
  const TCentrelineDrawing& d = *m_drawing;
  const uint32_t strokes = uint32_t(d.Strokes.size());
  const uint32_t highlight = m_highlight < 0 ? 0xFFFFFFFFu : uint32_t(m_highlight);
  uint32_t* bits = m_picture->Bits();
  const size_t stride = size_t(m_picture->Stride()), w = size_t(d.Width);
  for (size_t i = 0; i < d.ClaimPixels.size(); ++i) {
    const uint32_t code = d.ClaimOwners[i];
    const uint32_t owner = code & ~TCentrelineDrawing::kCentreClaim;
    const PixelState state = owner >= strokes ? PixelState::SYMBOL
                             : (code & TCentrelineDrawing::kCentreClaim) ? PixelState::LINECENTER
                                                                          : PixelState::LINEPART;
    const size_t p = size_t(d.ClaimPixels[i]);
    bits[(p / w) * stride + p % w] = (owner == highlight ? HIGHLIGHT_COLORS : STATE_COLORS)[int(state)];
  }
}

void TTraceRun::Highlight(float x, float y) {
  if (m_follower) {
    m_follower->SelectTracePath(x, y);
    return;
  }
  if (!m_drawing) return;
  const float rx = std::nearbyint(x), ry = std::nearbyint(y);
  if (!(rx >= 0 && ry >= 0 && rx < float(m_drawing->Width) && ry < float(m_drawing->Height))) return;
  m_highlight = ClaimOwnerAt(*m_drawing, int(rx), int(ry));
  PaintClaims();
}

bool TTraceRun::DrawShapes(TControl& view) {
  const size_t before = view.ChildList().size();
  if (m_follower) {
    if (!m_follower->ComputeVectorize()) return false;
    Draw2DObjects(*m_follower, view);
  } else if (m_drawing) {
    DrawCentrelineShapes(*m_drawing, view);
  }
  m_paths = 0;
  m_points = 0;
  const auto& children = view.ChildList();
  for (size_t i = before; i < children.size(); ++i)
    if (auto* p = dynamic_cast<const TPath*>(children[i])) {
      ++m_paths;
      m_points += p->Data.Count();
    }
  return m_paths > 0;
}

}  // namespace karto
