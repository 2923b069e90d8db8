// The effect catalogue in the imaging mode: categories, filters, editors per
// parameter with their fade-in, point grips, the filtered destination, and
// the transition image in slot 3.

#include <QAbstractAnimation>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>

#include "app/FloatTrackBar.h"
#include "app/Utils.h"
#include "platform/Selection.h"
#include "tests/app/WindowFixture.h"

using namespace karto;

namespace {

class CatalogueBrowserTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    w->SetWorkingMode(WorkMode::IMAGING_MODE);
    TBitmap b(60, 40);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 60; ++x) b.SetPixel(x, y, 0xFF000000u | uint32_t(x * 4) << 16 | uint32_t(y * 6) << 8 | 90);
    picture = b;
    w->LoadPixelImage(WritePicture(b));
  }
  void Choose(const char* category, const char* filter) {
    auto* cats = Find<QListWidget>("listCat");
    cats->setCurrentItem(cats->findItems(category, Qt::MatchExactly).value(0));
    auto* fx = Find<QListWidget>("listFX");
    ASSERT_FALSE(fx->findItems(filter, Qt::MatchExactly).isEmpty()) << filter;
    fx->setCurrentItem(fx->findItems(filter, Qt::MatchExactly).value(0));
    w->WaitForCatalogFilter();
  }
  QWidget* Editor(int row) {
    auto* list = Find<QListWidget>("lbxFilterSettings");
    return list->itemWidget(list->item(row));
  }
  TBitmap picture;
};

TEST_F(CatalogueBrowserTest, CategoriesListTheirFiltersInOrder) {
  auto* cats = Find<QListWidget>("listCat");
  ASSERT_EQ(cats->count(), 10);
  EXPECT_EQ(cats->item(0)->text(), "Blur");
  EXPECT_EQ(cats->item(9)->text(), "Transition");
  cats->setCurrentRow(0);
  auto* fx = Find<QListWidget>("listFX");
  ASSERT_GE(fx->count(), 3);
  EXPECT_EQ(fx->item(0)->text(), "GaussianBlur");
  EXPECT_EQ(fx->currentRow(), -1);
}

TEST_F(CatalogueBrowserTest, ATrackBarFiltersTheActiveSlotIntoTheDestination) {
  Choose("Color Adjust", "Levels");
  auto* list = Find<QListWidget>("lbxFilterSettings");
  ASSERT_EQ(list->count(), 5);
  EXPECT_EQ(Editor(0)->findChild<QLabel*>("text")->text(), "InputBlack (0.00-1.00)");
  EXPECT_FALSE(Editor(0)->findChild<QLabel*>("desc")->text().isEmpty());
  // Each editor fades in over half a second, a tenth of a second after the
  // one above it.
  for (int row = 0; row < 5; ++row) {
    auto anims = Editor(row)->findChildren<QAbstractAnimation*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(anims.size(), 1) << row;
    EXPECT_EQ(anims[0]->totalDuration(), 500 + 100 * row) << row;
    anims[0]->setCurrentTime(anims[0]->totalDuration());
    EXPECT_DOUBLE_EQ(WidgetOpacity(Editor(row)), 1.0) << row;
  }
  const uint32_t before = w->ImageDest()->Bitmap.Pixel(30, 20);
  EXPECT_NE(before, picture.Pixel(30, 20)) << "filtered at once with the defaults";
  // Moving "InputWhite" down lightens the picture.
  auto* track = Editor(1)->findChild<TFloatTrackBar*>("track");
  track->SetValue(0.5);
  w->WaitForCatalogFilter();
  EXPECT_GT(w->ImageDest()->Bitmap.Pixel(30, 20) & 0xFF, before & 0xFF);
  EXPECT_EQ(w->SlotImage(0)->Bitmap.Pixel(30, 20), picture.Pixel(30, 20)) << "the slot itself is untouched";
}

TEST_F(CatalogueBrowserTest, ColourBoxesAndPointGrips) {
  Choose("Generator", "SolidColor");
  auto* box = Editor(0)->findChild<QComboBox*>("color");
  ASSERT_NE(box, nullptr);
  box->setCurrentIndex(box->findText("red"));
  w->WaitForCatalogFilter();
  EXPECT_EQ(w->ImageDest()->Bitmap.Pixel(5, 5), 0xFFFF0000u);

  // A point parameter is a grip on the destination, not a list item.
  Choose("Distortion", "Swirl");
  ASSERT_EQ(w->CatalogGrips().size(), 1u);
  TSelectionPoint* grip = w->CatalogGrips()[0];
  EXPECT_EQ(grip->Parent(), w->ImageDest());
  EXPECT_EQ(Find<QListWidget>("lbxFilterSettings")->count(), 2);
  const TBitmap centred = w->ImageDest()->Bitmap;
  const TRectF r = w->ImageDest()->BitmapRect();
  grip->SetPosition({r.Left + r.Width() * 0.1f, r.Top + r.Height() * 0.1f});
  grip->OnTrack(grip);
  w->WaitForCatalogFilter();
  EXPECT_NE(w->ImageDest()->Bitmap.Pixel(30, 20), centred.Pixel(30, 20)) << "the swirl moved away";
  // Another filter takes its grips with it.
  Choose("Blur", "BoxBlur");
  EXPECT_TRUE(w->CatalogGrips().empty());
  EXPECT_EQ(w->ImageDest()->ChildrenCount(), 0);
}

TEST_F(CatalogueBrowserTest, TransitionsBlendIntoSlotThreeAndOnlyInTheImagingMode) {
  TBitmap second(60, 40);
  second.Clear(0xFF0000FFu);
  dialogs->PushFile(WritePicture(second, "second.png"));
  w->MenuItemLoadTransitionImageClick();
  Choose("Transition", "Fade");
  const uint32_t half = w->ImageDest()->Bitmap.Pixel(10, 10);
  EXPECT_NEAR(int(half & 0xFF), (int(picture.Pixel(10, 10) & 0xFF) + 255) / 2, 2);
  // Slot 3 made active: changes do nothing until another slot is.
  w->btnCopyDestToSavedImageClick(3);
  auto* track = Editor(0)->findChild<TFloatTrackBar*>("track");
  track->SetValue(100);
  w->WaitForCatalogFilter();
  EXPECT_EQ(w->ImageDest()->Bitmap.Pixel(10, 10), half);
  // In the vectorize mode nothing is applied.
  w->btnCopySavedImageToDestClick(1);
  w->SetWorkingMode(WorkMode::VECTORIZE_MODE);
  const uint32_t shown = w->ImageDest()->Bitmap.Pixel(10, 10);
  track->SetValue(0);
  w->WaitForCatalogFilter();
  EXPECT_EQ(w->ImageDest()->Bitmap.Pixel(10, 10), shown);
}

TEST_F(CatalogueBrowserTest, TheNewestRequestWins) {
  // Many changes in a row while the filter runs: the destination ends with
  // the last value's result.
  Choose("Color Adjust", "Brightness");
  auto* track = Editor(0)->findChild<TFloatTrackBar*>("track");
  for (int i = 0; i <= 20; ++i) track->SetValue(-i * 0.05);
  w->WaitForCatalogFilter();
  EXPECT_EQ(w->ImageDest()->Bitmap.Pixel(30, 20) & 0x00FFFFFFu, 0u) << "the last value, -1, turns it black";
}

}  // namespace
