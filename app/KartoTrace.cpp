// The Trace and Vectorize commands and the traced picture's pointer input.

#include <QCheckBox>
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
#include "workspace/TraceShapes.h"

namespace karto {

void TfrmKarto::ReleaseTrace() { m_oImgTrace.reset(); }

void TfrmKarto::btnTraceClick() {
  if (m_oImageDest->Bitmap.IsEmpty()) return;
  if (m_oImgTrace &&
      m_dialogs->MessageDlg("Override the existing Trace?", TMsgDlgType::mtConfirmation, mbYesNoCancel) !=
          TModalResult::mrYes)
    return;
  if (!chbxPageSketchActive->isChecked()) {
    m_dialogs->MessageDlg("Please activate \"Paper Sketch\" before trace the bitmap!", TMsgDlgType::mtError,
                          mbOKCancel);
    return;
  }
  if (m_oImgTrace) {
    // The chain rebuilds the destination, which wipes the old state colours.
    ReleaseTrace();
    ApplyAdjustments();
  }
  const int limit = int(std::nearbyint(TrackBarGreyscale->Value()));
  try {
    m_oImgTrace = std::make_unique<TImgTrace>(&m_oImageDest->Bitmap, &m_oImages[0]->Bitmap, limit);
  } catch (const ETraceError& e) {
    EnableControl(false, btnVectorize);
    m_dialogs->MessageDlg(QString("The picture is too large to trace.\n%1").arg(e.what()), TMsgDlgType::mtError,
                          mbOKCancel);
    return;
  } catch (const std::bad_alloc&) {
    EnableControl(false, btnVectorize);
    m_dialogs->MessageDlg("There is not enough memory to trace this picture.", TMsgDlgType::mtError, mbOKCancel);
    return;
  }
  if (m_oImgTrace->GetPixelCount() <= 10) {
    EnableControl(false, btnVectorize);
    m_dialogs->MessageDlg("The bitmap is empty or too small!", TMsgDlgType::mtError, mbOKCancel);
    return;
  }
  bool traced = false;
  try {
    traced = m_oImgTrace->DoTrace();
  } catch (const ETraceError& e) {
    ReleaseTrace();
    EnableControl(false, btnVectorize);
    m_dialogs->MessageDlg(QString("The picture is too large to trace.\n%1").arg(e.what()), TMsgDlgType::mtError,
                          mbOKCancel);
    return;
  } catch (const std::bad_alloc&) {
    ReleaseTrace();
    EnableControl(false, btnVectorize);
    m_dialogs->MessageDlg("There is not enough memory to trace this picture.", TMsgDlgType::mtError, mbOKCancel);
    return;
  }
  if (traced) {
    EnableControl(true, btnVectorize);
    m_oImageDest->Repaint();
  } else {
    m_dialogs->MessageDlg("Can't trace this bitmap!", TMsgDlgType::mtError, mbOKCancel);
  }
}

void TfrmKarto::btnVectorizeClick() {
  if (m_oImageDest->Bitmap.IsEmpty()) return;
  if (ImageViewVisible()) {
    if (!m_oImgTrace || m_oImgTrace->GetPixelCount() <= 10) return;
    const TTraceObjList* list = m_oImgTrace->GetListOfTraceObjects();
    if (!list || list->empty()) {
      m_dialogs->MessageDlg("Can't compute vector objects!", TMsgDlgType::mtError, mbOKCancel);
      return;
    }
  }
  ToggleView();
  if (View2DVisible() && m_oImgTrace) {
    // New shapes arrive outside the commands: undo starts afresh.
    m_workspace->ClearAllShapeSelection();
    m_workspace->History().Clear();
    ClearPanel(*m_oPaintBox2D);
    if (m_oImgTrace->ComputeVectorize()) Draw2DObjects(*m_oImgTrace, *m_oPaintBox2D);
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
  if (m_oImageDest->Bitmap.IsEmpty() || !ImageViewVisible() || !m_oImgTrace) return;
  if (m_oImgTrace->GetPixelCount() <= 10) return;
  const TTraceObjList* list = m_oImgTrace->GetListOfTraceObjects();
  if (!list || list->empty()) return;
  m_oImgTrace->SelectTracePath(float(m_xLastImg), float(m_yLastImg));
  m_oImageDest->Repaint();
}

}  // namespace karto
