#include "LayerPanels.h"
#include "PanelNodes.h"
#include "core/ClassSample.h"

#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "data/DataModule.h"
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

// ---------------------------------------------------------------- mouse plumbing

// Where a line's name starts at the least: the tree's lines and the layer's sign come first.
constexpr int kNameIndent = 40;

bool TLayerPanels::ShowLineToolTip(QObject* watched, QHelpEvent* e) {
  const bool layers = watched == LayersViewport;
  if (!layers && watched != ObjectsViewport) return false;
  QListWidget& list = layers ? lboxLayers : lboxObjects;
  const int row = list.indexAt(e->pos()).row();
  const TClassObject* c = NodeAt<TClassObject>(layers ? LayerNodes : TreeNodes, row);
  const QString failure = c ? FailureOf(*c) : QString();
  if (!failure.isEmpty()) {
    QToolTip::showText(e->globalPos(), QString::fromUtf8("Шар не показано: %1").arg(failure),
                       list.viewport());
    return true;
  }
  // A line's name cut off at the panel's edge is shown whole.
  const TNodeList& lines = layers ? LayerNodes : TreeNodes;
  if (row < 0 || row >= int(lines.size())) return false; // the list's own hint
  const TObject* node = lines[size_t(row)].Node.get();
  QString name;
  if (const auto* category = dynamic_cast<const TCategoryObject*>(node))
    name = category->CategoryName;
  else if (const auto* cls = dynamic_cast<const TClassObject*>(node))
    name = cls->ClassName;
  else if (const auto* group = dynamic_cast<const TGroupObject*>(node))
    name = group->GroupName;
  name = name.trimmed();
  const QRect line = list.visualRect(list.model()->index(row, 0));
  if (name.isEmpty() || line.left() + kNameIndent + list.fontMetrics().horizontalAdvance(name) <=
                            list.viewport()->width())
    return false;
  QToolTip::showText(e->globalPos(), name, list.viewport());
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
