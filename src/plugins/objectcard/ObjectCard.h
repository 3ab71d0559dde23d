#pragma once
// The example object-utilities component: a card that shows the attribute row of one object,
// and a list of all the layer's rows from which an object can be shown on the map.

#include "plugins/ObjectUtils.h"

#include "db/Table.h"

#include <QPointer>
#include <QWidget>
#include <memory>

namespace plugins {

class ObjectCard : public IObjectUtils {
public:
  static constexpr const char* ClassId = "{7A4C2E10-5B3D-4F8E-9A61-2C0D3E4F5A6B}";

  explicit ObjectCard(ObjectUtilsContext context);
  ~ObjectCard() override;
  // The number the host locates the object of a list row by.
  int ObjectNumberOfRow(int row);

  void SetHost(IObjectUtilsHost* host) override { Host = host; }
  void Start() override;
  void SetMainForm(QObject* mainForm) override { MainForm = qobject_cast<QWidget*>(mainForm); }
  void SelectObject(int objectCode) override;
  void ShowCard() override;
  void ShowList() override;
  void Finish() override;

  // The attribute table of the layer: the `.DBF` beside a geometry file, or the objects table.
  static QString AttributeTableName(const QString& fileName);
  // The fields (name, value) of the object with this code: the row whose ObjectCode field holds
  // it, or, in a table without one, the row at that position. Empty when there is none.
  std::vector<std::pair<QString, QString>> ObjectFields(int objectCode);
  const QString& LastError() const { return Error; }

private:
  ObjectUtilsContext Context;
  IObjectUtilsHost* Host = nullptr;
  void ShowInFrontOfAsker(QWidget* window);
  QPointer<QWidget> MainForm;
  db::Table Table;
  int SelectedCode = -1;
  QString Error;
  QPointer<QWidget> Card, List;
};

} // namespace plugins
