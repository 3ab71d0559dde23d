#include "PointsLayer.h"
#include "PointFile.h"

#include "base/ByteOrder.h"
#include "base/MappedFile.h"
#include "base/TextCodec.h"
#include "gfx/DrawHelpers.h"

#include "base/FileError.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

void TPointsLayer::LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) {
  TCustomLayer::LoadFromDataSet(DataSet, MapsDir);
  if (FullPath.endsWith(".mds", Qt::CaseInsensitive)) CheckShapeType();
  const QString symbol = DataSet.FieldByName("CharLabel").AsString();
  if (!symbol.isEmpty()) CharLabel = symbol.left(1);
  CharFont = DataSet.FieldByName("CharFont").AsString();
  CharFontSize = DataSet.FieldByName("CharFontSize").AsFloat();
  CharFontColor = int32_t(DataSet.FieldByName("CharFontColor").AsInteger());
  CharLabelScale = DataSet.FieldByName("CharLabelScale").AsBoolean();
  ZoomInIconScale = DataSet.FieldByName("ZoomInIconScale").AsFloat();
  ZoomInGroupChar = DataSet.FieldByName("ZoomInGroupChar").AsFloat();
  BrushColor = int32_t(DataSet.FieldByName("BrushColor").AsInteger());
}

void TPointsLayer::CheckShapeType() const {
  // Lines and polygons are no points: read as points, their coordinates would be misread.
  if (PrimitiveType != 0 && !TPointFile::IsPointType(PrimitiveType) &&
      !TPointFile::IsMultiPointType(PrimitiveType))
    throw base::FileError(FullPath, "файл містить " + TGeometryFile::ShapeTypeName(PrimitiveType) +
                                        "; шар точок малює точки й мультиточки");
}

void TPointsLayer::SaveToDataSet(db::Table& DataSet) {
  TCustomLayer::SaveToDataSet(DataSet);
  DataSet.Edit();
  DataSet.FieldByName("CharLabel").SetAsString(CharLabel.left(1));
  DataSet.FieldByName("CharFont").SetAsString(CharFont);
  DataSet.FieldByName("CharFontSize").SetAsFloat(CharFontSize);
  DataSet.FieldByName("CharFontColor").SetAsInteger(CharFontColor);
  DataSet.FieldByName("CharLabelScale").SetAsBoolean(CharLabelScale);
  DataSet.FieldByName("ZoomInIconScale").SetAsFloat(ZoomInIconScale);
  DataSet.FieldByName("ZoomInGroupChar").SetAsFloat(ZoomInGroupChar);
  DataSet.FieldByName("BrushColor").SetAsInteger(BrushColor);
  DataSet.Post();
}

QString TPointsLayer::StyleFilePath() const {
  if (RenderType == -1) return CompanionPath("r");
  if (RenderType > 0) return CompanionPath("t" + QString::number(RenderType));
  return QString();
}

void TPointsLayer::SetLabelFont(gfx::Canvas& Canvas, const TWorld& World) const {
  Canvas.Font.CharSet = TextCharSet;
  Canvas.Font.Bold = Canvas.Font.Italic = Canvas.Font.Underline = Canvas.Font.StrikeOut = false;
  if (TextInBox) {
    Canvas.Brush.Style = 0;
    Canvas.Brush.Color = uint32_t(BrushColor);
  } else {
    Canvas.Brush.Style = 1;
  }
  Canvas.Font.Size = LabelFontSize(World);
  Canvas.Font.Name = TextFont;
  Canvas.Font.Color = uint32_t(TextColor);
  Canvas.Font.Bold = TextFontBold;
  Canvas.Font.Italic = TextFontItalic;
  Canvas.Font.Underline = TextFontUnderline;
  Canvas.Font.StrikeOut = TextFontStrikeOut;
}

void TPointsLayer::DrawLabel(gfx::Canvas& Canvas, const TWorld& World, int sx, int sy,
                             const QString& text) const {
  SetLabelFont(Canvas, World);
  TextOutAnchored(Canvas, sx, sy, Rounded(TextLabelAngle * 10), text);
}

bool TPointsLayer::DrawsInParts(const TWorld& World) {
  if (!ScaleAllowsDrawing(World.Scale)) return false;
  const TPointFile file(FullPath);
  // Runs pay for their surfaces whatever they draw: only the points near the view count.
  if (int64_t(file.Near(&World.VisibleExtent).size()) < ShareableObjects) return false;
  // A circle takes the canvas's brush, which a symbol or a label drawn before it changes.
  const bool styles = RenderType == -1 || RenderType > 0;
  const bool circles =
      (CharLabel.isEmpty() || CharLabel[0] == QChar(0)) &&
      (!styles || !StylesCoverAll(StyleFilePath(), kStyleRecordSize, file.RecordCount()));
  return !circles || (!styles && !ScaleAllowsLabels(World.Scale));
}

void TPointsLayer::PrepareToDraw(const TWorld& World) {
  if (ScaleAllowsDrawing(World.Scale) && ScaleAllowsLabels(World.Scale)) Attributes();
}

void TPointsLayer::Draw(gfx::Canvas& Canvas, TWorld& World) {
  if (!ScaleAllowsDrawing(World.Scale)) return;
  // RenderType -1 and N > 0 read the per-object style file (a missing one raises); values below
  // -1 have no style file and draw the layer's own symbol.
  std::unique_ptr<base::MappedFile> styles;
  if (RenderType == -1 || RenderType > 0)
    styles = std::make_unique<base::MappedFile>(StyleFilePath());
  const bool labels = ScaleAllowsLabels(World.Scale);
  size_t labelField = 0;
  if (labels) labelField = Attributes().FieldByName(TextFieldLabel).FieldNo();
  const TPointFile file(FullPath);
  const TExtent& v = World.VisibleExtent;
  const int layerSize = Rounded(CharLabelScale ? CharFontSize * World.Scale : CharFontSize);
  const std::vector<int> near = file.Near(&v);
  const auto [first, last] = World.Part.Range(int64_t(near.size()));
  for (int64_t c = first; c < last; ++c) {
    double x = 0, y = 0;
    int i = 0; // the point's record: its style and its attribute row
    file.At(near[size_t(c)], x, y, i);
    if (!TWorld::PointInRect(v.XMin, v.YMin, v.XMax, v.YMax, x, y)) continue;
    World.Part.LastObject = near[size_t(c)];
    const int sx = World.WorldToScreenX(x), sy = World.WorldToScreenY(y);
    // A style file shorter than the geometry file leaves the later points to the layer's symbol.
    Canvas.Pen.Mode = gfx::PenMode::Copy;
    if (SymbolStyle style; styles && ReadSymbolStyle(*styles, i, style)) {
      Canvas.Font.CharSet = 2;
      Canvas.Font.Bold = Canvas.Font.Italic = Canvas.Font.Underline = Canvas.Font.StrikeOut = false;
      Canvas.Font.Name = style.Font;
      Canvas.Font.Color = style.Color;
      const int t = Rounded(CharLabelScale ? style.Size * World.Scale : style.Size);
      Canvas.Font.Size = t;
      Canvas.Brush.Style = 1;
      Canvas.TextHAlign = gfx::HAlign::Left;
      Canvas.TextVAlign = gfx::VAlign::Top;
      Canvas.TextOut(sx - t / 2, sy - t / 2, style.Symbol);
    } else if (!CharLabel.isEmpty() && CharLabel[0] != QChar(0)) {
      Canvas.Font.CharSet = 2;
      Canvas.Font.Bold = Canvas.Font.Italic = Canvas.Font.Underline = Canvas.Font.StrikeOut = false;
      Canvas.Font.Name = CharFont;
      Canvas.Font.Color = uint32_t(CharFontColor);
      Canvas.Font.Size = layerSize;
      Canvas.Brush.Style = 1;
      Canvas.TextHAlign = gfx::HAlign::Left;
      Canvas.TextVAlign = gfx::VAlign::Top;
      Canvas.TextOut(sx - layerSize / 2, sy - layerSize / 2, CharLabel);
    } else {
      Canvas.Ellipse(sx - layerSize / 2, sy - layerSize / 2, sx + layerSize / 2,
                     sy + layerSize / 2);
    }
    if (const int row = labels ? Attributes().PositionOfRecord(i) : -1; row >= 0)
      DrawLabel(Canvas, World, sx, sy, db::ValueToString(Attributes().ValueAt(row, labelField)));
  }
  file.ThrowIfBroken();
}

bool TPointsLayer::ReadSymbolStyle(const base::MappedFile& styles, int index, SymbolStyle& style) {
  if (index < 0 || (int64_t(index) + 1) * kStyleRecordSize > styles.Size()) return false;
  const unsigned char* s = styles.Bytes().data() + int64_t(index) * kStyleRecordSize;
  const int nameLength = std::min<int>(s[13], 31);
  style.Symbol = base::Decode(reinterpret_cast<const char*>(s), 1, base::CodePage::Cp1251);
  style.Color = base::GetU32LE(s + 1);
  style.Size = base::GetDoubleLE(s + 5);
  style.Font =
      base::Decode(reinterpret_cast<const char*>(s + 14), nameLength, base::CodePage::Cp1251);
  return true;
}

int TPointsLayer::FindObject(gfx::Canvas& Canvas, TWorld& World, double X, double Y,
                             bool IgnoreSelectable, bool Flash) {
  if (!Visibled || (!Selected && !IgnoreSelectable)) return -1;
  const int sx = World.WorldToScreenX(X), sy = World.WorldToScreenY(Y);
  double x1 = World.ScreenToWorldX(sx - 10), x2 = World.ScreenToWorldX(sx + 10);
  double y1 = World.ScreenToWorldY(sy - 10), y2 = World.ScreenToWorldY(sy + 10);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const TExtent box{x1, y1, x2, y2};
  double x = 0, y = 0;
  const int found = NearestPoint(X, Y, &box, x, y);
  if (found >= 0) {
    FoundX = x;
    FoundY = y;
  }
  if (Flash) FlashObject(found, Canvas, World);
  return found;
}

bool TPointsLayer::LocateObject(int RecordIndex, TWorld& World) {
  double x = 0, y = 0;
  if (!TPointFile(FullPath).OfRecord(RecordIndex, x, y)) return false;
  FoundX = x;
  FoundY = y;
  BringIntoView(World, x, y);
  return true;
}

void TPointsLayer::BringIntoView(TWorld& World, double X, double Y) {
  const double m = 20 / World.Scale;
  const TExtent& v = World.VisibleExtent;
  if (TWorld::PointInRect(v.XMin + m, v.YMin + m, v.XMax - m, v.YMax - m, X, Y)) return;
  TExtent& r = World.ViewExtent;
  const double cx = (r.XMin + r.XMax) / 2, cy = (r.YMin + r.YMax) / 2;
  r = {r.XMin - (cx - X), r.YMin - (cy - Y), r.XMax - (cx - X), r.YMax - (cy - Y)};
}

void TPointsLayer::FlashObject(int RecordIndex, gfx::Canvas& Canvas, TWorld& World) {
  double x = 0, y = 0;
  if (!TPointFile(FullPath).OfRecord(RecordIndex, x, y)) return;
  FlashCircle(Canvas, World.WorldToScreenX(x), World.WorldToScreenY(y));
}

void TPointsLayer::FlashCircle(gfx::Canvas& Canvas, int sx, int sy) {
  Canvas.Pen.Color = 255;
  Canvas.Pen.Width = 3;
  Canvas.Pen.Style = 0;
  Canvas.Pen.Mode = gfx::PenMode::NotXor;
  Canvas.Brush.Style = 1;
  for (int pass = 0; pass < Canvas.BlinkPasses; ++pass) {
    Canvas.Ellipse(sx - 10, sy - 10, sx + 10, sy + 10);
    Canvas.Flush();
    if (Canvas.BlinkPasses > 1) gfx::Delay(300);
  }
}

void TPointsLayer::GetObjectPoint(int RecordIndex, double& X, double& Y) {
  TPointFile(FullPath).OfRecord(RecordIndex, X, Y);
}

int TPointsLayer::FindNearestObject(TWorld&, const std::vector<int32_t>&, double X, double Y,
                                    int& Extra) {
  Extra = 0;
  double x = 0, y = 0;
  return NearestPoint(X, Y, nullptr, x, y);
}

int TPointsLayer::NearestPoint(double X, double Y, const TExtent* box, double& NearX,
                               double& NearY) const {
  const TPointFile file(FullPath);
  int found = -1;
  double best = std::numeric_limits<double>::infinity();
  for (const int i : file.Near(box)) {
    double x = 0, y = 0;
    int record = 0;
    file.At(i, x, y, record);
    if (box && !TWorld::PointInRect(box->XMin, box->YMin, box->XMax, box->YMax, x, y)) continue;
    const double d = TWorld::Distance(X, Y, x, y);
    if (d < best) { // strictly nearer: on a tie the earlier point stays
      best = d;
      found = record;
      NearX = x;
      NearY = y;
    }
  }
  return found;
}
