#include "CatClass.h"

#include "db/Error.h"

namespace {

QString WithExtension(const QString& name, const QString& extension) {
  const qsizetype dot = name.lastIndexOf('.');
  return (dot < 0 ? name : name.left(dot)) + extension;
}

QString Extension(const QString& name) {
  const qsizetype dot = name.lastIndexOf('.');
  return dot < 0 ? QString() : name.mid(dot).toUpper();
}

// Finds (category, class) on the index CLASS_ID and gives back the index the table had.
QString FieldOfClass(db::Table& layers, int category, int cls, const char* field) {
  if (!layers.Active()) return QString();
  layers.First();
  const QString before = layers.IndexName();
  const QString names = layers.IndexFieldNames();
  QString result;
  layers.SetIndexName("CLASS_ID");
  if (layers.FindKey({int64_t(category), int64_t(cls)}))
    result = layers.FieldByName(field).AsString();
  if (!names.isEmpty())
    layers.SetIndexFieldNames(names);
  else
    layers.SetIndexName(before);
  return result;
}

} // namespace

QString GetAttributeTableName(db::Table& layers, int category, int cls) {
  QString name = FieldOfClass(layers, category, cls, "FileName");
  if (!name.isEmpty() && Extension(name) == ".SHP") name = WithExtension(name, ".mds");
  if (!name.isEmpty() && Extension(name) == ".MDS") name = WithExtension(name, ".DBF");
  return name;
}

QString GetClassTitle(db::Table& layers, int category, int cls) {
  return FieldOfClass(layers, category, cls, "ClassName");
}
