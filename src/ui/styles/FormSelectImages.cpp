#include "FormSelectImages.h"

#include "base/UserMessages.h"
#include "data/DataModule.h"
#include "db/Error.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableWidget>

namespace {

enum Column { NameColumn, IndexColumn, ImageColumn };
constexpr int kPanelHeight = 70;

} // namespace

TFormSelectImages::TFormSelectImages(TDataModuleVANDREL& data, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), Data(data) {
  setWindowTitle(QString::fromUtf8("Вибір логотипу"));
  setFixedSize(279, 282);
  auto* panel = new QFrame(this);
  panel->setGeometry(279 - 95, 0, 95, 282);
  auto button = [panel](const char* caption, const char* name, int top) {
    auto* b = new QPushButton(QString::fromUtf8(caption), panel);
    b->setObjectName(name);
    b->setGeometry(8, top, 80, 25);
    b->setAutoDefault(false);
    return b;
  };
  BitBtnOK = button("Вибрати", "BitBtnOK", 10);
  BitBtnCancel = button("Відмінити", "BitBtnCancel", 40);
  BitBtnAdd = button("Новий", "BitBtnAdd", 95);
  BitBtnDel = button("Видалити", "BitBtnDel", 125);
  connect(BitBtnOK, &QPushButton::clicked, this, [this] {
    BitBtnOKClick();
    accept();
  });
  connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(BitBtnAdd, &QPushButton::clicked, this, [this] { BitBtnAddClick(); });
  connect(BitBtnDel, &QPushButton::clicked, this, [this] { BitBtnDelClick(); });
  DBCtrlGrid1 = new QTableWidget(0, 3, this);
  DBCtrlGrid1->setObjectName("DBCtrlGrid1");
  DBCtrlGrid1->setGeometry(0, 0, 279 - 95, 282);
  DBCtrlGrid1->setToolTip(
      QString::fromUtf8("Для вибору малюнка двічі натисніть\r\nна полі малюнка"));
  DBCtrlGrid1->setHorizontalHeaderLabels(
      {QString::fromUtf8("Назва"), QString::fromUtf8("№"), QString::fromUtf8("Малюнок")});
  DBCtrlGrid1->verticalHeader()->hide();
  DBCtrlGrid1->verticalHeader()->setDefaultSectionSize(kPanelHeight);
  DBCtrlGrid1->setColumnWidth(NameColumn, 70);
  DBCtrlGrid1->setColumnWidth(IndexColumn, 34);
  DBCtrlGrid1->horizontalHeader()->setStretchLastSection(true);
  DBCtrlGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBCtrlGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(DBCtrlGrid1, &QTableWidget::cellChanged, this,
          [this](int row, int column) { CellEdited(row, column); });
  connect(DBCtrlGrid1, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
    if (column == ImageColumn) DBImageDblClick();
  });
  Fill(0);
}

TFormSelectImages::~TFormSelectImages() {
  DBCtrlGrid1->disconnect(this);
}

QString TFormSelectImages::MissingField() const {
  for (const char* field : {"ImageIndex", "ImageName", "Image"})
    if (!Data.TableImages.FindField(field)) return QString::fromLatin1(field);
  return QString();
}

void TFormSelectImages::Fill(int current) {
  db::Table& images = Data.TableImages;
  if (const QString missing = MissingField(); !missing.isEmpty()) {
    // A table of another layout: said once, and nothing of it is shown or written.
    if (!MissingReported)
      base::UserMessages::Current().ShowMessage(
          QString::fromUtf8("Таблиця малюнків %1 не має поля «%2»: логотипи не можна вибрати.")
              .arg(images.FilePath(), missing));
    MissingReported = true;
    DBCtrlGrid1->setRowCount(0);
    for (QPushButton* b : {BitBtnOK, BitBtnAdd, BitBtnDel})
      b->setEnabled(false);
    return;
  }
  Filling = true;
  DBCtrlGrid1->setRowCount(images.RecordCount());
  const size_t name = images.FieldByName("ImageName").FieldNo();
  const size_t index = images.FieldByName("ImageIndex").FieldNo();
  const size_t image = images.FieldByName("Image").FieldNo();
  for (int r = 0; r < images.RecordCount(); ++r) {
    DBCtrlGrid1->setItem(r, NameColumn,
                         new QTableWidgetItem(db::ValueToString(images.ValueAt(r, name))));
    DBCtrlGrid1->setItem(r, IndexColumn,
                         new QTableWidgetItem(db::ValueToString(images.ValueAt(r, index))));
    auto* picture = new QTableWidgetItem();
    picture->setFlags(picture->flags() & ~Qt::ItemIsEditable);
    const QImage bitmap = QImage::fromData(db::ValueToBytes(images.ValueAt(r, image)));
    if (!bitmap.isNull())
      picture->setData(Qt::DecorationRole,
                       QPixmap::fromImage(bitmap).scaled(50, 50, Qt::KeepAspectRatio));
    DBCtrlGrid1->setItem(r, ImageColumn, picture);
  }
  if (images.RecordCount() > 0)
    DBCtrlGrid1->setCurrentCell(std::clamp(current, 0, images.RecordCount() - 1), NameColumn);
  Filling = false;
}

int TFormSelectImages::CurrentRow() const {
  return DBCtrlGrid1->currentRow();
}

bool TFormSelectImages::Editable() const {
  return Data.WorkMode == 0 && MissingField().isEmpty();
}

void TFormSelectImages::CellEdited(int row, int column) {
  if (Filling || column == ImageColumn) return;
  db::Table& images = Data.TableImages;
  const QString text = DBCtrlGrid1->item(row, column)->text();
  bool whole = true;
  const qlonglong number = text.trimmed().toLongLong(&whole);
  if (!Editable() || (column == IndexColumn && !whole)) {
    // Objects point at their logo by this number: a text that is no whole number would be
    // stored as 0 and take every such object's logo away.
    if (Editable())
      base::UserMessages::Current().ShowMessage(
          QString::fromUtf8("Номер малюнка має бути цілим числом: «%1» не записано.").arg(text));
    Fill(row);
    return;
  }
  try {
    images.SetRecNo(row + 1);
    images.Edit();
    if (column == NameColumn)
      images.FieldByName("ImageName").SetAsString(text);
    else
      images.FieldByName("ImageIndex").SetAsInteger(number);
    images.Post();
  } catch (const db::Error& e) {
    images.Cancel();
    base::UserMessages::Current().ShowMessage(e.Message);
  }
  Fill(row);
}

void TFormSelectImages::BitBtnOKClick() {
  if (!MissingField().isEmpty()) {
    SelectedImageIndex = -1;
    return;
  }
  const int row = CurrentRow();
  db::Table& images = Data.TableImages;
  SelectedImageIndex =
      row >= 0 && row < images.RecordCount()
          ? int(db::ValueToInteger(images.ValueAt(row, images.FieldByName("ImageIndex").FieldNo())))
          : -1;
}

void TFormSelectImages::BitBtnAddClick() {
  if (!Editable()) return; // the read-only modes write nothing of the data root
  db::Table& images = Data.TableImages;
  const int current = CurrentRow();
  // The next number after the last row's, whatever row is current.
  int64_t last = 0;
  if (!images.IsEmpty())
    last = db::ValueToInteger(
        images.ValueAt(images.RecordCount() - 1, images.FieldByName("ImageIndex").FieldNo()));
  try {
    images.Append();
    images.FieldByName("ImageIndex").SetAsInteger(last + 1);
    images.Post();
  } catch (const db::Error& e) {
    images.Cancel();
    base::UserMessages::Current().ShowMessage(e.Message);
  }
  Fill(current);
}

void TFormSelectImages::BitBtnDelClick() {
  const int row = CurrentRow();
  db::Table& images = Data.TableImages;
  if (!Editable() || row < 0 || row >= images.RecordCount()) return;
  // A picture deleted by a slip of the key would be lost: the deletion is confirmed first.
  const QString name = DBCtrlGrid1->item(row, NameColumn)->text();
  if (!base::UserMessages::Current().Confirm(QString::fromUtf8("Видалити малюнок «%1»?").arg(name)))
    return;
  try {
    images.SetRecNo(row + 1);
    images.Delete();
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(e.Message);
  }
  Fill(row);
}

void TFormSelectImages::LoadPicture(const QString& fileName) {
  if (!Editable()) return;
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw db::Error(fileName + ": малюнок не читається: " + file.errorString());
  const QByteArray bytes = file.readAll();
  if (QImage::fromData(bytes, "BMP").isNull())
    throw db::Error(fileName + ": файл не є малюнком BMP");
  const int row = CurrentRow();
  db::Table& images = Data.TableImages;
  if (row < 0 || row >= images.RecordCount()) return;
  images.SetRecNo(row + 1);
  images.Edit();
  try {
    images.FieldByName("ImageName").SetAsString(QFileInfo(fileName).fileName());
    images.FieldByName("Image").SetAsBlob(bytes);
    images.Post();
  } catch (...) {
    images.Cancel();
    throw;
  }
  Fill(row);
}

void TFormSelectImages::DBImageDblClick() {
  if (!Editable()) return;
  const QString fileName = QFileDialog::getOpenFileName(this, QString::fromUtf8("Вибір малюнка"),
                                                        QString(), "Bitmaps (*.bmp)");
  if (fileName.isEmpty()) return;
  try {
    LoadPicture(fileName);
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(e.Message);
  }
}

void TFormSelectImages::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    BitBtnAddClick();
    return;
  }
  if (e->key() == Qt::Key_Escape) {
    BitBtnDelClick();
    return;
  }
  QDialog::keyPressEvent(e);
}
