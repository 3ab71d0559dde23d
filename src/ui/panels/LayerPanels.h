#pragma once
// The two owner-drawn panels at the right of the main window: the classification tree
// ("Об'єкти": categories that open and close, their classes and symbol groups) and the layers in
// drawing order ("Шари"), each line with its style sample and visibility lamp. Clicks make a
// layer current, switch visibility, open categories and drag layers to a new drawing order;
// with work mode 0 the changes go to the tables and the map reloads, otherwise they live in
// memory only.

#include "core/CatClass.h"

#include <QCursor>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>

class QAction;
class QHelpEvent;
class QListWidget;
class QMenu;
class QMouseEvent;
class TDataModuleVANDREL;
class TFAMap;

namespace gfx {
class Canvas;
}

class TLayerPanels : public QObject {
public:
  TLayerPanels(TDataModuleVANDREL& data, TFAMap& map, QListWidget& layers, QListWidget& objects);
  ~TLayerPanels() override;

  // Rebuilds the lists from the tables (done at creation and after every written change).
  void RebuildLayerList();
  void RebuildTree();

  // Item drawing into `canvas`, whose item rectangle is `r`.
  void lboxLayersDrawItem(gfx::Canvas& canvas, int index, const QRect& r);
  void lboxObjectsDrawItem(gfx::Canvas& canvas, int index, const QRect& r);

  // Mouse handlers; x is in list coordinates, the selected line is the one under the mouse.
  void lboxObjectsMouseUp(int x);
  void lboxLayersMouseDown(int x);
  void lboxLayersMouseMove();
  void lboxLayersMouseUp(int x);

  void ppmiObjListClick();
  void ppmiObjListObjectsClick();
  void ppmiChgSymbClick();
  void ppmiChgSymbObjectsClick();
  // "Таблиця атрибутів" of the class chosen on either page (OnShowAttributes opens it).
  void ppmiAttributesClick();
  std::function<void(int category, int cls)> OnShowAttributes;
  // The symbol window for a class (group 255) or a group; the lists are rebuilt after a choice,
  // "Помилка при установці знаку для виводу!" when it could not be stored.
  void ChangeSymbol(int category, int cls, int group);

  // For the search window: addressed by the current panel selection.
  bool ShowObjectOnMap(int Category, int Class, int ObjectNumber);
  void SetObjectImageIndex(int ObjectNumber, int ImageIndex);
  int GetObjectImageIndex(int ObjectNumber);

  // Windows of other steps, set by whoever provides them: the search window's object list
  // (table name, folder, caption, list mode, category, class, group), the symbol window (true
  // when the symbol was set) and the layer properties window.
  std::function<void(const QString&, const QString&, const QString&, int, int, int, int)>
      OnShowList;
  std::function<bool(int, int, int)> OnChooseSymbol;
  std::function<void()> OnLayerProperties;

  TNodeList LayerNodes, TreeNodes;
  bool LayerDragArmed = false, LayerDragMoved = false;
  int LayerDragSource = 0;
  QCursor SavedCursor;
  int TreeEndIndex = 0;
  const QRect OnGlyphRect{QPoint(0, 0), QPoint(16, 15)};
  const QRect OffGlyphRect{QPoint(16, 0), QPoint(31, 15)};
  QImage ImageCheck, ImageOpenClose;
  QMenu *ppmnLayers = nullptr, *ppmnObjects = nullptr;
  QAction* Action(const QString& name) const;

  // Draws both lists again (the active layer, failures and switches as they are now).
  void Repaint();

protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  void CopyGlyph(gfx::Canvas& canvas, const QImage& strip, bool left, const QRect& to);
  // A failed layer's line tells why; other lines keep the list's hint.
  bool ShowLineToolTip(QObject* watched, QHelpEvent* e);
  // A line's background, marked for the active layer's class.
  void FillLine(gfx::Canvas& canvas, const QRect& r, bool active);
  void DrawClassName(gfx::Canvas& canvas, int x, int y, const TClassObject& c);
  bool IsActiveClass(int category, int cls) const;
  // Why the class's layer failed to load or to draw; empty when it did not.
  QString FailureOf(const TClassObject& c) const;
  void ToggleCategoryOpen(int index, TCategoryObject& category);
  void ToggleCategoryVisible(int index, TCategoryObject& category);
  void ToggleClassVisible(TClassObject& c);
  // Runs a write of the panels' tables; a failure is reported and the rows given up (false).
  bool WriteState(const std::function<void()>& write);
  void EndLayerDrag(int source, int target);
  // Ends a drag without a drop: the cursor it replaced comes back.
  void GiveUpLayerDrag();
  // What a release on a line sets besides its clicks: the active layer and the menus' states.
  void SetLayersLineStates(int index);
  void SetObjectsLineStates(int index);
  void ToggleLayerVisible(TClassObject& c);
  void ReloadMapAndRedraw();
  void SetLayerVisible(int category, int cls, bool value);
  int MapLayerOf(int category, int cls) const;
  // "Список" for a class: the component's own list (list type 10) or the search window's.
  void ShowClassList(const TClassObject& c);
  void ShowList(const QString& fileName, const QString& caption, int listType, int category,
                int cls, int group);
  bool Editable() const;
  void BuildMenus();
  // The (category, class) of the current selection on the visible page; false when none.
  bool SelectedClass(int& category, int& cls) const;
  int SelectedIndex(const QListWidget& list) const;
  static QString TableNameOf(const QString& fileName);

  TDataModuleVANDREL& Data;
  TFAMap& Map;
  QListWidget& lboxLayers;
  QListWidget& lboxObjects;
  QPointer<QWidget> LayersViewport, ObjectsViewport;
};
