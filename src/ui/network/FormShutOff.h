#pragma once
// "Відключення ділянки": the result of shutting off a water pipe — the valves to close (a tick
// marks one that will not close, and the walk goes on through it at once), the service
// connections cut off with their addresses, the buildings that lose water (and the dry pipes'
// ends without a node, beyond which the list may be short), and the pipes that go dry with
// their total length; the dry pipes, the valves and the buildings marked on the map; export to
// CSV, printing; a double click shows an item on the map.

#include "network/ShutOff.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <set>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TFormShutOff : public QDialog {
public:
  explicit TFormShutOff(QWidget* parent = nullptr);

  enum ItemKind { PipeItem, NodeItem, BuildingItem };

  // Shows the shut-off of `pipeCode` in `graph`; `buildings` null when the atlas names no
  // buildings layer, `buildingsNote` then says why none are listed.
  void ShowShutOff(std::shared_ptr<const network::TNetworkGraph> graph,
                   network::TNetworkSettings settings, int64_t pipeCode,
                   std::shared_ptr<const network::TBuildings> buildings,
                   const QString& buildingsNote = {});
  const network::TShutOff& Result() const { return Shown; }
  int64_t Pipe() const { return PipeCode; }
  const std::set<int64_t>& FailedValves() const { return Failed; }
  QByteArray Csv() const;
  // The lists as a printable page; `withPipes` false leaves the dry pipes out (valves to close
  // and addresses only).
  QString ReportHtml(bool withPipes = true) const;

  // Told of every new result (to mark it on the map), and of an item to show: a pipe's geometry
  // record, a node's row in its table, or a building's record.
  std::function<void(const network::TNetworkGraph&, const network::TShutOff&)> OnResult;
  std::function<void(ItemKind kind, int recordOrRow)> OnShowItem;

  QLabel* lblSummary = nullptr;
  QTreeWidget *tvValves = nullptr, *tvConnections = nullptr, *tvBuildings = nullptr,
              *tvPipes = nullptr;
  QPushButton *btnExport = nullptr, *btnPrint = nullptr;

private:
  void Recompute();
  void Fill();
  void ExportCsv();
  void Print();

  void FillBuildings();

  std::shared_ptr<const network::TNetworkGraph> Graph;
  std::shared_ptr<const network::TBuildings> Buildings;
  QString BuildingsNote;
  network::TNetworkSettings Settings;
  int64_t PipeCode = -1;
  std::set<int64_t> Failed;
  network::TShutOff Shown;
  double Length = 0;
  bool Filling = false;
};
