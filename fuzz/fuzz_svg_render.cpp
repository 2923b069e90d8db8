// An SVG drawing on arbitrary bytes, all the way to pixels: loading, the
// display shapes and the renderer never crash, hang or throw, whatever the
// numbers (huge, tiny, degenerate transforms, dashes, gradients, clips).

#include <QGuiApplication>

#include "fuzz/FuzzCheck.h"
#include "platform/Control.h"
#include "platform/Renderer.h"
#include "svg/SVG.h"

using namespace karto;
using namespace karto::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char name[] = "fuzz_svg_render";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
  }();
  (void)app;
  TSVG doc;
  doc.Limits.MaxElements = 2000;
  if (!doc.LoadFromBytes(AsText(data, size)).Ok) return 0;
  TControl view;
  view.SetSize(48, 48);
  doc.SetTarget(TRectF(0, 0, 48, 48));
  const int made = doc.CreateFMShapes(&view);
  Check(made == view.ChildrenCount(), "one child per shape made");
  const QImage picture = RenderToImage(view, 48, 48, 0xFFFFFFFFu);
  Check(picture.width() == 48 && picture.height() == 48, "the picture has the size asked for");
  return 0;
}
