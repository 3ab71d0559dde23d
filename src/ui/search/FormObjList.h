#pragma once
// The search window: streets by name, addresses by street and house number, or the objects of a
// class by name or address, each search a local SQL query rebuilt from the window's controls.
// A chosen row is shown on the map, its short information opened, and, for objects with logos,
// its logo shown and changed. The window lives for the whole run and stays on top.

#include "db/Query.h"

#include <QDialog>
#include <functional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class QTextEdit;
class QTimer;
class TDataModuleVANDREL;
class TFAMap;
class TQueryColumnModel;

class TFormObjList : public QDialog {
public:
  TFormObjList(TDataModuleVANDREL& data, TFAMap& map, QWidget* parent = nullptr);
  ~TFormObjList() override;

  void ShowList(const QString& table, const QString& databaseDir, const QString& caption, int mode,
                int category, int cls, int group);
  void PrepareList();
  void SearchStreets();
  void SearchObjects();
  // Doubles every double quote, so that the text can stand between double quotes in the SQL.
  static QString QuoteText(const QString& text);
  // The record index of an object code in the first map layer of (category, class); -1 when
  // no loaded layer is of that class.
  int FindObjectIndex(int category, int cls, int objectCode) const;

  // The handlers of the window.
  void edtNameStrChange();
  void chboxTypeStrClick();
  void RdBtnFromNameClick();
  void RdBtnFromAddressClick();
  void DBGridSearchDblClick();
  void DBGridSearchCellClick();
  void sbOnMapClick();
  void sbInfoClick();
  void sbImageClick();

  // What the window asks of the others (set by the program): show an object on the map, read
  // and write an object's logo number, show the short information of a record.
  std::function<bool(int, int, int)> ShowObjectOnMap;
  // The logo number of an object of the list's own class: (category, class, object code).
  std::function<int(int, int, int)> GetObjectImageIndex;
  // (category, class, object code, image number).
  std::function<void(int, int, int, int)> SetObjectImageIndex;
  std::function<void(int, int, int)> ShowInfo;
  // The logo choice window (current image number → chosen number, or -1 when given up).
  std::function<int(int)> ChooseImage;

  QString TableName, DatabaseDir;
  int ListMode = 0, ListCategory = 0, ListClass = 0, NumGroup = -1;
  db::Query QueryStreets;
  QString GridField, MemoField; // the columns the grid and the memo show

  QCheckBox *chboxTypeStr = nullptr, *chboxRegistr = nullptr;
  QComboBox* cboxTypeStr = nullptr;
  QLabel *lblSearchPar = nullptr, *lblNum = nullptr, *lblName = nullptr, *LabelImage = nullptr;
  QLabel* DBImage = nullptr;
  QLineEdit *edtNameStr = nullptr, *edtNum = nullptr;
  QPushButton *sbGoSearch = nullptr, *sbImage = nullptr, *sbOnMap = nullptr, *sbInfo = nullptr,
              *BitBtn1 = nullptr;
  QGroupBox *grpMethod = nullptr, *grpParams = nullptr;
  QRadioButton *RdBtnFromName = nullptr, *RdBtnFromAddress = nullptr, *RdBtnBegin = nullptr,
               *RdBtnIncl = nullptr;
  QTableView* DBGridSearch = nullptr;
  QTextEdit* DBMemo1 = nullptr;
  QFrame *PanelList = nullptr, *PanelNameObj = nullptr, *PanelBtn = nullptr;

protected:
  void done(int result) override; // stores the window's place whenever it closes

private:
  // The width of the column of controls, widened where a caption needs more at this font.
  int MeasureWide() const;
  void BuildQueryPanel();
  void BuildListPanel();
  void BuildButtonPanel();
  // Places the list and button panels for the button panel's height; the grid fills the list.
  void LayOut();
  void RunModeQuery();
  void ShowResult();
  QString GridCaption() const; // the grid's column header for the field shown
  void SetMethodEnabled(bool enabled);
  // The row's value of a column of the result; null when there is no row or no such column.
  db::Value CurrentValue(const QString& column) const;
  void ClearLogo();

  TDataModuleVANDREL& Data;
  TFAMap& Map;
  TQueryColumnModel* Model = nullptr;
  QTimer* TypingPause = nullptr; // searches a moment after the user stops typing
  bool Preparing = false;        // PrepareList runs the query itself, once
  int Wide = 173;
};
