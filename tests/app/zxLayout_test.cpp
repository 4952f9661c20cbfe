#include "zxLayout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A client rectangle of w x h pixels, as the platform gives it.
TzxRect Client(int32_t w, int32_t h) {
  return {0, 0, w, h};
}

void ExpectBounds(const TzxBounds &b, int32_t left, int32_t top, int32_t width, int32_t height) {
  EXPECT_EQ(b.Left, left);
  EXPECT_EQ(b.Top, top);
  EXPECT_EQ(b.Width, width);
  EXPECT_EQ(b.Height, height);
}

} // namespace

TEST(PicturePlacement, AFittingPictureIsCentredAboveThePanel) {
  TzxPicturePlacement p = PlacePicture(Client(600, 400), true, 400, 300);
  EXPECT_FALSE(p.PictureScaled);
  EXPECT_EQ(p.PictureOffsetX, 100);
  EXPECT_EQ(p.PictureOffsetY, 30); // (360 - 300) / 2
  // Without the panel the band's 40 pixels belong to the picture area.
  EXPECT_EQ(PlacePicture(Client(600, 400), false, 400, 300).PictureOffsetY, 50);
  // Odd margins truncate; an exact fit has none.
  EXPECT_EQ(PlacePicture(Client(601, 441), true, 400, 300).PictureOffsetX, 100);
  EXPECT_EQ(PlacePicture(Client(601, 441), true, 400, 300).PictureOffsetY, 50);
  p = PlacePicture(Client(400, 340), true, 400, 300);
  EXPECT_FALSE(p.PictureScaled);
  EXPECT_EQ(p.PictureOffsetX, 0);
  EXPECT_EQ(p.PictureOffsetY, 0);
}

TEST(PicturePlacement, ALargerPictureShrinksWithItsAspectKept) {
  TzxPicturePlacement p = PlacePicture(Client(1024, 768), true, 1280, 1024);
  EXPECT_TRUE(p.PictureScaled);
  EXPECT_FLOAT_EQ(p.PictureScale, 728.0f / 1024.0f);
  EXPECT_EQ(p.ScaledWidth, 910);
  EXPECT_EQ(p.ScaledHeight, 728);
  EXPECT_EQ(p.PictureOffsetX, 57);
  EXPECT_EQ(p.PictureOffsetY, 0);
  // Too wide only: the width decides.
  p = PlacePicture(Client(500, 400), false, 1000, 200);
  EXPECT_FLOAT_EQ(p.PictureScale, 0.5f);
  EXPECT_EQ(p.ScaledWidth, 500);
  EXPECT_EQ(p.ScaledHeight, 100);
  EXPECT_EQ(p.PictureOffsetY, 150);
}

TEST(PicturePlacement, ScaledSizesRoundHalfToEven) {
  // Scale 0.5: 5 x 0.5 = 2.5 goes down to 2, 7 x 0.5 = 3.5 up to 4.
  TzxPicturePlacement p = PlacePicture(Client(5, 100), false, 10, 5);
  EXPECT_EQ(p.ScaledWidth, 5);
  EXPECT_EQ(p.ScaledHeight, 2);
  EXPECT_EQ(p.PictureOffsetY, 49);
  EXPECT_EQ(PlacePicture(Client(5, 100), false, 10, 7).ScaledHeight, 4);
  EXPECT_EQ(PlacePicture(Client(5, 100), false, 10, 9).ScaledHeight, 4);
  // The ratio is a single-precision float: 1/3 of 3 pixels is still 1.
  EXPECT_EQ(PlacePicture(Client(1, 100), false, 3, 3).ScaledWidth, 1);
}

TEST(PicturePlacement, DegenerateAreasAndPictures) {
  // A minimised window: the area above the panel is negative; nothing shows
  // and nothing is mirrored.
  TzxPicturePlacement p = PlacePicture({0, 0, 0, 0}, true, 800, 600);
  EXPECT_TRUE(p.PictureScaled);
  EXPECT_GE(p.PictureScale, 0.0f);
  EXPECT_EQ(p.ScaledWidth, 0);
  EXPECT_EQ(p.ScaledHeight, 0);
  EXPECT_GE(p.PictureOffsetX, 0);
  EXPECT_GE(p.PictureOffsetY, 0);
  // Before any segment the picture is 0 x 0.
  p = PlacePicture(Client(600, 400), true, 0, 0);
  EXPECT_FALSE(p.PictureScaled);
  EXPECT_EQ(p.PictureOffsetX, 300);
  EXPECT_EQ(p.PictureOffsetY, 180);
  p = PlacePicture({0, 0, 0, 0}, true, 0, 0);
  EXPECT_FALSE(p.PictureScaled);
  // A picture empty in one direction but too large in the other.
  p = PlacePicture(Client(50, 50), false, 0, 100);
  EXPECT_FALSE(std::isnan(p.PictureScale));
  EXPECT_EQ(p.ScaledWidth, 0);
  EXPECT_EQ(p.ScaledHeight, 0);
}

TEST(WindowFit, GrowsByTheMissingClientPixelsAboutItsCentre) {
  // 600 x 400 window with a 592 x 366 client area on a 1280 x 1024 screen.
  TzxWindowFit fit =
      FitWindowToPicture({340, 312, 940, 712}, Client(592, 366), true, 1024, 768, 1280, 1024);
  ASSERT_EQ(fit.Action, TzxFitAction::Move);
  ExpectBounds(fit.Bounds, 124, 91, 1032, 842);
  // Only the direction that lacks pixels grows; the other keeps its place
  // and size exactly.
  fit = FitWindowToPicture({340, 312, 940, 712}, Client(592, 366), true, 700, 100, 1280, 1024);
  ASSERT_EQ(fit.Action, TzxFitAction::Move);
  ExpectBounds(fit.Bounds, 286, 312, 708, 400);
}

TEST(WindowFit, KeptOnScreenOrMaximised) {
  TzxWindowFit fit =
      FitWindowToPicture({1000, 800, 1600, 1200}, Client(592, 366), true, 1024, 768, 1280, 1024);
  ASSERT_EQ(fit.Action, TzxFitAction::Move);
  ExpectBounds(fit.Bounds, 248, 182, 1032, 842);
  fit = FitWindowToPicture({0, 0, 600, 400}, Client(592, 366), true, 1024, 768, 1280, 1024);
  ASSERT_EQ(fit.Action, TzxFitAction::Move);
  ExpectBounds(fit.Bounds, 0, 0, 1032, 842);
  EXPECT_EQ(
      FitWindowToPicture({0, 0, 600, 400}, Client(592, 366), true, 1280, 100, 1280, 1024).Action,
      TzxFitAction::Maximise);
  EXPECT_EQ(
      FitWindowToPicture({0, 0, 600, 400}, Client(592, 366), true, 592, 326, 1280, 1024).Action,
      TzxFitAction::None);
}

TEST(WindowGeometry, StartPlacementFromTheCommandLine) {
  TzxCmdOptions o;
  o.CmdLeft = 10;
  o.CmdTop = 20;
  o.CmdWidth = 800;
  o.CmdHeight = 600;
  TzxStartPlacement s = StartPlacement(o);
  EXPECT_EQ(s.Mode, TzxStartMode::Normal);
  ExpectBounds(s.Bounds, 10, 20, 800, 600);
  o.CmdShowMode = CmdShowMaximised;
  EXPECT_EQ(StartPlacement(o).Mode, TzxStartMode::Maximised);
  o.CmdFullScreen = true;
  EXPECT_EQ(StartPlacement(o).Mode, TzxStartMode::FullScreen);
}

TEST(WindowGeometry, SaveKeepsTheRectangleAndRestoreNormalises) {
  TzxSavedGeometry g = SaveGeometry({10, 20, 610, 420}, true);
  ExpectBounds(g.Bounds, 10, 20, 600, 400);
  EXPECT_TRUE(g.PanelVisible);
  // Nothing saved yet: (0, 0) with 600 x 400 and the panel hidden.
  TzxSavedGeometry r = RestorableGeometry(TzxSavedGeometry{});
  ExpectBounds(r.Bounds, 0, 0, 600, 400);
  EXPECT_FALSE(r.PanelVisible);
  r = RestorableGeometry({{-8, -8, 1296, 1000}, true});
  ExpectBounds(r.Bounds, 0, 0, 1296, 1000);
}

TEST(WindowGeometry, MinimumSizeKeepsTheLeftAndTopEdges) {
  TzxRect r = ApplyMinimumSize({100, 50, 300, 200});
  EXPECT_EQ(r.Left, 100);
  EXPECT_EQ(r.Top, 50);
  EXPECT_EQ(r.Right, 700);
  EXPECT_EQ(r.Bottom, 450);
  r = ApplyMinimumSize({0, 0, 800, 600});
  EXPECT_EQ(r.Right, 800);
  EXPECT_EQ(r.Bottom, 600);
}

TEST(ChildWindows, PanelShowsNearTheBottomEdge) {
  TzxRect client{0, 0, 800, 500};
  EXPECT_TRUE(PanelAutoShows(client, 485));
  EXPECT_TRUE(PanelAutoShows(client, 499));
  EXPECT_FALSE(PanelAutoShows(client, 484));
  // A captured pointer above the window reads as a large unsigned row.
  EXPECT_FALSE(PanelAutoShows(client, 65535));
}
