#pragma once
// The grid index of the point objects of database layers: which objects of a class lie under a
// pick box around a point (with a choice for the user when several do), which lies nearest to
// a point within 10 map units (for the network topology), and the label of an object for the
// choice. The index is kept in grid tables prepared with the data: the shared `SPIN.DB` in the
// user-object directory, whose first record in key order holds the cell size, and optional
// per-class tables "spin" + layer file base name + ".db" that replace the shared records of
// their class. The index never writes.
//
// Limits: a search reads the records of the cells the search box meets, found by binary search
// on the tables' primary order (cell column, then cell row); the grid tables are read once and
// read again only when their file changes.

#include "core/MapObjectIndex.h"

#include "db/Table.h"

#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// The number of the grid cell, counted from 1, that `Offset` from the grid's origin falls in.
int64_t GridCellNumber(double Offset, double CellSize);

// The shared grid table of the object index, in the user objects' folder.
inline const QString kSpinTable = QStringLiteral("SPIN.DB");

class TDBPointsIndexs : public IMapObjectIndex {
public:
  TDBPointsIndexs(const QString& MapsDir, const QString& BaseDir, const QString& UserObjDir,
                  double XMin, double YMin, double XMax, double YMax);
  ~TDBPointsIndexs() override;

  bool FindObjectsAt(const TWorld& World, int16_t Category, double X, double Y, int32_t Class,
                     int32_t& ObjectNumber, double& FoundX, double& FoundY) override;
  // The object of (Category, Class) nearest (X, Y) within 10 map units in X and in Y; the first
  // in key order among equal distances.
  bool FindNearestInGrid(const TWorld& World, int16_t Category, double X, double Y, int32_t Class,
                         int32_t& ObjectNumber);
  // The object's `Number`, or its `Name` where the number is empty, from its class's object
  // table; empty when the object or its class is unknown.
  QString GetObjectLabel(int16_t Category, int32_t Class, int32_t ObjectNumber);
  // "spin" + the class's layer file name up to its first "." + ".db"; empty when the layers
  // table has no row for the class.
  QString GetSpinTableName(int16_t Category, int32_t Class);

  // One object of a grid table, as a check of the index sees it.
  struct TGridObject {
    int32_t ObjNum = 0;
    double X = 0, Y = 0;
    int64_t Column = 0, Row = 0; // the cell it is filed under
  };
  // Up to `Count` objects of (Category, Class), spread evenly over the table the class is
  // searched in; `Total` is how many it holds, or -1 when that table cannot be read.
  std::vector<TGridObject> SampleObjects(int16_t Category, int32_t Class, int Count, int& Total);

  // Lets the user choose among several found objects (their labels, in found order): the chosen
  // line, or -1 when none was chosen. Without it the first object found is taken.
  std::function<int(const QStringList&)> ChooseObject;

  // The pick box's half width and height in pixels at this transform: 5 × 5, or half a "W" of
  // the symbol font at the size of 10 map units when those are 8 pixels or more.
  static void PickBoxHalfSize(const TWorld& World, int& HalfWidth, int& HalfHeight);

  // While one is held, the files the searches depend on (the layers table, the user-object
  // directory, the per-class grid tables) are looked at once, not at every search: for a run of
  // many searches, such as the topology's.
  class THeldFiles {
  public:
    explicit THeldFiles(TDBPointsIndexs& Index) : Owner(Index) {
      if (Owner.FilesHeld++ == 0) ++Owner.HoldNumber;
    }
    ~THeldFiles() { --Owner.FilesHeld; }
    THeldFiles(const THeldFiles&) = delete;
    THeldFiles& operator=(const THeldFiles&) = delete;

  private:
    TDBPointsIndexs& Owner;
  };

  QString MapsDir, BaseDir, UserObjDir;
  db::Table SpinTable;
  std::unique_ptr<db::Table> ClassReestTable;
  double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
  double CellWidth = 0, CellHeight = 0;

private:
  // One grid record as the searches read it.
  struct GridRecord {
    int64_t Column = 0, Row = 0; // cell, the first two fields of the primary order
    int32_t Category = 0, Class = 0, ObjNum = 0;
    double X = 0, Y = 0;
    double ScaleIn = 0, ScaleOut = 0; // 0: no bound
  };
  struct GridRecords {
    QString Signature;          // of the file they were read from (per-class tables)
    uint64_t CheckedInHold = 0; // the hold in which the signature was last looked at
    uint64_t Changes = ~0ull;   // of SpinTable they were read at
    std::vector<GridRecord> Records;
  };
  // A cell box: columns and rows, each from the lower to the higher.
  struct Cells {
    int64_t ColumnMin, ColumnMax, RowMin, RowMax;
  };

  Cells CellsOf(double X1, double Y1, double X2, double Y2) const;
  // The records of the table the class is searched in; null after a failure to open it (shown).
  const std::vector<GridRecord>* GridFor(int16_t Category, int32_t Class);
  static std::vector<GridRecord> ReadGrid(db::Table& table);
  // Calls `visit` for every record of `cells` in the table's key order.
  template <class Visit>
  static void WalkCells(const std::vector<GridRecord>& grid, const Cells& cells, Visit visit);
  // Opens ClassReestTable again and moves it to the class's row; false when there is none.
  bool FindClassRow(int16_t Category, int32_t Class);
  void ReportOpenFailure(const QString& directory, const QString& table) const;

  GridRecords SharedGrid;
  std::map<QString, GridRecords> OwnGrids; // per-class tables by file
  // Per class: the name of its own grid table's file, or empty; kept while the layers table and
  // the user-object directory stay as they were.
  std::map<std::pair<int, int>, QString> OwnGridFiles;
  QString OwnGridFilesSignature;
  uint64_t OwnGridFilesCheckedInHold = 0;
  // Whether the files are held (THeldFiles), and the number of the latest hold.
  int FilesHeld = 0;
  uint64_t HoldNumber = 0;
  // Whether something checked in the hold `checked` need not be looked at again.
  bool CheckedInThisHold(uint64_t checked) const { return FilesHeld > 0 && checked == HoldNumber; }
  QString ClassReestPath; // the layers table's file, for noticing changes
};
