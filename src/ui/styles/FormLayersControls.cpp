#include "FormLayersControls.h"

#include "base/ByteOrder.h"
#include "base/PathResolver.h"
#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "data/DataModule.h"
#include "db/Error.h"
#include "gfx/Canvas.h"
#include "gfx/SymbolFonts.h"
#include "gis/GdalLayer.h"
#include "gis/RasterLayer.h"

#include <algorithm>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {

// The nine label positions: button, XLabel, YLabel; laid out by column (left, middle, right)
// and row (top, middle, bottom).
struct Position {
  const char* Name;
  int X, Y;
};
constexpr Position kPositions[] = {{"sbLT", -1, -1}, {"sbLM", -1, 0}, {"sbLB", -1, 1},
                                   {"sbMT", 0, -1},  {"sbMM", 0, 0},  {"sbMB", 0, 1},
                                   {"sbRT", 1, -1},  {"sbRM", 1, 0},  {"sbRB", 1, 1}};

} // namespace

TFormLayersControls::TFormLayersControls(TDataModuleVANDREL& data, TFAMap& map, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), Data(data), Map(map) {
  setWindowTitle(QString::fromUtf8("Параметры классов"));
  setFixedSize(602, 430);
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);
  BuildNavigator();
  BuildGroups();
  ChooseSourceLayer = [this](const QStringList& layers) { return AskSourceLayer(layers); };
  RefreshControls(); // FormShow
}

TFormLayersControls::~TFormLayersControls() {
  for (const Binding& b : Bindings)
    b.Widget->disconnect(this);
}

// ---------------------------------------------------------------- building the window

QGroupBox* TFormLayersControls::Group(const QString& caption, int x, int y, int w, int h) {
  auto* g = new QGroupBox(caption, this);
  g->setGeometry(x, y, w, h);
  return g;
}

QLineEdit* TFormLayersControls::Edit(QWidget* parent, const QString& label, const QString& field,
                                     int x, int y, int width) {
  if (!label.isEmpty()) Caption(parent, label, x, y, width + 40);
  auto* edit = new QLineEdit(parent);
  edit->setObjectName("DBEdit" + field);
  edit->setGeometry(x, y + 14, width, 20);
  connect(edit, &QLineEdit::editingFinished, this, [this, edit, field] {
    const bool typed = !Loading && edit->isModified();
    edit->setModified(false);
    // A value the field cannot take is said by WriteField; the field shows the row's again.
    if (typed && !WriteField(field, StoredText(field, edit->text()))) ShowStoredValue(edit, field);
  });
  Bindings.push_back({field, edit});
  return edit;
}

QComboBox* TFormLayersControls::Combo(QWidget* parent, const QString& label, const QString& field,
                                      const QStringList& choices, int x, int y, int width) {
  if (!label.isEmpty()) Caption(parent, label, x, y, width);
  auto* combo = new QComboBox(parent);
  combo->setObjectName("DBComboBox" + field);
  combo->setEditable(true);
  combo->addItems(choices);
  combo->setGeometry(x, y + 14, width, 20);
  connect(combo, &QComboBox::currentTextChanged, this, [this, field](const QString& text) {
    if (!Loading) WriteField(field, text);
  });
  Bindings.push_back({field, combo});
  return combo;
}

void TFormLayersControls::Caption(QWidget* parent, const QString& text, int x, int y, int width) {
  auto* label = new QLabel(text, parent);
  // As wide as its text needs: a caption is never cut.
  label->setGeometry(x, y, std::max(width, label->sizeHint().width()), 14);
}

QComboBox* TFormLayersControls::StyleCombo(QWidget* parent, const QString& field,
                                           const QStringList& names, int x, int y, int width) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName("DBComboBox" + field);
  // The number as the table holds it, with the style's name.
  for (int i = 0; i < names.size(); ++i)
    combo->addItem(QString("%1 %2").arg(i).arg(names[i]), i);
  combo->setGeometry(x, y, width, 20);
  connect(combo, &QComboBox::currentIndexChanged, this, [this, combo, field](int index) {
    if (!Loading && index >= 0) WriteField(field, int64_t(combo->itemData(index).toInt()));
  });
  Bindings.push_back({field, combo});
  return combo;
}

QCheckBox* TFormLayersControls::Check(QWidget* parent, const QString& caption, const QString& field,
                                      int x, int y) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName("DBCheckBox" + field);
  box->setGeometry(x, y, std::max(110, box->sizeHint().width()), 18);
  connect(box, &QCheckBox::toggled, this, [this, field](bool on) {
    if (!Loading) WriteField(field, on);
  });
  Bindings.push_back({field, box});
  return box;
}

QPushButton* TFormLayersControls::ColourPanel(QWidget* parent, const QString& field, int x, int y) {
  auto* panel = new QPushButton(parent);
  panel->setObjectName("Panel" + field);
  panel->setGeometry(x, y, 40, 20);
  panel->setFlat(true);
  panel->setAutoFillBackground(true);
  connect(panel, &QPushButton::clicked, this, [this, field] { ColourClick(field); });
  ColourPanels[field] = panel;
  return panel;
}

void TFormLayersControls::ScaleButton(QWidget* parent, const QString& field, int x, int y) {
  auto* b = new QPushButton("...", parent);
  b->setObjectName("sbScale" + field);
  b->setToolTip(QString::fromUtf8("Поточний масштаб карти"));
  b->setGeometry(x, y, 22, 20);
  connect(b, &QPushButton::clicked, this, [this, field] { ScaleClick(field); });
}

void TFormLayersControls::BuildNavigator() {
  const char* glyphs[] = {"|<", "<", ">", ">|", "+", "−", "✓", "✗"};
  const char* hints[] = {"Перший", "Попередній", "Наступний", "Останній",
                         "Додати", "Видалити",   "Записати",  "Скасувати"};
  for (int i = 0; i < 8; ++i) {
    auto* b = new QToolButton(this);
    b->setText(QString::fromUtf8(glyphs[i]));
    b->setToolTip(QString::fromUtf8(hints[i]));
    b->setGeometry(8 + 26 * i, 6, 25, 22);
    connect(b, &QToolButton::clicked, this, [this, i] { DBNavigator1Click(i); });
    Navigator.push_back(b);
  }
  sbLabels = new QPushButton(QString::fromUtf8("Метки"), this);
  sbLabels->setObjectName("sbLabels");
  sbLabels->setGeometry(230, 6, 70, 22);
  connect(sbLabels, &QPushButton::clicked, this, [this] {
    if (OnLabels) OnLabels();
  });
  BitBtnClose = new QPushButton(QString::fromUtf8("Возврат"), this);
  BitBtnClose->setObjectName("BitBtnClose");
  BitBtnClose->setGeometry(520, 6, 74, 22);
  connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::accept);
}

void TFormLayersControls::BuildGroups() {
  const QStringList fonts = QFontDatabase::families();
  QGroupBox* main = Group(QString::fromUtf8(" Главные "), 8, 34, 290, 150);
  Edit(main, QString::fromUtf8("Имя"), "ClassName", 8, 16, 150)->setMaxLength(32);
  QStringList categories;
  for (int i = 0; i < Data.TableCategory.RecordCount(); ++i)
    categories << db::ValueToString(
        Data.TableCategory.ValueAt(i, Data.TableCategory.FieldByName("Category").FieldNo()));
  Combo(main, QString::fromUtf8("Категория"), "Category", categories, 166, 16, 66);
  Edit(main, QString::fromUtf8("Код"), "Class", 238, 16, 44);
  Edit(main, QString::fromUtf8("Файл"), "FileName", 8, 52, 146);
  sbFileSelect = new QPushButton("...", main);
  sbFileSelect->setObjectName("sbFileSelect");
  sbFileSelect->setGeometry(156, 66, 22, 20);
  connect(sbFileSelect, &QPushButton::clicked, this, [this] { sbFileSelectClick(); });
  Edit(main, QString::fromUtf8("Уровень"), "Level", 186, 52, 46);
  Check(main, QString::fromUtf8("Видимый"), "Visibled", 8, 96);
  Check(main, QString::fromUtf8("Выбираемый"), "Selected", 120, 96);

  QGroupBox* geometry = Group(QString::fromUtf8(" Геометрия и размеры "), 304, 34, 290, 150);
  Edit(geometry, "X0", "X0", 8, 16, 128);
  Edit(geometry, "Y0", "Y0", 146, 16, 128);
  Edit(geometry, "Xm", "Xm", 8, 52, 128);
  Edit(geometry, "Ym", "Ym", 146, 52, 128);
  Combo(geometry, QString::fromUtf8("№ ( код ) типа"), "PrimitiveType",
        {"1", "3", "5", "11", "13", "15", "17", "101", "102", "103"}, 8, 88, 80);
  Edit(geometry, QString::fromUtf8("Масштаб от 1:"), "ZoomInScale", 100, 88, 60);
  ScaleButton(geometry, "ZoomInScale", 162, 102);
  Edit(geometry, QString::fromUtf8("Масштаб до 1:"), "ZoomOutScale", 192, 88, 60);
  ScaleButton(geometry, "ZoomOutScale", 254, 102);

  QGroupBox* points = Group(QString::fromUtf8(" Точечные объекты "), 8, 188, 290, 120);
  QComboBox* charFont = Combo(points, QString::fromUtf8("Шрифт"), "CharFont", fonts, 8, 14, 150);
  DBEditCharLabel = Edit(points, QString(), "CharLabel", 166, 14, 30);
  connect(charFont, &QComboBox::currentTextChanged, this, [this] {
    // DBComboBoxCharFontNameChange: the symbol shown as it will be drawn.
    if (!Loading) ShowCharLabel();
  });
  // A letter typed is shown at once as the sign the map draws for it.
  connect(DBEditCharLabel, &QLineEdit::textEdited, this, [this](const QString& typed) {
    const QString shown = ShownText("CharLabel", StoredText("CharLabel", typed));
    if (shown == typed) return;
    DBEditCharLabel->setText(shown);
    DBEditCharLabel->setModified(true);
  });
  Edit(points, QString::fromUtf8("Размер"), "CharFontSize", 204, 14, 40);
  Edit(points, QString::fromUtf8("М иконки 1:"), "ZoomInIconScale", 8, 50, 60);
  ScaleButton(points, "ZoomInIconScale", 70, 64);
  Edit(points, QString::fromUtf8("М знака группы 1:"), "ZoomInGroupChar", 100, 50, 60);
  ScaleButton(points, "ZoomInGroupChar", 162, 64);
  Check(points, QString::fromUtf8("Масштабировать"), "CharLabelScale", 8, 92);
  ColourPanel(points, "CharFontColor", 204, 92);

  QGroupBox* labels = Group(QString::fromUtf8(" Метки "), 304, 188, 290, 200);
  DBComboBoxLabelFieldName =
      Combo(labels, QString::fromUtf8("Поле метки"), "TextFieldLabel", {}, 8, 14, 130);
  Edit(labels, QString::fromUtf8("Размер"), "TextFontSize", 146, 14, 40);
  Combo(labels, QString::fromUtf8("Шрифт"), "TextFont", fonts, 8, 50, 130);
  Edit(labels, QString::fromUtf8("Масштаб от 1:"), "ZoomInLabelScale", 146, 50, 60);
  ScaleButton(labels, "ZoomInLabelScale", 208, 64);
  for (const Position& p : kPositions) {
    auto* b = new QToolButton(labels);
    b->setObjectName(p.Name);
    b->setCheckable(true);
    b->setAutoExclusive(true);
    b->setGeometry(8 + 22 * (p.X + 1), 92 + 22 * (p.Y + 1), 20, 20);
    const int x = p.X, y = p.Y;
    connect(b, &QToolButton::clicked, this, [this, x, y] { PositionClick(x, y); });
    PositionButtons[p.Name] = b;
  }
  Edit(labels, QString::fromUtf8("Угол поворота"), "TextLabelAngle", 80, 88, 60);
  Check(labels, QString::fromUtf8("Видимая"), "VisibleLabel", 150, 104);
  ColourPanel(labels, "TextColor", 80, 126);
  Check(labels, "B", "TextFontBold", 130, 126)->resize(36, 18);
  Check(labels, "I", "TextFontItalic", 168, 126)->resize(36, 18);
  Check(labels, "U", "TextFontUnderline", 206, 126)->resize(36, 18);
  Check(labels, QString::fromUtf8("Масштабировать"), "TextLabelScale", 8, 160);
  Check(labels, QString::fromUtf8("Обрамлять"), "TextInBox", 150, 160);

  QGroupBox* paint = Group(QString::fromUtf8(" Ракраска "), 8, 312, 290, 76);
  ColourPanel(paint, "BrushColor", 8, 20);
  ColourPanel(paint, "PenColor", 56, 20);
  Check(paint, QString::fromUtf8("Масш."), "PenScale", 104, 22)->resize(60, 18);
  Edit(paint, QString(), "PenWidth", 170, 6, 40);
  StyleCombo(paint, "BrushStyle",
             {QString::fromUtf8("суцільна"), QString::fromUtf8("прозора"),
              QString::fromUtf8("горизонталі"), QString::fromUtf8("вертикалі"),
              QString::fromUtf8("діагоналі \\"), QString::fromUtf8("діагоналі /"),
              QString::fromUtf8("сітка"), QString::fromUtf8("коса сітка")},
             8, 46, 130);
  StyleCombo(paint, "PenStyle",
             {QString::fromUtf8("суцільна"), QString::fromUtf8("штрих"),
              QString::fromUtf8("крапки"), QString::fromUtf8("штрих-крапка"),
              QString::fromUtf8("штрих-крапка-крапка"), QString::fromUtf8("немає")},
             144, 46, 140);
  // Enter posts the row (keyPressEvent); no button of the window is started by it.
  for (QPushButton* b : findChildren<QPushButton*>())
    b->setAutoDefault(false);
}

QString TFormLayersControls::CharFontName() const {
  const auto* combo = qobject_cast<const QComboBox*>(Control("CharFont"));
  return combo ? combo->currentText() : QString();
}

QString TFormLayersControls::ShownText(const QString& field, const QString& stored) const {
  return field == "CharLabel" ? gfx::SymbolFontText(CharFontName(), stored) : stored;
}

QString TFormLayersControls::StoredText(const QString& field, const QString& shown) const {
  return field == "CharLabel" ? gfx::SymbolFontLetters(CharFontName(), shown) : shown;
}

void TFormLayersControls::ShowCharLabel() {
  const QString font = CharFontName();
  DBEditCharLabel->setFont(font.isEmpty() ? this->font() : gfx::SymbolDisplayFont(font, 14));
  db::Table& t = Data.TableClasses;
  const db::Field* label = t.IsEmpty() ? nullptr : t.FindField("CharLabel");
  const bool loading = Loading;
  Loading = true;
  DBEditCharLabel->setText(label ? ShownText("CharLabel", label->AsString()) : QString());
  Loading = loading;
}

QWidget* TFormLayersControls::Control(const QString& field) const {
  for (const Binding& b : Bindings)
    if (b.Field == field) return b.Widget;
  return nullptr;
}

// ---------------------------------------------------------------- the row

void TFormLayersControls::LoadRow() {
  Loading = true;
  db::Table& t = Data.TableClasses;
  for (const Binding& b : Bindings) {
    db::Field* f = t.IsEmpty() ? nullptr : t.FindField(b.Field);
    b.Widget->setEnabled(f != nullptr && Editable());
    const QString text = f ? f->AsString() : QString();
    if (auto* edit = qobject_cast<QLineEdit*>(b.Widget))
      edit->setText(ShownText(b.Field, text));
    else if (auto* combo = qobject_cast<QComboBox*>(b.Widget); combo && !combo->isEditable())
      combo->setCurrentIndex(f && !f->IsNull() ? combo->findData(int(f->AsInteger())) : -1);
    else if (combo)
      combo->setCurrentText(text);
    else if (auto* box = qobject_cast<QCheckBox*>(b.Widget))
      box->setChecked(f && f->AsBoolean());
  }
  Loading = false;
}

QStringList TFormLayersControls::AttributeTextFields(const QString& fileName) const {
  if (QString source, layer; TGdalLayer::SplitSourceName(fileName, source, layer))
    return SourceTextFields(source, layer);
  const qsizetype dot = fileName.indexOf('.');
  const QString base = dot >= 0 ? fileName.left(dot) : fileName;
  for (const char* extension : {".DB", ".DBF"}) {
    try {
      db::Table table(Data.MapsDir, base + extension);
      table.Open();
      QStringList names;
      for (const db::FieldDef& f : table.FieldDefs())
        if (f.Type == db::FieldType::String) names << f.Name;
      return names;
    } catch (const db::Error&) {
      // then the other extension; none: no choices, no message
    }
  }
  return {};
}

void TFormLayersControls::RefreshControls() {
  LoadRow();
  db::Table& t = Data.TableClasses;
  if (t.IsEmpty()) return;
  Loading = true;
  const QString current = DBComboBoxLabelFieldName->currentText();
  DBComboBoxLabelFieldName->clear();
  DBComboBoxLabelFieldName->addItems(AttributeTextFields(t.FieldByName("FileName").AsString()));
  DBComboBoxLabelFieldName->setCurrentText(current);
  ShowCharLabel();
  for (const auto& [field, panel] : ColourPanels) {
    QPalette p = panel->palette();
    p.setColor(QPalette::Button, gfx::ToQColor(uint32_t(t.FieldByName(field).AsInteger())));
    panel->setPalette(p);
  }
  const int x = int(t.FieldByName("XLabel").AsInteger()),
            y = int(t.FieldByName("YLabel").AsInteger());
  for (const Position& p : kPositions)
    if (p.X == x && p.Y == y) PositionButtons[p.Name]->setChecked(true);
  Loading = false;
}

bool TFormLayersControls::Editable() const {
  return Data.WorkMode == 0;
}

bool TFormLayersControls::WriteField(const QString& field, const db::Value& value) {
  if (!Editable()) return false; // the read-only modes write nothing of the data root
  db::Table& t = Data.TableClasses;
  try {
    if (t.State() == db::TableState::Browse) t.Edit();
    t.FieldByName(field).SetValue(value);
    return true;
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(e.Message);
    return false;
  }
}

bool TFormLayersControls::PostRow() {
  db::Table& t = Data.TableClasses;
  if (t.State() == db::TableState::Browse) return true;
  try {
    t.Post();
    return true;
  } catch (const db::Error& e) {
    // The row stays in edit mode with what the user typed; nothing was written.
    base::UserMessages::Current().ShowMessage(e.Message);
    return false;
  }
}

void TFormLayersControls::ShowStoredValue(QLineEdit* edit, const QString& field) {
  const db::Field* f = Data.TableClasses.IsEmpty() ? nullptr : Data.TableClasses.FindField(field);
  const bool loading = Loading;
  Loading = true;
  edit->setText(f ? ShownText(field, f->AsString()) : QString());
  Loading = loading;
}

void TFormLayersControls::CommitFocusedEditor() {
  // The navigator's buttons take no focus: what is being typed is written to the row first.
  QWidget* focused = focusWidget();
  for (const Binding& b : Bindings) {
    auto* edit = qobject_cast<QLineEdit*>(b.Widget);
    if (!edit || edit != focused || !edit->isModified()) continue;
    edit->setModified(false);
    if (!WriteField(b.Field, StoredText(b.Field, edit->text()))) ShowStoredValue(edit, b.Field);
  }
}

void TFormLayersControls::DBNavigator1Click(int button) {
  db::Table& t = Data.TableClasses;
  if (!Editable() && (button == InsertRow || button == DeleteRow)) return;
  if (button != CancelButton) CommitFocusedEditor();
  switch (button) {
  case First:
  case Prior:
  case Next:
  case Last:
    if (!PostRow()) return; // leaving a row posts it, as a data-bound form does
    if (button == First) t.First();
    if (button == Prior) t.Prior();
    if (button == Next) t.Next();
    if (button == Last) t.Last();
    break;
  case InsertRow:
    if (!PostRow()) return;
    t.Insert();
    break;
  case DeleteRow:
    DeleteCurrentRow();
    break;
  case PostButton:
    PostRow();
    break;
  case CancelButton:
    if (QWidget* focused = focusWidget(); qobject_cast<QLineEdit*>(focused))
      static_cast<QLineEdit*>(focused)->setModified(false); // what was typed is given up too
    t.Cancel();
    break;
  default:
    break;
  }
  RefreshControls();
}

void TFormLayersControls::DeleteCurrentRow() {
  db::Table& t = Data.TableClasses;
  // A new row not yet posted is only given up: the row the cursor falls back to is a real layer.
  if (t.State() == db::TableState::Insert) {
    t.Cancel();
    return;
  }
  // Unposted edits are given up first, so the question names the layer as it is stored.
  if (t.State() == db::TableState::Edit) t.Cancel();
  if (t.IsEmpty() ||
      !base::UserMessages::Current().Confirm(
          QString::fromUtf8("Видалити шар «%1»?").arg(t.FieldByName("ClassName").AsString())))
    return;
  try {
    t.Delete();
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(e.Message);
  }
}

void TFormLayersControls::keyPressEvent(QKeyEvent* e) {
  // Enter posts the row being edited, whatever field holds the focus.
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    CommitFocusedEditor();
    PostRow();
    RefreshControls();
    return;
  }
  QDialog::keyPressEvent(e);
}

void TFormLayersControls::PositionClick(int xLabel, int yLabel) {
  if (WriteField("XLabel", int64_t(xLabel)) && WriteField("YLabel", int64_t(yLabel))) PostRow();
}

void TFormLayersControls::ScaleClick(const QString& field) {
  // The map's current scale; the row is posted by the navigator or when the window closes.
  WriteField(field, Map.World.Scale);
  LoadRow();
}

void TFormLayersControls::ColourClick(const QString& field) {
  if (!Editable()) return;
  db::Table& t = Data.TableClasses;
  const QColor chosen =
      QColorDialog::getColor(gfx::ToQColor(uint32_t(t.FieldByName(field).AsInteger())), this);
  if (!chosen.isValid()) return;
  if (WriteField(field, int64_t(gfx::FromQColor(chosen)))) PostRow();
  RefreshControls();
}

void TFormLayersControls::sbFileSelectClick() {
  if (!Editable()) return;
  QFileDialog dialog(this, QString(), Data.MapsDir,
                     "Maps (*.m);;Points Database (*.db);;Geometry files (*.mds *.shp);;"
                     "GIS data (*.gpkg *.sqlite *.geojson);;"
                     "Pictures (*.tif *.tiff *.vrt *.mbtiles *.jp2 *.xml)");
  dialog.setDefaultSuffix("shp");
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  ApplyChosenFile(dialog.selectedFiles().first());
}

void TFormLayersControls::ApplyChosenFile(const QString& path) {
  if (!Editable()) return;
  if (IsGisFile(path)) return ApplyGdalSource(path);
  if (TRasterLayer::IsRasterFile(path)) return ApplyRasterSource(path);
  const QFileInfo file(path);
  const QString extension = "." + file.suffix().toUpper();
  if (!WriteField("FileName", file.fileName())) return;
  try {
    if (extension == ".M" || extension == ".MDS" || extension == ".SHP") {
      // The header of a geometry file: the shape type at byte 32, the box from byte 36.
      QFile geometry(path);
      if (!geometry.open(QIODevice::ReadOnly) || geometry.size() < 100)
        throw db::Error(path + ": заголовок файлу геометрії не читається");
      const QByteArray header = geometry.read(100);
      const auto* h = reinterpret_cast<const unsigned char*>(header.constData());
      WriteField("PrimitiveType", int64_t(base::GetU32LE(h + 32)));
      WriteField("X0", base::GetDoubleLE(h + 36));
      WriteField("Y0", base::GetDoubleLE(h + 44));
      WriteField("Xm", base::GetDoubleLE(h + 52));
      WriteField("Ym", base::GetDoubleLE(h + 60));
      // The label fields of its table: "NAME.m" gives NAME.DB; the others their .DBF.
      const QString table =
          extension == ".M" ? file.fileName().chopped(2) + ".DB" : file.completeBaseName() + ".DBF";
      db::Table attributes(file.path(), table);
      attributes.Open();
      Loading = true;
      DBComboBoxLabelFieldName->clear();
      for (const db::FieldDef& f : attributes.FieldDefs())
        DBComboBoxLabelFieldName->addItem(f.Name);
      Loading = false;
    } else if (extension == ".DB") {
      WriteField("PrimitiveType", int64_t(101));
    } else if (extension == ".L") {
      WriteField("PrimitiveType", int64_t(255));
    }
  } catch (const db::Error& e) {
    // The row stays in edit mode with what was written so far.
    base::UserMessages::Current().ShowMessage(e.Message);
    LoadRow();
    return;
  }
  PostRow();
  LoadRow();
}

void TFormLayersControls::done(int result) {
  // A field being typed in is finished, and the row posted, before the window goes.
  if (QWidget* focused = focusWidget()) focused->clearFocus();
  if (!PostRow()) return;
  QDialog::done(result);
}
