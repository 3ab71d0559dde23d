#include "Shared.h"

#include <libpq-fe.h>
#include <map>

namespace pg {

bool IsAtlasFolder(const QString& name) {
  for (const char* folder : {"BASE", "MAPS", "REFERENSE", "USER_OBJ"})
    if (name.compare(QLatin1String(folder), Qt::CaseInsensitive) == 0) return true;
  return false;
}

TPlace::TPlace(const QString& location) {
  const qsizetype hash = location.indexOf('#');
  Uri = hash < 0 ? location : location.left(hash);
  QString rest = hash < 0 ? QString() : location.mid(hash + 1);
  while (rest.endsWith('/'))
    rest.chop(1);
  const QString first = rest.section('/', 0, 0);
  if (first.isEmpty() || IsAtlasFolder(first)) {
    Schema = "atlas";
    Path = rest;
  } else {
    Schema = first;
    Path = rest.section('/', 1);
  }
}

QString StampSignature(const QString& path, const QString& tableOid, int64_t stamp) {
  return QString("db:%1:%2:%3").arg(path, tableOid).arg(stamp);
}

QString AtlasName(const QString& location) {
  const TPlace place(location);
  QString name = place.Uri;
  if (PQconninfoOption* options = PQconninfoParse(place.Uri.toUtf8().constData(), nullptr)) {
    for (PQconninfoOption* o = options; o->keyword; ++o)
      if (qstrcmp(o->keyword, "dbname") == 0 && o->val) name = QString::fromUtf8(o->val);
    PQconninfoFree(options);
  }
  return place.Schema == "atlas" ? name : name + "/" + place.Schema;
}

std::shared_ptr<TShared> SharedConnection(const QString& uri) {
  static std::mutex registry;
  static std::map<QString, std::weak_ptr<TShared>> open;
  const std::lock_guard guard(registry);
  if (auto kept = open[uri].lock()) return kept;
  auto made = std::make_shared<TShared>();
  made->Conn = std::make_unique<Connection>(uri);
  open[uri] = made;
  return made;
}

Result SharedQuery(const QString& uri, const QString& sql, const std::vector<Param>& params) {
  const auto shared = SharedConnection(uri);
  const std::lock_guard guard(shared->Lock);
  return shared->Ready().Exec(sql, params);
}

} // namespace pg
