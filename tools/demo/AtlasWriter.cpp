#include "AtlasWriter.h"

#include "AtlasParts.h"

#include "base/FileError.h"

#include <QDir>

namespace demo {

AtlasSummary WriteAtlas(const QString& dir, int scale, uint64_t seed) {
  AtlasContext ctx;
  ctx.Dir = QDir(dir).absolutePath();
  ctx.BaseDir = ctx.Dir + "/BASE";
  ctx.MapsDir = ctx.Dir + "/MAPS";
  ctx.RefDir = ctx.Dir + "/REFERENSE";
  ctx.UserObjDir = ctx.Dir + "/USER_OBJ";
  ctx.HelpDir = ctx.Dir + "/HELP";
  for (const QString& d :
       {ctx.BaseDir, ctx.MapsDir, ctx.RefDir, ctx.UserObjDir, ctx.HelpDir, ctx.Dir + "/SAVE"})
    if (!QDir().mkpath(d)) throw base::FileError(d, "cannot create the directory");
  ctx.C = BuildCity(scale, seed);
  WriteMaps(ctx);
  WriteBase(ctx);
  WriteObjectIndex(ctx);
  WriteDocuments(ctx);
  return ctx.Summary;
}

} // namespace demo
