#include "ParamLinesLayer.h"
#include "RecordIndex.h"

#include "GeometryFile.h"

#include "base/MappedFile.h"
#include "gfx/DrawHelpers.h"

#include <algorithm>

void TParamLinesLayer::LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) {
  TLinesLayer::LoadFromDataSet(DataSet, MapsDir);
  PrimitiveType = 103; // the geometry header said polylines
  ParamSizeField = DataSet.FieldByName("ParamSizeField").AsString().trimmed();
  ParamSizeKoef = DataSet.FieldByName("ParamSizeKoef").AsFloat();
  ZoomInParamScale = DataSet.FieldByName("ZoomInParamScale").AsFloat();
}

std::optional<size_t> TParamLinesLayer::SizingField(const TWorld& World) {
  if (ParamSizeField.isEmpty()) return std::nullopt;
  if (ZoomInParamScale != 0 && ZoomInParamScale > World.Scale) return std::nullopt;
  // A name that is no field of the attribute table raises here, naming table and field.
  return Attributes().FieldByName(ParamSizeField).FieldNo();
}

double TParamLinesLayer::SizeValue(size_t Field, int RecordIndex) const {
  // SizingField has opened the table.
  const int rows = AttrTable.RecordCount();
  if (rows == 0 || RecordIndex < 0) return 0;
  // A record past the table's end takes the last row, as moving forward stops there; one whose
  // row is deleted has no value. An empty value reads as 0: the minimum width.
  int row = AttrTable.PositionOfRecord(RecordIndex);
  if (row < 0 && RecordIndex >= AttrTable.RecordOfPosition(rows - 1)) row = rows - 1;
  return row < 0 ? 0 : db::ValueToFloat(AttrTable.ValueAt(row, Field));
}

int TParamLinesLayer::SizedWidth(int Width, int RecordIndex, const TWorld& World) {
  const std::optional<size_t> field = SizingField(World);
  if (!field) return Width;
  return Rounded(Width * ParamSizeKoef * SizeValue(*field, RecordIndex));
}

void TParamLinesLayer::PrepareToDraw(const TWorld& World) {
  if (ScaleAllowsDrawing(World.Scale) && (RenderType == 0 || RenderType == -1)) SizingField(World);
}

void TParamLinesLayer::Draw(gfx::Canvas& Canvas, TWorld& World) {
  if (!ScaleAllowsDrawing(World.Scale)) return;
  const bool ownPen = RenderType == 0 || RenderType == -1;
  std::optional<size_t> field;
  if (ownPen) field = SizingField(World);
  std::unique_ptr<base::MappedFile> styles;
  if (RenderType == -1) styles = std::make_unique<base::MappedFile>(StyleFilePath());
  // The plain width of the pen in pixels, before the sizing; a style file shorter than the
  // geometry file leaves the later objects in the last pen read.
  int plainWidth = RenderType == 0 ? PixelWidth(PenWidth, World) : Canvas.Pen.Width;
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
    if (ownPen) {
      double styleWidth = 0;
      if (RenderType == 0) {
        Canvas.Pen.Style = PenStyle & 0xFF;
        Canvas.Pen.Color = uint32_t(PenColor);
      } else if (ReadStylePen(*styles, r.Index, Canvas.Pen, styleWidth)) {
        plainWidth = PixelWidth(styleWidth, World);
      }
      int width = plainWidth;
      if (field) width = Rounded(width * ParamSizeKoef * SizeValue(*field, r.Index));
      Canvas.Pen.Width = std::max(width, 1);
    }
    const TGeometryFile::Parts parts = file.ReadParts(r);
    for (int p = 0; p < parts.NumParts; ++p) {
      file.PartPixels(parts, p, World, pixels, true);
      Canvas.Polyline(pixels);
    }
  }
  index->ThrowIfBroken();
}

void TParamLinesLayer::FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) {
  if (RecordIndex < 0) return;
  TGeometryFile file(FullPath);
  TGeometryFile::Record r;
  if (!TRecordIndex::For(FullPath)->Seek(RecordIndex, r)) return;
  // The blink takes the layer's own pen width, sized like the drawing, even where the objects
  // are drawn from a style file.
  const int width =
      std::max(SizedWidth(PixelWidth(PenWidth, World), RecordIndex, World), kMinimumFlashWidth);
  Canvas.Brush.Color = 255;
  Canvas.Brush.Style = 0;
  Canvas.Pen.Color = 255;
  Canvas.Pen.Style = 0;
  Canvas.Pen.Width = width;
  Canvas.Pen.Mode = gfx::PenMode::NotXor;
  if (!r.HasBox || !MeetsView(r.XMin, r.YMin, r.XMax, r.YMax, World, 10)) return;
  const TGeometryFile::Parts parts = file.ReadParts(r);
  std::vector<std::vector<QPoint>> pixels(size_t(parts.NumParts));
  for (int p = 0; p < parts.NumParts; ++p)
    file.PartPixels(parts, p, World, pixels[size_t(p)]);
  for (int pass = 0; pass < Canvas.BlinkPasses; ++pass) {
    for (const auto& part : pixels) {
      Canvas.Polyline(part);
      if (part.empty()) continue;
      // A disc at the start of every part, of radius twice the pen width.
      const QPoint s = part.front();
      Canvas.Ellipse(s.x() - 2 * width, s.y() - 2 * width, s.x() + 2 * width, s.y() + 2 * width);
    }
    Canvas.Flush();
    if (Canvas.BlinkPasses > 1) gfx::Delay(300);
  }
}
