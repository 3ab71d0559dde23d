#pragma once
// What is under the pointer: on every layer drawn at the map's scale, the object the layer's own
// pick finds there (whether or not the layer is selectable), with every field of its row. The map
// window's "Що тут?" tool and `vandrel --identify` show it.

#include "CustomLayer.h"
#include "World.h"

#include "gfx/Canvas.h"

#include <QString>
#include <QStringList>
#include <vector>

struct TIdentifiedField {
  QString Name;  // as the table names it
  QString Value; // as text; empty for an empty field
};

struct TIdentifiedObject {
  TCustomLayer* Layer = nullptr;
  int RecordIndex = -1; // the layer's own number of the object (record or row)
  int ObjectCode = -1;  // ObjectCode of its row, -1 where there is none
  double X = 0, Y = 0;  // where the pick found it (the point itself for points)
  double Distance = 0;  // from the pointer, in map units; 0 for lines and areas under it
  bool IsPoint = false; // a point object (X, Y is the point)
  std::vector<TIdentifiedField> Fields;
  QString Problem; // why its row could not be read, when it could not
};

// Every object under (X, Y) at the transform `World`: the points first, nearest first, then the
// lines and areas, the layer drawn last first (as it lies on top). `Canvas` is used only to
// measure the pick boxes.
std::vector<TIdentifiedObject> ObjectsAt(const std::vector<std::unique_ptr<TCustomLayer>>& Layers,
                                         gfx::Canvas& Canvas, TWorld& World, double X, double Y);

// Where a field comes in the order a person reads an object's fields (lower first): what it is
// and where, what it is made of, its number, the program's own fields last.
int ReadingRank(const QString& field);

// The result as text: per object a line "layer: object N (record R)", then "FIELD=value" lines;
// "Нічого не знайдено" when there is nothing.
QStringList IdentifiedText(const std::vector<TIdentifiedObject>& Objects);
