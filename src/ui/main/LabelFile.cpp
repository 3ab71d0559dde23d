#include "LabelFile.h"

#include "layers/GeometryFile.h"

#include "base/AtomicFile.h"
#include "base/ByteOrder.h"
#include "base/TextCodec.h"
#include "db/Table.h"

#include <QFileInfo>
#include <cstring>

QString ProposedLabelFile(const QString& geometryPath) {
  return geometryPath.left(geometryPath.size() - 3) + "L";
}

void CreateLabelFile(const QString& geometryPath, const QString& fieldName,
                     const QString& labelPath) {
  TGeometryFile geometry(geometryPath);
  const QFileInfo info(geometryPath);
  db::Table attributes(info.absolutePath(),
                       info.fileName().left(info.fileName().size() - 3) + "DBF");
  attributes.Open();
  const size_t field = attributes.FieldByName(fieldName).FieldNo();
  base::AtomicFileWriter out(labelPath);
  TGeometryFile::Record r;
  char record[kLabelRecordSize];
  while (geometry.Next(r)) {
    if (!r.HasBox) continue; // a null shape has no place for a label
    std::memset(record, 0, sizeof record);
    // The record's own row; a deleted or missing one gives an empty text.
    const int row = attributes.PositionOfRecord(r.Index);
    const QString text = row >= 0 ? db::ValueToString(attributes.ValueAt(row, field)) : QString();
    const QByteArray bytes = base::Encode(text, base::CodePage::Cp1251).left(64);
    record[0] = char(bytes.size());
    std::memcpy(record + 1, bytes.constData(), size_t(bytes.size()));
    base::PutDoubleLE(record + 72, (r.XMin + r.XMax) / 2);
    base::PutDoubleLE(record + 80, (r.YMin + r.YMax) / 2);
    record[88] = 1;
    base::PutDoubleLE(record + 96, 0.0);
    base::PutDoubleLE(record + 104, 10.0);
    record[112] = 0;
    record[113] = 6;
    std::memcpy(record + 114, "System", 6);
    base::PutU32LE(record + 152, 0);
    out.Write(record, sizeof record);
  }
  out.Commit();
}
