#include "LayerPanels.h"
#include "ClassSample.h"
#include "PanelNodes.h"

#include "data/DataModule.h"
#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "gfx/Canvas.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <cmath>
#include <exception>

namespace {

constexpr int kItemHeight = 16;
constexpr uint32_t kSilver = 0x00C0C0C0;
constexpr uint32_t kActiveLine = 0x00E0FFFF; // pale yellow (red in the lowest byte)
constexpr uint32_t kGrey = 0x00808080;

// Draws a panel line through the panels' item drawing, on a picture of the line, and the focus
// rectangle of the selected line (the item drawing itself never shows the selection).
class PanelDelegate : public QStyledItemDelegate {
public:
  using DrawItem = std::function<void(gfx::Canvas&, int, const QRect&)>;
  PanelDelegate(QObject* parent, DrawItem draw)
      : QStyledItemDelegate(parent), Draw(std::move(draw)) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QRect r(0, 0, option.rect.width(), option.rect.height());
    QImage picture(r.size(), QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
      gfx::Canvas canvas(picture);
      canvas.Font.Name = "MS Sans Serif";
      canvas.Font.Size = 9; // height -12 at 96 dots per inch
      try {
        Draw(canvas, index.row(), r);
      } catch (const std::exception&) {
        // A line that cannot be drawn stays blank; the list goes on.
      }
    }
    painter->drawImage(option.rect.topLeft(), picture);
    if (option.state & QStyle::State_HasFocus) {
      QStyleOptionFocusRect focus;
      focus.rect = option.rect;
      focus.state = option.state;
      QApplication::style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter);
    }
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    return {option.rect.width(), kItemHeight};
  }

private:
  DrawItem Draw;
};

void SetUpList(QListWidget& list, const QString& hint) {
  list.setToolTip(hint);
  list.setSelectionMode(QAbstractItemView::SingleSelection);
  list.setUniformItemSizes(true);
  list.setSortingEnabled(false);
  list.setStyleSheet("QListWidget { background: #C0C0C0; }");
  list.setContextMenuPolicy(Qt::CustomContextMenu);
  list.viewport()->setMouseTracking(false);
}

void FillItems(QListWidget& list, size_t count) {
  list.clear();
  for (size_t i = 0; i < count; ++i)
    list.addItem(QString());
}

// The first class line of a list with that category and class.
TClassObject* FirstClassNode(TNodeList& list, int category, int cls) {
  for (TNodeLine& line : list)
    if (auto* c = dynamic_cast<TClassObject*>(line.Node.get()))
      if (c->Category == category && c->Class == cls) return c;
  return nullptr;
}

QChar Kind(const TNodeList& list, int index) {
  if (index < 0 || index >= int(list.size()) || list[size_t(index)].Text.isEmpty()) return {};
  return list[size_t(index)].Text[0];
}

} // namespace

TLayerPanels::TLayerPanels(TDataModuleVANDREL& data, TFAMap& map, QListWidget& layers,
                           QListWidget& objects)
    : QObject(&layers), Data(data), Map(map), lboxLayers(layers), lboxObjects(objects) {
  ImageCheck = QImage(":/glyphs/check.xpm").convertToFormat(QImage::Format_ARGB32);
  ImageOpenClose = QImage(":/glyphs/openclose.xpm").convertToFormat(QImage::Format_ARGB32);
  SetUpList(lboxObjects, QString::fromUtf8("Панель класифікації об'єктів"));
  SetUpList(lboxLayers, QString::fromUtf8("Панель шарів карти в порядку виводу на екран"));
  lboxLayers.setItemDelegate(new PanelDelegate(
      &lboxLayers, [this](gfx::Canvas& c, int i, const QRect& r) { lboxLayersDrawItem(c, i, r); }));
  lboxObjects.setItemDelegate(
      new PanelDelegate(&lboxObjects, [this](gfx::Canvas& c, int i, const QRect& r) {
        lboxObjectsDrawItem(c, i, r);
      }));
  LayersViewport = lboxLayers.viewport();
  ObjectsViewport = lboxObjects.viewport();
  LayersViewport->installEventFilter(this);
  ObjectsViewport->installEventFilter(this);
  BuildMenus();
  RebuildLayerList();
  RebuildTree();
}

TLayerPanels::~TLayerPanels() {
  if (ObjectsViewport) ObjectsViewport->removeEventFilter(this);
}

void TLayerPanels::RebuildLayerList() {
  ClearNodeList(LayerNodes);
  FillLayerList(Data.TableClasses, LayerNodes);
  const int current = lboxLayers.currentRow();
  FillItems(lboxLayers, LayerNodes.size());
  if (current >= 0 && current < lboxLayers.count()) lboxLayers.setCurrentRow(current);
}

void TLayerPanels::RebuildTree() {
  ClearTreeList(TreeNodes);
  FillTreeList({Data.TableCategory, Data.TableClasses, Data.TableGroup}, TreeNodes);
  const int current = lboxObjects.currentRow();
  FillItems(lboxObjects, TreeNodes.size());
  if (current >= 0 && current < lboxObjects.count()) lboxObjects.setCurrentRow(current);
}

bool TLayerPanels::Editable() const {
  return Data.WorkMode == 0;
}

void TLayerPanels::Repaint() {
  lboxLayers.viewport()->update();
  lboxObjects.viewport()->update();
}

// ---------------------------------------------------------------- drawing

void TLayerPanels::CopyGlyph(gfx::Canvas& canvas, const QImage& strip, bool left, const QRect& to) {
  const QRect from = left ? OnGlyphRect : OffGlyphRect;
  canvas.CopyRect(to, strip, from);
}

bool TLayerPanels::IsActiveClass(int category, int cls) const {
  const int active = Map.ActiveLayer;
  if (active < 0 || active >= int(Map.Layers.size())) return false;
  const TCustomLayer& layer = *Map.Layers[size_t(active)];
  return layer.Category == category && layer.Class == cls;
}

QString TLayerPanels::FailureOf(const TClassObject& c) const {
  return Map.Content.FailureOf(c.Category, c.Class);
}

void TLayerPanels::DrawClassName(gfx::Canvas& canvas, int x, int y, const TClassObject& c) {
  // The active layer's name in bold; a failed layer's in grey, whatever its switch says.
  const gfx::FontState saved = canvas.Font;
  canvas.Font.Bold = IsActiveClass(c.Category, c.Class);
  if (!FailureOf(c).isEmpty()) canvas.Font.Color = kGrey;
  canvas.TextOut(x, y, c.ClassName);
  canvas.Font.Bold = saved.Bold;
  canvas.Font.Color = saved.Color;
}

void TLayerPanels::FillLine(gfx::Canvas& canvas, const QRect& r, bool active) {
  canvas.Brush.Color = active ? kActiveLine : kSilver;
  canvas.Brush.Style = 0;
  canvas.FillRect(r.left(), r.top(), r.right() + 1, r.bottom() + 1);
}

void TLayerPanels::lboxLayersDrawItem(gfx::Canvas& canvas, int index, const QRect& r) {
  const TClassObject* c = NodeAt<TClassObject>(LayerNodes, index);
  if (!c) return;
  const int bottom = r.bottom() + 1;
  FillLine(canvas, r, IsActiveClass(c->Category, c->Class));
  DrawClassSample(canvas, *c, 23, r, r.top() + 1);
  canvas.Brush.Style = 1;
  CopyGlyph(canvas, ImageCheck, c->Visibled && FailureOf(*c).isEmpty(),
            QRect(QPoint(r.left() + 1, r.top()), QPoint(16, bottom - 1)));
  DrawClassName(canvas, 55, r.top(), *c);
}

void TLayerPanels::lboxObjectsDrawItem(gfx::Canvas& canvas, int index, const QRect& r) {
  if (index < 0 || index >= int(TreeNodes.size())) return;
  const QChar kind = Kind(TreeNodes, index);
  const int indent = kind == '+' ? 0 : 25;
  const int bottom = r.bottom() + 1;
  const int middle = int(std::lround(r.top() + (bottom - r.top()) / 2.0));
  const bool last = index == int(TreeNodes.size()) - 1;
  const auto* line = NodeAt<TClassObject>(TreeNodes, index);
  FillLine(canvas, r, line && IsActiveClass(line->Category, line->Class));
  canvas.Pen = gfx::PenState{};
  if (kind == '-') {
    TreeEndIndex = index;
    for (int k = index + 1; k < int(TreeNodes.size()); ++k)
      if (Kind(TreeNodes, k) == '+' || Kind(TreeNodes, k) == '-') {
        TreeEndIndex = k;
        break;
      }
    const bool trunkEnds = last || Kind(TreeNodes, index + 1) == '+' || TreeEndIndex == index;
    canvas.MoveTo(r.left() + 5, r.top());
    canvas.LineTo(r.left() + 5, trunkEnds ? middle : bottom);
    canvas.MoveTo(r.left() + 5, middle);
    canvas.LineTo(r.left() + 25, middle);
    DrawClassSample(canvas, *NodeAt<TClassObject>(TreeNodes, index), 48, r, r.top());
  } else if (kind == '_') {
    const TGroupObject& g = *NodeAt<TGroupObject>(TreeNodes, index);
    if (index < TreeEndIndex) {
      canvas.MoveTo(r.left() + 5, r.top());
      canvas.LineTo(r.left() + 5, bottom);
    }
    canvas.Pen.Style = 2;
    const bool branchEnds = last || Kind(TreeNodes, index + 1) != '_';
    canvas.MoveTo(indent + 5, r.top());
    canvas.LineTo(indent + 5, branchEnds ? middle : bottom);
    canvas.MoveTo(indent + 5, middle);
    canvas.LineTo(indent + 20, middle);
    canvas.Pen.Style = 0;
    // A group without a font of its own is drawn in its class's, as the map draws it.
    const TClassObject* owner = FirstClassNode(TreeNodes, g.Category, g.Class);
    const QString font = g.SymbolFont.isEmpty() && owner ? owner->CharFont : g.SymbolFont;
    DrawSampleSymbol(canvas, 48, r.top(), g.Symbol_Code, font, g.CharFontColor);
  }
  canvas.Brush.Style = 1;
  if (const auto* category = NodeAt<TCategoryObject>(TreeNodes, index)) {
    CopyGlyph(canvas, ImageOpenClose, category->OpenTree,
              QRect(QPoint(r.left(), r.top()), QPoint(15, bottom - 1)));
    CopyGlyph(canvas, ImageCheck, category->Visibled,
              QRect(QPoint(20, r.top()), QPoint(35, bottom - 1)));
    canvas.Font.Bold = true;
    canvas.TextOut(40, r.top(), category->CategoryName);
    canvas.Font.Bold = false;
  } else if (const auto* c = NodeAt<TClassObject>(TreeNodes, index)) {
    CopyGlyph(canvas, ImageCheck, c->Visibled && FailureOf(*c).isEmpty(),
              QRect(QPoint(r.left() + 25, r.top()), QPoint(40, bottom - 1)));
    canvas.Font.Underline = true;
    DrawClassName(canvas, 80, r.top(), *c);
    canvas.Font.Underline = false;
  } else if (const auto* g = NodeAt<TGroupObject>(TreeNodes, index)) {
    canvas.TextOut(70, r.top(), g->GroupName);
  }
}

// ---------------------------------------------------------------- the tree's clicks

void TLayerPanels::SetObjectsLineStates(int index) {
  if (NodeAt<TCategoryObject>(TreeNodes, index)) {
    Action("ppmiObjListObjects")->setEnabled(false);
    Action("ppmiChgSymbObjects")->setVisible(false);
  } else if (auto* c = NodeAt<TClassObject>(TreeNodes, index)) {
    Map.ActiveLayer = MapLayerOf(c->Category, c->Class);
    Action("ppmiObjListObjects")->setEnabled(c->ListType != 0);
    Action("ppmiChgSymbObjects")->setVisible(c->Category >= 100 && Editable());
  } else if (auto* g = NodeAt<TGroupObject>(TreeNodes, index)) {
    Map.ActiveLayer = MapLayerOf(g->Category, g->Class);
    Action("ppmiObjListObjects")->setEnabled(true);
    Action("ppmiChgSymbObjects")->setVisible(Editable());
  }
  Repaint();
}

void TLayerPanels::lboxObjectsMouseUp(int x) {
  const int index = SelectedIndex(lboxObjects);
  if (index < 0) return;
  try {
    SetObjectsLineStates(index);
    if (auto* category = NodeAt<TCategoryObject>(TreeNodes, index)) {
      if (x > 40) return;
      if (x < 20)
        ToggleCategoryOpen(index, *category);
      else
        ToggleCategoryVisible(index, *category);
    } else if (auto* c = NodeAt<TClassObject>(TreeNodes, index)) {
      if (x >= 25 && x < 40) ToggleClassVisible(*c);
    }
  } catch (const std::exception&) {
    // The lists keep the state they reached.
  }
}

bool TLayerPanels::WriteState(const std::function<void()>& write) {
  try {
    write();
    return true;
  } catch (const std::exception& e) {
    // The row being written is given up; the list shows what the tables hold.
    for (db::Table* t : {&Data.TableCategory, &Data.TableClasses, &Data.TableGroup})
      t->Cancel();
    base::UserMessages::Current().ShowMessage(QString::fromUtf8("Ошибка записи в БД!\n") +
                                              QString::fromUtf8(e.what()));
    return false;
  }
}

void TLayerPanels::ToggleCategoryOpen(int index, TCategoryObject& category) {
  category.OpenTree = !category.OpenTree;
  if (Editable()) {
    if (!WriteState(
            [&] { SetCategoryOpen(Data.TableCategory, category.Category, category.OpenTree); })) {
      category.OpenTree = !category.OpenTree; // the folder as it was
      Repaint();
      return;
    }
    RebuildTree();
  } else if (category.OpenTree) {
    // The category's classes are read into the tree under it, in memory only.
    int p = 0;
    db::Table& categories = Data.TableCategory;
    for (categories.First(); !categories.Eof(); categories.Next(), ++p)
      if (categories.FieldByName("Category").AsInteger() == category.Category) break;
    TNodeList inserted;
    AppendCategoryClasses({Data.TableCategory, Data.TableClasses, Data.TableGroup},
                          category.Category, p, inserted);
    const auto at = TreeNodes.begin() + index + 1;
    TreeNodes.insert(at, std::make_move_iterator(inserted.begin()),
                     std::make_move_iterator(inserted.end()));
    FillItems(lboxObjects, TreeNodes.size());
    lboxObjects.setCurrentRow(index);
  } else {
    int end = index + 1;
    while (end < int(TreeNodes.size()) && Kind(TreeNodes, end) != '+')
      ++end;
    TreeNodes.erase(TreeNodes.begin() + index + 1, TreeNodes.begin() + end);
    FillItems(lboxObjects, TreeNodes.size());
    lboxObjects.setCurrentRow(index);
  }
  Repaint();
}

void TLayerPanels::ToggleCategoryVisible(int index, TCategoryObject& category) {
  category.Visibled = !category.Visibled;
  if (Editable()) {
    WriteState([&] {
      SetCategoryVisibled({Data.TableCategory, Data.TableClasses, Data.TableGroup},
                          category.Category, category.Visibled);
    });
    // Written or not, the lists and the map are read again: the lamps show what the tables hold.
    ReloadMapAndRedraw();
    RebuildTree();
    RebuildLayerList();
  } else {
    for (int k = index + 1; k < int(TreeNodes.size()) && Kind(TreeNodes, k) != '+'; ++k)
      if (auto* c = NodeAt<TClassObject>(TreeNodes, k))
        if (c->Category == category.Category) c->Visibled = category.Visibled;
    for (const auto& layer : Map.Layers)
      if (layer->Category == category.Category) layer->Visibled = category.Visibled;
    for (TNodeLine& line : LayerNodes)
      if (auto* entry = dynamic_cast<TClassObject*>(line.Node.get()))
        if (entry->Category == category.Category) entry->Visibled = category.Visibled;
    Map.Redraw();
  }
  Repaint();
}

void TLayerPanels::ToggleClassVisible(TClassObject& c) {
  c.Visibled = !c.Visibled;
  if (Editable()) {
    if (!WriteState([&] { SetClassVisibled(Data.TableClasses, c.Level, c.Visibled); })) {
      c.Visibled = !c.Visibled; // the lamp as it was
      Repaint();
      return;
    }
    ReloadMapAndRedraw();
    RebuildLayerList();
  } else {
    SetLayerVisible(c.Category, c.Class, c.Visibled);
  }
  Repaint();
}

int TLayerPanels::MapLayerOf(int category, int cls) const {
  // The map builds one layer per row of the layers table where it can; a row of a kind it cannot
  // draw, or whose files failed to load, has none, so positions in the lists and in the map may
  // differ. The layer is found by its category and class.
  for (size_t i = 0; i < Map.Layers.size(); ++i)
    if (Map.Layers[i]->Category == category && Map.Layers[i]->Class == cls) return int(i);
  return -1;
}

void TLayerPanels::SetLayerVisible(int category, int cls, bool value) {
  for (size_t i = 0; i < Map.Layers.size(); ++i)
    if (Map.Layers[i]->Category == category && Map.Layers[i]->Class == cls) {
      Map.Layers[i]->Visibled = value;
      break;
    }
  if (TClassObject* entry = FirstClassNode(LayerNodes, category, cls)) entry->Visibled = value;
  Map.Redraw();
}

void TLayerPanels::ReloadMapAndRedraw() {
  Map.ReloadMap();
  Map.Redraw();
}

// ---------------------------------------------------------------- the layers list's clicks

void TLayerPanels::lboxLayersMouseDown(int x) {
  // Only this press can arm a drag: whatever an earlier press left is forgotten.
  LayerDragArmed = false;
  LayerDragMoved = false;
  const int index = SelectedIndex(lboxLayers);
  if (index < 0 || x <= 50) return;
  LayerDragSource = index;
  LayerDragArmed = true;
  SavedCursor = lboxLayers.viewport()->cursor();
}

void TLayerPanels::GiveUpLayerDrag() {
  if (LayerDragArmed) lboxLayers.viewport()->setCursor(SavedCursor);
  LayerDragArmed = false;
  LayerDragMoved = false;
}

void TLayerPanels::lboxLayersMouseMove() {
  if (!LayerDragArmed) return;
  lboxLayers.viewport()->setCursor(Qt::DragMoveCursor);
  LayerDragMoved = true;
}

void TLayerPanels::SetLayersLineStates(int index) {
  const TClassObject* entry = NodeAt<TClassObject>(LayerNodes, index);
  if (!entry) return;
  Map.ActiveLayer = MapLayerOf(entry->Category, entry->Class);
  Action("ppmiObjList")->setEnabled(entry->ListType != 0);
  Action("ppmiChgSymb")->setVisible(entry->Category >= 100 && Editable());
  Repaint();
}

void TLayerPanels::lboxLayersMouseUp(int x) {
  // A drop needs a drag armed by this button's press that moved; the drag ends here either way.
  const bool drop = LayerDragArmed && LayerDragMoved && x > 50;
  const int source = LayerDragSource;
  GiveUpLayerDrag();
  const int index = SelectedIndex(lboxLayers);
  if (index < 0) return;
  try {
    TClassObject* entry = NodeAt<TClassObject>(LayerNodes, index);
    if (!entry) return;
    SetLayersLineStates(index);
    if (x > 50) {
      if (drop && index != source) EndLayerDrag(source, index);
    } else if (x < 20) {
      ToggleLayerVisible(*entry);
    } else if (Editable() && OnLayerProperties) {
      // The layer properties window works on the layers table's current row.
      if (Data.TableClasses.FindKey({int64_t(entry->Level)})) OnLayerProperties();
      ReloadMapAndRedraw();
      RebuildLayerList();
      RebuildTree();
    }
  } catch (const std::exception&) {
    // The lists keep the state they reached.
  }
  Repaint();
}

void TLayerPanels::EndLayerDrag(int source, int target) {
  if (Editable()) {
    MoveLayerLevel(LayerNodes, source, target);
    // The map's own cursor on the layers table lets go of it while the table is rewritten;
    // the reload opens it again.
    Map.Content.ClassTable.Close();
    WriteLayerList(Data.TableClasses, LayerNodes);
    RebuildLayerList();
    RebuildTree();
    ReloadMapAndRedraw();
  } else {
    auto moveEntry = [](auto& v, int from, int to) {
      auto item = std::move(v[size_t(from)]);
      v.erase(v.begin() + from);
      v.insert(v.begin() + to, std::move(item));
    };
    const auto& from = static_cast<TClassObject&>(*LayerNodes[size_t(source)].Node);
    const auto& onto = static_cast<TClassObject&>(*LayerNodes[size_t(target)].Node);
    const int mapSource = MapLayerOf(from.Category, from.Class);
    const int mapTarget = MapLayerOf(onto.Category, onto.Class);
    moveEntry(LayerNodes, source, target);
    if (mapSource >= 0 && mapTarget >= 0) moveEntry(Map.Layers, mapSource, mapTarget);
    Map.Redraw();
  }
  lboxLayers.setCurrentRow(target);
}

void TLayerPanels::ToggleLayerVisible(TClassObject& entry) {
  entry.Visibled = !entry.Visibled;
  if (Editable()) {
    if (!WriteState([&] { SetClassVisibled(Data.TableClasses, entry.Level, entry.Visibled); })) {
      entry.Visibled = !entry.Visibled; // the lamp as it was
      Repaint();
      return;
    }
    ReloadMapAndRedraw();
    RebuildTree();
  } else {
    SetLayerVisible(entry.Category, entry.Class, entry.Visibled);
    if (TClassObject* c = FirstClassNode(TreeNodes, entry.Category, entry.Class))
      c->Visibled = entry.Visibled;
  }
}

// ---------------------------------------------------------------- mouse plumbing

bool TLayerPanels::ShowLineToolTip(QObject* watched, QHelpEvent* e) {
  const bool layers = watched == LayersViewport;
  if (!layers && watched != ObjectsViewport) return false;
  QListWidget& list = layers ? lboxLayers : lboxObjects;
  const int row = list.indexAt(e->pos()).row();
  const TClassObject* c = NodeAt<TClassObject>(layers ? LayerNodes : TreeNodes, row);
  const QString failure = c ? FailureOf(*c) : QString();
  if (failure.isEmpty()) return false; // the list's own hint
  QToolTip::showText(e->globalPos(), QString::fromUtf8("Шар не показано: %1").arg(failure),
                     list.viewport());
  return true;
}

bool TLayerPanels::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::ToolTip) return ShowLineToolTip(watched, static_cast<QHelpEvent*>(e));
  if (e->type() != QEvent::MouseButtonPress && e->type() != QEvent::MouseButtonRelease &&
      e->type() != QEvent::MouseMove)
    return false;
  // The viewports are compared as they were at creation: while the window is being destroyed
  // the lists must not be asked for them.
  const bool layers = watched == LayersViewport;
  const bool objects = watched == ObjectsViewport;
  if (!layers && !objects) return false;
  auto* mouse = static_cast<QMouseEvent*>(e);
  const int x = mouse->position().toPoint().x();
  QListWidget& list = layers ? lboxLayers : lboxObjects;
  const QModelIndex under = list.indexAt(mouse->position().toPoint());
  if (mouse->button() == Qt::RightButton) {
    // The line under a right press becomes the current line and the menus take its states, as
    // a left release on it sets them, without switching anything: the menu then acts on the
    // line the user sees chosen.
    if (e->type() == QEvent::MouseButtonPress && under.isValid()) {
      list.setCurrentRow(under.row());
      try {
        layers ? SetLayersLineStates(under.row()) : SetObjectsLineStates(under.row());
      } catch (const std::exception&) {
      }
    }
    return false;
  }
  if (e->type() != QEvent::MouseMove && !under.isValid()) {
    // A press or release below the last line concerns no line: nothing happens, and a drag
    // released there is given up.
    if (layers && e->type() == QEvent::MouseButtonRelease) GiveUpLayerDrag();
    return true;
  }
  // The list selects the line under the mouse first; the handlers then read the selection.
  if (e->type() != QEvent::MouseMove) list.setCurrentRow(under.row());
  if (layers) {
    if (e->type() == QEvent::MouseButtonPress) lboxLayersMouseDown(x);
    if (e->type() == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton)) {
      if (under.isValid()) list.setCurrentRow(under.row());
      lboxLayersMouseMove();
    }
    if (e->type() == QEvent::MouseButtonRelease) lboxLayersMouseUp(x);
  } else if (e->type() == QEvent::MouseButtonRelease) {
    lboxObjectsMouseUp(x);
  }
  return e->type() != QEvent::MouseMove;
}
