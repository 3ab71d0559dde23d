#include "SegmentLabelsLayer.h"

#include "db/Error.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <deque>

namespace {

int Round(double v) {
  if (!std::isfinite(v) || std::fabs(v) > 1e9) return 0;
  return int(std::nearbyint(v)); // halves to the even neighbour
}

} // namespace

TSegmentLabelsLayer::~TSegmentLabelsLayer() {
  Drawn.clear();
  ClearLabels();
  SegmentsTable.Close();
  StreetTable.Close();
}

void TSegmentLabelsLayer::LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) {
  TCustomLayer::LoadFromDataSet(DataSet, MapsDir);
  PrimitiveType = 23; // the geometry header said polylines
  // "Streets.shp" gives "Streets.DB"; a name without a dot gets ".DB".
  const qsizetype dot = FileName.indexOf('.');
  const QString table = dot >= 0 ? FileName.left(dot + 1) + "DB" : FileName + ".DB";
  SegmentsTable.Close();
  SegmentsTable.SetDatabaseName(DatabaseName);
  SegmentsTable.SetTableName(table);
  SegmentsTable.Open();
  // The map control hands every such layer the street dictionary of the BASE directory, the
  // directory of the layers table.
  SetStreetTable(DatabaseName + "/StreetDc.db");
}

void TSegmentLabelsLayer::SetStreetTable(const QString& Path) {
  const QFileInfo file(Path);
  StreetTable.Close();
  StreetTable.SetDatabaseName(file.path());
  StreetTable.SetTableName(file.fileName());
  StreetTable.Open();
}

uint32_t TSegmentLabelsLayer::MakeSegmentKey(uint8_t Column, uint8_t Row, uint16_t Sequence) {
  return uint32_t(Row) << 24 | uint32_t(Column) << 16 | Sequence;
}

int TSegmentLabelsLayer::Escapement(double Phi) {
  const int e = Round(Phi / M_PI * 1800);
  return e < 0 ? e + 3600 : e;
}

// Cells are counted from 1 from the layer's origin and addressed by 8 bits. A view reaching
// beyond the grid on either side takes the grid's first or last cell (1 or 255), so that the
// key range still covers every addressable cell of the view instead of wrapping around.
uint8_t TSegmentLabelsLayer::CellColumn(double X) const {
  const double c = std::trunc((X - X0) / CellWidth) + 1;
  return uint8_t(std::clamp(std::isfinite(c) ? c : 1.0, 1.0, 255.0));
}

uint8_t TSegmentLabelsLayer::CellRow(double Y) const {
  const double r = std::trunc((Y - Y0) / CellHeight) + 1;
  return uint8_t(std::clamp(std::isfinite(r) ? r : 1.0, 1.0, 255.0));
}

QString TSegmentLabelsLayer::GetStreetLabel(int64_t StreetCode) {
  if (!StreetTable.Active() || !StreetTable.FindKey({StreetCode})) return QString();
  const QString street = StreetTable.FieldByName("STREET").AsString();
  if (street.isEmpty()) return QString();
  return StreetTable.FieldByName("TYPE").AsString() + " " + street;
}

int64_t TSegmentLabelsLayer::StoredKey(uint32_t Key) {
  return int64_t(int32_t(Key));
}

void TSegmentLabelsLayer::LoadVisibleSegments(const TWorld& World) {
  try {
    ViewRect = World.VisibleExtent;
    SegmentsTable.CancelRange();
    // The header record holds the cell size: the record of key 0, which no segment has (cells
    // count from 1), else the first in key order.
    if (!SegmentsTable.FindKey({int64_t(0)})) SegmentsTable.First();
    CellWidth = SegmentsTable.FieldByName("XC").AsFloat();
    CellHeight = SegmentsTable.FieldByName("YC").AsFloat();
    Drawn.clear();
    ClearLabels();
    if (!(CellWidth > 0) || !(CellHeight > 0)) return;
    CellColMin = CellColumn(ViewRect.XMin);
    CellRowMin = CellRow(ViewRect.YMin);
    CellColMax = CellColumn(ViewRect.XMax);
    CellRowMax = CellRow(ViewRect.YMax);
    // A Paradox long integer holds the keys of rows 128 to 255 as negative numbers, which sort
    // before those of rows 1 to 127: a view across row 128 is two ranges of the key.
    const int64_t low = StoredKey(MakeSegmentKey(CellColMin, CellRowMin, 0));
    const int64_t high = StoredKey(MakeSegmentKey(CellColMax, CellRowMax, 1000));
    std::vector<std::pair<int64_t, int64_t>> ranges{{low, high}};
    if (low > high) ranges = {{INT32_MIN + int64_t(1), high}, {low, int64_t(INT32_MAX)}};
    SegmentsTable.Refresh();
    std::vector<QString> streets; // the labels seen so far, parallel to Labels
    for (const auto& [from, to] : ranges) {
      SegmentsTable.SetRange({from}, {to});
      ReadSegments(streets);
    }
  } catch (const std::exception&) {
    // What was loaded is drawn.
  }
  try {
    SegmentsTable.CancelRange();
  } catch (const std::exception&) {
  }
}

void TSegmentLabelsLayer::ReadSegments(std::vector<QString>& streets) {
  db::Table& t = SegmentsTable;
  const size_t street = t.FieldByName("STREETCODE").FieldNo(), xc = t.FieldByName("XC").FieldNo(),
               yc = t.FieldByName("YC").FieldNo(), length = t.FieldByName("LENGTH").FieldNo(),
               phi = t.FieldByName("PHI").FieldNo(), begin = t.FieldByName("NODEBEGIN").FieldNo(),
               end = t.FieldByName("NODEEND").FieldNo();
  for (int i = 0; i < t.RecordCount(); ++i) {
    auto s = std::make_unique<TLabelSegment>();
    s->X = db::ValueToFloat(t.ValueAt(i, xc));
    s->Y = db::ValueToFloat(t.ValueAt(i, yc));
    s->Length = db::ValueToFloat(t.ValueAt(i, length));
    s->Phi = db::ValueToFloat(t.ValueAt(i, phi));
    s->NodeBegin = int16_t(db::ValueToInteger(t.ValueAt(i, begin)));
    s->NodeEnd = int16_t(db::ValueToInteger(t.ValueAt(i, end)));
    s->Text = GetStreetLabel(db::ValueToInteger(t.ValueAt(i, street)));
    if (s->Text.isEmpty() || !TWorld::PointInRect(ViewRect.XMin, ViewRect.YMin, ViewRect.XMax,
                                                  ViewRect.YMax, s->X, s->Y))
      continue;
    // A street's segments stand together, the most recently read first.
    const auto seen = std::find_if(streets.begin(), streets.end(), [&](const QString& n) {
      return n.compare(s->Text, Qt::CaseInsensitive) == 0;
    });
    if (seen == streets.end()) {
      streets.push_back(s->Text);
      Labels.push_back(std::move(s));
    } else {
      const auto at = seen - streets.begin();
      streets.insert(streets.begin() + at, s->Text);
      Labels.insert(Labels.begin() + at, std::move(s));
    }
  }
}

int TSegmentLabelsLayer::BaseFontSize(const TWorld& World) const {
  const int q = TextLabelScale ? World.LengthToScreen(TextFontSize) : Round(TextFontSize);
  return std::max(q, 1);
}

void TSegmentLabelsLayer::SetLabelFont(gfx::Canvas& Canvas, int Size, double Phi) const {
  Canvas.Brush.Style = TextInBox ? 0 : 1;
  Canvas.Font.Name = TextFont;
  Canvas.Font.Color = uint32_t(TextColor);
  Canvas.Font.CharSet = TextCharSet & 0xFF;
  Canvas.Font.Size = Size;
  Canvas.Font.Bold = TextFontBold;
  Canvas.Font.Italic = TextFontItalic;
  Canvas.Font.Underline = TextFontUnderline;
  Canvas.Font.StrikeOut = TextFontStrikeOut;
  Canvas.Font.Escapement = Escapement(Phi);
  Canvas.TextHAlign = gfx::HAlign::Center;
  Canvas.TextVAlign = gfx::VAlign::Top;
}

void TSegmentLabelsLayer::PlaceLabel(gfx::Canvas& Canvas, const TWorld& World, TLabelSegment& s,
                                     int q) const {
  SetLabelFont(Canvas, q, s.Phi);
  const int w = Round(World.Scale * s.Length);
  int tw = Canvas.TextWidth(s.Text);
  s.FontSize = int16_t(q);
  if (w < tw && tw > 0)
    s.FontSize = int16_t(std::max(int(std::trunc(double(q) * w / tw)), kMinimumFontSize));
  SetLabelFont(Canvas, s.FontSize, s.Phi);
  tw = Canvas.TextWidth(s.Text);
  const int h = Canvas.TextHeight(s.Text);
  const double c = std::cos(s.Phi), n = std::sin(s.Phi);
  // The middle of the text's top edge, so that the text is centred on the segment's centre.
  const int x = World.WorldToScreenX(s.X) - Round(n * h / 2);
  const int y = World.WorldToScreenY(s.Y) - Round(c * h / 2);
  const TWorldPoint p0{double(x - Round(c * tw / 2)), double(y + Round(n * tw / 2))};
  const TWorldPoint p1{double(x + Round(c * tw / 2)), double(y - Round(n * tw / 2))};
  const TWorldPoint down{double(Round(n * h)), double(Round(c * h))};
  s.Corners = {p0, p1, TWorldPoint{p1.X + down.X, p1.Y + down.Y},
               TWorldPoint{p0.X + down.X, p0.Y + down.Y}};
  s.MinX = s.MaxX = p0.X;
  s.MinY = s.MaxY = p0.Y;
  for (const TWorldPoint& p : s.Corners) {
    s.MinX = std::min(s.MinX, p.X), s.MaxX = std::max(s.MaxX, p.X);
    s.MinY = std::min(s.MinY, p.Y), s.MaxY = std::max(s.MaxY, p.Y);
  }
}

std::vector<TLabelSegment*> TSegmentLabelsLayer::AcceptedLabels(int q) const {
  std::vector<TLabelSegment*> accepted, shrunk, busy, final;
  // A street's shrunk labels come after its full-size ones; a street with one label keeps it,
  // the labels of busier streets wait for the rest.
  const auto endStreet = [&] {
    for (TLabelSegment* s : shrunk)
      if (!LabelCollides(*s, accepted)) accepted.push_back(s);
    if (accepted.size() == 1)
      final.push_back(accepted.front());
    else
      busy.insert(busy.end(), accepted.begin(), accepted.end());
    accepted.clear();
    shrunk.clear();
  };
  const QString* street = nullptr;
  for (const auto& label : Labels) {
    TLabelSegment* s = label.get();
    const bool sameStreet = street && s->Text == *street;
    if (!sameStreet) {
      if (street) endStreet();
      street = &s->Text;
    }
    if (s->FontSize < q)
      shrunk.push_back(s);
    else if (!sameStreet || !LabelCollides(*s, accepted))
      accepted.push_back(s);
  }
  if (street) endStreet();
  for (TLabelSegment* s : busy)
    if (!LabelCollides(*s, final)) final.push_back(s);
  return final;
}

void TSegmentLabelsLayer::Draw(gfx::Canvas& Canvas, TWorld& World) {
  const double s = World.Scale;
  if (!Visibled || !VisibleLabel) return;
  if ((ZoomInScale != 0 && s < ZoomInScale) || (ZoomOutScale != 0 && s > ZoomOutScale) ||
      (ZoomInLabelScale != 0 && s < ZoomInLabelScale))
    return;
  Drawn.clear();
  LoadVisibleSegments(World);
  const int q = BaseFontSize(World);
  for (const auto& label : Labels)
    PlaceLabel(Canvas, World, *label, q);
  std::vector<TLabelSegment*> final = AcceptedLabels(q);
  // The final labels by runs of one street, each run reduced to the segments worth labelling.
  for (size_t start = 0; start < final.size();) {
    size_t end = start + 1;
    while (end < final.size() && final[end]->Text == final[start]->Text)
      ++end;
    std::vector<TLabelSegment*> run(final.begin() + long(start), final.begin() + long(end));
    SelectStreetLabels(run, World);
    for (TLabelSegment* l : run) {
      Drawn.push_back(l);
      SetLabelFont(Canvas, l->FontSize, l->Phi);
      const int h = Canvas.TextHeight(l->Text);
      Canvas.TextOut(World.WorldToScreenX(l->X) - Round(std::sin(l->Phi) * h / 2),
                     World.WorldToScreenY(l->Y) - Round(std::cos(l->Phi) * h / 2), l->Text);
    }
    start = end;
  }
  Canvas.Font.Escapement = 0;
  Canvas.TextHAlign = gfx::HAlign::Left;
}

bool TSegmentLabelsLayer::SharesNode(const TLabelSegment& g,
                                     const std::vector<TLabelSegment*>& List) {
  return std::any_of(List.begin(), List.end(), [&](const TLabelSegment* p) {
    return p->NodeBegin == g.NodeBegin || g.NodeBegin == p->NodeEnd || p->NodeBegin == g.NodeEnd ||
           g.NodeEnd == p->NodeEnd;
  });
}

void TSegmentLabelsLayer::SelectStreetLabels(std::vector<TLabelSegment*>& List,
                                             const TWorld& World) {
  if (List.size() < 2) return;
  const auto key = [&](const TLabelSegment* l) {
    const bool onCanvas = std::all_of(l->Corners.begin(), l->Corners.end(), [&](auto& p) {
      return p.X >= 0 && p.X <= World.ScreenWidth && p.Y >= 0 && p.Y <= World.ScreenHeight;
    });
    return onCanvas ? l->Length : 0.0;
  };
  // The quicksort of the ranges queue, first in first out; the order of equal keys follows it.
  std::deque<std::pair<int, int>> ranges{{0, int(List.size()) - 1}};
  while (!ranges.empty()) {
    const auto [lo, hi] = ranges.front();
    ranges.pop_front();
    int i = lo, j = hi;
    bool flag = false;
    while (i != j) {
      if (key(List[size_t(i)]) > key(List[size_t(j)])) {
        std::swap(List[size_t(i)], List[size_t(j)]);
        flag = !flag;
      }
      if (flag)
        ++i;
      else
        --j;
    }
    if (lo < i - 1) ranges.push_back({lo, i - 1});
    if (i + 1 < hi) ranges.push_back({i + 1, hi});
  }
  std::vector<TLabelSegment*> kept{List.back()};
  for (int k = int(List.size()) - 2; k >= 0; --k)
    if (!SharesNode(*List[size_t(k)], kept)) kept.push_back(List[size_t(k)]);
  List = std::move(kept);
}

bool TSegmentLabelsLayer::LabelCollides(const TLabelSegment& c,
                                        const std::vector<TLabelSegment*>& Placed) {
  const auto middle = [](const TWorldPoint& a, const TWorldPoint& b) {
    return TWorldPoint{(a.X + b.X) / 2, (a.Y + b.Y) / 2};
  };
  const auto ring = [](const TLabelSegment& l) {
    return std::array<TWorldPoint, 5>{l.Corners[0], l.Corners[1], l.Corners[2], l.Corners[3],
                                      l.Corners[0]};
  };
  const auto cornerInside = [&](const TLabelSegment& a, const TLabelSegment& box) {
    const auto r = ring(box);
    return std::any_of(a.Corners.begin(), a.Corners.end(), [&](const TWorldPoint& p) {
      return TWorld::PointInPolygon(r, 5, p.X, p.Y);
    });
  };
  for (const TLabelSegment* p : Placed) {
    if (!(p->MinX <= c.MaxX && p->MaxX >= c.MinX && p->MinY <= c.MaxY && p->MaxY >= c.MinY))
      continue;
    TWorldPoint r1{}, r2{};
    const int crossing = TWorld::SegmentIntersection(
        middle(c.Corners[0], c.Corners[3]), middle(c.Corners[1], c.Corners[2]),
        middle(p->Corners[0], p->Corners[3]), middle(p->Corners[1], p->Corners[2]), r1, r2);
    if ((crossing != 0 && crossing != 2) || cornerInside(*p, c) || cornerInside(c, *p)) return true;
  }
  return false;
}
