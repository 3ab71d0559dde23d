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
