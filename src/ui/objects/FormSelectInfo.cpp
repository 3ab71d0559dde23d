#include "FormSelectInfo.h"

#include "core/CatClass.h"

#include "data/DataModule.h"
#include "db/Error.h"

#include <QLabel>

TFormSelectInfo::TFormSelectInfo(TDataModuleVANDREL& data, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), Data(data) {
  setWindowTitle(QString::fromUtf8("Інфо"));
  setFixedSize(340, 62);
  lblText = new QLabel(this);
  lblText->setObjectName("lblText");
  lblText->setGeometry(8, 4, 327, 51);
  lblText->setAlignment(Qt::AlignCenter);
  lblText->setWordWrap(true);
  QFont font = lblText->font();
  font.setBold(true);
  font.setPixelSize(13);
  lblText->setFont(font);
  lblText->setStyleSheet("color: blue");
  move(Data.FormPositions.SelInfo.Left, Data.FormPositions.SelInfo.Top);
}

TFormSelectInfo::~TFormSelectInfo() {
  Data.FormPositions.SelInfo.Left = int16_t(x());
  Data.FormPositions.SelInfo.Top = int16_t(y());
}

QString TFormSelectInfo::Text() const {
  return lblText->text();
}

void TFormSelectInfo::ShowInfo(int category, int cls, int record) {
  InfoCategory = category;
  InfoClass = cls;
  InfoRecord = record;
  setWindowTitle(GetClassTitle(Data.TableClasses, category, cls));
  InfoTableName = GetAttributeTableName(Data.TableClasses, category, cls);
  if (InfoTableName.isEmpty()) return;
  try {
    db::Table table(Data.MapsDir, InfoTableName);
    table.Open();
    // The record's own row: nothing to show for one deleted or past the end.
    const int row = table.PositionOfRecord(record);
    if (row < 0) return;
    table.SetRecNo(row + 1);
    auto text = [&](const char* field) -> std::optional<QString> {
      if (db::Field* f = table.FindField(field)) return f->AsString();
      return std::nullopt;
    };
    const QString name = text("Name").value_or(QString());
    // The address is built field by field; it stops at the first field the table lacks.
    QString address;
    if (auto type = text("Type")) {
      address = *type;
      if (auto street = text("Street")) {
        address += " " + *street;
        if (auto number = text("Number")) address += ", " + *number;
      }
    }
    lblText->setText(name + " " + address);
  } catch (const db::Error&) {
    // A table that cannot be read leaves the window as it was.
  }
}
