#include "core/World.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

TEST(World, FitsAnExtentIntoTheControlCentred) {
  TWorld w;
  w.SetView(800, 600, 0, 0, 1000, 1000);
  EXPECT_DOUBLE_EQ(w.Scale, 0.6);
  EXPECT_DOUBLE_EQ(w.OffsetX, 100);
  EXPECT_DOUBLE_EQ(w.OffsetY, 0);
  EXPECT_EQ(w.WorldToScreenX(0), 100);
  EXPECT_EQ(w.WorldToScreenY(0), 600);
  EXPECT_EQ(w.WorldToScreenY(1000), 0);
  EXPECT_NEAR(w.VisibleExtent.XMin, -166.6667, 1e-4);
  EXPECT_NEAR(w.VisibleExtent.XMax, 1166.6667, 1e-4);
  EXPECT_DOUBLE_EQ(w.VisibleExtent.YMin, 0);
  EXPECT_DOUBLE_EQ(w.VisibleExtent.YMax, 1000);
  EXPECT_DOUBLE_EQ(w.ViewExtent.XMin, w.VisibleExtent.XMin);
  EXPECT_DOUBLE_EQ(w.ScreenToWorldX(100), 0);
  EXPECT_DOUBLE_EQ(w.ScreenToWorldY(600), 0);
  EXPECT_EQ(w.LengthToScreen(10), 6);
}

TEST(World, ScaleIsClampedAtBothLimits) {
  TWorld w;
  w.SetView(800, 600, 0, 0, 0, 1000); // zero width
  EXPECT_EQ(w.Scale, TWorld::MinScale);
  w.SetView(800, 600, 5, 5, 5, 5);
  EXPECT_EQ(w.Scale, TWorld::MinScale);
  w.SetView(800, 600, 0, 0, 1, 1); // would need 600 pixels per unit
  EXPECT_EQ(w.Scale, TWorld::MaxScale);
  EXPECT_DOUBLE_EQ(w.OffsetX, (800 - TWorld::MaxScale) * 0.5);
  EXPECT_EQ(w.WorldToScreenX(0.5), 400); // centred
  w.SetView(800, 600, 0, 0, 1e9, 1e9);   // would need fewer than the minimum
  EXPECT_EQ(w.Scale, TWorld::MinScale);
}

TEST(World, HalfPixelsRoundToEven) {
  TWorld w;
  w.SetView(100, 100, 0, 0, 100, 100); // scale 1, no offsets
  EXPECT_EQ(w.WorldToScreenX(0.5), 0);
  EXPECT_EQ(w.WorldToScreenX(1.5), 2);
  EXPECT_EQ(w.WorldToScreenX(2.5), 2);
  EXPECT_EQ(w.WorldToScreenX(-0.5), 0);
  EXPECT_EQ(w.WorldToScreenY(99.5), 0);
  EXPECT_EQ(w.WorldToScreenY(98.5), 2);
  EXPECT_EQ(w.LengthToScreen(3.5), 4);
}

TEST(World, ConversionsThatCannotBeMadeGiveTheFallbacks) {
  TWorld w; // no view yet: scale 0
  EXPECT_EQ(w.ScreenToWorldX(10), 0.0);
  EXPECT_EQ(w.ScreenToWorldY(10), 0.0);
  w.SetView(100, 100, 0, 0, 100, 100);
  EXPECT_EQ(w.WorldToScreenX(1e300), 0);
  EXPECT_EQ(w.LengthToScreen(1e300), 1);
  EXPECT_EQ(w.ComputeScale(0), w.Scale); // a device reporting 0 mm
  EXPECT_DOUBLE_EQ(w.ComputeScale(200), 100 / 0.2);
}

TEST(World, PointInPolygonCountsVerticesAndEdgesAsInside) {
  const std::vector<TWorldPoint> square = {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}};
  const int n = int(square.size());
  EXPECT_TRUE(TWorld::PointInPolygon(square, n, 5, 5));
  EXPECT_FALSE(TWorld::PointInPolygon(square, n, 15, 5));
  EXPECT_FALSE(TWorld::PointInPolygon(square, n, -1, 5));
  EXPECT_TRUE(TWorld::PointInPolygon(square, n, 10, 10)); // vertex
  EXPECT_TRUE(TWorld::PointInPolygon(square, n, 0, 0));
  EXPECT_TRUE(TWorld::PointInPolygon(square, n, 5, 10)); // horizontal edge
  EXPECT_TRUE(TWorld::PointInPolygon(square, n, 10, 5)); // vertical edge on the ray's side
  EXPECT_TRUE(TWorld::PointInPolygon(square, n, 0, 5));
  const std::vector<TWorldPoint> triangle = {{0, 0}, {10, 10}, {20, 0}, {0, 0}};
  EXPECT_TRUE(TWorld::PointInPolygon(triangle, 4, 5, 5)); // on a sloping edge
  EXPECT_FALSE(TWorld::PointInPolygon(triangle, 4, 5, 6));
  // A ray through a vertex counts that vertex once or not at all, as the edges require.
  EXPECT_FALSE(TWorld::PointInPolygon(triangle, 4, 5, 10));
  const std::vector<TWorldPoint> diamond = {{0, 5}, {5, 10}, {10, 5}, {5, 0}, {0, 5}};
  EXPECT_TRUE(TWorld::PointInPolygon(diamond, 5, 2, 5));
  EXPECT_FALSE(TWorld::PointInPolygon(diamond, 5, -2, 5));
}

TEST(World, PolygonAreaFollowsOrientationWithOrWithoutTheClosingPoint) {
  const std::vector<TWorldPoint> ccw = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}};
  const std::vector<TWorldPoint> cw = {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}};
  EXPECT_DOUBLE_EQ(TWorld::PolygonArea(ccw), 100);
  EXPECT_DOUBLE_EQ(TWorld::PolygonArea(cw), -100);
  EXPECT_DOUBLE_EQ(TWorld::PolygonArea(std::span(ccw).first(4)), 100);
  EXPECT_DOUBLE_EQ(TWorld::PolygonArea(std::span(cw).first(4)), -100);
  EXPECT_DOUBLE_EQ(TWorld::PolygonArea(std::span(cw).first(1)), 0);
}

TEST(World, SegmentIntersectionResultCodes) {
  TWorldPoint r1, r2;
  EXPECT_EQ(TWorld::SegmentIntersection({0, 0}, {10, 10}, {0, 10}, {10, 0}, r1, r2), 1);
  EXPECT_DOUBLE_EQ(r1.X, 5);
  EXPECT_DOUBLE_EQ(r1.Y, 5);
  EXPECT_EQ(TWorld::SegmentIntersection({0, 0}, {10, 0}, {0, 1}, {10, 1}, r1, r2), 2);
  EXPECT_EQ(TWorld::SegmentIntersection({0, 0}, {10, 0}, {0, 0}, {10, 0}, r1, r2), 3);
  EXPECT_EQ(TWorld::SegmentIntersection({0, 0}, {10, 0}, {5, 0}, {15, 0}, r1, r2), 4);
  EXPECT_DOUBLE_EQ(r1.X, 10); // A2 and B1 bound the overlap
  EXPECT_DOUBLE_EQ(r2.X, 5);
  EXPECT_EQ(TWorld::SegmentIntersection({0, 0}, {10, 10}, {10, 10}, {20, 0}, r1, r2), 5);
  EXPECT_DOUBLE_EQ(r1.X, 10);
  EXPECT_EQ(TWorld::SegmentIntersection({0, 0}, {10, 0}, {10, 0}, {20, 0}, r1, r2), 6);
  EXPECT_DOUBLE_EQ(r1.X, 10);
  EXPECT_EQ(TWorld::SegmentIntersection({0, 0}, {1, 1}, {5, 0}, {6, -1}, r1, r2), 0);
  EXPECT_EQ(TWorld::SegmentIntersection({0, 0}, {10, 0}, {20, 0}, {30, 0}, r1, r2),
            0); // collinear, apart
}

TEST(World, RectangleAndSegmentTests) {
  EXPECT_TRUE(TWorld::RectsIntersect(0, 0, 10, 10, 10, 10, 20, 20)); // touching corners
  EXPECT_TRUE(TWorld::RectsIntersect(0, 0, 10, 10, 20, 20, 5, 5));   // second rectangle reversed
  EXPECT_FALSE(TWorld::RectsIntersect(0, 0, 10, 10, 11, 0, 20, 10));
  EXPECT_TRUE(TWorld::PointInRect(0, 0, 10, 10, 10, 0));
  EXPECT_FALSE(TWorld::PointInRect(0, 0, 10, 10, 10.0001, 0));
  EXPECT_TRUE(TWorld::SegmentCrossesRect(-5, 5, 5, 5, 0, 0, 10, 10));
  EXPECT_FALSE(
      TWorld::SegmentCrossesRect(2, 2, 8, 8, 0, 0, 10, 10)); // wholly inside: no side crossed
  EXPECT_FALSE(TWorld::SegmentCrossesRect(-5, 20, 5, 30, 0, 0, 10, 10));
  EXPECT_TRUE(TWorld::SegmentCrossesRect(0, -5, 0, 5, 0, 0, 10, 10)); // along the side line
  double x0, y0, x1, y1;
  const std::vector<TWorldPoint> pts = {{3, 4}, {-1, 7}, {5, -2}, {100, 100}};
  TWorld::GetBounds(pts, 3, x0, y0, x1, y1);
  EXPECT_EQ(x0, -1);
  EXPECT_EQ(y0, -2);
  EXPECT_EQ(x1, 5);
  EXPECT_EQ(y1, 7);
  EXPECT_DOUBLE_EQ(TWorld::Distance(0, 0, 3, 4), 5);
}

// The inline rounding agrees with the library's nearest-even rounding everywhere a pixel can be,
// and refuses what does not fit.
TEST(World, PixelRoundingAgreesWithTheLibraryAndRefusesWhatDoesNotFit) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> small(-5000, 5000), large(-2.2e9, 2.2e9);
  for (int i = 0; i < 200000; ++i) {
    const double v = i % 3 == 0   ? large(random)
                     : i % 3 == 1 ? small(random)
                                  : std::round(small(random)) + 0.5; // a half
    bool ok = false;
    const int r = TWorld::RoundToPixel(v, ok);
    const double expected = std::nearbyint(v);
    if (expected >= -2147483648.0 && expected <= 2147483647.0) {
      ASSERT_TRUE(ok) << v;
      ASSERT_EQ(r, int(expected)) << v;
    } else {
      ASSERT_FALSE(ok) << v;
      ASSERT_EQ(r, 0) << v;
    }
  }
  bool ok = true;
  EXPECT_EQ(TWorld::RoundToPixel(2147483647.5, ok), 0); // rounds to 2^31: does not fit
  EXPECT_FALSE(ok);
  EXPECT_EQ(TWorld::RoundToPixel(-2147483648.5, ok), -2147483648); // ties to the even -2^31
  EXPECT_TRUE(ok);
  for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -1e300}) {
    EXPECT_EQ(TWorld::RoundToPixel(bad, ok), 0);
    EXPECT_FALSE(ok);
  }
}
