#pragma once
// The data environment of the program, created first and destroyed last: where the atlas lives,
// whether it may be edited, the four reference tables every window shares, and the remembered
// positions of the secondary windows (FORMS.INI beside the program).

#include "db/Table.h"

#include <QString>
#include <cstdint>

struct TFormPosition {
  int16_t Left = 0;
  int16_t Top = 0;
};

// One (Left, Top) pair per secondary window, in the order of FORMS.INI.
struct TFormPositions {
  TFormPosition SelInfo{640, 550};    // [FSelInfo]: object information window
  TFormPosition ObjList{710, 122};    // [FObjList]: search window
  TFormPosition Msg{428, 284};        // [FMsg]: confirmation window
  TFormPosition EditDB{340, 201};     // [FEditDB]: kept as read, no window uses it
  TFormPosition ViewSelObj{300, 300}; // [FViewSelObj]: choice among found objects
};

class TDataModuleVANDREL {
public:
  // Computes the directories, opens the four tables and reads FORMS.INI. `dataRoot` empty means
  // the program's directory, allowed in work mode 0 only. Raises std::runtime_error for a data
  // root that does not exist and db::Error for a table that cannot be opened.
  TDataModuleVANDREL(const QString& appDir, int workMode, const QString& dataRoot);
  // Writes FORMS.INI and closes the tables.
  ~TDataModuleVANDREL();
  TDataModuleVANDREL(const TDataModuleVANDREL&) = delete;
  TDataModuleVANDREL& operator=(const TDataModuleVANDREL&) = delete;

  // Where the object index's grid tables and the user objects of an atlas are: the atlas's own
  // USER_OBJ, or the program's for the atlas beside the program (and for a read-only data root
  // that carries none).
  static QString ObjectIndexDir(const QString& appDir, const QString& dataRoot, int workMode);

  // The one data module of the running program (null before it is created and after it is gone).
  static TDataModuleVANDREL* Instance();

  // Checked the desktop database engine's file-handle setting on the original platform; this
  // table store has no such setting, so there is nothing to do.
  void EnsureFileHandles() {}

  void ReadFormPositions();
  void WriteFormPositions();
  QString FormsIniPath() const { return AppDir + "/FORMS.INI"; }

  uint8_t WorkMode = 0;
  QString AppDir, RoutesDir, DataRoot, BaseDir, MapsDir, RefDir;
  QString UserObjDir; // the object index's grid tables and the user objects
  // Why the atlas is read only whatever the work mode asked (an atlas in a database this user
  // may only read); empty otherwise. WorkMode is then 1.
  QString ReadOnlyReason;
  db::Table TableCategory, TableClasses, TableGroup, TableImages;
  TFormPositions FormPositions;
  TFormPositions PositionsAsRead; // as FORMS.INI had them, to write only the windows moved
  // Whether FORMS.INI is written when the module goes (a run without windows moves none).
  bool SavePositions = true;
};
