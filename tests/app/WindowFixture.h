#pragma once
// The real main window on the offscreen platform, with scripted dialogs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "app/KartoWindow.h"
#include "platform/Bitmap.h"

namespace karto {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // What the window remembers goes to the test's own folder.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    auto d = std::make_unique<TScriptedDialogs>();
    dialogs = d.get();
    w = std::make_unique<TfrmKarto>(std::move(d));
    w->show();
    QApplication::processEvents();
  }

  template <class T = QWidget>
  T* Find(const char* name) {
    T* c = w->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
  }

  // Writes a picture file into the test's folder and returns its path.
  QString WritePicture(const TBitmap& b, const QString& name = "pic.png") {
    const QString file = dir.filePath(name);
    b.SaveToFile(file);
    return file;
  }

  // Writes a small flat picture and loads it as "load for vectorize" does.
  void LoadPicture(int width, int height, TAlphaColor color = 0xFF336699u) {
    TBitmap b(width, height);
    b.Clear(color);
    w->SetWorkingMode(WorkMode::VECTORIZE_MODE);
    w->LoadPixelImage(WritePicture(b));
  }

  QTemporaryDir dir;
  TScriptedDialogs* dialogs = nullptr;
  std::unique_ptr<TfrmKarto> w;
};


}  // namespace karto
