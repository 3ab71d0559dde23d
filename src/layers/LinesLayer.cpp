#include "LinesLayer.h"
#include "RecordIndex.h"

#include "GeometryFile.h"

#include "base/ByteOrder.h"
#include "base/FileError.h"
#include "base/MappedFile.h"
#include "gfx/DrawHelpers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kLineStyleRecord = 16; // pen colour, pen style, pen width (double)

} // namespace

void TLinesLayer::LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) {
  TCustomLayer::LoadFromDataSet(DataSet, MapsDir);
  if (FullPath.endsWith(".mds", Qt::CaseInsensitive)) CheckShapeType();
  PenColor = int32_t(DataSet.FieldByName("PenColor").AsInteger());
  PenStyle = int32_t(DataSet.FieldByName("PenStyle").AsInteger());
  PenWidth = DataSet.FieldByName("PenWidth").AsFloat();
  PenScale = DataSet.FieldByName("PenScale").AsBoolean();
  BrushColor = int32_t(DataSet.FieldByName("BrushColor").AsInteger());
  BrushStyle = int32_t(DataSet.FieldByName("BrushStyle").AsInteger());
}

void TLinesLayer::CheckShapeType() const {
  // Points have no lines to draw: read as lines, their coordinates would be misread.
  if (PrimitiveType != 0 && !TGeometryFile::HasParts(PrimitiveType))
    throw base::FileError(FullPath, "файл містить " + TGeometryFile::ShapeTypeName(PrimitiveType) +
                                        "; шар ліній чи полігонів малює ламані, полігони "
                                        "і мультипатчі");
}

void TLinesLayer::SaveToDataSet(db::Table& DataSet) {
  TCustomLayer::SaveToDataSet(DataSet);
  DataSet.Edit();
  DataSet.FieldByName("PenColor").SetAsInteger(PenColor);
  DataSet.FieldByName("PenStyle").SetAsInteger(PenStyle);
  DataSet.FieldByName("PenWidth").SetAsFloat(PenWidth);
  DataSet.FieldByName("PenScale").SetAsBoolean(PenScale);
  DataSet.FieldByName("BrushColor").SetAsInteger(BrushColor);
  DataSet.FieldByName("BrushStyle").SetAsInteger(BrushStyle);
  DataSet.Post();
}

QString TLinesLayer::StyleFilePath() const {
  return CompanionPath("r");
}

int TLinesLayer::PixelWidth(double width, const TWorld& World) const {
  const double w = PenScale ? width * World.Scale : width;
  if (!std::isfinite(w) || std::fabs(w) > 1e6) return 1;
  return int(std::nearbyint(w));
}

bool TLinesLayer::MeetsView(double XMin, double YMin, double XMax, double YMax, const TWorld& World,
                            double margin) {
  const TExtent& v = World.VisibleExtent;
  return TWorld::RectsIntersect(v.XMin - margin, v.YMin - margin, v.XMax + margin, v.YMax + margin,
                                XMin, YMin, XMax, YMax);
}

bool TLinesLayer::DrawsInParts(const TWorld& World) {
  if (!ScaleAllowsDrawing(World.Scale)) return false;
  const auto index = TRecordIndex::For(FullPath);
  const TExtent& v = World.VisibleExtent;
  if (int64_t(index->Candidates(v.XMin, v.YMin, v.XMax, v.YMax).size()) < ShareableObjects)
    return false;
  // Past the end of a style file an object takes the pen of the one drawn before it.
  return RenderType != -1 ||
         StylesCoverAll(StyleFilePath(), kLineStyleRecord, int64_t(index->Records.size()));
}

void TLinesLayer::Draw(gfx::Canvas& Canvas, TWorld& World) {
  if (!ScaleAllowsDrawing(World.Scale)) return;
  if (RenderType == 0) {
    Canvas.Pen.Style = PenStyle & 0xFF;
    Canvas.Pen.Color = uint32_t(PenColor);
    Canvas.Pen.Width = PixelWidth(PenWidth, World);
  }
  std::unique_ptr<base::MappedFile> styles;
  if (RenderType == -1) styles = std::make_unique<base::MappedFile>(StyleFilePath());
  TGeometryFile file(FullPath);
  const auto index = TRecordIndex::For(FullPath);
  const TExtent& v = World.VisibleExtent;
  std::vector<QPoint> pixels;
  const std::vector<int> candidates = index->Candidates(v.XMin, v.YMin, v.XMax, v.YMax);
  const auto [first, last] = World.Part.Range(int64_t(candidates.size()));
  for (int64_t c = first; c < last; ++c) {
    const TGeometryFile::Record& r = index->Records[size_t(candidates[size_t(c)])];
    if (!r.HasBox || !MeetsView(r.XMin, r.YMin, r.XMax, r.YMax, World)) continue;
    World.Part.LastObject = r.Index;
    if (RenderType == -1) {
      // A style file shorter than the geometry file leaves the later objects in the last pen.
      double width = 0;
      if (ReadStylePen(*styles, r.Index, Canvas.Pen, width))
        Canvas.Pen.Width = PixelWidth(width, World);
    }
    const TGeometryFile::Parts parts = file.ReadParts(r);
    for (int p = 0; p < parts.NumParts; ++p) {
      file.PartPixels(parts, p, World, pixels, true);
      Canvas.Polyline(pixels);
    }
  }
  index->ThrowIfBroken();
}

bool TLinesLayer::ReadStylePen(const base::MappedFile& styles, int index, gfx::PenState& pen,
                               double& width) {
  const int64_t at = int64_t(index) * kLineStyleRecord;
  if (index < 0 || at + kLineStyleRecord > styles.Size()) return false;
  const unsigned char* s = styles.Bytes().data() + at;
  pen.Color = base::GetU32LE(s);
  pen.Style = int(base::GetU32LE(s + 4) & 0xFF);
  width = base::GetDoubleLE(s + 8);
  return true;
}

int TLinesLayer::FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y,
                            bool IgnoreSelectable, bool Flash) {
  if (!Visibled || (!Selected && !IgnoreSelectable)) return -1;
  const auto [x1, y1, x2, y2] = World.PickBox(X, Y, 5);
  TGeometryFile file(FullPath);
  const auto index = TRecordIndex::For(FullPath);
  // Only records near the pick box can hold a segment crossing it; the first in file order wins.
  for (const int i : index->Candidates(x1, y1, x2, y2)) {
    const TGeometryFile::Record& r = index->Records[size_t(i)];
    if (!r.HasBox || !MeetsView(r.XMin, r.YMin, r.XMax, r.YMax, World)) continue;
    const TGeometryFile::Parts parts = file.ReadParts(r);
    for (int p = 0; p < parts.NumParts; ++p) {
      for (int k = parts.Starts[size_t(p)]; k + 1 < parts.Starts[size_t(p) + 1]; ++k) {
        const TWorldPoint a = file.PointAt(parts, k), b = file.PointAt(parts, k + 1);
        if (!TWorld::SegmentCrossesRect(a.X, a.Y, b.X, b.Y, x1, y1, x2, y2)) continue;
        FoundX = (a.X + b.X) / 2;
        FoundY = (a.Y + b.Y) / 2;
        if (Flash) FlashObject(r.Index, Canvas, World);
        return r.Index;
      }
    }
  }
  index->ThrowIfBroken();
  return -1;
}

std::vector<TCustomLayer::TFound> TLinesLayer::FindObjects(gfx::Canvas&, TWorld& World, double X,
                                                           double Y) {
  if (!Visibled) return {};
  const auto [x1, y1, x2, y2] = World.PickBox(X, Y, 5);
  TGeometryFile file(FullPath);
  const auto index = TRecordIndex::For(FullPath);
  std::vector<TFound> found;
  // Every record with a segment crossing the pick box, at its nearest such segment.
  for (const int i : index->Candidates(x1, y1, x2, y2)) {
    const TGeometryFile::Record& r = index->Records[size_t(i)];
    if (!r.HasBox || !MeetsView(r.XMin, r.YMin, r.XMax, r.YMax, World)) continue;
    const TGeometryFile::Parts parts = file.ReadParts(r);
    bool crosses = false;
    double nearest = std::numeric_limits<double>::infinity();
    for (int p = 0; p < parts.NumParts; ++p)
      for (int k = parts.Starts[size_t(p)]; k + 1 < parts.Starts[size_t(p) + 1]; ++k) {
        const TWorldPoint a = file.PointAt(parts, k), b = file.PointAt(parts, k + 1);
        crosses = crosses || TWorld::SegmentCrossesRect(a.X, a.Y, b.X, b.Y, x1, y1, x2, y2);
        nearest = std::min(nearest, TWorld::DistanceToSegment(X, Y, a, b));
      }
    if (crosses) found.push_back(TFound{r.Index, X, Y, nearest});
  }
  index->ThrowIfBroken();
  SortNearestFirst(found);
  return found;
}

bool TLinesLayer::RecordBox(int RecordIndex, TExtent& Box) {
  TGeometryFile::Record r;
  if (RecordIndex < 0 || !TRecordIndex::For(FullPath)->Seek(RecordIndex, r) || !r.HasBox)
    return false;
  Box = {r.XMin, r.YMin, r.XMax, r.YMax};
  return true;
}

bool TLinesLayer::LocateObject(int RecordIndex, TWorld& World) {
  if (RecordIndex < 0) return false;
  TGeometryFile file(FullPath);
  TGeometryFile::Record r;
  if (!TRecordIndex::For(FullPath)->Seek(RecordIndex, r) || !r.HasBox) return false;
  const TGeometryFile::Parts parts = file.ReadParts(r);
  if (parts.NumParts == 1 || parts.NumParts == 0) {
    // One part, or none at all: the centre of the record's box.
    FoundX = (r.XMin + r.XMax) / 2;
    FoundY = (r.YMin + r.YMax) / 2;
  } else {
    const int part = parts.NumParts / 2 - 1;
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    for (int k = parts.Starts[size_t(part)]; k < parts.Starts[size_t(part) + 1]; ++k) {
      const TWorldPoint p = file.PointAt(parts, k);
      if (k == parts.Starts[size_t(part)]) xmin = xmax = p.X, ymin = ymax = p.Y;
      xmin = std::min(xmin, p.X), xmax = std::max(xmax, p.X);
      ymin = std::min(ymin, p.Y), ymax = std::max(ymax, p.Y);
    }
    FoundX = (xmin + xmax) / 2;
    FoundY = (ymin + ymax) / 2;
  }
  const double m = 20 / World.Scale;
  const TExtent& v = World.VisibleExtent;
  if (!TWorld::PointInRect(v.XMin + m, v.YMin + m, v.XMax - m, v.YMax - m, FoundX, FoundY))
    World.ViewExtent = ViewOfBox(r, v);
  return true;
}

TExtent TLinesLayer::ViewOfBox(const TGeometryFile::Record& r, const TExtent& current) {
  const double width = r.XMax - r.XMin, height = r.YMax - r.YMin, side = std::max(width, height);
  const double cx = (r.XMin + r.XMax) / 2, cy = (r.YMin + r.YMax) / 2;
  // A straight line along an axis has a box without width or height, which no view can show
  // (its scale would be none): such a box becomes a square about its middle, and a line of one
  // point keeps the view's size, moved to it.
  if (side <= 0) {
    const double halfW = (current.XMax - current.XMin) / 2,
                 halfH = (current.YMax - current.YMin) / 2;
    return {cx - halfW, cy - halfH, cx + halfW, cy + halfH};
  }
  if (width > 0 && height > 0) return {r.XMin, r.YMin, r.XMax, r.YMax};
  return {cx - side / 2, cy - side / 2, cx + side / 2, cy + side / 2};
}

void TLinesLayer::FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) {
  if (RecordIndex < 0) return;
  TGeometryFile file(FullPath);
  TGeometryFile::Record r;
  if (!TRecordIndex::For(FullPath)->Seek(RecordIndex, r)) return;
  Canvas.Brush.Color = 255;
  Canvas.Brush.Style = 6;
  Canvas.Pen.Color = 255;
  Canvas.Pen.Width = 3;
  Canvas.Pen.Style = 0;
  Canvas.Pen.Mode = gfx::PenMode::NotXor;
  if (!r.HasBox || !MeetsView(r.XMin, r.YMin, r.XMax, r.YMax, World, 10)) return;
  const TGeometryFile::Parts parts = file.ReadParts(r);
  std::vector<std::vector<QPoint>> pixels(size_t(parts.NumParts));
  for (int p = 0; p < parts.NumParts; ++p)
    file.PartPixels(parts, p, World, pixels[size_t(p)]);
  for (int pass = 0; pass < Canvas.BlinkPasses; ++pass) {
    for (const auto& part : pixels)
      Canvas.Polyline(part);
    Canvas.Flush();
    if (Canvas.BlinkPasses > 1) gfx::Delay(300);
  }
}
