#include "FormShutOff.h"

#include "ui/common/CsvExport.h"

#include "base/AtomicFile.h"
#include "base/UserMessages.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kKind = Qt::UserRole, kIndex = Qt::UserRole + 1;

QTreeWidget* List(QWidget* parent, const char* name, const QStringList& headers) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName(name);
  list->setRootIsDecorated(false);
  list->setHeaderLabels(headers);
  list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  return list;
}

QTreeWidgetItem* AddItem(QTreeWidget* list, int64_t code, const QString& text,
                         TFormShutOff::ItemKind kind, int index) {
  auto* item = new QTreeWidgetItem(list, {QString::number(code), text});
  item->setData(0, kKind, int(kind));
  item->setData(0, kIndex, index);
  return item;
}

} // namespace

TFormShutOff::TFormShutOff(QWidget* parent) : QDialog(parent) {
  setObjectName("FormShutOff");
  setWindowTitle(QString::fromUtf8("Відключення ділянки"));
  resize(560, 760);
  auto* layout = new QVBoxLayout(this);
  lblSummary = new QLabel(this);
  lblSummary->setObjectName("lblSummary");
  lblSummary->setWordWrap(true);
  layout->addWidget(lblSummary);
  layout->addWidget(new QLabel(
      QString::fromUtf8("Засувки, які треба закрити (позначте ту, що не закривається):"), this));
  tvValves = List(this, "tvValves", {QString::fromUtf8("№"), QString::fromUtf8("Засувка")});
  layout->addWidget(tvValves, 2);
  layout->addWidget(new QLabel(QString::fromUtf8("Вводи без води:"), this));
  tvConnections =
      List(this, "tvConnections", {QString::fromUtf8("№"), QString::fromUtf8("Адреса")});
  layout->addWidget(tvConnections, 2);
  layout->addWidget(new QLabel(QString::fromUtf8("Будинки без води:"), this));
  tvBuildings = List(this, "tvBuildings", {QString::fromUtf8("№"), QString::fromUtf8("Адреса")});
  layout->addWidget(tvBuildings, 2);
  layout->addWidget(new QLabel(QString::fromUtf8("Труби без води:"), this));
  tvPipes = List(this, "tvPipes", {QString::fromUtf8("№"), QString::fromUtf8("Труба")});
  layout->addWidget(tvPipes, 3);
  auto* buttons = new QHBoxLayout();
  btnExport = new QPushButton(QString::fromUtf8("Експорт у CSV..."), this);
  btnExport->setObjectName("btnExport");
  btnPrint = new QPushButton(QString::fromUtf8("Друк..."), this);
  btnPrint->setObjectName("btnPrint");
  auto* close = new QPushButton(QString::fromUtf8("Закрити"), this);
  buttons->addWidget(btnExport);
  buttons->addWidget(btnPrint);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(btnExport, &QPushButton::clicked, this, [this] { ExportCsv(); });
  connect(btnPrint, &QPushButton::clicked, this, [this] { Print(); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(tvValves, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
    if (Filling) return;
    const int64_t code = item->text(0).toLongLong();
    if (item->checkState(0) == Qt::Checked)
      Failed.insert(code);
    else
      Failed.erase(code);
    // The lists are filled again after Qt has finished with the clicked item, which refilling
    // now would delete under it.
    QMetaObject::invokeMethod(
        this,
        [this, code] {
          Recompute();
          for (int i = 0; i < tvValves->topLevelItemCount(); ++i)
            if (tvValves->topLevelItem(i)->text(0).toLongLong() == code)
              tvValves->setCurrentItem(tvValves->topLevelItem(i));
        },
        Qt::QueuedConnection);
  });
  for (QTreeWidget* list : {tvValves, tvConnections, tvBuildings, tvPipes})
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
      if (OnShowItem)
        OnShowItem(ItemKind(item->data(0, kKind).toInt()), item->data(0, kIndex).toInt());
    });
}

void TFormShutOff::ShowShutOff(std::shared_ptr<const network::TNetworkGraph> graph,
                               network::TNetworkSettings settings, int64_t pipeCode,
                               std::shared_ptr<const network::TBuildings> buildings,
                               const QString& buildingsNote) {
  Graph = std::move(graph);
  Buildings = std::move(buildings);
  BuildingsNote = buildingsNote;
  Settings = std::move(settings);
  PipeCode = pipeCode;
  Failed.clear();
  Recompute();
}

void TFormShutOff::Recompute() {
  try {
    Shown = network::ShutOffPipe(*Graph, Settings, PipeCode, Failed);
    if (Buildings) network::FindLostBuildings(*Graph, *Buildings, Shown);
    Length = network::DryLength(*Graph, Shown);
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
    return;
  }
  Fill();
  if (OnResult) OnResult(*Graph, Shown);
}

void TFormShutOff::Fill() {
  Filling = true;
  for (QTreeWidget* list : {tvValves, tvConnections, tvBuildings, tvPipes})
    list->clear();
  const auto& nodes = Graph->Nodes();
  const auto& pipes = Graph->Pipes();
  for (const int node : Shown.Valves)
    AddItem(tvValves, nodes[size_t(node)].Code, Graph->NodeLabel(node), NodeItem,
            nodes[size_t(node)].Row)
        ->setCheckState(0, Qt::Unchecked);
  for (const int node : Shown.FailedValves) {
    QTreeWidgetItem* item =
        AddItem(tvValves, nodes[size_t(node)].Code,
                Graph->NodeLabel(node) + QString::fromUtf8(" — не закривається"), NodeItem,
                nodes[size_t(node)].Row);
    item->setCheckState(0, Qt::Checked);
  }
  for (const int node : Shown.Connections)
    AddItem(tvConnections, nodes[size_t(node)].Code, Graph->NodeAddress(node), NodeItem,
            nodes[size_t(node)].Row);
  FillBuildings();
  for (const int pipe : Shown.DryPipes)
    AddItem(tvPipes, pipes[size_t(pipe)].Code,
            QString::fromUtf8("%1, %2 м")
                .arg(Graph->PipeLabel(pipe))
                .arg(Graph->PipeLength(pipe), 0, 'f', 1),
            PipeItem, pipes[size_t(pipe)].Record);
  QString summary = QString::fromUtf8("Труба %1: закрити засувок — %2, без води вводів — %3, "
                                      "будинків — %4, труб — %5 загальною довжиною %6 м.")
                        .arg(PipeCode)
                        .arg(Shown.Valves.size())
                        .arg(Shown.Connections.size())
                        .arg(Shown.Buildings.size())
                        .arg(Shown.DryPipes.size())
                        .arg(Length, 0, 'f', 1);
  if (!Shown.OpenEnds.empty())
    summary += QString::fromUtf8(" Кінців труб без вузла: %1 — будинки за ними можуть бути не в "
                                 "списку.")
                   .arg(Shown.OpenEnds.size());
  if (!Buildings) summary += " " + BuildingsNote;
  lblSummary->setText(summary);
  Filling = false;
}

void TFormShutOff::FillBuildings() {
  const auto& pipes = Graph->Pipes();
  for (const network::TLostBuilding& b : Shown.Buildings) {
    QString text = b.Address.isEmpty() ? QString::fromUtf8("(без адреси)") : b.Address;
    if (b.OpenEndPipe >= 0)
      text += QString::fromUtf8(" — за кінцем без вузла труби %1")
                  .arg(pipes[size_t(b.OpenEndPipe)].Code);
    AddItem(tvBuildings, b.Code, text, BuildingItem, b.Record);
  }
  for (const auto& [pipe, end] : Shown.OpenEnds)
    AddItem(tvBuildings, pipes[size_t(pipe)].Code,
            QString::fromUtf8("Труба %1: ").arg(pipes[size_t(pipe)].Code) + network::OpenEndNote(),
            PipeItem, pipes[size_t(pipe)].Record)
        ->setForeground(1, QColor(0xA0, 0x40, 0x00));
  for (const int node : Shown.UnplacedConnections)
    AddItem(tvBuildings, Graph->Nodes()[size_t(node)].Code,
            Graph->NodeLabel(node) + QString::fromUtf8(": будинку поруч не знайдено"), NodeItem,
            Graph->Nodes()[size_t(node)].Row)
        ->setForeground(1, QColor(0xA0, 0x40, 0x00));
}

QByteArray TFormShutOff::Csv() const {
  QByteArray csv = "kind,number,label\r\n";
  for (const QString& line : network::ShutOffCsv(*Graph, Shown))
    csv += line.toUtf8() + "\r\n";
  return csv;
}

QString TFormShutOff::ReportHtml(bool withPipes) const {
  QString html = "<h2>" + QString::fromUtf8("Відключення ділянки") + "</h2><p>" +
                 lblSummary->text().toHtmlEscaped() + "</p>";
  for (const auto& [title, list] : {std::pair{QString::fromUtf8("Засувки"), tvValves},
                                    std::pair{QString::fromUtf8("Вводи без води"), tvConnections},
                                    std::pair{QString::fromUtf8("Будинки без води"), tvBuildings},
                                    std::pair{QString::fromUtf8("Труби без води"), tvPipes}}) {
    if (list == tvPipes && !withPipes) continue;
    html += "<h3>" + title + "</h3><table border=1 cellspacing=0 cellpadding=2>";
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      html += "<tr><td>" + list->topLevelItem(i)->text(0).toHtmlEscaped() + "</td><td>" +
              list->topLevelItem(i)->text(1).toHtmlEscaped() + "</td></tr>";
    html += "</table>";
  }
  return html;
}

void TFormShutOff::ExportCsv() {
  SaveCsvAs(this, QString("shutoff-%1.csv").arg(PipeCode), Csv());
}

void TFormShutOff::Print() {
  QPrinter printer;
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  QTextDocument document;
  document.setHtml(ReportHtml());
  document.print(&printer);
}
