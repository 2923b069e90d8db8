// The Trace and Vectorize commands and the traced picture's pointer input.

#include <QCheckBox>
#include <QComboBox>
#include <QMenuBar>
#include <atomic>
#include <future>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

#include "app/DisplayHost.h"
#include "app/FloatTrackBar.h"
#include "app/KartoWindow.h"
#include "workspace/ShapeWorkspace.h"
#include "app/Utils.h"
#include "trace/ImgTrace.h"
#include "workspace/TraceRoad.h"
#include "workspace/TraceShapes.h"

namespace karto {

void TfrmKarto::ReleaseTrace() { m_trace.reset(); }

TImgTrace* TfrmKarto::ImgTrace() const { return m_trace ? m_trace->Follower() : nullptr; }

// Traces the destination with the chosen engine. A large picture is traced
// on a worker thread, on its own copy of the pixels, while the window shows
// how far it has come; the window's controls wait meanwhile.
std::unique_ptr<TTraceRun> TfrmKarto::RunTrace() {
  TTraceSettings settings;
  settings.Engine = cobxTraceEngine->currentIndex() == 1 ? TTraceEngine::Centreline : TTraceEngine::Follower;
  // The follower counts a pixel dark up to the limit; the threshold is the
  // first grey that is paper.
  settings.Params.Threshold = int(std::nearbyint(TrackBarGreyscale->Value())) + 1;
  TBitmap& dest = m_oImageDest->Bitmap;
  const TBitmap& origin = m_oImages[0]->Bitmap;
  if ((long long)dest.Width() * dest.Height() < m_traceInBackgroundFrom)
    return TTraceRun::Trace(dest, origin, settings);

  // Copies share the pixels until the follower paints into its own.
  auto work = std::make_shared<TBitmap>(dest);
  auto colours = std::make_shared<TBitmap>(origin);
  auto percent = std::make_shared<std::atomic<int>>(0);
  std::future<std::unique_ptr<TTraceRun>> pending = std::async(std::launch::async, [work, colours, percent, settings] {
    return TTraceRun::Trace(*work, *colours, settings, [percent](int p) { percent->store(p); });
  });
  m_tracing = true;
  centralWidget()->setEnabled(false);
  menuBar()->setEnabled(false);
  WaitShowingProgress(
      [&] { return pending.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
      [percent] { return percent->load(); }, [](int p) { return QString("Tracing ... %1 %").arg(p); }, 0);
  std::unique_ptr<TTraceRun> run = pending.get();
  centralWidget()->setEnabled(true);
  menuBar()->setEnabled(true);
  m_tracing = false;
  // The traced copy becomes the destination (it holds the follower's
  // state colours); the run paints and highlights there from now on.
  dest = *work;
  work.reset();
  run->Rebind(dest, origin);
  return run;
}

void TfrmKarto::btnTraceClick() {
  if (m_oImageDest->Bitmap.IsEmpty() || m_tracing) return;
  if (m_trace &&
      m_dialogs->MessageDlg("Override the existing Trace?", TMsgDlgType::mtConfirmation, mbYesNoCancel) !=
          TModalResult::mrYes)
    return;
  // The stroke follower walks the paper sketch's pencil lines; centre lines
  // read the ink as drawn and trace with or without the sketch.
  if (cobxTraceEngine->currentIndex() == 0 && !chbxPageSketchActive->isChecked()) {
    m_dialogs->MessageDlg("Please activate \"Paper Sketch\" before trace the bitmap!", TMsgDlgType::mtError,
                          mbOKCancel);
    return;
  }
  if (m_trace) {
    // The chain rebuilds the destination, which wipes the old state colours.
    ReleaseTrace();
    ApplyAdjustments();
  }
  std::unique_ptr<TTraceRun> run = RunTrace();
  const TTraceStatus status = run->Status();
  if (status == TTraceStatus::TooLarge || status == TTraceStatus::OutOfMemory) {
    EnableControl(false, btnVectorize);
    m_dialogs->MessageDlg(QString::fromStdString(run->Message()), TMsgDlgType::mtError, mbOKCancel);
    return;
  }
  // An empty or untraceable picture keeps its engine (Trace asks before
  // replacing it), as a successful trace does.
  m_trace = std::move(run);
  if (status == TTraceStatus::Empty) {
    EnableControl(false, btnVectorize);
    m_dialogs->MessageDlg(QString::fromStdString(m_trace->Message()), TMsgDlgType::mtError, mbOKCancel);
    return;
  }
  if (status == TTraceStatus::Traced) {
    m_trace->PaintClaims();
    EnableControl(true, btnVectorize);
    m_oImageDest->Repaint();
  } else {
    m_dialogs->MessageDlg(QString::fromStdString(m_trace->Message()), TMsgDlgType::mtError, mbOKCancel);
  }
}

void TfrmKarto::btnVectorizeClick() {
  if (m_oImageDest->Bitmap.IsEmpty() || m_tracing) return;
  if (ImageViewVisible()) {
    if (!m_trace || m_trace->DarkPixels() < MIN_TRACE_PIXELS) return;
    if (!m_trace->Traced()) {
      m_dialogs->MessageDlg("Can't compute vector objects!", TMsgDlgType::mtError, mbOKCancel);
      return;
    }
  }
  ToggleView();
  if (View2DVisible() && m_trace) {
    // New shapes arrive outside the commands: undo starts afresh.
    m_workspace->ClearAllShapeSelection();
    m_workspace->History().Clear();
    ClearPanel(*m_oPaintBox2D);
    m_trace->DrawShapes(*m_oPaintBox2D);
  }
}

void TfrmKarto::ImageDestMouseDown(TMouseButton, TShiftState, float x, float y) {
  if (m_oImageDest->Bitmap.IsEmpty() || !ImageViewVisible()) return;
  txfXCoord->setText(QString::number(double(x), 'f', 0));
  txfYCoord->setText(QString::number(double(y), 'f', 0));
  m_xLastImg = x;
  m_yLastImg = y;
}

void TfrmKarto::ImageDestDblClick() {
  if (m_oImageDest->Bitmap.IsEmpty() || !ImageViewVisible() || !m_trace || !m_trace->Traced()) return;
  m_trace->Highlight(float(m_xLastImg), float(m_yLastImg));
  m_oImageDest->Repaint();
}

}  // namespace karto
