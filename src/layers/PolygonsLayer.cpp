#include "PolygonsLayer.h"
#include "RecordIndex.h"

#include "GeometryFile.h"

#include "base/ByteOrder.h"
#include "base/MappedFile.h"
#include "gfx/DrawHelpers.h"

#include <cmath>
#include <memory>

bool TPolygonsLayer::DrawsInParts(const TWorld& World) {
  if (!ScaleAllowsDrawing(World.Scale)) return false;
  // The labels go over all the polygons of the layer, which runs laid over each other would not
  // keep; past the end of a style file a polygon takes the style of the one drawn before it.
  if (VisibleLabel && LabelsAtScale(World)) return false;
  const auto index = TRecordIndex::For(FullPath);
  const TExtent& v = World.VisibleExtent;
  if (int64_t(index
                  ->Candidates(v.XMin - kViewMargin, v.YMin - kViewMargin, v.XMax + kViewMargin,
                               v.YMax + kViewMargin)
                  .size()) < ShareableObjects)
    return false;
  return RenderType != -1 ||
         StylesCoverAll(StyleFilePath(), kStyleRecordSize, int64_t(index->Records.size()));
}

void TPolygonsLayer::PrepareToDraw(const TWorld& World) {
  if (ScaleAllowsDrawing(World.Scale) && VisibleLabel && LabelsAtScale(World)) Attributes();
}

bool TPolygonsLayer::LabelsAtScale(const TWorld& World) const {
  return !TextFieldLabel.isEmpty() && (ZoomInLabelScale == 0 || ZoomInLabelScale <= World.Scale);
}

void TPolygonsLayer::Draw(gfx::Canvas& Canvas, TWorld& World) {
  if (!ScaleAllowsDrawing(World.Scale)) return;
  TGeometryFile file(FullPath); // also the existence check
  std::unique_ptr<base::MappedFile> styles;
  if (RenderType == 0) {
    Canvas.Brush.Color = uint32_t(BrushColor);
    Canvas.Brush.Style = BrushStyle & 0xFF;
    Canvas.Pen.Style = PenStyle & 0xFF;
    Canvas.Pen.Color = uint32_t(PenColor);
    Canvas.Pen.Width = PixelWidth(PenWidth, World);
  } else if (RenderType == -1) {
    styles = std::make_unique<base::MappedFile>(StyleFilePath());
  }
  Canvas.Pen.Mode = gfx::PenMode::Copy;
  const auto index = TRecordIndex::For(FullPath);
  const TExtent& v = World.VisibleExtent;
  std::vector<QPoint> ring;
  const std::vector<int> candidates = index->Candidates(v.XMin - kViewMargin, v.YMin - kViewMargin,
                                                        v.XMax + kViewMargin, v.YMax + kViewMargin);
  const auto [first, last] = World.Part.Range(int64_t(candidates.size()));
  for (int64_t c = first; c < last; ++c) {
    const TGeometryFile::Record& r = index->Records[size_t(candidates[size_t(c)])];
    if (!r.HasBox || !MeetsView(r.XMin, r.YMin, r.XMax, r.YMax, World, kViewMargin)) continue;
    World.Part.LastObject = r.Index;
    // A style file shorter than the geometry file leaves the later objects in the last style.
    if (AreaStyle style; styles && ReadAreaStyle(*styles, r.Index, style)) {
      Canvas.Brush.Color = style.BrushColor;
      Canvas.Brush.Style = style.BrushStyle;
      Canvas.Pen.Style = style.PenStyle;
      Canvas.Pen.Color = style.PenColor;
      Canvas.Pen.Width = PixelWidth(style.PenWidth, World);
    }
    const TGeometryFile::Parts parts = file.ReadParts(r);
    for (int p = 0; p < parts.NumParts; ++p) {
      file.PartPixels(parts, p, World, ring);
      DrawRing(Canvas, ring, Shadow);
    }
  }
  index->ThrowIfBroken();
  if (VisibleLabel) DrawLabels(Canvas, World);
}

void TPolygonsLayer::DrawRing(gfx::Canvas& Canvas, const std::vector<QPoint>& ring, int shadow) {
  if (shadow > 0) {
    std::vector<QPoint> shifted = ring;
    for (int s = 0; s < shadow; ++s) {
      for (QPoint& q : shifted)
        q += QPoint(1, 1);
      Canvas.Polyline(shifted);
    }
  }
  Canvas.Polygon(ring);
}

bool TPolygonsLayer::ReadAreaStyle(const base::MappedFile& styles, int index, AreaStyle& style) {
  if (index < 0 || int64_t(index + 1) * kStyleRecordSize > styles.Size()) return false;
  const unsigned char* s = styles.Bytes().data() + int64_t(index) * kStyleRecordSize;
  style.BrushColor = base::GetU32LE(s);
  style.BrushStyle = int(base::GetU32LE(s + 4) & 0xFF);
  style.PenColor = base::GetU32LE(s + 8);
  style.PenStyle = int(base::GetU32LE(s + 12) & 0xFF);
  style.PenWidth = base::GetDoubleLE(s + 16);
  return true;
}

void TPolygonsLayer::DrawLabels(gfx::Canvas& Canvas, const TWorld& World) {
  // The font is set once; its style flags are added to those it has, as the labels have always been
  // drawn.
  Canvas.Font.Size = LabelFontSize(World);
  Canvas.Font.CharSet = TextCharSet;
  Canvas.Brush.Style = TextInBox ? 0 : 1; // the box keeps the last fill colour
  Canvas.Font.Name = TextFont;
  Canvas.Font.Color = uint32_t(TextColor);
  Canvas.Font.Bold = Canvas.Font.Bold || TextFontBold;
  Canvas.Font.Italic = Canvas.Font.Italic || TextFontItalic;
  Canvas.Font.Underline = Canvas.Font.Underline || TextFontUnderline;
  Canvas.Font.StrikeOut = Canvas.Font.StrikeOut || TextFontStrikeOut;
  if (!LabelsAtScale(World)) return;
  const size_t field = Attributes().FieldByName(TextFieldLabel).FieldNo();
  const int angle = Rounded(TextLabelAngle * 10);
  const auto index = TRecordIndex::For(FullPath);
  const TExtent& v = World.VisibleExtent;
  for (const int i : index->Candidates(v.XMin - kViewMargin, v.YMin - kViewMargin,
                                       v.XMax + kViewMargin, v.YMax + kViewMargin)) {
    const TGeometryFile::Record& r = index->Records[size_t(i)];
    if (!r.HasBox || !MeetsView(r.XMin, r.YMin, r.XMax, r.YMax, World, kViewMargin)) continue;
    // A record whose attribute row is deleted (or missing) has no label.
    const int row = Attributes().PositionOfRecord(r.Index);
    if (row < 0) continue;
    const QString text = db::ValueToString(Attributes().ValueAt(row, field));
    TextOutAnchored(Canvas, World.WorldToScreenX((r.XMin + r.XMax) / 2),
                    World.WorldToScreenY((r.YMin + r.YMax) / 2), angle, text);
  }
  index->ThrowIfBroken();
}

int TPolygonsLayer::FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y,
                               bool IgnoreSelectable, bool Flash) {
  if (!Visibled || (!Selected && !IgnoreSelectable)) return -1;
  TGeometryFile file(FullPath);
  const auto index = TRecordIndex::For(FullPath);
  std::vector<TWorldPoint> ring;
  // Only a polygon whose box holds the point can hold it; the first in file order wins.
  for (const int i : index->Candidates(X, Y, X, Y)) {
    const TGeometryFile::Record& r = index->Records[size_t(i)];
    if (!r.HasBox || !MeetsView(r.XMin, r.YMin, r.XMax, r.YMax, World, kViewMargin)) continue;
    const TGeometryFile::Parts parts = file.ReadParts(r);
    for (int p = 0; p < parts.NumParts; ++p) {
      ring.clear();
      for (int k = parts.Starts[size_t(p)]; k < parts.Starts[size_t(p) + 1]; ++k)
        ring.push_back(file.PointAt(parts, k));
      if (!TWorld::PointInPolygon(ring, int(ring.size()), X, Y)) continue;
      FoundX = (r.XMin + r.XMax) / 2;
      FoundY = (r.YMin + r.YMax) / 2;
      if (Flash) FlashObject(r.Index, Canvas, World);
      return r.Index;
    }
  }
  index->ThrowIfBroken();
  return -1;
}

bool TPolygonsLayer::LocateObject(int RecordIndex, TWorld& World) {
  if (RecordIndex < 0) return false;
  TGeometryFile file(FullPath);
  TGeometryFile::Record r;
  if (!TRecordIndex::For(FullPath)->Seek(RecordIndex, r) || !r.HasBox) return false;
  FoundX = (r.XMin + r.XMax) / 2;
  FoundY = (r.YMin + r.YMax) / 2;
  const double m = 20 / World.Scale;
  const TExtent& v = World.VisibleExtent;
  if (TWorld::PointInRect(v.XMin + m, v.YMin + m, v.XMax - m, v.YMax - m, FoundX, FoundY))
    return true;
  const double hw = std::fabs(r.XMax - r.XMin) / 2, hh = std::fabs(r.YMax - r.YMin) / 2;
  World.ViewExtent = {r.XMin - hw, r.YMin - hh, r.XMax + hw, r.YMax + hh};
  return true;
}

void TPolygonsLayer::FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) {
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
  if (!r.HasBox || !MeetsView(r.XMin, r.YMin, r.XMax, r.YMax, World, kViewMargin)) return;
  const TGeometryFile::Parts parts = file.ReadParts(r);
  std::vector<QPoint> ring;
  for (int p = 0; p < parts.NumParts; ++p) {
    file.PartPixels(parts, p, World, ring);
    for (int pass = 0; pass < Canvas.BlinkPasses; ++pass) {
      Canvas.Polygon(ring);
      Canvas.Flush();
      if (Canvas.BlinkPasses > 1) gfx::Delay(300);
    }
  }
}
