#include "FormNetworkCheck.h"

#include "ui/common/CsvExport.h"

#include "base/Csv.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kNetwork = Qt::UserRole, kFinding = Qt::UserRole + 1;

} // namespace

TFormNetworkCheck::TFormNetworkCheck(QWidget* parent) : QDialog(parent) {
  setObjectName("FormNetworkCheck");
  setWindowTitle(QString::fromUtf8("Перевірка мережі"));
  resize(680, 520);
  auto* layout = new QVBoxLayout(this);
  tvFindings = new QTreeWidget(this);
  tvFindings->setObjectName("tvFindings");
  tvFindings->setHeaderHidden(true);
  tvFindings->setColumnCount(1);
  layout->addWidget(tvFindings, 1);
  auto* buttons = new QHBoxLayout();
  btnExport = new QPushButton(QString::fromUtf8("Експорт у CSV..."), this);
  btnExport->setObjectName("btnExport");
  auto* close = new QPushButton(QString::fromUtf8("Закрити"), this);
  buttons->addWidget(btnExport);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(btnExport, &QPushButton::clicked, this,
          [this] { SaveCsvAs(this, "network-check.csv", Csv()); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(tvFindings, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    const QVariant finding = item->data(0, kFinding);
    if (!finding.isValid() || !OnShow) return;
    const Network& n = Shown[size_t(item->data(0, kNetwork).toInt())];
    const network::TCheckFinding& f = n.Findings[size_t(finding.toInt())];
    if (!f.PipeRecords.empty())
      OnShow(n.PipesFile, f.PipeRecords);
    else if (!f.NodeRows.empty())
      OnShow(n.NodesFile, f.NodeRows);
  });
}

void TFormNetworkCheck::ShowNetworks(std::vector<Network> networks) {
  Shown = std::move(networks);
  tvFindings->clear();
  for (size_t k = 0; k < Shown.size(); ++k) {
    const Network& n = Shown[k];
    auto* top = new QTreeWidgetItem(tvFindings, {n.Title});
    QFont bold = top->font(0);
    bold.setBold(true);
    top->setFont(0, bold);
    (new QTreeWidgetItem(top, {n.Summary}))->setToolTip(0, n.Summary);
    for (size_t f = 0; f < n.Findings.size(); ++f) {
      auto* item = new QTreeWidgetItem(top, {n.Findings[f].Text});
      item->setData(0, kNetwork, int(k));
      item->setData(0, kFinding, int(f));
    }
    top->setExpanded(true);
  }
}

// What the window lists, in the words it lists them in, for a spreadsheet: the network, then
// each finding (the machine words of the check stay the command line's, --check-network).
QByteArray TFormNetworkCheck::Csv() const {
  QByteArray csv = QString::fromUtf8("Мережа,Знахідка\r\n").toUtf8();
  for (const Network& n : Shown) {
    const QString network = base::CsvField(n.Title);
    csv += (network + "," + base::CsvField(n.Summary)).toUtf8() + "\r\n";
    for (const network::TCheckFinding& finding : n.Findings)
      csv += (network + "," + base::CsvField(finding.Text)).toUtf8() + "\r\n";
  }
  return csv;
}
