#pragma once
// Small drawn pictures for the tracing engine's tests.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "platform/Bitmap.h"
#include "trace/ImgTrace.h"

namespace karto::tracetest {

constexpr TAlphaColor kWhite = 0xFFFFFFFFu;
constexpr TAlphaColor kBlack = 0xFF000000u;
constexpr TAlphaColor kLightBlue = STATE_COLORS[size_t(PixelState::LINEPART)];
constexpr TAlphaColor kBlue = STATE_COLORS[size_t(PixelState::LINECENTER)];

inline TAlphaColor Grey(int v) { return MakeColor(uint8_t(v), uint8_t(v), uint8_t(v)); }

inline TBitmap White(int w, int h) {
  TBitmap b(w, h);
  b.Clear(kWhite);
  return b;
}

inline void Fill(TBitmap& b, int x, int y, int w, int h, TAlphaColor c = kBlack) {
  for (int yy = y; yy < y + h; ++yy)
    for (int xx = x; xx < x + w; ++xx) b.SetPixel(xx, yy, c);
}

// A picture from rows of text: '#' black, anything else white.
inline TBitmap FromArt(std::initializer_list<const char*> rows) {
  const int h = int(rows.size());
  const int w = h ? int(std::string(*rows.begin()).size()) : 0;
  TBitmap b = White(w, h);
  int y = 0;
  for (const char* row : rows) {
    for (int x = 0; row[x]; ++x)
      if (row[x] == '#') b.SetPixel(x, y, kBlack);
    ++y;
  }
  return b;
}

inline int PathCount(const TImgTrace& t) {
  const TTraceObjList* list = t.GetListOfTraceObjects();
  return list ? int(list->size()) : 0;
}

// Path i of a trace; fails the test when there is no such path.
inline const TTracePath& PathAt(const TImgTrace& t, int i) {
  static const TTracePath none;
  const TTraceObjList* list = t.GetListOfTraceObjects();
  if (!list || i < 0 || size_t(i) >= list->size()) {
    ADD_FAILURE() << "no path " << i;
    return none;
  }
  const auto* path = dynamic_cast<const TTracePath*>((*list)[size_t(i)].get());
  if (!path) {
    ADD_FAILURE() << "object " << i << " is not a path";
    return none;
  }
  return *path;
}

// The record of pixel (x, y); fails the test for a light pixel.
inline PixelInfo InfoAt(const TImgTrace& t, int x, int y) {
  const int idx = t.PixelIndexAt(x, y);
  if (idx < 0) {
    ADD_FAILURE() << "(" << x << "," << y << ") has no record";
    return PixelInfo();
  }
  return t.PixelInfos()[size_t(idx)];
}

inline PixelState StateAt(const TImgTrace& t, int x, int y) { return InfoAt(t, x, y).State; }

}  // namespace karto::tracetest
