#pragma once
// "Параметры классов": the rows of the layers table edited in place — names and codes, geometry
// file, extent, scale thresholds, symbol, label and drawing style — with a navigator, colour
// panels, scale buttons that take the map's current scale and the nine label-position buttons.
// Every change reaches the file through the table store's posts; the map is rebuilt from the
// table when the window closes.

#include "db/Value.h"

#include <QDialog>
#include <functional>
#include <map>
#include <vector>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QToolButton;
class TDataModuleVANDREL;
class TFAMap;

class TFormLayersControls : public QDialog {
public:
  TFormLayersControls(TDataModuleVANDREL& data, TFAMap& map, QWidget* parent = nullptr);
  // The fields stop writing to the row first: a focused field loses its focus as the window goes.
  ~TFormLayersControls() override;

  void RefreshControls();
  // The navigator: first, prior, next, last, insert, delete, post, cancel.
  void DBNavigator1Click(int button);
  void sbFileSelectClick();
  // Applies a chosen file as sbFileSelectClick does (FileName, kind, extent, label fields). A
  // GIS file (GeoPackage, SpatiaLite, GeoJSON) becomes a layer from a GDAL source: one of its
  // layers, chosen by ChooseSourceLayer when it holds several.
  void ApplyChosenFile(const QString& path);
  // Asks which of a source's layers to show; empty when none is chosen.
  std::function<QString(const QStringList& layers)> ChooseSourceLayer;
  void PositionClick(int xLabel, int yLabel);
  void ScaleClick(const QString& field);
  void ColourClick(const QString& field);
  // Writes one field of the current row (edit mode first); false when the table refused it.
  bool WriteField(const QString& field, const db::Value& value);
  // Posts the row being edited; false (with the error shown) when the table refused it.
  bool PostRow();
  // Writes to the row what is being typed in the focused field.
  void CommitFocusedEditor();
  // Whether the atlas may be written (work mode 0); otherwise every write is refused.
  bool Editable() const;

  enum NavigatorButton { First, Prior, Next, Last, InsertRow, DeleteRow, PostButton, CancelButton };

  // The label-file window ("Метки"), set by the main window.
  std::function<void()> OnLabels;

  std::map<QString, QToolButton*> PositionButtons; // "sbLT" … "sbRB"
  std::map<QString, QPushButton*> ColourPanels;    // by field
  std::vector<QToolButton*> Navigator;
  QComboBox* DBComboBoxLabelFieldName = nullptr;
  QLineEdit* DBEditCharLabel = nullptr;
  QPushButton *sbFileSelect = nullptr, *sbLabels = nullptr, *BitBtnClose = nullptr;
  QWidget* Control(const QString& field) const; // the control bound to a field

protected:
  void done(int result) override; // a row still being edited is posted first
  void keyPressEvent(QKeyEvent* e) override;

private:
  struct Binding {
    QString Field;
    QWidget* Widget;
  };
  QGroupBox* Group(const QString& caption, int x, int y, int w, int h);
  QLineEdit* Edit(QWidget* parent, const QString& label, const QString& field, int x, int y,
                  int width);
  QComboBox* Combo(QWidget* parent, const QString& label, const QString& field,
                   const QStringList& choices, int x, int y, int width);
  QCheckBox* Check(QWidget* parent, const QString& caption, const QString& field, int x, int y);
  // A style chosen by its number and name (BrushStyle, PenStyle).
  QComboBox* StyleCombo(QWidget* parent, const QString& field, const QStringList& names, int x,
                        int y, int width);
  void Caption(QWidget* parent, const QString& text, int x, int y, int width);
  QPushButton* ColourPanel(QWidget* parent, const QString& field, int x, int y);
  void ScaleButton(QWidget* parent, const QString& field, int x, int y);
  void BuildGroups();
  void BuildNavigator();
  // Shows the current row in the bound controls.
  void LoadRow();
  QStringList AttributeTextFields(const QString& fileName) const;
  // Layers from GDAL sources (in FormLayersControlsSource.cpp).
  static bool IsGisFile(const QString& path);
  // How a row names a chosen file: by its name in the maps folder, else by its full path.
  QString SourceName(const QString& path) const;
  void ApplyGdalSource(const QString& path);
  // A picture chosen for a row: a raster layer (kind 17) with the picture's extent in the
  // atlas's coordinates.
  void ApplyRasterSource(const QString& path);
  QString AskSourceLayer(const QStringList& layers);
  QStringList SourceTextFields(const QString& source, const QString& layer) const;
  // Deletes the current row after asking; a row being inserted is only given up.
  void DeleteCurrentRow();
  // The symbol field shows the sign the map draws for each character of CharLabel in CharFont.
  QString CharFontName() const;
  QString ShownText(const QString& field, const QString& stored) const;
  QString StoredText(const QString& field, const QString& shown) const;
  void ShowCharLabel();
  void ShowStoredValue(QLineEdit* edit, const QString& field);

  TDataModuleVANDREL& Data;
  TFAMap& Map;
  std::vector<Binding> Bindings;
  bool Loading = false;
};
