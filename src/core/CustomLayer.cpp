#include "CustomLayer.h"

#include "db/Table.h"

#include "base/ByteOrder.h"
#include "base/MappedFile.h"
#include "base/PathResolver.h"
#include "gfx/DrawHelpers.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

TCustomLayer::TCustomLayer() = default;

TCustomLayer::~TCustomLayer() {
  AttrTable.Close();
  if (ObjectUtils) {
    ObjectUtils->Finish();
    ObjectUtils.reset();
  }
}

void TCustomLayer::LoadFromDataSet(db::Table& DataSet, const QString& MapsDir) {
  DatabaseName = DataSet.DatabaseName();
  Level = int32_t(DataSet.FieldByName("Level").AsInteger());
  Category = int16_t(DataSet.FieldByName("Category").AsInteger());
  Class = int32_t(DataSet.FieldByName("Class").AsInteger());
  ClassName = DataSet.FieldByName("ClassName").AsString();
  PrimitiveType = int16_t(DataSet.FieldByName("PrimitiveType").AsInteger());
  FileName = DataSet.FieldByName("FileName").AsString();
  RenderType = int32_t(DataSet.FieldByName("RenderType").AsInteger());
  Visibled = DataSet.FieldByName("Visibled").AsBoolean();
  VisibleLabel = DataSet.FieldByName("VisibleLabel").AsBoolean();
  Selected = DataSet.FieldByName("Selected").AsBoolean();
  IsIndexed = DataSet.FieldByName("IsIndexed").AsBoolean();
  ZoomInScale = DataSet.FieldByName("ZoomInScale").AsFloat();
  ZoomOutScale = DataSet.FieldByName("ZoomOutScale").AsFloat();
  X0 = DataSet.FieldByName("X0").AsFloat();
  Y0 = DataSet.FieldByName("Y0").AsFloat();
  Xm = DataSet.FieldByName("Xm").AsFloat();
  Ym = DataSet.FieldByName("Ym").AsFloat();
  TextFieldLabel = DataSet.FieldByName("TextFieldLabel").AsString();
  TextLabelAngle = DataSet.FieldByName("TextLabelAngle").AsFloat();
  ZoomInLabelScale = DataSet.FieldByName("ZoomInLabelScale").AsFloat();
  TextFont = DataSet.FieldByName("TextFont").AsString();
  TextColor = int32_t(DataSet.FieldByName("TextColor").AsInteger());
  TextFontSize = DataSet.FieldByName("TextFontSize").AsFloat();
  TextFontBold = DataSet.FieldByName("TextFontBold").AsBoolean();
  TextFontItalic = DataSet.FieldByName("TextFontItalic").AsBoolean();
  TextFontUnderline = DataSet.FieldByName("TextFontUnderline").AsBoolean();
  TextFontStrikeOut = DataSet.FieldByName("TextFontStrikeOut").AsBoolean();
  TextInBox = DataSet.FieldByName("TextInBox").AsBoolean();
  TextCharSet = int16_t(DataSet.FieldByName("TextCharSet").AsInteger());
  XLabel = int16_t(DataSet.FieldByName("XLabel").AsInteger());
  YLabel = int16_t(DataSet.FieldByName("YLabel").AsInteger());
  TextLabelScale = DataSet.FieldByName("TextLabelScale").AsBoolean();
  Shadow = int16_t(DataSet.FieldByName("Shadow").AsInteger());
  ObjUtilsGUID = DataSet.FieldByName("ObjUtilsGUID").AsString().trimmed();

  if (!ObjUtilsGUID.isEmpty()) {
    plugins::ObjectUtilsContext context{MapsDir, FileName, Category, Class, ClassName};
    ObjectUtils = plugins::ObjectUtilsRegistry::Instance().Create(ObjUtilsGUID, context);
  }
  if (base::FileExtension(FileName) == ".SHP") FileName = base::ChangeExtension(FileName, ".mds");
  FullPath = base::ResolvePath(MapsDir, FileName);
  if (base::FileExtension(FileName) == ".MDS") {
    AttrTable.Close();
    AttrTable.SetDatabaseName(MapsDir);
    AttrTable.SetTableName(base::ChangeExtension(FileName, ".DBF"));
    // Only the header is read now (a missing or broken table still stops the layer here); the
    // rows when a label, a size or a code is first asked for.
    db::OpenTableFile(base::ResolvePath(MapsDir, AttrTable.TableName()));
    ReadGeometryHeader();
  }
}

QString TCustomLayer::CompanionPath(const QString& ending) const {
  const QFileInfo geometry(FullPath);
  const QString name = geometry.fileName();
  return base::ResolvePath(geometry.path(),
                           name.left(std::max<qsizetype>(0, name.size() - 3)) + ending);
}

void TCustomLayer::ReadGeometryHeader() {
  base::MappedFile file(FullPath);
  base::BinaryReader r(file);
  r.U32BE(); // file code, 9994 in files of this layout (not checked)
  r.Skip(20);
  r.U32BE(); // file length in 16-bit words
  r.U32LE(); // version
  PrimitiveType = int16_t(r.U32LE() & 0xFFFF);
  X0 = r.DoubleLE();
  Y0 = r.DoubleLE();
  Xm = r.DoubleLE();
  Ym = r.DoubleLE();
}

void TCustomLayer::SaveToDataSet(db::Table& DataSet) {
  DataSet.Edit();
  DataSet.FieldByName("Category").SetAsInteger(Category);
  DataSet.FieldByName("Class").SetAsInteger(Class);
  DataSet.FieldByName("ClassName").SetAsString(ClassName);
  DataSet.FieldByName("PrimitiveType").SetAsInteger(PrimitiveType);
  DataSet.FieldByName("FileName").SetAsString(FileName);
  DataSet.FieldByName("X0").SetAsFloat(X0);
  DataSet.FieldByName("Y0").SetAsFloat(Y0);
  DataSet.FieldByName("Xm").SetAsFloat(Xm);
  DataSet.FieldByName("Ym").SetAsFloat(Ym);
  DataSet.FieldByName("Visibled").SetAsBoolean(Visibled);
  DataSet.FieldByName("VisibleLabel").SetAsBoolean(VisibleLabel);
  DataSet.FieldByName("Selected").SetAsBoolean(Selected);
  DataSet.FieldByName("IsIndexed").SetAsBoolean(IsIndexed);
  DataSet.FieldByName("ZoomInScale").SetAsFloat(ZoomInScale);
  DataSet.FieldByName("ZoomOutScale").SetAsFloat(ZoomOutScale);
  DataSet.FieldByName("TextFieldLabel").SetAsString(TextFieldLabel);
  DataSet.FieldByName("TextLabelAngle").SetAsFloat(TextLabelAngle);
  DataSet.FieldByName("ZoomInLabelScale").SetAsFloat(ZoomInLabelScale);
  DataSet.FieldByName("TextFont").SetAsString(TextFont);
  DataSet.FieldByName("TextColor").SetAsInteger(TextColor);
  DataSet.FieldByName("TextFontSize").SetAsFloat(TextFontSize);
  DataSet.FieldByName("TextFontBold").SetAsBoolean(TextFontBold);
  DataSet.FieldByName("TextFontItalic").SetAsBoolean(TextFontItalic);
  DataSet.FieldByName("TextFontUnderline").SetAsBoolean(TextFontUnderline);
  DataSet.FieldByName("XLabel").SetAsInteger(XLabel);
  DataSet.FieldByName("YLabel").SetAsInteger(YLabel);
  DataSet.FieldByName("TextLabelScale").SetAsBoolean(TextLabelScale);
  DataSet.FieldByName("Shadow").SetAsInteger(Shadow);
  DataSet.Post();
  AttrTable.Close();
}

void TCustomLayer::FlashObject(int, gfx::Canvas&, TWorld&) {}
void TCustomLayer::Draw(gfx::Canvas&, TWorld&) {}
std::vector<TCustomLayer::TFound> TCustomLayer::FindObjects(gfx::Canvas& Canvas, TWorld& World,
                                                            double X, double Y) {
  const double foundX = FoundX, foundY = FoundY; // the layer's own, given back
  FoundX = FoundY = std::nan("");
  struct GiveBack {
    TCustomLayer* Layer;
    double X, Y;
    ~GiveBack() { Layer->FoundX = X, Layer->FoundY = Y; }
  } giveBack{this, foundX, foundY};
  const int record = FindObject(Canvas, World, X, Y, true, false);
  if (record < 0) return {};
  const bool point = FindsPoints() && std::isfinite(FoundX) && std::isfinite(FoundY);
  return {TFound{record, point ? FoundX : X, point ? FoundY : Y,
                 point ? std::hypot(FoundX - X, FoundY - Y) : 0}};
}

void TCustomLayer::SortNearestFirst(std::vector<TFound>& Found) {
  std::stable_sort(Found.begin(), Found.end(), [](const TFound& a, const TFound& b) {
    const long long da = std::llround(a.Distance * 1000), db = std::llround(b.Distance * 1000);
    return da != db ? da < db : a.RecordIndex < b.RecordIndex;
  });
}

bool TCustomLayer::RecordBox(int RecordIndex, TExtent& Box) {
  TWorld scratch; // located without moving any view
  const double foundX = FoundX, foundY = FoundY;
  const bool located = LocateRecord(RecordIndex, scratch);
  Box = {FoundX, FoundY, FoundX, FoundY};
  FoundX = foundX;
  FoundY = foundY;
  return located && std::isfinite(Box.XMin) && std::isfinite(Box.YMin);
}

int TCustomLayer::FindObject(gfx::Canvas&, TWorld&, double, double, bool, bool) {
  return -1;
}
bool TCustomLayer::LocateObject(int, TWorld&) {
  return true;
}
void TCustomLayer::MarkChanged() {
  Changed = true;
}
void TCustomLayer::GetObjectPoint(int, double&, double&) {}
void TCustomLayer::SelectObjectsInPolygon(const std::vector<TSelectionShape>&, TWorld&,
                                          const std::vector<int32_t>&,
                                          std::vector<TSelectionRecord>&) {}
int TCustomLayer::FindNearestObject(TWorld&, const std::vector<int32_t>&, double, double, int&) {
  return -1;
}
void TCustomLayer::SetObjectImage(int, int) {}
int TCustomLayer::GetObjectImage(int) {
  return -1;
}
TObjectInfo TCustomLayer::GetObjectInfo(int) {
  return TObjectInfo();
}

bool TCustomLayer::StylesCoverAll(const QString& path, int recordSize, int64_t objects) {
  return QFileInfo(path).size() >= objects * recordSize;
}

db::Table& TCustomLayer::Attributes() {
  if (!AttrTable.Active() && !AttrTable.TableName().isEmpty()) AttrTable.Open();
  return AttrTable;
}

int TCustomLayer::GetObjectCode(int RecordIndex) {
  if (RecordIndex < 0 || !Attributes().Active() || !AttrTable.FindField("ObjectCode")) return -1;
  // The record's own row: past the end, or deleted, there is none.
  const int row = AttrTable.PositionOfRecord(RecordIndex);
  if (row < 0) return -1;
  AttrTable.SetRecNo(row + 1);
  return int(AttrTable.FieldByName("ObjectCode").AsInteger());
}

int TCustomLayer::IndexOfCode(int ObjectCode) {
  return ObjectCode;
}

void TCustomLayer::ShowObjectCard(int ObjectCode) {
  if (!ObjectUtils) return;
  ObjectUtils->SelectObject(ObjectCode);
  ObjectUtils->ShowCard();
}

void TCustomLayer::ShowObjectList() {
  if (ObjectUtils) ObjectUtils->ShowList();
}

bool TCustomLayer::ScaleAllowsDrawing(double Scale) const {
  if (!Visibled) return false;
  if (ZoomInScale != 0 && ZoomInScale > Scale) return false;
  if (ZoomOutScale != 0 && ZoomOutScale < Scale) return false;
  return true;
}

bool TCustomLayer::ScaleAllowsLabels(double Scale) const {
  return ScaleAllowsDrawing(Scale) && VisibleLabel && !TextFieldLabel.isEmpty() &&
         !(ZoomInLabelScale != 0 && ZoomInLabelScale > Scale);
}

int TCustomLayer::Rounded(double v) {
  if (!std::isfinite(v) || std::fabs(v) > 1e6) return 0;
  return int(std::nearbyint(v));
}

int TCustomLayer::LabelFontSize(const TWorld& World) const {
  return std::max(1, Rounded(TextLabelScale ? TextFontSize * World.Scale : TextFontSize));
}

void TCustomLayer::TextOutAnchored(gfx::Canvas& Canvas, int X, int Y, int Angle,
                                   const QString& Text) const {
  if (XLabel == -1)
    Canvas.TextHAlign = gfx::HAlign::Right;
  else if (XLabel == 0)
    Canvas.TextHAlign = gfx::HAlign::Center;
  else if (XLabel == 1)
    Canvas.TextHAlign = gfx::HAlign::Left;
  Canvas.TextVAlign = gfx::VAlign::Top;
  const int h = Canvas.TextHeight(Text);
  if (YLabel == -1)
    Y -= h;
  else if (YLabel == 0)
    Y -= h / 2;
  // Other XLabel values leave the alignment as it was, for this label and the ones after it.
  gfx::TextOutAngle(Canvas, X, Y, Angle, Text);
}
