#pragma once
// "Відключення ділянки": the result of shutting off a water pipe — the valves to close (a tick
// marks one that will not close, and the walk goes on through it at once), the service
// connections cut off with their addresses, and the pipes that go dry with their total length;
// the dry pipes and the valves marked on the map; export to CSV, printing; a double click shows
// an item on the map.

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

  // Shows the shut-off of `pipeCode` in `graph` (kept by the caller while shown).
  void ShowShutOff(std::shared_ptr<const network::TNetworkGraph> graph,
                   network::TNetworkSettings settings, int64_t pipeCode);
  const network::TShutOff& Result() const { return Shown; }
  QByteArray Csv() const;
  QString ReportHtml() const;

  // Told of every new result (to mark it on the map), and of an item to show: a pipe's geometry
  // record, or a node's row in its table.
  std::function<void(const network::TNetworkGraph&, const network::TShutOff&)> OnResult;
  std::function<void(bool pipe, int recordOrRow)> OnShowItem;

  QLabel* lblSummary = nullptr;
  QTreeWidget *tvValves = nullptr, *tvConnections = nullptr, *tvPipes = nullptr;
  QPushButton *btnExport = nullptr, *btnPrint = nullptr;

private:
  void Recompute();
  void Fill();
  void ExportCsv();
  void Print();

  std::shared_ptr<const network::TNetworkGraph> Graph;
  network::TNetworkSettings Settings;
  int64_t PipeCode = -1;
  std::set<int64_t> Failed;
  network::TShutOff Shown;
  double Length = 0;
  bool Filling = false;
};
