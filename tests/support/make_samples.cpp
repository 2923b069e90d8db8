// Writes the pictures shipped in samples/: generated, so anyone can make
// them again with `cmake --build build --target make-samples` and
// `build/tests/support/make-samples samples`.

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "tests/support/Synthetic.h"

using namespace karto;

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString("samples");
  QDir().mkpath(dir);

  // Clean line art: black strokes on white.
  TBitmap art(800, 600);
  art.Clear(0xFFFFFFFFu);
  synthetic::DrawHouse(art, 0xFF000000u, false);
  art.SaveToFile(dir + "/house-line-art.png");

  // The same drawing photographed: unevenly lit paper with grain, dark
  // blue ink, anti-aliased.
  TBitmap clean(800, 600);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      const float light = 245.0f - 60.0f * (float(x) / 800 + float(y) / 600) / 2.0f;
      const int v = int(light) + int((x * 7 + y * 13) % 9) - 4;
      clean.SetPixel(x, y, MakeColor(uint8_t(v), uint8_t(v), uint8_t(v - 6)));
    }
  synthetic::DrawHouse(clean, 0xFF202040u, true);
  clean.SaveToFile(dir + "/house-photo.jpg");

  // A photo-like picture with the drawing in it.
  TBitmap photo = synthetic::PhotoLike(800, 600, 8);
  synthetic::DrawHouse(photo, 0xFF101010u, true);
  photo.SaveToFile(dir + "/house-on-photo.jpg");
  std::printf("samples written to %s\n", qPrintable(dir));
  return 0;
}
