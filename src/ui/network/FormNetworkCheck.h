#pragma once
// "Перевірка мережі": what the check found in each network, as a list under the network's name
// (its summary first); a double click shows the pipes or nodes of a row on the map; the whole
// list exported as CSV.

#include "network/NetworkCheck.h"

#include <QDialog>
#include <functional>
#include <vector>

class QPushButton;
class QTreeWidget;

class TFormNetworkCheck : public QDialog {
public:
  struct Network {
    QString Title;     // "водопровідна мережа (Water.dbf)"
    QString Summary;   // counts of each kind of finding
    QString PipesFile; // the map layers' files: "Water.mds", "WaterWells.db"
    QString NodesFile;
    std::vector<network::TCheckFinding> Findings;
  };

  explicit TFormNetworkCheck(QWidget* parent = nullptr);
  void ShowNetworks(std::vector<Network> networks);
  QByteArray Csv() const;

  // Told to show records of the layer drawn from `file` (a geometry file or an objects table).
  std::function<void(const QString& file, const std::vector<int>& records)> OnShow;

  QTreeWidget* tvFindings = nullptr;
  QPushButton* btnExport = nullptr;

private:
  std::vector<Network> Shown;
};
