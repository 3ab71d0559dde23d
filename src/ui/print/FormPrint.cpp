#include "FormPrint.h"

#include "base/AtomicFile.h"
#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "gfx/Canvas.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kPreviewWidth = 460;
const char* const kFitView = "Вписати поточний вид";

struct Paper {
  const char* Name;
  QPageSize::PageSizeId Id;
};
const Paper kPapers[] = {{"A4", QPageSize::A4}, {"A3", QPageSize::A3}, {"A2", QPageSize::A2}};

} // namespace

TFormPrint::TFormPrint(TFAMap& map, std::vector<const TClassObject*> legend, const QString& title,
                       QWidget* parent)
    : QDialog(parent), Map(map), Legend(std::move(legend)) {
  setObjectName("FormPrint");
  setWindowTitle(QString::fromUtf8("Друк"));
  const TExtent& v = Map.World.VisibleExtent;
  CentreX = (v.XMin + v.XMax) / 2;
  CentreY = (v.YMin + v.YMax) / 2;
  auto* layout = new QHBoxLayout(this);
  auto* form = new QFormLayout();
  cbDevice = new QComboBox(this);
  cbDevice->setObjectName("cbDevice");
  cbDevice->addItems({QString::fromUtf8("Принтер"), QString::fromUtf8("Файл PDF")});
  form->addRow(QString::fromUtf8("Куди:"), cbDevice);
  cbPaper = new QComboBox(this);
  cbPaper->setObjectName("cbPaper");
  for (const Paper& p : kPapers)
    cbPaper->addItem(p.Name);
  form->addRow(QString::fromUtf8("Папір:"), cbPaper);
  cbOrientation = new QComboBox(this);
  cbOrientation->setObjectName("cbOrientation");
  cbOrientation->addItems({QString::fromUtf8("Книжкова"), QString::fromUtf8("Альбомна")});
  form->addRow(QString::fromUtf8("Орієнтація:"), cbOrientation);
  cbScale = new QComboBox(this);
  cbScale->setObjectName("cbScale");
  cbScale->setEditable(true);
  cbScale->addItems({"1 : 500", "1 : 1000", "1 : 2000", "1 : 5000", QString::fromUtf8(kFitView)});
  cbScale->setCurrentIndex(2);
  form->addRow(QString::fromUtf8("Масштаб:"), cbScale);
  edTitle = new QLineEdit(title, this);
  edTitle->setObjectName("edTitle");
  form->addRow(QString::fromUtf8("Заголовок:"), edTitle);
  chkSheets = new QCheckBox(QString::fromUtf8("Уся область вікна на кількох аркушах"), this);
  chkSheets->setObjectName("chkSheets");
  form->addRow(QString(), chkSheets);
  connect(chkSheets, &QCheckBox::toggled, this, [this] { UpdatePreview(); });
  lblSheets = new QLabel(this);
  lblSheets->setObjectName("lblSheets");
  form->addRow(QString(), lblSheets);
  chkLegend = new QCheckBox(QString::fromUtf8("Легенда"), this);
  chkScaleBar = new QCheckBox(QString::fromUtf8("Масштабна лінійка"), this);
  chkNorth = new QCheckBox(QString::fromUtf8("Стрілка півночі"), this);
  for (QCheckBox* c : {chkLegend, chkScaleBar, chkNorth}) {
    c->setChecked(true);
    form->addRow(QString(), c);
    connect(c, &QCheckBox::toggled, this, [this] { UpdatePreview(); });
  }
  chkListPage = new QCheckBox(this);
  chkListPage->setObjectName("chkListPage");
  chkListPage->setVisible(false);
  form->addRow(QString(), chkListPage);
  form->addRow(new QLabel(QString::fromUtf8("Перетягніть прев'ю, щоб зсунути центр."), this));
  btnPrint = new QPushButton(QString::fromUtf8("Друк..."), this);
  btnPrint->setObjectName("btnPrint");
  auto* close = new QPushButton(QString::fromUtf8("Закрити"), this);
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(btnPrint);
  buttons->addWidget(close);
  form->addRow(buttons);
  layout->addLayout(form);
  lblPreview = new QLabel(this);
  lblPreview->setObjectName("lblPreview");
  lblPreview->setMinimumSize(kPreviewWidth, kPreviewWidth);
  lblPreview->setAlignment(Qt::AlignCenter);
  lblPreview->setCursor(Qt::OpenHandCursor);
  lblPreview->installEventFilter(this);
  layout->addWidget(lblPreview, 1);
  for (QComboBox* c : {cbPaper, cbOrientation, cbScale})
    connect(c, &QComboBox::currentIndexChanged, this, [this] { UpdatePreview(); });
  connect(cbScale->lineEdit(), &QLineEdit::editingFinished, this, [this] { UpdatePreview(); });
  connect(cbDevice, &QComboBox::currentIndexChanged, this, [this](int i) {
    btnPrint->setText(i == 0 ? QString::fromUtf8("Друк...") : QString::fromUtf8("Зберегти PDF..."));
  });
  connect(edTitle, &QLineEdit::editingFinished, this, [this] { UpdatePreview(); });
  connect(btnPrint, &QPushButton::clicked, this, [this] { Print(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  UpdatePreview();
}

void TFormPrint::OfferListPage(const QString& what, const QString& html) {
  ListPageHtml = html;
  chkListPage->setText(QString::fromUtf8("Сторінка зі списком: %1").arg(what));
  chkListPage->setChecked(true);
  chkListPage->setVisible(true);
}

TPrintSettings TFormPrint::Settings() const {
  TPrintSettings s;
  s.Page = QPageSize(kPapers[std::max(0, cbPaper->currentIndex())].Id);
  s.Orientation =
      cbOrientation->currentIndex() == 1 ? QPageLayout::Landscape : QPageLayout::Portrait;
  const QString scale = cbScale->currentText();
  if (scale == QString::fromUtf8(kFitView)) {
    s.Denominator = 0;
    s.FitView = Map.World.VisibleExtent;
  } else {
    // "1 : 2000", "1:2 000" or "2000": the digits after the colon.
    QString digits = scale.section(':', -1);
    digits.remove(' ');
    bool ok = false;
    const double n = digits.toDouble(&ok);
    s.Denominator = ok && n >= 1 && n <= 1e7 ? n : 2000;
  }
  s.CentreX = CentreX;
  s.CentreY = CentreY;
  s.Title = edTitle->text();
  s.Legend = chkLegend->isChecked();
  s.ScaleBar = chkScaleBar->isChecked();
  s.NorthArrow = chkNorth->isChecked();
  s.Sheets = chkSheets->isChecked();
  s.Area = Map.World.VisibleExtent;
  s.Marks = Map.Selection;
  if (chkListPage->isChecked()) s.ListPageHtml = ListPageHtml;
  return s;
}

void TFormPrint::UpdatePreview() {
  const TPrintSettings s = Settings();
  const TPrintLayout layout = LayOutPage(s);
  const double pagePx = layout.PageMm.width() * 96 / 25.4;
  PreviewFactor = kPreviewWidth / pagePx;
  if (layout.PageMm.height() > layout.PageMm.width())
    PreviewFactor = kPreviewWidth / (layout.PageMm.height() * 96 / 25.4);
  // The same drawing as on paper, on a page at the screen's 96 per inch, then made smaller: a
  // painter scaled below one or an image of another resolution would leave Qt's glyph caches
  // drawing the program's own menus and lists at the wrong size.
  QImage page(int(std::lround(layout.PageMm.width() * 96 / 25.4)),
              int(std::lround(layout.PageMm.height() * 96 / 25.4)), QImage::Format_RGB32);
  page.fill(Qt::white);
  // Of several sheets the first is shown.
  const TSheetPlan plan = PlanSheets(s);
  TPrintSettings first = s;
  first.CentreX = plan.Centres.front().first;
  first.CentreY = plan.Centres.front().second;
  DrawPrintPage(page, Map.Content, first, Legend);
  const QImage preview =
      page.scaled(int(page.width() * PreviewFactor), int(page.height() * PreviewFactor),
                  Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  lblPreview->setPixmap(QPixmap::fromImage(preview));
  lblSheets->setText(QString::fromUtf8("Аркушів: %1 (%2 × %3)")
                         .arg(plan.Centres.size())
                         .arg(plan.Columns)
                         .arg(plan.Rows));
}

bool TFormPrint::eventFilter(QObject* watched, QEvent* e) {
  const bool press = e->type() == QEvent::MouseButtonPress,
             release = e->type() == QEvent::MouseButtonRelease;
  if (watched != lblPreview || (!press && !release)) return QDialog::eventFilter(watched, e);
  auto* mouse = static_cast<QMouseEvent*>(e);
  if (press && mouse->button() == Qt::LeftButton) {
    Dragging = true;
    DragFrom = mouse->position().toPoint();
    return true;
  }
  if (release && Dragging) {
    Dragging = false;
    const QPoint moved = mouse->position().toPoint() - DragFrom;
    // Preview pixels to page millimetres to ground metres: the map follows the pointer.
    const TPrintLayout layout = LayOutPage(Settings());
    const double metresPerPreviewPixel = 25.4 / 96 / PreviewFactor / 1000 * layout.Denominator;
    CentreX -= moved.x() * metresPerPreviewPixel;
    CentreY += moved.y() * metresPerPreviewPixel;
    if (cbScale->currentText() == QString::fromUtf8(kFitView)) cbScale->setCurrentIndex(2);
    UpdatePreview();
    return true;
  }
  return QDialog::eventFilter(watched, e);
}

bool TFormPrint::SavePdf(const QString& path) {
  const TPrintSettings s = Settings();
  QBuffer bytes;
  bytes.open(QIODevice::WriteOnly);
  QStringList failures;
  {
    QPdfWriter pdf(&bytes);
    pdf.setResolution(gfx::kVectorResolution);
    pdf.setPageLayout(QPageLayout(s.Page, s.Orientation, QMarginsF(0, 0, 0, 0)));
    pdf.setCreator("Vandrel");
    pdf.setTitle(s.Title);
    DrawPrintPages(pdf, Map.Content, s, Legend, [&](const QString& f) { failures << f; });
  }
  try {
    base::WriteFileAtomically(path, bytes.data());
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
    return false;
  }
  if (!failures.isEmpty())
    base::UserMessages::Current().ShowMessage(QString::fromUtf8("Не надруковано шари:\n") +
                                              failures.join('\n'));
  return true;
}

void TFormPrint::Print() {
  if (cbDevice->currentIndex() == 1) {
    // The dialog asks before it replaces a file.
    const QString path = QFileDialog::getSaveFileName(this, QString::fromUtf8("Зберегти PDF"),
                                                      edTitle->text() + ".pdf",
                                                      QString::fromUtf8("Документи PDF (*.pdf)"));
    if (!path.isEmpty()) SavePdf(path);
    return;
  }
  const TPrintSettings s = Settings();
  QPrinter printer(QPrinter::HighResolution);
  printer.setResolution(gfx::kVectorResolution);
  printer.setPageLayout(QPageLayout(s.Page, s.Orientation, QMarginsF(0, 0, 0, 0)));
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  DrawPrintPages(printer, Map.Content, s, Legend);
}
