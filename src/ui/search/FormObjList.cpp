#include "FormObjList.h"
#include "QueryColumnModel.h"

#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "data/DataModule.h"
#include "db/Error.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>

namespace {

constexpr int kClientHeight = 533;
constexpr int kMargin = 17; // the window's width beyond its controls' column
constexpr int kQueryPanelHeight = 246;
constexpr int kTypingPause = 400; // milliseconds after the last key before searching

const char* const kByName = "За назвою";
const char* const kByAddress = "За адресою";
const char* const kFromStart = "За початковими буквами";

const char* const kStreetTypes[] = {"<Всі>",   "вул.",  "пров.",  "проріз", "просп.",
                                    "бульвар", "площа", "майдан", "шосе",   "проїзд"};

// Shows the busy cursor for the life of the object.
struct BusyCursor {
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

TFormObjList::TFormObjList(TDataModuleVANDREL& data, TFAMap& map, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      Data(data), Map(map) {
  // The window's controls were laid out for an 8-point dialog font; the column is widened where
  // the desktop's font needs more for a caption.
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  Wide = MeasureWide();
  setFixedSize(Wide + kMargin, kClientHeight);
  TypingPause = new QTimer(this);
  TypingPause->setSingleShot(true);
  TypingPause->setInterval(kTypingPause);
  connect(TypingPause, &QTimer::timeout, this, [this] { edtNameStrChange(); });
  BuildQueryPanel();
  BuildListPanel();
  BuildButtonPanel();
  GridField = MemoField = "ADRESS";
  move(Data.FormPositions.ObjList.Left, Data.FormPositions.ObjList.Top);
  LayOut();
}

TFormObjList::~TFormObjList() = default;

int TFormObjList::MeasureWide() const {
  // The widest rows of captions at this font: the two search methods side by side, and the
  // longest search option.
  auto hint = [this](const char* text) {
    QRadioButton probe(QString::fromUtf8(text));
    probe.setFont(font());
    return probe.sizeHint().width();
  };
  return std::max({173, hint(kByName) + hint(kByAddress) + 12, hint(kFromStart) + 8});
}

void TFormObjList::BuildQueryPanel() {
  chboxTypeStr = new QCheckBox(QString::fromUtf8("Тип вулиці"), this);
  chboxTypeStr->setObjectName("chboxTypeStr");
  chboxTypeStr->setGeometry(8, 4, Wide, 18);
  chboxTypeStr->setChecked(true);
  connect(chboxTypeStr, &QCheckBox::clicked, this, [this] { chboxTypeStrClick(); });
  cboxTypeStr = new QComboBox(this);
  cboxTypeStr->setObjectName("cboxTypeStr");
  cboxTypeStr->setGeometry(8, 24, Wide, 22);
  for (const char* type : kStreetTypes)
    cboxTypeStr->addItem(QString::fromUtf8(type));
  lblSearchPar = new QLabel(QString::fromUtf8("Назва"), this);
  lblSearchPar->setGeometry(8, 50, 110, 16);
  edtNameStr = new QLineEdit(this);
  edtNameStr->setObjectName("edtNameStr");
  edtNameStr->setGeometry(8, 66, Wide, 22);
  lblNum = new QLabel(QString::fromUtf8("№ будинку"), this);
  // The number's caption ends where its field ends; the street's caption takes what is left.
  const int numberCaption = std::max(62, lblNum->sizeHint().width());
  lblNum->setGeometry(8 + Wide - numberCaption, 50, numberCaption, 16);
  lblSearchPar->resize(Wide - numberCaption - 4, 16);
  edtNum = new QLineEdit(this);
  edtNum->setObjectName("edtNum");
  edtNum->setGeometry(Wide - 39, 66, 47, 22);
  // A search runs by itself a moment after the user stops typing.
  for (QLineEdit* edit : {edtNameStr, edtNum})
    connect(edit, &QLineEdit::textEdited, TypingPause, [this] { TypingPause->start(); });
  sbGoSearch = new QPushButton(QString::fromUtf8("Здійснити пошук"), this);
  sbGoSearch->setObjectName("sbGoSearch");
  sbGoSearch->setGeometry(8, 94, Wide, 25);
  connect(sbGoSearch, &QPushButton::clicked, this, [this] { edtNameStrChange(); });
  grpMethod = new QGroupBox(QString::fromUtf8("Метод пошуку"), this);
  grpMethod->setGeometry(8, 124, Wide, 44);
  RdBtnFromName = new QRadioButton(QString::fromUtf8(kByName), grpMethod);
  RdBtnFromName->setObjectName("RdBtnFromName");
  RdBtnFromName->setGeometry(4, 20, std::max(78, RdBtnFromName->sizeHint().width()), 18);
  RdBtnFromName->setChecked(true);
  RdBtnFromAddress = new QRadioButton(QString::fromUtf8(kByAddress), grpMethod);
  RdBtnFromAddress->setObjectName("RdBtnFromAddress");
  RdBtnFromAddress->setGeometry(RdBtnFromName->geometry().right() + 1, 20,
                                std::max(89, RdBtnFromAddress->sizeHint().width()), 18);
  connect(RdBtnFromName, &QRadioButton::toggled, this, [this](bool on) {
    if (on) RdBtnFromNameClick();
  });
  connect(RdBtnFromAddress, &QRadioButton::toggled, this, [this](bool on) {
    if (on) RdBtnFromAddressClick();
  });
  grpParams = new QGroupBox(QString::fromUtf8("Параметри пошуку:"), this);
  grpParams->setGeometry(8, 172, Wide, 72);
  chboxRegistr = new QCheckBox(QString::fromUtf8("Регістр"), grpParams);
  chboxRegistr->setObjectName("chboxRegistr");
  chboxRegistr->setGeometry(6, 16, Wide - 8, 18);
  RdBtnBegin = new QRadioButton(QString::fromUtf8(kFromStart), grpParams);
  RdBtnBegin->setObjectName("RdBtnBegin");
  RdBtnBegin->setGeometry(6, 34, Wide - 8, 18);
  RdBtnBegin->setChecked(true);
  RdBtnIncl = new QRadioButton(QString::fromUtf8("На входження"), grpParams);
  RdBtnIncl->setObjectName("RdBtnIncl");
  RdBtnIncl->setGeometry(6, 52, Wide - 8, 18);
  connect(chboxRegistr, &QCheckBox::clicked, this, [this] { edtNameStrChange(); });
  for (QRadioButton* b : {RdBtnBegin, RdBtnIncl})
    connect(b, &QRadioButton::clicked, this, [this] { edtNameStrChange(); });
}

void TFormObjList::BuildListPanel() {
  PanelList = new QFrame(this);
  auto* caption = new QLabel(QString::fromUtf8("Список знайдених:"), PanelList);
  caption->setGeometry(8, 2, Wide, 16);
  DBGridSearch = new QTableView(PanelList);
  DBGridSearch->setObjectName("DBGridSearch");
  Model = new TQueryColumnModel(QueryStreets, DBGridSearch);
  DBGridSearch->setModel(Model);
  DBGridSearch->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DBGridSearch->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGridSearch->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGridSearch->horizontalHeader()->setStretchLastSection(true);
  DBGridSearch->verticalHeader()->hide();
  DBGridSearch->verticalHeader()->setDefaultSectionSize(18);
  connect(DBGridSearch, &QTableView::doubleClicked, this, [this] { DBGridSearchDblClick(); });
  connect(DBGridSearch, &QTableView::clicked, this, [this] { DBGridSearchCellClick(); });
  connect(DBGridSearch->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            // DSrcTMPDataChange: the memo and the logo follow the current row.
            QueryStreets.SetRecNo(current.row() + 1);
            DBMemo1->setPlainText(db::ValueToString(CurrentValue(MemoField)));
            DBGridSearchCellClick();
          });
  PanelNameObj = new QFrame(PanelList);
  lblName = new QLabel(QString::fromUtf8("Адреса об'єкту:"), PanelNameObj);
  lblName->setGeometry(0, 0, Wide, 16);
  DBMemo1 = new QTextEdit(PanelNameObj);
  DBMemo1->setObjectName("DBMemo1");
  DBMemo1->setReadOnly(true);
  DBMemo1->setGeometry(0, 16, Wide, 46);
}

void TFormObjList::BuildButtonPanel() {
  PanelBtn = new QFrame(this);
  PanelBtn->setFrameShape(QFrame::StyledPanel);
  LabelImage = new QLabel(QString::fromUtf8("Логотип:"), PanelBtn);
  LabelImage->setGeometry(8, 6, 80, 16);
  DBImage = new QLabel(PanelBtn);
  DBImage->setObjectName("DBImage");
  DBImage->setGeometry(8, 22, 80, 52);
  DBImage->setAlignment(Qt::AlignCenter);
  auto button = [this](const QString& caption, const char* name, const QString& hint) {
    auto* b = new QPushButton(caption, PanelBtn);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->resize(25, 25);
    return b;
  };
  sbImage = button(QString::fromUtf8("Л"), "sbImage", QString::fromUtf8("Логотип"));
  sbOnMap = button(QString(), "sbOnMap", QString::fromUtf8("Показати на карті"));
  sbOnMap->setIcon(QIcon(":/glyphs/globe.xpm"));
  sbInfo = button(QString(), "sbInfo", QString::fromUtf8("Коротка інформація про вказаний об'єкт"));
  sbInfo->setIcon(QIcon(":/glyphs/info.xpm"));
  BitBtn1 = new QPushButton(QString::fromUtf8("Закрити"), PanelBtn);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->resize(std::max(75, BitBtn1->sizeHint().width()), 25);
  connect(sbImage, &QPushButton::clicked, this, [this] { sbImageClick(); });
  connect(sbOnMap, &QPushButton::clicked, this, [this] { sbOnMapClick(); });
  connect(sbInfo, &QPushButton::clicked, this, [this] { sbInfoClick(); });
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormObjList::LayOut() {
  const int buttons = PanelBtn->height() > 0 ? PanelBtn->height() : 40;
  PanelBtn->setGeometry(0, kClientHeight - buttons, width(), buttons);
  PanelList->setGeometry(0, kQueryPanelHeight, width(),
                         kClientHeight - buttons - kQueryPanelHeight);
  const int memo = PanelNameObj->isVisibleTo(this) ? 64 : 0;
  PanelNameObj->setGeometry(8, PanelList->height() - memo, Wide, memo);
  // The grid fills the list panel above the memo, 10 pixels short of its bottom.
  const int top = 18;
  DBGridSearch->setGeometry(8, top, Wide, PanelList->height() - memo - top - 10 + (memo ? 6 : 0));
}

void TFormObjList::done(int result) {
  Data.FormPositions.ObjList.Left = int16_t(x());
  Data.FormPositions.ObjList.Top = int16_t(y());
  TypingPause->stop();
  QDialog::done(result);
}

// ---------------------------------------------------------------- showing a list

void TFormObjList::ShowList(const QString& table, const QString& databaseDir,
                            const QString& caption, int mode, int category, int cls, int group) {
  TableName = table;
  DatabaseDir = databaseDir;
  ListMode = mode;
  ListCategory = category;
  ListClass = cls;
  NumGroup = group;
  setWindowTitle(caption);
  try {
    PrepareList();
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(e.Message);
  }
  show();
  if (isMinimized()) showNormal();
  raise();
  try {
    DBGridSearchCellClick();
  } catch (const std::exception&) {
    // Refreshing the logo at opening may fail; the window is shown all the same.
  }
}

void TFormObjList::SetMethodEnabled(bool enabled) {
  grpMethod->setEnabled(enabled); // greys its caption and both buttons
  RdBtnFromName->setEnabled(enabled);
  RdBtnFromAddress->setEnabled(enabled);
}

void TFormObjList::PrepareList() {
  BusyCursor busy;
  QueryStreets.Close();
  QueryStreets.SetDatabaseName(DatabaseDir);
  const bool objects = ListMode == 3 || ListMode == 4;
  chboxTypeStr->setVisible(ListMode != 2);
  cboxTypeStr->setVisible(ListMode != 2);
  if (ListMode != 2) cboxTypeStr->setCurrentIndex(0);
  for (QWidget* logo : {static_cast<QWidget*>(LabelImage), static_cast<QWidget*>(DBImage)})
    logo->setVisible(ListMode == 3);
  sbImage->setVisible(ListMode == 3 && Data.WorkMode == 0);
  // The radio button's handler lays its controls out but leaves the query to the end of this
  // preparation, which runs it once; the field's caption is set after the handler's.
  Preparing = true;
  if (objects) {
    SetMethodEnabled(true);
    PanelNameObj->show();
    RdBtnFromAddress->setChecked(true); // runs its handler when it was not checked before
    lblSearchPar->setText(QString::fromUtf8("Вулиця"));
  } else {
    SetMethodEnabled(false);
    lblNum->hide();
    edtNum->hide();
    PanelNameObj->hide();
    RdBtnFromName->setChecked(true);
    lblSearchPar->setText(QString::fromUtf8("Назва"));
  }
  Preparing = false;
  if (ListMode == 3) {
    sbImage->move(101, 7);
    sbOnMap->move(129, 7);
    sbInfo->move(157, 7);
    BitBtn1->move(101, 45);
    LabelImage->move(8, 6);
    DBImage->move(8, 22);
    PanelBtn->resize(width(), 80);
  } else {
    sbOnMap->move(8, 7);
    sbInfo->move(36, 7);
    BitBtn1->move(106, 7);
    PanelBtn->resize(width(), 40);
  }
  LayOut();
  if (ListMode == 1) SearchStreets();
  if (objects) SearchObjects();
  QueryStreets.Last();
  QueryStreets.First();
}

// ---------------------------------------------------------------- the queries

QString TFormObjList::QuoteText(const QString& text) {
  return QString(text).replace("\"", "\"\"");
}

void TFormObjList::SearchStreets() {
  QueryStreets.Close();
  QStringList sql;
  sql << "SELECT OBJECTCODE, STREET, (TYPE || \" \" || STREET) AS ADRESS ";
  sql << "FROM " + TableName;
  bool where = false;
  if (chboxTypeStr->isChecked() && cboxTypeStr->currentIndex() > 0) {
    sql << "WHERE (TYPE =\"" + cboxTypeStr->currentText() + "\") ";
    where = true;
  }
  if (!edtNameStr->text().isEmpty()) {
    const QString t = QuoteText(edtNameStr->text());
    const QString lower = QLocale::system().toLower(t);
    QString condition;
    if (chboxRegistr->isChecked())
      condition =
          RdBtnIncl->isChecked() ? "(STREET LIKE \"%" + t + "%\")" : "(STREET LIKE \"" + t + "%\")";
    else
      condition = RdBtnIncl->isChecked() ? "(LOWER(STREET) LIKE \"%" + lower + "%\")"
                                         : "(LOWER(STREET) LIKE \"" + lower + "%\")";
    sql << (where ? "AND " : "WHERE ") + condition;
  }
  QueryStreets.SQL = sql;
  MemoField = "ADRESS";
  GridField = "ADRESS";
  try {
    QueryStreets.Open();
  } catch (...) {
    ShowResult(); // the grid stays empty until the next search that succeeds
    throw;
  }
  ShowResult();
}

void TFormObjList::SearchObjects() {
  QueryStreets.Close();
  QStringList sql;
  sql << "SELECT NAME, STREET, OBJECTCODE, (TYPE || \" \" || STREET || \", \" || NUMBER) AS ADRESS";
  sql << "FROM " + TableName;
  bool where = false;
  auto condition = [&](const QString& text) {
    sql << (where ? "AND " : "WHERE ") + text;
    where = true;
  };
  if (NumGroup >= 0) condition("(NUMGROUP =" + QString::number(NumGroup) + ") ");
  const bool byAddress = RdBtnFromAddress->isChecked();
  if (byAddress && chboxTypeStr->isChecked() && cboxTypeStr->currentIndex() > 0)
    condition("(TYPE =\"" + cboxTypeStr->currentText() + "\") ");
  const QString name = edtNameStr->text();
  if (!name.isEmpty()) {
    const QString t = QuoteText(name);
    const QString lower = QLocale::system().toLower(t);
    const QString field = byAddress ? "STREET" : "NAME";
    const QString end = byAddress ? ") " : ")";
    if (chboxRegistr->isChecked())
      condition(RdBtnIncl->isChecked() ? "(" + field + " LIKE \"%" + t + "%\"" + end
                                       : "(" + field + " LIKE \"" + t + "%\"" + end);
    else
      condition(RdBtnIncl->isChecked() ? "(LOWER(" + field + ") LIKE \"%" + lower + "%\") "
                                       : "(LOWER(" + field + ") LIKE \"" + lower + "%\") ");
  }
  // The house number matches from its start and with case, and only with a street.
  if (byAddress && !name.isEmpty() && !edtNum->text().isEmpty())
    sql << "AND (NUMBER LIKE \"" + QuoteText(edtNum->text()) + "%\")";
  QueryStreets.SQL = sql;
  MemoField = byAddress ? "NAME" : "ADRESS";
  try {
    QueryStreets.Open();
  } catch (...) {
    ShowResult();
    throw;
  }
  ShowResult();
}

void TFormObjList::ShowResult() {
  Model->Reset(GridField, GridCaption());
  DBMemo1->clear();
  const bool found = QueryStreets.Active() && QueryStreets.RecordCount() > 0;
  // Nothing found: nothing of an earlier result stays to be shown or asked about.
  for (QPushButton* b : {sbOnMap, sbInfo, sbImage})
    b->setEnabled(found);
  if (!found) {
    ClearLogo();
    DBGridSearch->setToolTip(QString());
    return;
  }
  DBGridSearch->selectRow(0);
}

QString TFormObjList::GridCaption() const {
  if (GridField == "NAME") return QString::fromUtf8("Назва");
  return ListMode == 1 ? QString::fromUtf8("Вулиця") : QString::fromUtf8("Адреса");
}

void TFormObjList::RunModeQuery() {
  try {
    if (ListMode == 1) SearchStreets();
    if (ListMode == 3 || ListMode == 4) SearchObjects();
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(e.Message);
  }
}

// ---------------------------------------------------------------- the handlers

void TFormObjList::edtNameStrChange() {
  TypingPause->stop();
  BusyCursor busy;
  RunModeQuery();
  QueryStreets.Last();
  QueryStreets.First();
}

void TFormObjList::chboxTypeStrClick() {
  cboxTypeStr->setEnabled(chboxTypeStr->isChecked());
  BusyCursor busy;
  RunModeQuery();
}

void TFormObjList::RdBtnFromNameClick() {
  lblNum->hide();
  edtNum->hide();
  lblSearchPar->setText(QString::fromUtf8("Назва:"));
  edtNameStr->resize(Wide, edtNameStr->height());
  lblName->setText(QString::fromUtf8("Адреса об'єкту:"));
  GridField = ListMode == 1 ? "ADRESS" : "NAME";
  if (Preparing) return;
  BusyCursor busy;
  RunModeQuery();
}

void TFormObjList::RdBtnFromAddressClick() {
  for (QWidget* w : std::initializer_list<QWidget*>{chboxTypeStr, cboxTypeStr, lblNum, edtNum})
    w->show();
  lblSearchPar->setText(QString::fromUtf8("Вулиця:"));
  edtNameStr->resize(Wide - 52, edtNameStr->height());
  lblName->setText(QString::fromUtf8("Назва об'єкту:"));
  GridField = "ADRESS";
  if (Preparing) return;
  BusyCursor busy;
  RunModeQuery();
}

db::Value TFormObjList::CurrentValue(const QString& column) const {
  const int row = DBGridSearch->currentIndex().row();
  const int c = QueryStreets.FindColumn(column);
  if (row < 0 || c < 0) return db::Value();
  return QueryStreets.ValueAt(row, c);
}

void TFormObjList::DBGridSearchDblClick() {
  const db::Value code = CurrentValue("OBJECTCODE");
  if (db::IsNull(code)) return;
  // The street (or name) of the row goes into the search field; no new search follows.
  edtNameStr->setText(db::ValueToString(CurrentValue(GridField == "ADRESS" ? "STREET" : "NAME")));
  if (ShowObjectOnMap) ShowObjectOnMap(ListCategory, ListClass, int(db::ValueToInteger(code)));
}

void TFormObjList::sbOnMapClick() {
  const db::Value code = CurrentValue("OBJECTCODE");
  if (ShowObjectOnMap && !db::IsNull(code))
    ShowObjectOnMap(ListCategory, ListClass, int(db::ValueToInteger(code)));
}

int TFormObjList::FindObjectIndex(int category, int cls, int objectCode) const {
  for (const auto& layer : Map.Layers)
    if (layer->Category == category && layer->Class == cls) {
      try {
        return layer->IndexOfCode(objectCode);
      } catch (const std::exception&) {
        return -1;
      }
    }
  return -1;
}

void TFormObjList::sbInfoClick() {
  const db::Value code = CurrentValue("OBJECTCODE");
  if (db::IsNull(code)) return;
  const int index = FindObjectIndex(ListCategory, ListClass, int(db::ValueToInteger(code)));
  if (index < 0 || !ShowInfo) return;
  ShowInfo(ListCategory, ListClass, index);
}

void TFormObjList::ClearLogo() {
  DBImage->clear();
}

void TFormObjList::DBGridSearchCellClick() {
  if (ListMode != 3) return;
  const QModelIndex current = DBGridSearch->currentIndex();
  if (!current.isValid() || !GetObjectImageIndex) return ClearLogo();
  DBGridSearch->setToolTip(current.data().toString());
  const int image = GetObjectImageIndex(ListCategory, ListClass,
                                        int(db::ValueToInteger(CurrentValue("OBJECTCODE"))));
  db::Table& images = Data.TableImages;
  if (images.State() == db::TableState::Edit || images.State() == db::TableState::Insert ||
      !images.FindKey({int64_t(image)}))
    return ClearLogo();
  const QImage picture = QImage::fromData(images.FieldByName("Image").AsBlob());
  if (picture.isNull()) return ClearLogo();
  DBImage->setPixmap(QPixmap::fromImage(picture));
}

void TFormObjList::sbImageClick() {
  if (Data.WorkMode != 0) return; // hidden in the read-only modes: nothing is written there
  const int code = int(db::ValueToInteger(CurrentValue("OBJECTCODE")));
  if (code == 0 || !GetObjectImageIndex) return;
  if (!ChooseImage) {
    base::UserMessages::Current().ShowMessage(
        QString::fromUtf8("Вікно вибору логотипу ще не встановлене."));
    return;
  }
  // The object is of the list's own class, whatever the panels have selected meanwhile.
  try {
    const int current = GetObjectImageIndex(ListCategory, ListClass, code);
    const int chosen = ChooseImage(current);
    if (chosen < 0 || chosen == current || !SetObjectImageIndex) return;
    SetObjectImageIndex(ListCategory, ListClass, code, chosen);
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(e.Message);
  }
  DBGridSearchCellClick();
}
