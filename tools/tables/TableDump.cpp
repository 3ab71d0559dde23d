#include "TableDump.h"

#include "base/Csv.h"

#include "db/Error.h"
#include "db/Query.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace tools {
namespace {

QString BlobKind(const QByteArray& data) {
  if (data.startsWith("BM")) return "BMP";
  if (data.startsWith("\x01\x00\x00\x02")) return "OLE";
  if (data.startsWith("GIF8")) return "GIF";
  if (data.startsWith("\xFF\xD8")) return "JPEG";
  return "binary";
}

} // namespace

// Text output keeps one row per line: line breaks and tabs inside values are escaped.
QString OneLine(QString text) {
  text.replace("\\", "\\\\");
  text.replace("\r", "\\r");
  text.replace("\n", "\\n");
  text.replace("\t", "\\t");
  return text;
}

QString CsvQuote(const QString& text) {
  return base::CsvField(text);
}

QString DumpText(const db::Field& field) {
  if (field.IsNull()) return QString();
  switch (field.DataType()) {
  case db::FieldType::Blob:
  case db::FieldType::Graphic:
  case db::FieldType::OLE:
  case db::FieldType::FmtMemo:
  case db::FieldType::Bytes: {
    const QByteArray data = field.AsBlob();
    return QString("<%1 bytes %2>").arg(data.size()).arg(BlobKind(data));
  }
  default:
    return field.AsString();
  }
}

int ListTables(const QString& dir, QTextStream& out) {
  const db::RemoteTableKind* remote = db::RemoteKindOf(dir);
  const QStringList files =
      remote ? remote->List(dir) : QDir(dir).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
  int failures = 0;
  for (const QString& file : files) {
    const QString suffix = QFileInfo(file).suffix().toUpper();
    if (suffix != "DB" && suffix != "DBF") continue;
    db::Table table(dir, file);
    try {
      table.Open();
      QStringList fields;
      for (const db::FieldDef& f : table.FieldDefs())
        fields << f.Name;
      out << file << "\t" << table.Kind() << "\t" << table.RecordCount() << " rows\t"
          << fields.join(", ") << "\n";
    } catch (const db::Error& e) {
      out << file << "\terror: " << e.Message << "\n";
      ++failures;
    }
  }
  return failures;
}

void DumpTable(db::Table& table, bool csv, QTextStream& out) {
  auto& fields = table.Fields();
  if (csv) {
    QStringList names;
    for (const db::Field& f : fields)
      names << CsvQuote(f.FieldName());
    out << names.join(',') << "\r\n";
  } else {
    out << "# " << table.FilePath() << " (" << table.Kind() << ", " << table.RecordCount()
        << " rows";
    if (table.KeyFieldCount() > 0) out << ", " << table.KeyFieldCount() << " key fields";
    out << ")\n";
    for (const db::FieldDef& f : table.FieldDefs())
      out << "# " << f.Name << ": " << db::FieldTypeName(f.Type) << "(" << f.Size << ")\n";
  }
  for (table.First(); !table.Eof(); table.Next()) {
    QStringList cells;
    for (const db::Field& f : fields)
      cells << (csv ? CsvQuote(DumpText(f)) : OneLine(DumpText(f)));
    out << cells.join(csv ? "," : "\t") << (csv ? "\r\n" : "\n");
  }
}

void DumpQuery(const db::Query& query, bool csv, QTextStream& out) {
  QStringList names;
  for (const QString& name : query.ColumnNames())
    names << (csv ? CsvQuote(name) : name);
  out << names.join(csv ? "," : "\t") << "\n";
  for (int r = 0; r < query.RecordCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < query.ColumnNames().size(); ++c) {
      const db::Value& v = query.ValueAt(r, c);
      const QString text = std::holds_alternative<QByteArray>(v)
                               ? QString("(%1 bytes)").arg(std::get<QByteArray>(v).size())
                               : db::ValueToString(v);
      cells << (csv ? CsvQuote(text) : OneLine(text));
    }
    out << cells.join(csv ? "," : "\t") << "\n";
  }
}

} // namespace tools
