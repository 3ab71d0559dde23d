#include "db/TableModel.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using db::FieldType;
namespace px = db::paradox;

TEST(TableModel, ShowsRowsInCursorOrderAndEditsThroughTheCursor) {
  QTemporaryDir dir;
  db::ParadoxFile::Create(dir.path() + "/CATEGORYREEST.db",
                          {px::MakeField("Category", FieldType::SmallInt),
                           px::MakeField("CategoryName", FieldType::String, 255),
                           px::MakeField("Visibled", FieldType::Boolean)},
                          1,
                          {{int64_t(2), QString::fromUtf8("Каналізація"), true},
                           {int64_t(1), QString::fromUtf8("Водопровід"), false}});
  db::Table table(dir.path(), "CATEGORYREEST");
  table.Open();
  db::TableModel model(table);
  ASSERT_EQ(model.rowCount(), 2);
  ASSERT_EQ(model.columnCount(), 3);
  EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "CategoryName");
  EXPECT_EQ(model.data(model.index(0, 1)).toString(), QString::fromUtf8("Водопровід"));
  EXPECT_EQ(model.data(model.index(1, 0)).toLongLong(), 2);

  ASSERT_TRUE(model.setData(model.index(0, 2), true));
  // The key change moves the row to the end of the key order.
  ASSERT_TRUE(model.setData(model.index(0, 0), 3));
  EXPECT_EQ(model.data(model.index(1, 1)).toString(), QString::fromUtf8("Водопровід"));
  EXPECT_FALSE(model.setData(model.index(0, 0), 3)) << "a duplicate key is refused";
  EXPECT_TRUE(model.LastError().contains(QString::fromUtf8("порушення ключа")))
      << model.LastError().toStdString();
  EXPECT_EQ(table.State(), db::TableState::Browse);

  db::Table check(dir.path(), "categoryreest.db");
  check.Open();
  ASSERT_TRUE(check.FindKey({int64_t(3)}));
  EXPECT_TRUE(check.FieldByName("Visibled").AsBoolean());
}
