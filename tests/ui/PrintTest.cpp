// "Друк": the print window on the demo city — the preview follows the settings and a drag moves
// the centre by the ground distance dragged; a PDF page of A4 at 1 : 1,000 has the paper's
// size, the title, the scale and the legend as text, no page-sized picture, and its scale bar
// measures on the paper its ground length divided by the scale's denominator.

#include "core/FAMap.h"
#include "layers/GeometryFile.h"
#include "ui/main/FormMap.h"
#include "ui/panels/LayerPanels.h"
#include "ui/print/FormPrint.h"

#include "ProgramWindows.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

std::vector<const TClassObject*> LegendOf(TFormMap& form) {
  std::vector<const TClassObject*> legend;
  for (const TNodeLine& line : form.Panels->LayerNodes)
    legend.push_back(dynamic_cast<const TClassObject*>(line.Node.get()));
  return legend;
}

QString RunTool(const QString& tool, const QStringList& args) {
  QProcess p;
  p.start(tool, args);
  if (!p.waitForFinished(60000)) return {};
  return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(Print, ThePreviewFollowsTheSettingsAndADragMovesTheCentre) {
  DemoMainWindow shown(1000, 700);
  ASSERT_TRUE(shown.Exposed);
  TFormPrint window(*shown.Form->Map, LegendOf(*shown.Form), QString::fromUtf8("Мережі міста"));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QSize portrait = window.lblPreview->pixmap().size();
  EXPECT_GT(portrait.height(), portrait.width());
  window.cbOrientation->setCurrentIndex(1);
  const QSize landscape = window.lblPreview->pixmap().size();
  EXPECT_GT(landscape.width(), landscape.height());
  window.cbScale->setCurrentIndex(1); // 1 : 1000
  EXPECT_DOUBLE_EQ(window.Settings().Denominator, 1000);
  // A drag of 40 preview pixels to the right moves the ground the other way by as much.
  const double x = window.CentreX, y = window.CentreY;
  const QPoint from = window.lblPreview->rect().center();
  QTest::mousePress(window.lblPreview, Qt::LeftButton, {}, from);
  QTest::mouseRelease(window.lblPreview, Qt::LeftButton, {}, from + QPoint(40, 0));
  const double pagePixels = LayOutPage(window.Settings()).PageMm.width() * 96 / 25.4;
  const double metres = 40 * pagePixels / landscape.width() * 25.4 / 96 / 1000 * 1000;
  EXPECT_NEAR(window.CentreX, x - metres, metres * 0.02);
  EXPECT_DOUBLE_EQ(window.CentreY, y);
  // A typed scale is taken; one that is no scale falls back to 1 : 2000.
  window.cbScale->setEditText("1 : 750");
  EXPECT_DOUBLE_EQ(window.Settings().Denominator, 750);
  window.cbScale->setEditText("abc");
  EXPECT_DOUBLE_EQ(window.Settings().Denominator, 2000);
}

TEST(Print, AnA4PageAt1To1000IsThePaperWithTextAndATrueScale) {
  DemoMainWindow shown(1000, 700);
  ASSERT_TRUE(shown.Exposed);
  TFormPrint window(*shown.Form->Map, LegendOf(*shown.Form), QString::fromUtf8("Мережі міста"));
  window.cbScale->setCurrentIndex(1); // 1 : 1000
  const QString pdf = shown.Atlas.path() + "/page.pdf";
  ASSERT_TRUE(window.SavePdf(pdf));
  const QString info = RunTool("pdfinfo", {pdf});
  const auto size = QRegularExpression(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)").match(info);
  ASSERT_TRUE(size.hasMatch()) << info.toStdString();
  EXPECT_NEAR(size.captured(1).toDouble(), 595.3, 1) << "A4 portrait";
  EXPECT_NEAR(size.captured(2).toDouble(), 841.9, 1);
  const QString text = RunTool("pdftotext", {pdf, "-"});
  EXPECT_TRUE(text.contains(QString::fromUtf8("Мережі міста")));
  EXPECT_TRUE(text.contains("1 : 1000"));
  EXPECT_TRUE(text.contains(QString::fromUtf8("Будинки"))) << "the legend";
  for (const QString& line : RunTool("pdfimages", {"-list", pdf}).split('\n').mid(2)) {
    const QStringList f = line.simplified().split(' ');
    if (f.size() > 4) {
      EXPECT_LT(f[3].toInt() * f[4].toInt(), 200 * 200) << "only the legend's small samples";
    }
  }
  // The scale bar on paper: rendered at 10 pixels per millimetre, its line's length against the
  // ground length its caption names.
  const auto caption = QRegularExpression(R"((\d+) (м|км))").match(text);
  ASSERT_TRUE(caption.hasMatch()) << text.toStdString();
  const double ground = caption.captured(1).toDouble() * (caption.captured(2) == "км" ? 1000 : 1);
  RunTool("pdftoppm",
          {"-r", "254", "-gray", "-png", "-singlefile", pdf, shown.Atlas.path() + "/page"});
  const QImage page(shown.Atlas.path() + "/page.png");
  ASSERT_FALSE(page.isNull());
  const TPrintLayout layout = LayOutPage(window.Settings());
  // The longest black run in the footer's right third, below the frame: the bar's line, whose
  // square ends reach half its thickness past each end.
  int longest = 0, runY = 0, runEnd = 0;
  const int top = int(layout.FooterMm.top() * 10) + 5, bottom = int(layout.FooterMm.bottom() * 10);
  const int left = int((layout.FooterMm.right() - layout.FooterMm.width() / 3) * 10);
  for (int y = top; y < bottom && y < page.height(); ++y) {
    int run = 0;
    for (int x = left; x < page.width(); ++x) {
      run = qGray(page.pixel(x, y)) < 100 ? run + 1 : 0;
      if (run > longest) longest = run, runY = y, runEnd = x;
    }
  }
  int thickness = 0;
  const int middle = runEnd - longest / 2;
  for (int y = runY; y < page.height() && qGray(page.pixel(middle, y)) < 100; ++y)
    ++thickness;
  for (int y = runY - 1; y >= 0 && qGray(page.pixel(middle, y)) < 100; --y)
    ++thickness;
  const double barMm = (longest - thickness) / 10.0;
  EXPECT_NEAR(barMm, ground * 1000 / 1000, 0.5) << ground << " m";
}

// The whole view at 1 : 2,000 does not fit one A4 sheet: it prints on a grid of sheets that
// overlap by 10 mm on paper and together cover the view, one PDF page each, each naming itself.
// The legend names every layer drawn on the sheet, however many (the 13th and later were left
// out silently): the entries close up until they fit.
TEST(Print, TheLegendNamesEveryLayerDrawnOnTheSheet) {
  DemoMainWindow shown(1000, 700);
  ASSERT_TRUE(shown.Exposed);
  TFAMap& map = *shown.Form->Map;
  TFormPrint window(map, LegendOf(*shown.Form), QString::fromUtf8("Мережі міста"));
  window.cbScale->setCurrentIndex(2); // 1 : 2000, where fourteen layers are drawn
  const QString pdf = shown.Atlas.path() + "/legend.pdf";
  ASSERT_TRUE(window.SavePdf(pdf));
  const QString text = RunTool("pdftotext", {pdf, "-"}).simplified();
  // The scale the sheet is drawn at, as the page's map frame gives it.
  const TPrintLayout layout = LayOutPage(window.Settings());
  TWorld sheet;
  const auto px = [](double mm) { return int(std::lround(mm * 96 / 25.4)); };
  sheet.SetView(px(layout.MapMm.width()), px(layout.MapMm.height()), layout.View.XMin,
                layout.View.YMin, layout.View.XMax, layout.View.YMax);
  sheet.ComputeScale(layout.MapMm.width());
  int listed = 0;
  for (const TClassObject* c : LegendOf(*shown.Form)) {
    const TCustomLayer* layer = map.Content.LayerOf(c->Category, c->Class);
    if (!layer || !layer->ScaleAllowsDrawing(sheet.Scale)) continue;
    ++listed;
    EXPECT_TRUE(text.contains(c->ClassName.simplified())) << c->ClassName.toStdString();
  }
  EXPECT_GT(listed, 12);
}

TEST(Print, AnAreaLargerThanASheetPrintsOnOverlappingSheets) {
  DemoMainWindow shown(1000, 700);
  ASSERT_TRUE(shown.Exposed);
  TFormPrint window(*shown.Form->Map, LegendOf(*shown.Form), QString::fromUtf8("Місто"));
  window.cbScale->setCurrentIndex(2); // 1 : 2000
  window.chkSheets->setChecked(true);
  const TPrintSettings s = window.Settings();
  const TSheetPlan plan = PlanSheets(s);
  ASSERT_GT(plan.Centres.size(), 1u);
  EXPECT_EQ(int(plan.Centres.size()), plan.Columns * plan.Rows);
  EXPECT_TRUE(window.lblSheets->text().contains(QString::number(plan.Centres.size())));
  const TPrintLayout layout = LayOutPage(s);
  const double w = layout.View.XMax - layout.View.XMin, h = layout.View.YMax - layout.View.YMin;
  const double overlap = kSheetOverlapMm / 1000 * 2000;
  if (plan.Columns > 1) {
    EXPECT_NEAR(plan.Centres[1].first - plan.Centres[0].first, w - overlap, 1e-6);
  }
  if (plan.Rows > 1) {
    EXPECT_NEAR(plan.Centres[0].second - plan.Centres[size_t(plan.Columns)].second, h - overlap,
                1e-6);
  }
  // Together the sheets cover the area.
  const TExtent& a = s.Area;
  EXPECT_LE(plan.Centres.front().first - w / 2, a.XMin);
  EXPECT_GE(plan.Centres.back().first + w / 2, a.XMax);
  EXPECT_GE(plan.Centres.front().second + h / 2, a.YMax);
  EXPECT_LE(plan.Centres.back().second - h / 2, a.YMin);
  const QString pdf = shown.Atlas.path() + "/sheets.pdf";
  ASSERT_TRUE(window.SavePdf(pdf));
  const QString info = RunTool("pdfinfo", {pdf});
  EXPECT_TRUE(
      info.contains(QRegularExpression(QString(R"(Pages:\s+%1\b)").arg(plan.Centres.size()))))
      << info.toStdString();
  EXPECT_TRUE(RunTool("pdftotext", {pdf, "-"})
                  .contains(QString::fromUtf8("аркуш 2 з %1").arg(plan.Centres.size())));
}

// The print window and its PDF leave the program's fonts as they were: a menu of the main window
// is drawn the same before and after, and the window's own lists draw their text at the screen's
// size.
TEST(Print, ThePreviewAndThePdfLeaveTheMenusFontsAsTheyWere) {
  DemoMainWindow shown(1000, 700);
  ASSERT_TRUE(shown.Exposed);
  QMenu* menu = shown.Form->menuBar()->actions().value(0)->menu();
  ASSERT_NE(menu, nullptr);
  const auto drawn = [&] {
    QLabel label(QString::fromUtf8("Зберегти виміри"));
    label.adjustSize();
    return std::make_pair(label.grab().toImage(), menu->grab().toImage());
  };
  const auto before = drawn();
  {
    TFormPrint window(*shown.Form->Map, LegendOf(*shown.Form), QString::fromUtf8("Мережі міста"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTemporaryDir dir;
    ASSERT_TRUE(window.SavePdf(dir.filePath("page.pdf")));
    window.close();
  }
  const auto after = drawn();
  EXPECT_TRUE(after.first == before.first) << "a label's text is drawn otherwise";
  EXPECT_TRUE(after.second == before.second) << "the menu is drawn otherwise";
}

namespace {

// Dark pixels per letter of a menu's texts as the X server shows the menu.
double InkPerLetter(QMenu& menu) {
  const QImage pixels = menu.screen()->grabWindow(menu.winId()).toImage();
  int letters = 0;
  for (const QAction* a : menu.actions())
    letters += int(a->text().remove('&').size());
  int dark = 0;
  for (int y = 0; y < pixels.height(); ++y)
    for (int x = 0; x < pixels.width(); ++x)
      dark += qGray(pixels.pixel(x, y)) < 128;
  return letters ? double(dark) / letters : 0;
}

} // namespace

// Under X, a PDF saved through the print window leaves the menus opened after it with letters
// of their size (the PDF's resolution once left the menus' font a twelfth of its size for the
// rest of the session: every item a dot). Driven as a user does it: "Друк ...", "Куди: Файл
// PDF", "Зберегти PDF...", the file dialog, then the first menu of the bar clicked. Runs under
// the xcb platform (PrintUnderX), skipped elsewhere.
TEST(PrintOnScreen, MenusOpenedAfterAPdfHaveTheirLettersFullSize) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs the X platform";
  DemoMainWindow shown(1000, 700);
  ASSERT_TRUE(shown.Exposed);
  QTemporaryDir dir;
  const auto saved = [&] { return !QDir(dir.path()).entryList({"*.pdf"}, QDir::Files).isEmpty(); };
  int steps = 0;
  bool pressed = false;
  QTimer driver;
  driver.setInterval(100);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      files->selectFile(dir.filePath("page.pdf"));
      static_cast<QDialog*>(files)->accept(); // QFileDialog::accept, as its button does
      ++steps;
    } else if (modal && modal->objectName() == "FormPrint") {
      if (saved()) {
        modal->close();
        return;
      }
      if (pressed) return;
      pressed = true;
      modal->findChild<QComboBox*>("cbDevice")->setCurrentIndex(1);
      // A long session's font cache: the engines the windows and the preview made are let go, as
      // Qt's cache lets unused ones go, and the PDF's fonts are the first of their size again.
      QFontDatabase::removeApplicationFont(
          QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
      // Pressed after this tick: the button's file dialog runs an event loop of its own, in which
      // the next ticks must come.
      auto* button = modal->findChild<QPushButton*>("btnPrint");
      QTimer::singleShot(0, button, [button] { button->click(); });
    }
  });
  driver.start();
  shown.Form->Action("imPrint")->trigger();
  driver.stop();
  ASSERT_EQ(steps, 1);
  ASSERT_TRUE(saved());

  QMenuBar& bar = *shown.Form->menuBar();
  QAction* first = bar.actions().value(0);
  QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.actionGeometry(first).center());
  QMenu& menu = *first->menu();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
  QTest::qWait(300);
  const double ink = InkPerLetter(menu);
  menu.close();
  EXPECT_NEAR(QFontInfo(menu.font()).pointSizeF(), menu.font().pointSizeF(), 0.5)
      << "the menu's font shrank";
  // A letter of a menu's text darkens some 15 pixels; a dot one or two.
  EXPECT_GT(ink, 6) << "the letters of a menu opened after the PDF are dots";
}

// The map's marks (a shut-off's buildings) are printed over the map, and a list offered by the
// caller comes on a page after the map's.
TEST(Print, TheMarksArePrintedAndAnOfferedListFollowsTheMap) {
  DemoMainWindow shown(1000, 700);
  ASSERT_TRUE(shown.Exposed);
  TFAMap& map = *shown.Form->Map;
  ASSERT_NE(map.Content.LayerOf(2, 1), nullptr) << "the buildings";
  TFormPrint window(map, LegendOf(*shown.Form), QString::fromUtf8("Відключення"));
  window.cbScale->setCurrentIndex(1); // 1 : 1000, about the view's centre
  const auto redPixels = [&] {
    const TPrintSettings s = window.Settings();
    const TPrintLayout layout = LayOutPage(s);
    QImage page(int(layout.PageMm.width() * 96 / 25.4), int(layout.PageMm.height() * 96 / 25.4),
                QImage::Format_RGB32);
    page.fill(Qt::white);
    DrawPrintPage(page, map.Content, s, {});
    int red = 0;
    for (int y = 0; y < page.height(); ++y)
      for (int x = 0; x < page.width(); ++x)
        red += (page.pixel(x, y) & 0xFFFFFF) == 0xE00000;
    return red;
  };
  EXPECT_EQ(redPixels(), 0);
  // The first building, marked, in the middle of the page.
  TGeometryFile file(shown.Atlas.path() + "/MAPS/Buildings.mds");
  TGeometryFile::Record first;
  ASSERT_TRUE(file.Next(first));
  window.CentreX = (first.XMin + first.XMax) / 2;
  window.CentreY = (first.YMin + first.YMax) / 2;
  map.SetSelection({{2, 1, first.Index}});
  EXPECT_GT(redPixels(), 20);
  window.OfferListPage(QString::fromUtf8("засувки"),
                       QString::fromUtf8("<h2>Засувки</h2><p>ЗС-889, пров. Сковороди</p>"));
  ASSERT_TRUE(window.chkListPage->isChecked());
  const QString pdf = shown.Atlas.path() + "/marks.pdf";
  ASSERT_TRUE(window.SavePdf(pdf));
  EXPECT_TRUE(RunTool("pdfinfo", {pdf}).contains(QRegularExpression(R"(Pages:\s+2\b)")));
  EXPECT_TRUE(RunTool("pdftotext", {"-f", "2", pdf, "-"}).contains(QString::fromUtf8("ЗС-889")));
}
