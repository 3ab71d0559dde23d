#include "DataModule.h"

#include "base/FileError.h"
#include "base/IniFile.h"
#include "base/PathResolver.h"
#include "base/RemoteFiles.h"

#include <QDir>
#include <QFileInfo>
#include <stdexcept>

namespace {

TDataModuleVANDREL* current = nullptr;

QString WithoutTrailingSlash(QString path) {
  path = base::NormalizeSeparators(path);
  while (path.size() > 1 && path.endsWith('/'))
    path.chop(1);
  return path;
}

// A folder made absolute; an atlas in a database stands as named.
QString RootPath(const QString& dataRoot) {
  return WithoutTrailingSlash(base::AbsoluteRoot(dataRoot));
}

struct Section {
  const char* Name;
  TFormPosition TFormPositions::*Pair;
};

constexpr Section kSections[] = {{"FSelInfo", &TFormPositions::SelInfo},
                                 {"FObjList", &TFormPositions::ObjList},
                                 {"FMsg", &TFormPositions::Msg},
                                 {"FEditDB", &TFormPositions::EditDB},
                                 {"FViewSelObj", &TFormPositions::ViewSelObj}};

} // namespace

QString TDataModuleVANDREL::ObjectIndexDir(const QString& appDir, const QString& dataRoot,
                                           int workMode) {
  const QString programObjects = base::ResolvePath(appDir, "USER_OBJ");
  const QString atlasObjects = base::ResolvePath(dataRoot, "USER_OBJ");
  // An atlas in a database keeps its index there, whoever reads it.
  if (base::RemoteFileKindOf(dataRoot)) return atlasObjects;
  // The index describes the objects of one atlas: the atlas beside the program has the
  // program's; an atlas opened from a data root of its own is searched, and rebuilt, in its own
  // USER_OBJ (made there by the first rebuild), never in the program's, which belongs to another
  // atlas.
  if (QFileInfo(dataRoot).canonicalFilePath() == QFileInfo(appDir).canonicalFilePath())
    return programObjects;
  if (workMode == 0 || QFileInfo(atlasObjects).isDir()) return atlasObjects;
  // A distribution disc without an index: the one kept beside the program.
  return programObjects;
}

TDataModuleVANDREL* TDataModuleVANDREL::Instance() {
  return current;
}

TDataModuleVANDREL::TDataModuleVANDREL(const QString& appDir, int workMode,
                                       const QString& dataRoot) {
  WorkMode = uint8_t(workMode);
  AppDir = WithoutTrailingSlash(appDir);
  RoutesDir = AppDir + "/ROUTES";
  if (WorkMode != 0 && dataRoot.isEmpty())
    throw std::runtime_error(
        QString("Режим роботи %1 потребує каталогу даних.").arg(WorkMode).toStdString());
  // Work mode 0 keeps the atlas beside the program unless a data root is given.
  DataRoot = dataRoot.isEmpty() ? AppDir : RootPath(dataRoot);
  if (const base::RemoteFileKind* remote = base::RemoteFileKindOf(DataRoot)) {
    if (!base::PathExists(base::ResolvePath(DataRoot, "BASE")))
      throw std::runtime_error(
          ("У базі " + DataRoot + " немає атласу (папки BASE).").toStdString());
    // What the server lets this user do decides, not a setting.
    ReadOnlyReason = remote->ReadOnlyReason(DataRoot);
    if (!ReadOnlyReason.isEmpty()) WorkMode = 1;
  } else if (!QFileInfo(DataRoot).isDir()) {
    throw std::runtime_error(
        ("Каталог даних " + DataRoot + " не існує або не є каталогом.").toStdString());
  }
  BaseDir = base::ResolvePath(DataRoot, "BASE");
  MapsDir = base::ResolvePath(DataRoot, "MAPS");
  RefDir = base::ResolvePath(DataRoot, "REFERENSE");
  UserObjDir = ObjectIndexDir(AppDir, DataRoot, WorkMode);
  if (WorkMode == 1) EnsureFileHandles();

  TableCategory.SetTableName("CATEGORYREEST.db");
  TableClasses.SetTableName("classreest.DB");
  TableGroup.SetTableName("GroupReest.DB");
  TableImages.SetTableName("images.db");
  for (db::Table* t : {&TableCategory, &TableClasses, &TableGroup, &TableImages}) {
    t->SetDatabaseName(BaseDir);
    t->Open();
  }
  TableImages.SetIndexFieldNames("ImageIndex");
  ReadFormPositions();
  current = this;
}

TDataModuleVANDREL::~TDataModuleVANDREL() {
  try {
    if (SavePositions) WriteFormPositions();
  } catch (const base::FileError&) {
    // A program directory that cannot be written keeps its old positions.
  }
  for (db::Table* t : {&TableCategory, &TableClasses, &TableGroup, &TableImages})
    t->Close();
  if (current == this) current = nullptr;
}

void TDataModuleVANDREL::ReadFormPositions() {
  const base::IniFile ini(FormsIniPath());
  for (const Section& s : kSections) {
    TFormPosition& p = FormPositions.*s.Pair;
    p.Left = int16_t(ini.ReadInteger(s.Name, "LEFT", p.Left));
    p.Top = int16_t(ini.ReadInteger(s.Name, "TOP", p.Top));
  }
  PositionsAsRead = FormPositions;
}

void TDataModuleVANDREL::WriteFormPositions() {
  base::IniFile ini(FormsIniPath());
  // Only the windows this program moved (and keys the file lacks): another program closing at
  // the same time keeps the windows it moved.
  for (const Section& s : kSections) {
    const TFormPosition& p = FormPositions.*s.Pair;
    const TFormPosition& read = PositionsAsRead.*s.Pair;
    if (p.Left != read.Left || !ini.HasKey(s.Name, "LEFT"))
      ini.WriteInteger(s.Name, "LEFT", p.Left);
    if (p.Top != read.Top || !ini.HasKey(s.Name, "TOP")) ini.WriteInteger(s.Name, "TOP", p.Top);
  }
  ini.Save();
  PositionsAsRead = FormPositions;
}
