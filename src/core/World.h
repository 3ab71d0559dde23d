#pragma once
// The world-to-screen transform of the map control and the plain geometric helpers the layers,
// measurements and labels share. World coordinates are map units (metres), X east and Y north;
// screen coordinates are pixels of the map control from its top-left corner, y downwards.

#include <cstdint>
#include <span>
#include <utility>

struct TWorldPoint {
  double X = 0, Y = 0;
};

struct TExtent {
  double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
};

class TWorld {
public:
  // Fits the world rectangle (X0, Y0)–(X1, Y1) into a control of Width × Height pixels, keeping
  // the aspect ratio, centred; the scale is held between MinScale and MaxScale.
  void SetView(int Width, int Height, double X0, double Y0, double X1, double Y1);
  // Recomputes the scale denominator N of "1 : N" from the display's physical width.
  double ComputeScale(double DeviceWidthMM);

  // Conversions round to the nearest pixel, halves to even; they never raise: a conversion that
  // cannot be made gives 0 (1 for a length).
  int WorldToScreenX(double X) const {
    bool ok;
    return RoundToPixel((X - OriginX) * Scale + OffsetX, ok);
  }
  int WorldToScreenY(double Y) const {
    bool ok;
    return RoundToPixel(ScreenHeight - ((Y - OriginY) * Scale + OffsetY), ok);
  }
  double ScreenToWorldX(int SX) const;
  // The box of `Pixels` screen pixels every way about the map point X, Y (where a pick looks).
  TExtent PickBox(double X, double Y, int Pixels) const;
  double ScreenToWorldY(int SY) const;
  // A box without width or height (a straight drag, a straight pipe's box) gets the missing
  // side from the other in the proportions of a view of Width × Height pixels, about its centre.
  static void GiveBoxBothDimensions(TExtent& Box, int Width, int Height);
  int LengthToScreen(double L) const;

  // Ray casting; a point on a vertex or an edge is inside. The ring repeats its first point last.
  static bool PointInPolygon(std::span<const TWorldPoint> Points, int Count, double X, double Y);
  // Touching edges intersect; the second rectangle is normalised first.
  static bool RectsIntersect(double AX1, double AY1, double AX2, double AY2, double BX1, double BY1,
                             double BX2, double BY2);
  static bool PointInRect(double X1, double Y1, double X2, double Y2, double X, double Y);
  static void GetBounds(std::span<const TWorldPoint> Points, int Count, double& XMin, double& YMin,
                        double& XMax, double& YMax);
  static double Distance(double X1, double Y1, double X2, double Y2);
  // From the point X, Y to the nearest point of the segment A–B.
  static double DistanceToSegment(double X, double Y, TWorldPoint A, TWorldPoint B);
  static double MaxOf(double A, double B);
  static double MinOf(double A, double B);
  static bool SegmentCrossesRect(double X1, double Y1, double X2, double Y2, double RX1, double RY1,
                                 double RX2, double RY2);
  // Signed shoelace area, positive for counter-clockwise rings; an explicit closing point (within
  // 0.001) is not counted twice.
  static double PolygonArea(std::span<const TWorldPoint> Points);
  static bool PointOnSegment(TWorldPoint P, TWorldPoint A, TWorldPoint B);
  // Result codes: 0 none, 1 crossing at R1, 2 parallel, 3 identical, 4 collinear overlap R1–R2,
  // 5 shared endpoint R1, 6 collinear touch at R1.
  static int SegmentIntersection(TWorldPoint A1, TWorldPoint A2, TWorldPoint B1, TWorldPoint B2,
                                 TWorldPoint& R1, TWorldPoint& R2);

  // A layer drawn by several threads gives each a copy of the transform naming its part: the
  // objects the layer would draw, in file order, cut into Parts runs of about equal length. The
  // drawing notes the file-order number of the last object it met, so that the canvas state
  // the part leaves can be told from those of the other parts.
  struct TPart {
    bool On = false;
    int Index = 0, Parts = 1;
    int LastObject = -1;
    // The positions [first, last) of this part among `Count` objects in file order.
    std::pair<int64_t, int64_t> Range(int64_t Count) const {
      if (!On) return {0, Count};
      return {Count * Index / Parts, Count * (Index + 1) / Parts};
    }
  };
  TPart Part;

  double OriginX = 0, OriginY = 0;          // world point of the view's first corner
  double OffsetX = 0, OffsetY = 0;          // pixels from the left and the bottom edge
  double ExtentWidth = 0, ExtentHeight = 0; // of the requested extent, world units
  double DeviceWidthM = 0;                  // physical width of the display, metres
  double Scale = 0;                         // pixels per world unit
  double ScaleDenominator = 0;              // N of "1 : N"
  TExtent FullExtent, ViewExtent, VisibleExtent;
  int ScreenWidth = 0, ScreenHeight = 0;

  // The nearest integer, halves to the even one; `ok` false (and 0) for a value that is not a
  // number or does not fit 32 bits. Drawing converts every vertex, so this is inline and adds and
  // takes away 1.5 × 2^52 (which rounds to nearest, ties to even, in the default rounding mode)
  // instead of calling the library.
  static int RoundToPixel(double v, bool& ok) {
    ok = v >= -2147483648.5 && v <= 2147483647.5; // false for NaN and infinities
    if (!ok) return 0;
    const double r = (v + 6755399441055744.0) - 6755399441055744.0;
    if (r < -2147483648.0 || r > 2147483647.0) return ok = false, 0;
    return int(r);
  }

  static constexpr double MaxScale = 45.1697275331732;
  static constexpr double MinScale = 0.000758040545621271;
  static constexpr double GeometryEpsilon = 1e-9;
};
