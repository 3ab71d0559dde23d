#pragma once
// The "Що тут?" window: what lies under the point the identify tool was clicked at, as a tree
// of objects (layer and object number, nearest first) with the fields of each object's row
// under it. Pointing at an object's line blinks it on the map; a double click opens its card
// where its layer has one.

#include "core/Identify.h"

#include <QDialog>
#include <functional>
#include <vector>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

class TFormIdentify : public QDialog {
public:
  explicit TFormIdentify(QWidget* parent = nullptr);

  // Shows the objects found at (X, Y); "Нічого не знайдено" when there are none.
  void ShowObjects(std::vector<TIdentifiedObject> Objects, double X, double Y);
  const std::vector<TIdentifiedObject>& Objects() const { return Found; }
  // Lets the objects go (their layers are about to be destroyed) and hides the window.
  void Forget();

  // Called with an object when the pointer comes onto its line, when its line becomes the
  // current one (and for the nearest object when shown), and when it is double-clicked.
  std::function<void(const TIdentifiedObject&)> OnPointAt, OnChoose, OnOpen;

  QLabel* lblPlace = nullptr;
  QTreeWidget* tvObjects = nullptr;

private:
  // The object a line of the tree stands for (its own line or one of its fields); null for none.
  const TIdentifiedObject* ObjectOf(QTreeWidgetItem* item) const;

  std::vector<TIdentifiedObject> Found;
};
