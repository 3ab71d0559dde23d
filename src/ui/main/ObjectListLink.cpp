#include "ObjectListLink.h"

#include "ContentCommands.h"
#include "FormMap.h"
#include "ui/objects/FormSelectInfo.h"
#include "ui/panels/LayerPanels.h"
#include "ui/styles/FormSelectImages.h"

#include "core/FAMap.h"
#include "data/DataModule.h"
#include "ui/search/FormObjList.h"

#include <QAction>

namespace {

// The strip of `area` beside `covered` on one side (empty when there is none).
QRect Beside(const QRect& area, const QRect& covered, int side) {
  switch (side) {
  case 0:
    return QRect(QPoint(area.left(), area.top()), QPoint(covered.left() - 1, area.bottom()));
  case 1:
    return QRect(QPoint(covered.right() + 1, area.top()), QPoint(area.right(), area.bottom()));
  case 2:
    return QRect(QPoint(area.left(), area.top()), QPoint(area.right(), covered.top() - 1));
  default:
    return QRect(QPoint(area.left(), covered.bottom() + 1), QPoint(area.right(), area.bottom()));
  }
}

} // namespace

void KeepShownClearOf(TFAMap& map, const QWidget& window) {
  if (!window.isVisible()) return;
  const double x = map.Arrow.X(), y = map.Arrow.Y();
  const QPoint at =
      map.mapToGlobal(QPoint(map.World.WorldToScreenX(x), map.World.WorldToScreenY(y)));
  const QRect area(map.mapToGlobal(QPoint(0, 0)), map.size());
  const QRect covered = window.frameGeometry().adjusted(-24, -24, 24, 24); // and the arrow's room
  if (!covered.contains(at) || !area.contains(at)) return;
  QRect free;
  for (int side = 0; side < 4; ++side) {
    const QRect strip = Beside(area, covered, side).intersected(area);
    if (strip.width() > 40 && strip.height() > 40 &&
        qint64(strip.width()) * strip.height() > qint64(free.width()) * free.height())
      free = strip;
  }
  if (free.isEmpty()) return; // the window covers the map: nothing to move into
  const QPoint shift = free.center() - at;
  const double dx = shift.x() / map.World.Scale, dy = shift.y() / map.World.Scale;
  TExtent& v = map.World.ViewExtent;
  v = {v.XMin - dx, v.YMin + dy, v.XMax - dx, v.YMax + dy};
  map.Redraw();
  map.Arrow.Show(x, y);
}

void ConnectObjectList(TFormObjList& list, TFormMap& form, TFormSelectInfo& info) {
  list.ShowObjectOnMap = [&form, &list](int category, int cls, int code) {
    const bool shown = form.Panels->ShowObjectOnMap(category, cls, code);
    if (shown) KeepShownClearOf(*form.Map, list);
    return shown;
  };
  // The search window names the class of its objects; the panels' selection plays no part.
  list.GetObjectImageIndex = [&form](int category, int cls, int code) {
    return form.Map->Content.GetLayerObjectImage(category, cls, code);
  };
  list.SetObjectImageIndex = [&form](int category, int cls, int code, int image) {
    form.Map->Content.SetLayerObjectImage(category, cls, code, image);
  };
  list.ChooseImage = [&form](int) {
    TFormSelectImages window(*TDataModuleVANDREL::Instance(), &form);
    return window.exec() == QDialog::Accepted ? window.SelectedImageIndex : -1;
  };
  list.ShowInfo = [&form, &info](int category, int cls, int record) {
    if (!info.isVisible()) info.show();
    info.ShowInfo(category, cls, record);
    form.Action("ppmiInfoPlus")->setVisible(true);
  };
  form.ContentCommands->SetObjectList(
      [&list](const QString& table, const QString& dir, const QString& caption, int mode,
              int category, int cls,
              int group) { list.ShowList(table, dir, caption, mode, category, cls, group); });
}
