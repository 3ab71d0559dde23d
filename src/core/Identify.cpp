#include "Identify.h"

#include "db/Error.h"
#include "db/Table.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace {

// The table a layer's objects are rows of, and the row of `RecordIndex` (-1 when there is
// none): the objects table of points kept in a table (its rows in key order), else the
// attribute table of the geometry file, a row per record.
db::Table* RowOf(TCustomLayer& Layer, int RecordIndex, int& Row) {
  Row = -1;
  if (db::Table* objects = Layer.ObjectRowsTable()) {
    if (objects->Active() && RecordIndex < objects->RecordCount()) Row = RecordIndex;
    return objects->Active() ? objects : nullptr;
  }
  if (Layer.AttrTable.TableName().isEmpty()) return nullptr;
  db::Table& attributes = Layer.Attributes();
  if (attributes.Active()) Row = attributes.PositionOfRecord(RecordIndex);
  return attributes.Active() ? &attributes : nullptr;
}

void ReadFields(TIdentifiedObject& Object) {
  int row = -1;
  try {
    if (std::vector<std::pair<QString, QString>> fields;
        Object.Layer->ObjectFields(Object.RecordIndex, fields)) {
      for (auto& [name, value] : fields) {
        if (name.compare("ObjectCode", Qt::CaseInsensitive) == 0 && !value.isEmpty())
          Object.ObjectCode = value.toInt();
        Object.Fields.push_back({name, value});
      }
      return;
    }
    db::Table* table = RowOf(*Object.Layer, Object.RecordIndex, row);
    if (!table || row < 0) {
      Object.Problem = QString::fromUtf8("рядка атрибутів немає");
      return;
    }
    const std::vector<db::FieldDef>& defs = table->FieldDefs();
    for (size_t f = 0; f < defs.size(); ++f) {
      if (db::IsBlobType(defs[f].Type)) continue; // pictures and memo blobs are not text to list
      Object.Fields.push_back({defs[f].Name, db::ValueToString(table->ValueAt(row, f))});
      if (defs[f].Name.compare("ObjectCode", Qt::CaseInsensitive) == 0)
        Object.ObjectCode = int(db::ValueToInteger(table->ValueAt(row, f)));
    }
    std::stable_sort(Object.Fields.begin(), Object.Fields.end(), [](const auto& a, const auto& b) {
      return ReadingRank(a.Name) < ReadingRank(b.Name);
    });
  } catch (const db::Error& e) {
    Object.Problem = e.Message;
  } catch (const std::exception& e) {
    Object.Problem = QString::fromUtf8(e.what());
  }
}

} // namespace

// The order a person reads an object's fields in: what it is and where (name, address), what it
// is made of (diameter, material, year, length), the object's number, and the program's own
// fields last (its class, picture, group, topology, place). Other fields keep the table's order
// between the first and the last; every field stays, captioned by its name in the table.
int ReadingRank(const QString& field) {
  static const QStringList first = {"NAME",     "TYPE",  "STREET", "NUMBER", "DIAMETER",
                                    "MATERIAL", "YEAR",  "LENGTH", "FLOORS", "KIND",
                                    "PHONE",    "POWER", "HEIGHT"};
  static const QStringList last = {"OBJECTCODE", "STREETCODE", "INFOFILE", "IMAGEINDEX",
                                   "NUMGROUP",   "HUB1CODE",   "HUB2CODE", "CATEGORY",
                                   "CLASS",      "X",          "Y"};
  const QString name = field.toUpper();
  if (const qsizetype at = first.indexOf(name); at >= 0) return int(at);
  if (const qsizetype at = last.indexOf(name); at >= 0) return 1000 + int(at);
  return 500;
}

std::vector<TIdentifiedObject> ObjectsAt(const std::vector<std::unique_ptr<TCustomLayer>>& Layers,
                                         gfx::Canvas& Canvas, TWorld& World, double X, double Y) {
  std::vector<TIdentifiedObject> found;
  // From the layer drawn last, so that among equals the one on top comes first.
  for (auto it = Layers.rbegin(); it != Layers.rend(); ++it) {
    TCustomLayer& layer = **it;
    if (!layer.ScaleAllowsDrawing(World.Scale)) continue;
    std::vector<TCustomLayer::TFound> objects;
    QString problem;
    try {
      objects = layer.FindObjects(Canvas, World, X, Y);
    } catch (const std::exception& e) {
      // A layer whose files cannot be read is said, not skipped silently.
      problem = QString::fromUtf8(e.what());
    }
    if (!problem.isEmpty()) {
      TIdentifiedObject object;
      object.Layer = &layer;
      object.X = X;
      object.Y = Y;
      object.Problem = problem;
      found.push_back(std::move(object));
      continue;
    }
    for (const TCustomLayer::TFound& f : objects) {
      TIdentifiedObject object;
      object.Layer = &layer;
      object.RecordIndex = f.RecordIndex;
      object.IsPoint = layer.FindsPoints();
      object.X = f.X;
      object.Y = f.Y;
      object.Distance = f.Distance;
      ReadFields(object);
      found.push_back(std::move(object));
    }
  }
  // Points first, nearest first (their symbols lie over the lines and areas they stand on),
  // then the lines and areas under the pointer, the layer on top first and within a layer the
  // nearest first.
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    if (a.IsPoint != b.IsPoint) return a.IsPoint;
    return a.IsPoint && a.Distance < b.Distance;
  });
  return found;
}

QStringList IdentifiedText(const std::vector<TIdentifiedObject>& Objects) {
  QStringList lines;
  if (Objects.empty()) return {QString::fromUtf8("Нічого не знайдено")};
  for (const TIdentifiedObject& o : Objects) {
    const QString layer =
        o.Layer->ClassName.isEmpty() ? QFileInfo(o.Layer->FileName).fileName() : o.Layer->ClassName;
    QString head = QString::fromUtf8("%1 (%2): ").arg(layer, o.Layer->FileName);
    if (o.RecordIndex < 0)
      head += QString::fromUtf8("не прочитано");
    else if (o.ObjectCode >= 0)
      head += QString::fromUtf8("об'єкт %1 (запис %2)").arg(o.ObjectCode).arg(o.RecordIndex + 1);
    else
      head += QString::fromUtf8("запис %1").arg(o.RecordIndex + 1);
    lines << head;
    if (!o.Problem.isEmpty()) lines << "  " + o.Problem;
    for (const TIdentifiedField& f : o.Fields)
      lines << "  " + f.Name + "=" + f.Value;
  }
  return lines;
}
