#include "plugins/objectcard/ObjectCard.h"
#include "plugins/ObjectUtils.h"

#include "AtlasWriter.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct WidgetsEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "plugins_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) App = new QApplication(argc, argv);
  }
  void TearDown() override { delete App; }
  QApplication* App = nullptr;
};
const auto* const widgets = ::testing::AddGlobalTestEnvironment(new WidgetsEnvironment);

QString Atlas() {
  static QTemporaryDir dir;
  static bool written = false;
  if (!written) {
    demo::WriteAtlas(dir.path(), 1, 11);
    written = true;
  }
  return dir.path();
}

} // namespace

TEST(ObjectCard, ThePluginIsFoundBesideTheProgramAndCreatesComponents) {
  auto& registry = plugins::ObjectUtilsRegistry::Instance();
  const QStringList problems = registry.LoadPlugins(QString::fromUtf8(VANDREL_PLUGIN_DIR));
  EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString();
  EXPECT_TRUE(
      registry.Knows(QString(plugins::ObjectCard::ClassId).toLower().remove('{').remove('}')));
  auto component = registry.Create(plugins::ObjectCard::ClassId,
                                   {Atlas() + "/MAPS", "address.mds", 8, 1, "Адреси"});
  ASSERT_TRUE(component);
  component->SelectObject(3);
  component->ShowCard();
  component->ShowList();
  component->Finish();
}

TEST(ObjectCard, FindsTheObjectByItsCodeOrItsPosition) {
  plugins::ObjectCard byCode({Atlas() + "/MAPS", "WaterWells.db", 100, 1, "Колодязі"});
  byCode.Start();
  const auto well = byCode.ObjectFields(5);
  ASSERT_FALSE(well.empty()) << byCode.LastError().toStdString();
  auto value = [](const auto& fields, const char* name) {
    for (const auto& [n, v] : fields)
      if (n == name) return v;
    return QString("<none>");
  };
  EXPECT_EQ(value(well, "ObjectCode"), "5");
  EXPECT_EQ(value(well, "NAME"), QString::fromUtf8("ВК-5"));
  EXPECT_TRUE(byCode.ObjectFields(999999).empty());

  plugins::ObjectCard byPosition({Atlas() + "/MAPS", "Hydro.mds", 4, 1, "Водойми"});
  byPosition.Start();
  EXPECT_EQ(plugins::ObjectCard::AttributeTableName("sub/Hydro.mds"), "sub/Hydro.DBF");
  const auto lake = byPosition.ObjectFields(1);
  EXPECT_EQ(value(lake, "NAME"), QString::fromUtf8("Озеро Лебедине"));
  EXPECT_TRUE(byPosition.ObjectFields(2).empty());
}

// A card belongs to the window that asked for it and opens in front of it; asked for again from
// another window, it moves to that one.
TEST(ObjectCard, ACardBelongsToTheWindowThatAskedAndOpensInFrontOfIt) {
  QWidget main, asker;
  main.resize(300, 200);
  main.show();
  asker.setParent(&main, Qt::Dialog);
  asker.show();
  asker.activateWindow();
  QApplication::setActiveWindow(&asker);
  plugins::ObjectCard card({Atlas() + "/MAPS", "WaterWells.db", 100, 1, "Колодязі"});
  card.SetMainForm(&main);
  card.Start();
  card.SelectObject(5);
  card.ShowCard();
  QWidget* shown = nullptr;
  for (QWidget* w : asker.findChildren<QWidget*>())
    if (w->isWindow() && w->windowTitle().startsWith(QString::fromUtf8("Картка об'єкта 5")))
      shown = w;
  ASSERT_NE(shown, nullptr) << "the card belongs to the window that asked";
  EXPECT_TRUE(shown->isVisible());
  // Asked for from the main window, it belongs to that one.
  QApplication::setActiveWindow(&main);
  card.ShowCard();
  EXPECT_EQ(shown->parentWidget(), &main);
  EXPECT_TRUE(shown->isVisible());
  card.Finish();
}
