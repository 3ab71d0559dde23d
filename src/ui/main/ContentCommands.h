#pragma once
// The main window's windows over the atlas's content: the street and address search, the layer
// properties, the reference dictionary, the symbol choice, a layer's attribute table, the object
// index of the map with its choice window and its rebuilding, the network topology calculation
// with its progress, and the help and reference pages.

#include "FormMapGroup.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class TFormAttributeTable;
class TFormHtmlBrowser;

class TContentCommands : public TFormMapGroup {
public:
  // Tells the map how to make the object index of each map it loads.
  TContentCommands(TFormMap& form, TDataModuleVANDREL& data);
  ~TContentCommands() override;

  void sbLayersClick();
  void sbStreetsClick();
  void sbAddressClick();
  // The search window's ShowList (table, directory, caption, mode, category, class, group):
  // reached from "Пошук вулиць", "Пошук адрес" and "Список" of both panels.
  using TShowList =
      std::function<void(const QString&, const QString&, const QString&, int, int, int, int)>;
  void SetObjectList(TShowList showList);
  TShowList ShowListWindow;
  void miClassifierClick();
  void ppmiChngSymbolClick();
  // Whether "Змінити знак" of the map applies to the current layer (work mode 0, category 100 on).
  bool ActiveLayerHasOwnSymbol() const;
  // "Змінити знак" of the panels opens the symbol window; their other commands are installed too.
  void InstallPanelCommands();
  // "Таблиця атрибутів" of a class's layer (from the panels' menus).
  void ShowAttributeTable(int category, int cls);
  std::unique_ptr<TFormAttributeTable> AttributeTable; // the one shown last
  void miCalcTopologicalModelClick();
  // Writes the object index's grid tables anew.
  void miRebuildIndexClick();
  // Lets the user choose one of several found objects ("Знайдені об'єкти"): the line or -1.
  int ChooseFoundObject(const QStringList& labels);
  // F1: the program's own help page.
  void imProgramHelpClick();
  // Help and reference pages: in the external viewer when there is one, else in the program's.
  void OpenDocument(const QString& path);
  // The external viewer's program (empty: the program's own viewer shows the pages). Looked up
  // when a page is first opened, not at the start: the desktop's lookup starts dozens of
  // processes, and the first picture waits for nothing but the atlas.
  QString HtmlViewer();
  void SetHtmlViewer(const QString& program) { HtmlViewerPath = program; }
  TFormHtmlBrowser* HtmlBrowser = nullptr;

private:
  std::optional<QString> HtmlViewerPath;
  // "Параметры классов" on the layers table's current row.
  void ShowLayersControls();
};
