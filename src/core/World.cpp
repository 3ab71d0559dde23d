#include "World.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <limits>

namespace {

// Round half to even into a 32-bit pixel; nullopt-like `ok` false when it cannot be held.
bool Near(TWorldPoint a, TWorldPoint b) {
  return std::fabs(a.X - b.X) < TWorld::GeometryEpsilon &&
         std::fabs(a.Y - b.Y) < TWorld::GeometryEpsilon;
}

} // namespace

void TWorld::SetView(int Width, int Height, double X0, double Y0, double X1, double Y1) {
  ScreenWidth = Width;
  ScreenHeight = Height;
  OriginX = X0;
  OriginY = Y0;
  ExtentWidth = std::fabs(X1 - X0);
  ExtentHeight = std::fabs(Y1 - Y0);
  double s = 0;
  if (ExtentWidth != 0 && ExtentHeight != 0) s = MinOf(Width / ExtentWidth, Height / ExtentHeight);
  if (!std::isfinite(s)) return; // an arithmetic failure ends the operation quietly
  if (MaxScale != 0 && s >= MaxScale)
    Scale = MaxScale;
  else if (MinScale != 0 && s <= MinScale)
    Scale = MinScale;
  else
    Scale = s;
  OffsetX = (Width - ExtentWidth * Scale) * 0.5;
  OffsetY = (Height - ExtentHeight * Scale) * 0.5;
  VisibleExtent.XMin = (0 - OffsetX) / Scale + OriginX;
  VisibleExtent.YMin = (0 - OffsetY) / Scale + OriginY;
  VisibleExtent.XMax = (Width - OffsetX) / Scale + OriginX;
  VisibleExtent.YMax = (Height - OffsetY) / Scale + OriginY;
  ViewExtent = VisibleExtent;
}

double TWorld::ComputeScale(double DeviceWidthMM) {
  DeviceWidthM = DeviceWidthMM / 1000.0;
  const double n = std::fabs(VisibleExtent.XMax - VisibleExtent.XMin) / DeviceWidthM;
  ScaleDenominator = (DeviceWidthM == 0 || !std::isfinite(n)) ? Scale : n;
  return ScaleDenominator;
}

double TWorld::ScreenToWorldX(int SX) const {
  if (Scale == 0) return 0.0;
  const double v = (SX - OffsetX) / Scale + OriginX;
  return std::isfinite(v) ? v : 0.0;
}

double TWorld::ScreenToWorldY(int SY) const {
  if (Scale == 0) return 0.0;
  const double v = (ScreenHeight - SY - OffsetY) / Scale + OriginY;
  return std::isfinite(v) ? v : 0.0;
}

int TWorld::LengthToScreen(double L) const {
  bool ok;
  const int v = TWorld::RoundToPixel(L * Scale, ok);
  return ok ? v : 1;
}

bool TWorld::PointInPolygon(std::span<const TWorldPoint> Points, int Count, double X, double Y) {
  Count = std::min(Count, int(Points.size()));
  int parity = -1;
  for (int i = 0; i + 1 < Count; ++i) {
    const TWorldPoint A = Points[size_t(i)], B = Points[size_t(i + 1)];
    if ((X == A.X && Y == A.Y) || (X == B.X && Y == B.Y)) return true;
    if (X != A.X) {
      const double t = (B.X - A.X) * (Y - A.Y) / (X - A.X);
      if (B.Y - A.Y == t && (X - A.X) * (X - B.X) <= 0 && (Y - A.Y) * (Y - B.Y) <= 0) return true;
    } else if (A.X == B.X && (Y - A.Y) * (Y - B.Y) <= 0) {
      // A vertical edge on the point's own vertical line.
      return true;
    }
    const bool straddles =
        (Y - A.Y) * (Y - B.Y) < 0 || (Y == A.Y && Y > B.Y) || (Y == B.Y && Y > A.Y);
    if (A.Y != B.Y && straddles) {
      const double xc = A.X + (B.X - A.X) * (Y - A.Y) / (B.Y - A.Y);
      if (X - xc < 0) parity = -parity;
    }
  }
  return parity > 0;
}

bool TWorld::RectsIntersect(double AX1, double AY1, double AX2, double AY2, double BX1, double BY1,
                            double BX2, double BY2) {
  if (BX1 > BX2) std::swap(BX1, BX2);
  if (BY1 > BY2) std::swap(BY1, BY2);
  return !(BX2 < AX1 || BX1 > AX2 || BY2 < AY1 || BY1 > AY2);
}

bool TWorld::PointInRect(double X1, double Y1, double X2, double Y2, double X, double Y) {
  return X1 <= X && X <= X2 && Y1 <= Y && Y <= Y2;
}

void TWorld::GetBounds(std::span<const TWorldPoint> Points, int Count, double& XMin, double& YMin,
                       double& XMax, double& YMax) {
  Count = std::min(Count, int(Points.size()));
  if (Count <= 0) return;
  XMin = XMax = Points[0].X;
  YMin = YMax = Points[0].Y;
  for (int i = 1; i < Count; ++i) {
    const TWorldPoint& p = Points[size_t(i)];
    XMin = std::min(XMin, p.X);
    YMin = std::min(YMin, p.Y);
    XMax = std::max(XMax, p.X);
    YMax = std::max(YMax, p.Y);
  }
}

double TWorld::Distance(double X1, double Y1, double X2, double Y2) {
  return std::sqrt((X2 - X1) * (X2 - X1) + (Y2 - Y1) * (Y2 - Y1));
}

TExtent TWorld::PickBox(double X, double Y, int Pixels) const {
  const int sx = WorldToScreenX(X), sy = WorldToScreenY(Y);
  const double x1 = ScreenToWorldX(sx - Pixels), x2 = ScreenToWorldX(sx + Pixels);
  const double y1 = ScreenToWorldY(sy - Pixels), y2 = ScreenToWorldY(sy + Pixels);
  return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

double TWorld::DistanceToSegment(double X, double Y, TWorldPoint A, TWorldPoint B) {
  const double dx = B.X - A.X, dy = B.Y - A.Y, length = dx * dx + dy * dy;
  const double t =
      length > 0 ? std::clamp(((X - A.X) * dx + (Y - A.Y) * dy) / length, 0.0, 1.0) : 0.0;
  return Distance(X, Y, A.X + t * dx, A.Y + t * dy);
}

double TWorld::MaxOf(double A, double B) {
  return A > B ? A : B;
}
double TWorld::MinOf(double A, double B) {
  return A < B ? A : B;
}

bool TWorld::SegmentCrossesRect(double X1, double Y1, double X2, double Y2, double RX1, double RY1,
                                double RX2, double RY2) {
  auto crossesVertical = [&](double v) {
    if (v < std::min(X1, X2) || v > std::max(X1, X2)) return false;
    // A vertical segment on the side line crosses where it overlaps the side.
    if (X1 == X2) return std::max(Y1, Y2) >= RY1 && std::min(Y1, Y2) <= RY2;
    const double y = (v - X2) * (Y1 - Y2) / (X1 - X2) + Y2;
    return RY1 <= y && y <= RY2;
  };
  auto crossesHorizontal = [&](double v) {
    if (v < std::min(Y1, Y2) || v > std::max(Y1, Y2)) return false;
    if (Y1 == Y2) return std::max(X1, X2) >= RX1 && std::min(X1, X2) <= RX2;
    const double x = (v - Y2) * (X1 - X2) / (Y1 - Y2) + X2;
    return RX1 <= x && x <= RX2;
  };
  return crossesVertical(RX1) || crossesHorizontal(RY1) || crossesVertical(RX2) ||
         crossesHorizontal(RY2);
}

double TWorld::PolygonArea(std::span<const TWorldPoint> Points) {
  const size_t n = Points.size();
  if (n < 2) return 0;
  const bool closed = std::fabs(Points[0].X - Points[n - 1].X) < 0.001 &&
                      std::fabs(Points[0].Y - Points[n - 1].Y) < 0.001;
  const size_t edges = closed ? n - 1 : n;
  double sum = 0;
  for (size_t i = 0; i < edges; ++i) {
    const TWorldPoint& a = Points[i];
    const TWorldPoint& b = Points[(i + 1) % n];
    sum += a.X * b.Y - b.X * a.Y;
  }
  return 0.5 * sum;
}

bool TWorld::PointOnSegment(TWorldPoint P, TWorldPoint A, TWorldPoint B) {
  if (P.X < std::min(A.X, B.X) || P.X > std::max(A.X, B.X)) return false;
  if (P.Y < std::min(A.Y, B.Y) || P.Y > std::max(A.Y, B.Y)) return false;
  return std::fabs((P.X - A.X) * (B.Y - A.Y) - (B.X - A.X) * (P.Y - A.Y)) < GeometryEpsilon;
}

int TWorld::SegmentIntersection(TWorldPoint A1, TWorldPoint A2, TWorldPoint B1, TWorldPoint B2,
                                TWorldPoint& R1, TWorldPoint& R2) {
  const double eps = GeometryEpsilon;
  const double den = (A2.X - A1.X) * (B2.Y - B1.Y) - (A2.Y - A1.Y) * (B2.X - B1.X);
  const double num = (A1.Y - B1.Y) * (B2.X - B1.X) - (A1.X - B1.X) * (B2.Y - B1.Y);
  if (std::fabs(den) < eps && std::fabs(num) < eps) {
    const bool c1 = PointOnSegment(A1, B1, B2), c2 = PointOnSegment(A2, B1, B2);
    const bool c3 = PointOnSegment(B1, A1, A2), c4 = PointOnSegment(B2, A1, A2);
    if (!c1 && !c2 && !c3 && !c4) return 0;
    if (c1 && c2 && c3 && c4) {
      R1 = A1;
      R2 = A2;
      return 3;
    }
    if (c1 && c2)
      R1 = A1, R2 = A2;
    else if (c3 && c4)
      R1 = B1, R2 = B2;
    else if (c1 && c3)
      R1 = A1, R2 = B1;
    else if (c1 && c4)
      R1 = A1, R2 = B2;
    else if (c2 && c3)
      R1 = A2, R2 = B1;
    else if (c2 && c4)
      R1 = A2, R2 = B2;
    return Near(R1, R2) ? 6 : 4;
  }
  if (std::fabs(den) < eps) return 2;
  if (Near(A1, B1) || Near(A1, B2)) {
    R1 = A1;
    return 5;
  }
  if (Near(A2, B1) || Near(A2, B2)) {
    R1 = A2;
    return 5;
  }
  const double t = num / den;
  const double u = ((A1.Y - B1.Y) * (A2.X - A1.X) - (A1.X - B1.X) * (A2.Y - A1.Y)) / den;
  if (t < 0 || t > 1 || u < 0 || u > 1) return 0;
  R1 = {A1.X + t * (A2.X - A1.X), A1.Y + t * (A2.Y - A1.Y)};
  return 1;
}

void TWorld::GiveBoxBothDimensions(TExtent& Box, int Width, int Height) {
  // The transform would fit an extent of one dimension by its empty side and zoom all the way
  // out; the missing side makes it zoom in instead.
  const double w = Box.XMax - Box.XMin, h = Box.YMax - Box.YMin;
  const double aspect = double(std::max(1, Height)) / std::max(1, Width);
  const double cx = (Box.XMin + Box.XMax) / 2, cy = (Box.YMin + Box.YMax) / 2;
  if (w <= 0 && h > 0) {
    const double half = h / aspect / 2;
    Box.XMin = cx - half;
    Box.XMax = cx + half;
  } else if (h <= 0 && w > 0) {
    const double half = w * aspect / 2;
    Box.YMin = cy - half;
    Box.YMax = cy + half;
  }
}
