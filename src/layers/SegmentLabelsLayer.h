#pragma once
// Street names along the streets: on every repaint the street segments whose centres are in
// view are read from the segments table by their packed grid keys, each street's name is sized
// to its segment and turned with it, labels that would overlap are dropped, and each street
// keeps its longest visible segments that do not touch each other. The layer draws no geometry.

#include "core/CustomLayer.h"

#include <array>
#include <memory>
#include <vector>

// One loaded segment and the box of its label on the screen.
struct TLabelSegment {
  double X = 0, Y = 0; // world centre (XC, YC)
  double Length = 0;   // world units
  double Phi = 0;      // radians, counter-clockwise from +X
  QString Text;
  // Screen corners of the turned text box: P0–P1 the top edge along the text, P3–P2 the bottom.
  std::array<TWorldPoint, 4> Corners{};
  double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
  int16_t NodeBegin = 0, NodeEnd = 0;
  int16_t FontSize = 0;
};

using TLabelList = std::vector<std::unique_ptr<TLabelSegment>>;

class TSegmentLabelsLayer : public TCustomLayer {
public:
  static constexpr int kMinimumFontSize = 6;

  ~TSegmentLabelsLayer() override;
  // The base reading, then the segments table (FileName up to its first "." + "DB", in the
  // layers table's directory) opened, and the street dictionary "StreetDc.db" beside it.
  void LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) override;
  void Draw(gfx::Canvas& Canvas, TWorld& World) override;

  void SetStreetTable(const QString& Path);
  // Fills Labels with the segments of the current view, grouped by street; errors are swallowed
  // and what was loaded stays.
  void LoadVisibleSegments(const TWorld& World);
  // Reads the segments of the table's current range into Labels (`streets`: their texts).
  void ReadSegments(std::vector<QString>& streets);
  void ClearLabels() { Labels.clear(); }
  QString GetStreetLabel(int64_t StreetCode);
  static bool SharesNode(const TLabelSegment& Segment, const std::vector<TLabelSegment*>& List);
  // Keeps the street's longest fully visible label and those that touch none kept before.
  static void SelectStreetLabels(std::vector<TLabelSegment*>& List, const TWorld& World);
  static bool LabelCollides(const TLabelSegment& Candidate,
                            const std::vector<TLabelSegment*>& Placed);
  static uint32_t MakeSegmentKey(uint8_t Column, uint8_t Row, uint16_t Sequence);
  // The key as the table's long integer holds it: rows from 128 on are negative.
  static int64_t StoredKey(uint32_t Key);
  // The escapement of a direction: round(Phi / pi × 1800) tenths of a degree, 0 to 3599.
  static int Escapement(double Phi);

  // Fills the label geometry of a segment (FontSize, Corners, box) at base size q.
  void PlaceLabel(gfx::Canvas& Canvas, const TWorld& World, TLabelSegment& Segment, int q) const;
  // The labels that will be drawn, after the acceptance within and across streets.
  std::vector<TLabelSegment*> AcceptedLabels(int q) const;

  TExtent ViewRect{}; // the view the segments were last loaded for
  // The cells of the segments table's grid (1 to 255 across and up from the layer's origin) the
  // view covers: a segment's key is its cell's column and row and its number in the cell.
  uint8_t CellColMin = 0, CellRowMin = 0, CellColMax = 0, CellRowMax = 0;
  // A cell's size in map units, from the table's header record (fields XC, YC).
  double CellWidth = 0, CellHeight = 0;
  db::Table SegmentsTable; // the street segments keyed by cell
  db::Table StreetTable;   // the streets' types and names by street code
  TLabelList Labels;
  // The labels the last drawing wrote, in the order written.
  std::vector<TLabelSegment*> Drawn;

private:
  // The cell of a world point, kept within 1 … 255 (see the source).
  uint8_t CellColumn(double X) const;
  uint8_t CellRow(double Y) const;
  void SetLabelFont(gfx::Canvas& Canvas, int Size, double Phi) const;
  int BaseFontSize(const TWorld& World) const;
};
