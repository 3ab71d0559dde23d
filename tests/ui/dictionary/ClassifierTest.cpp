// The reference dictionary's window on tables of its own: the tree built from the rows, numbers
// proposed for new parts and elements, names stored exactly as typed (quotes and statement-like
// text included), codes kept on edit, only leaves deleted and only after the question, the
// filter box, and a missing table reported.

#include "ui/dictionary/AFTreeDict.h"
#include "ui/dictionary/DlgAFItemDict.h"
#include "ui/dictionary/FormClassifier.h"

#include "base/UserMessages.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"

#include <QApplication>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

using db::FieldType;
using db::Value;
namespace px = db::paradox;

struct ClassifierEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "search_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) App = new QApplication(argc, argv);
  }
  void TearDown() override { delete App; }
  QApplication* App = nullptr;
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new ClassifierEnvironment);

struct Row {
  int Part, Id, Parent;
  const char* Short;
  const char* Long;
};

class Classifier : public ::testing::Test {
protected:
  void SetUp() override { base::UserMessages::Install(&Messages); }
  void TearDown() override { base::UserMessages::Install(nullptr); }

  void Create(const std::vector<Row>& rows, const QString& time = "01.02.2003 10:00:00") {
    std::vector<std::vector<Value>> values;
    for (const Row& r : rows)
      values.push_back({int64_t(r.Part), int64_t(r.Id), int64_t(r.Parent),
                        QString::fromUtf8(r.Short), QString::fromUtf8(r.Long), int64_t(0), time,
                        int64_t(0)});
    db::ParadoxFile::Create(Dir.path() + "/dictionary.db",
                            {px::MakeField("PARTID", FieldType::Integer),
                             px::MakeField("ID", FieldType::Integer),
                             px::MakeField("PARENTID", FieldType::Integer),
                             px::MakeField("SHORTNAME", FieldType::String, 32),
                             px::MakeField("LONGNAME", FieldType::String, 64),
                             px::MakeField("USERID", FieldType::Integer),
                             px::MakeField("DTMODIFY", FieldType::String, 24),
                             px::MakeField("RESERVED", FieldType::Integer)},
                            2, values);
  }

  // The window shown as the main window shows it, its tree loaded.
  void Open() {
    Form = std::make_unique<TFormClassifier>();
    Form->DatabaseName = Dir.path();
    Form->TableName = "dictionary.db";
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    Tree = Form->AFTreeDict;
  }

  // The next dialog is handed to `answer` once it is on the screen.
  void WhenDialogOpens(std::function<void(TDlgAFItemDict&)> answer) {
    QTimer::singleShot(0, [this, answer] {
      auto* dialog = dynamic_cast<TDlgAFItemDict*>(QApplication::activeModalWidget());
      if (!dialog) return WhenDialogOpens(answer); // not shown yet
      answer(*dialog);
    });
  }
  static void Type(TDlgAFItemDict& dialog, const QString& shortName, const QString& longName) {
    dialog.eShort->setText(shortName);
    dialog.eLong->setText(longName);
    QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
  }

  QStringList Texts() const {
    QStringList texts;
    for (QTreeWidgetItemIterator it(Tree); *it; ++it) {
      QString indent;
      for (QTreeWidgetItem* up = (*it)->parent(); up; up = up->parent())
        indent += "  ";
      texts << indent + (*it)->text(0);
    }
    return texts;
  }
  QStringList VisibleTexts() const {
    QStringList texts;
    for (QTreeWidgetItemIterator it(Tree, QTreeWidgetItemIterator::NotHidden); *it; ++it)
      texts << (*it)->text(0);
    return texts;
  }
  void Select(const QString& text) {
    const auto found = Tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1) << text.toStdString();
    Tree->setCurrentItem(found.first());
  }
  // The stored rows as "part id parent short|long".
  QStringList Stored() const {
    db::Table t(Dir.path(), "dictionary.db");
    t.Open();
    QStringList rows;
    for (t.First(); !t.Eof(); t.Next())
      rows << QString("%1 %2 %3 %4|%5")
                  .arg(t.FieldByName("PARTID").AsInteger())
                  .arg(t.FieldByName("ID").AsInteger())
                  .arg(t.FieldByName("PARENTID").AsInteger())
                  .arg(t.FieldByName("SHORTNAME").AsString(), t.FieldByName("LONGNAME").AsString());
    return rows;
  }
  QString StoredField(int part, int id, const QString& field) const {
    db::Table t(Dir.path(), "dictionary.db");
    t.Open();
    for (t.First(); !t.Eof(); t.Next())
      if (t.FieldByName("PARTID").AsInteger() == part && t.FieldByName("ID").AsInteger() == id)
        return t.FieldByName(field).AsString();
    return "(none)";
  }

  QTemporaryDir Dir;
  base::RecordedMessages Messages;
  std::unique_ptr<TFormClassifier> Form;
  TAFTreeDict* Tree = nullptr;
};

const std::vector<Row> kThreeRows = {
    {1, 0, 0, "A", "Alpha"}, {1, 1, 0, "B", "Beta"}, {1, 2, 1, "C", "Gamma"}};

} // namespace

TEST_F(Classifier, AnEmptyDictionaryOffersPartOneAndWritesTheNewPart) {
  Create({});
  Open();
  EXPECT_TRUE(Tree->Active);
  EXPECT_EQ(Tree->topLevelItemCount(), 0);
  int proposed = -1;
  WhenDialogOpens([&](TDlgAFItemDict& dialog) {
    proposed = dialog.seID->value();
    Type(dialog, "A", "Alpha");
  });
  QTest::mouseClick(Form->btnAddPart, Qt::LeftButton);
  EXPECT_EQ(proposed, 1);
  EXPECT_EQ(Stored(), QStringList{"1 0 0 A|Alpha"});
  EXPECT_EQ(Texts(), QStringList{"A [Alpha]"});
  // The time of the write: with no rows to follow, day, month, year and the time with seconds.
  const QString written = StoredField(1, 0, "DTMODIFY");
  EXPECT_TRUE(QDateTime::fromString(written, "dd.MM.yyyy HH:mm:ss").isValid())
      << written.toStdString();
  EXPECT_TRUE(written.startsWith(QDate::currentDate().toString("dd.MM.yyyy")))
      << written.toStdString();
  // The same number again: nothing is written.
  WhenDialogOpens([](TDlgAFItemDict& dialog) {
    EXPECT_EQ(dialog.seID->value(), 2);
    dialog.seID->setValue(1);
    Type(dialog, "Z", "Again");
  });
  QTest::mouseClick(Form->btnAddPart, Qt::LeftButton);
  EXPECT_EQ(Stored(), QStringList{"1 0 0 A|Alpha"});
  EXPECT_EQ(Tree->topLevelItemCount(), 1);
}

TEST_F(Classifier, RowsHangUnderTheirPartsAndParentsAndThePartFilterKeepsOnePart) {
  std::vector<Row> rows = kThreeRows;
  rows.push_back({2, 0, 0, "P2", "Second"});
  rows.push_back({2, 1, 0, "D", "Delta"});
  Create(rows);
  Open();
  EXPECT_EQ(Texts(), (QStringList{"A [Alpha]", "  B [Beta]", "    C [Gamma]", "P2 [Second]",
                                  "  D [Delta]"}));
  Tree->PartFilter = 2;
  Tree->LoadTree();
  EXPECT_EQ(Texts(), (QStringList{"P2 [Second]", "  D [Delta]"}));
}

TEST_F(Classifier, AnElementWithALargerParentNumberStillHangsUnderItsParent) {
  // Element 1's parent is element 5, read after it; element 7 names itself.
  Create({{1, 0, 0, "A", "Alpha"},
          {1, 1, 5, "Child", "of five"},
          {1, 5, 0, "Five", "Parent"},
          {1, 7, 7, "Self", "Loop"}});
  Open();
  EXPECT_EQ(Texts(),
            (QStringList{"A [Alpha]", "  Five [Parent]", "    Child [of five]", "Self [Loop]"}));
  // Editing it keeps the parent it has in the table.
  Select("Child [of five]");
  WhenDialogOpens([](TDlgAFItemDict& dialog) { Type(dialog, "Child", "renamed"); });
  QTest::mouseClick(Form->btnEditItem, Qt::LeftButton);
  EXPECT_TRUE(Stored().contains("1 1 5 Child|renamed"));
}

TEST_F(Classifier, AnElementAddedUnderBTakesTheNextNumberOfItsPart) {
  Create(kThreeRows);
  Open();
  Select("B [Beta]");
  WhenDialogOpens([](TDlgAFItemDict& dialog) {
    EXPECT_EQ(dialog.seID->value(), 3);
    Type(dialog, "D", "Delta");
  });
  QTest::mouseClick(Form->btnAddItem, Qt::LeftButton);
  EXPECT_TRUE(Stored().contains("1 3 1 D|Delta"));
  EXPECT_EQ(Texts(), (QStringList{"A [Alpha]", "  B [Beta]", "    C [Gamma]", "    D [Delta]"}));
  // A number the part already has is not written.
  Select("A [Alpha]");
  const QStringList before = Stored();
  WhenDialogOpens([](TDlgAFItemDict& dialog) {
    dialog.seID->setValue(2);
    Type(dialog, "X", "Taken");
  });
  QTest::mouseClick(Form->btnAddItem, Qt::LeftButton);
  EXPECT_EQ(Stored(), before);
  EXPECT_EQ(Texts().size(), 4);
  // Without a selected node nothing is asked.
  Tree->clearSelection();
  Form->btnAddItemClick();
  EXPECT_EQ(Texts().size(), 4);
}

TEST_F(Classifier, TypedNamesAreStoredExactlyWhateverTheyHold) {
  Create(kThreeRows);
  Open();
  Select("C [Gamma]");
  const QString quoted = QString::fromUtf8("Труба \"Д-100\" d'Arc");
  const QString hostile = "x\", 1); DELETE FROM dictionary.db; --";
  WhenDialogOpens([&](TDlgAFItemDict& dialog) {
    EXPECT_EQ(dialog.seID->value(), 2);
    EXPECT_TRUE(dialog.seID->isReadOnly()) << "the code cannot be changed";
    EXPECT_EQ(dialog.eShort->text(), "C");
    EXPECT_EQ(dialog.eLong->text(), "Gamma");
    Type(dialog, quoted, hostile);
  });
  QTest::mouseClick(Form->btnEditItem, Qt::LeftButton);
  EXPECT_EQ(Stored(),
            (QStringList{"1 0 0 A|Alpha", "1 1 0 B|Beta", "1 2 1 " + quoted + "|" + hostile}));
  EXPECT_EQ(Tree->currentItem()->text(0), quoted + " [" + hostile + "]");
  // The tree read again shows the same.
  Tree->LoadTree();
  EXPECT_EQ(Texts().last(), "    " + quoted + " [" + hostile + "]");
  EXPECT_TRUE(Messages.Shown.isEmpty()) << Messages.Shown.join("; ").toStdString();
}

TEST_F(Classifier, OnlyLeavesAreDeletedAndOnlyWhenTheQuestionIsAnsweredYes) {
  Create(kThreeRows);
  Open();
  Select("B [Beta]");
  QTest::mouseClick(Form->btnDelItem, Qt::LeftButton);
  ASSERT_EQ(Messages.Shown.size(), 1) << "a node with children is refused, saying why";
  EXPECT_TRUE(Messages.Shown[0].contains(QString::fromUtf8("підлеглі елементи")))
      << Messages.Shown[0].toStdString();
  EXPECT_EQ(Stored().size(), 3);
  Messages.Shown.clear();
  Select("C [Gamma]");
  Messages.Answer = false;
  QTest::mouseClick(Form->btnDelItem, Qt::LeftButton);
  EXPECT_EQ(Messages.Shown,
            QStringList{QString::fromUtf8("Ви дійсно бажаєте видалити цей елемент?")});
  EXPECT_EQ(Stored().size(), 3);
  Messages.Answer = true;
  QTest::mouseClick(Form->btnDelItem, Qt::LeftButton);
  EXPECT_EQ(Stored(), (QStringList{"1 0 0 A|Alpha", "1 1 0 B|Beta"}));
  EXPECT_EQ(Texts(), (QStringList{"A [Alpha]", "  B [Beta]"}));
}

TEST_F(Classifier, TheFilterKeepsMatchingEntriesAndTheNodesAboveThem) {
  std::vector<Row> rows = kThreeRows;
  rows.push_back({2, 0, 0, "P2", "Second"});
  Create(rows);
  Open();
  QTest::keyClicks(Form->edtFilter, "GAM");
  EXPECT_EQ(VisibleTexts(), (QStringList{"A [Alpha]", "B [Beta]", "C [Gamma]"}));
  Form->edtFilter->clear();
  EXPECT_EQ(VisibleTexts().size(), 4);
}

TEST_F(Classifier, AMissingTableIsReportedAndTheTreeStaysEmpty) {
  Open();
  EXPECT_FALSE(Tree->Active);
  ASSERT_EQ(Messages.Shown.size(), 2) << Messages.Shown.join("; ").toStdString();
  EXPECT_EQ(Messages.Shown[0], QString::fromUtf8("Помилка відкриття таблиці класифікатору!"));
  EXPECT_TRUE(Messages.Shown[1].contains("dictionary", Qt::CaseInsensitive))
      << Messages.Shown[1].toStdString();
  EXPECT_EQ(Tree->topLevelItemCount(), 0);
}

TEST_F(Classifier, AnEntryWithoutAShortNameIsRefusedAndTheDialogStays) {
  Create(kThreeRows);
  Open();
  bool stayed = false;
  WhenDialogOpens([&](TDlgAFItemDict& dialog) {
    dialog.eShort->setText("   ");
    dialog.eLong->setText("Delta");
    QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
    stayed = dialog.isVisible();
    dialog.eShort->clear();
    QTest::keyClicks(dialog.eShort, "D");
    QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
  });
  QTest::mouseClick(Form->btnAddPart, Qt::LeftButton);
  EXPECT_TRUE(stayed);
  ASSERT_EQ(Messages.Shown.size(), 1);
  EXPECT_TRUE(Messages.Shown[0].contains(QString::fromUtf8("коротке ім'я")));
  EXPECT_EQ(Stored().last(), "2 0 0 D|Delta") << "written once, as typed after the refusal";
}

TEST_F(Classifier, TheTimeIsWrittenInTheFormatOfTheTablesRows) {
  Create(kThreeRows, "2/1/2003 10:00:00 AM");
  Open();
  Select("B [Beta]");
  WhenDialogOpens([](TDlgAFItemDict& dialog) { Type(dialog, "D", "Delta"); });
  QTest::mouseClick(Form->btnAddItem, Qt::LeftButton);
  const QString written = StoredField(1, 3, "DTMODIFY");
  const QDateTime read = QDateTime::fromString(written, "M/d/yyyy h:mm:ss AP");
  ASSERT_TRUE(read.isValid()) << written.toStdString();
  EXPECT_LT(std::abs(read.secsTo(QDateTime::currentDateTime())), 120);
}

TEST_F(Classifier, TheReadOnlyWindowWritesNothingWhateverIsPressed) {
  Create(kThreeRows);
  QFile file(Dir.path() + "/dictionary.db");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray before = file.readAll();
  file.close();
  Form = std::make_unique<TFormClassifier>();
  Form->DatabaseName = Dir.path();
  Form->TableName = "dictionary.db";
  Form->ReadOnly = true;
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  Tree = Form->AFTreeDict;
  EXPECT_EQ(Tree->topLevelItemCount(), 1) << "the dictionary is shown";
  for (QPushButton* b : {Form->btnAddPart, Form->btnAddItem, Form->btnEditItem, Form->btnDelItem})
    EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
  // The handlers themselves refuse: a dialog that opened would be saved at once.
  int dialogs = 0;
  for (const char* node : {"A [Alpha]", "C [Gamma]"}) {
    Select(QString::fromUtf8(node));
    for (void (TFormClassifier::*handler)() :
         {&TFormClassifier::btnAddPartClick, &TFormClassifier::btnAddItemClick,
          &TFormClassifier::btnEditItemClick, &TFormClassifier::btnDelItemClick}) {
      QTimer::singleShot(50, [&] {
        if (auto* dialog = dynamic_cast<TDlgAFItemDict*>(QApplication::activeModalWidget())) {
          ++dialogs;
          Type(*dialog, "X", "Written");
        }
      });
      (Form.get()->*handler)();
      QTest::qWait(60);
    }
  }
  EXPECT_EQ(dialogs, 0);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before);
}
