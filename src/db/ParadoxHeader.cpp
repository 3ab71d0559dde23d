#include "ParadoxFormat.h"

#include "Error.h"

#include "base/ByteOrder.h"

#include <QFileInfo>
#include <cstring>

// The header block of a table file: read and checked, built for a new table, and the field
// definitions it holds.

namespace db::paradox {
namespace {

FieldType LogicalType(int code, const QString& path, const QString& name) {
  switch (code) {
  case Alpha:
    return FieldType::String;
  case Date:
    return FieldType::Date;
  case Short:
    return FieldType::SmallInt;
  case Long:
    return FieldType::Integer;
  case Currency:
    return FieldType::Currency;
  case Number:
    return FieldType::Float;
  case Logical:
    return FieldType::Boolean;
  case Memo:
    return FieldType::Memo;
  case Blob:
    return FieldType::Blob;
  case FmtMemo:
    return FieldType::FmtMemo;
  case OLE:
    return FieldType::OLE;
  case Graphic:
    return FieldType::Graphic;
  case Time:
    return FieldType::Time;
  case Timestamp:
    return FieldType::DateTime;
  case AutoInc:
    return FieldType::AutoInc;
  case BCD:
    return FieldType::BCD;
  case Bytes:
    return FieldType::Bytes;
  default:
    throw Error::ForField(path, name,
                          QString("невідомий тип поля Paradox 0x%1").arg(code, 2, 16, QChar('0')));
  }
}

int VersionFromId(int id) {
  switch (id) {
  case 3:
    return 30;
  case 4:
    return 35;
  case 5:
  case 6:
  case 7:
  case 8:
  case 9:
    return 40;
  case 10:
  case 11:
    return 50;
  case 12:
    return 70;
  default:
    return 0;
  }
}

} // namespace

void PutHeaderU16(QByteArray& header, int offset, int value) {
  base::PutU16LE(header.data() + offset, uint16_t(value));
}
void PutHeaderU32(QByteArray& header, int offset, uint32_t value) {
  base::PutU32LE(header.data() + offset, value);
}

Header ParseHeader(std::span<const unsigned char> file, const QString& path,
                   std::optional<base::CodePage> nameCodePage) {
  auto fail = [&](const QString& reason) { return Error::ForTable(path, reason); };
  if (file.size() < 0x58)
    throw fail(QString("файл має %1 байт, замало для заголовка Paradox").arg(file.size()));
  const unsigned char* p = file.data();
  Header h;
  h.RecordSize = base::GetU16LE(p + 0x00);
  h.HeaderSize = base::GetU16LE(p + 0x02);
  h.FileType = p[0x04];
  h.BlockSize = p[0x05] * 1024;
  h.NumRecords = base::GetU32LE(p + 0x06);
  h.FileBlocks = base::GetU16LE(p + 0x0C);
  h.FirstBlock = base::GetU16LE(p + 0x0E);
  h.LastBlock = base::GetU16LE(p + 0x10);
  const int numFields = base::GetU16LE(p + 0x21);
  h.KeyFields = base::GetU16LE(p + 0x23);
  h.Encryption = base::GetU32LE(p + 0x25);
  h.VersionId = p[0x39];
  h.AutoInc = base::GetU32LE(p + 0x49);
  h.Version = VersionFromId(h.VersionId);

  if (h.FileType != 0 && h.FileType != 2)
    throw fail(QString("не таблиця Paradox (тип файлу %1)").arg(h.FileType));
  if (h.Version == 0) throw fail(QString("невідома версія файлу Paradox %1").arg(h.VersionId));
  if (p[0x05] < 1 || p[0x05] > 32)
    throw fail(QString("неприпустимий код розміру блоку %1").arg(p[0x05]));
  if (h.RecordSize == 0) throw fail("розмір запису 0");
  if (numFields < 1 || numFields > 255)
    throw fail(QString("неприпустима кількість полів %1").arg(numFields));
  if (h.HeaderSize < 0x58 || size_t(h.HeaderSize) > file.size())
    throw fail(QString("розмір заголовка %1 не вміщується у файл розміром %2 байт")
                   .arg(h.HeaderSize)
                   .arg(file.size()));
  if (h.KeyFields > numFields)
    throw fail(
        QString("%1 ключових полів, а всього полів лише %2").arg(h.KeyFields).arg(numFields));

  const bool hasDataHeader = h.Version >= 40;
  int pos = hasDataHeader ? 0x78 : 0x58;
  if (hasDataHeader) {
    if (h.HeaderSize < 0x78) throw fail("заголовок закороткий для своєї версії");
    h.CodePage = base::GetU16LE(p + 0x6A);
    if (h.Encryption == 0xFF00FF00u) h.Encryption = base::GetU32LE(p + 0x5C);
  }
  if (h.Encryption != 0)
    throw fail("таблицю зашифровано (захищено паролем); зашифровані таблиці не читаються");

  const int tableNameLength = h.Version >= 70 ? 261 : 79;
  const int need = pos + numFields * 2 + 4 + numFields * 4 + tableNameLength;
  if (need > h.HeaderSize) throw fail("заголовок закінчується посеред опису полів");
  std::vector<int> codes(numFields), sizes(numFields);
  for (int i = 0; i < numFields; ++i) {
    codes[i] = p[pos + 2 * i];
    sizes[i] = p[pos + 2 * i + 1];
  }
  pos = need;
  // Field names: NUL-terminated, one after another.
  const base::CodePage cp = nameCodePage.value_or(base::CodePage::Cp1251);
  int total = 0;
  for (int i = 0; i < numFields; ++i) {
    int end = pos;
    while (end < h.HeaderSize && p[end] != 0)
      ++end;
    if (end >= h.HeaderSize)
      throw fail(QString("заголовок закінчується посеред назви поля %1").arg(i + 1));
    QByteArray raw(reinterpret_cast<const char*>(p + pos), end - pos);
    FieldDef f;
    f.Name = base::Decode(raw, cp);
    f.PhysicalType = codes[i];
    f.Type = LogicalType(codes[i], path, f.Name);
    f.Size = codes[i] == BCD ? 17 : sizes[i];
    f.Decimals = codes[i] == BCD ? sizes[i] : 0;
    if (f.Size == 0) throw Error::ForField(path, f.Name, "поле має розмір 0");
    if (IsBlobType(f.Type) && f.Size < kBlobDescriptorSize)
      throw Error::ForField(path, f.Name,
                            QString("поле BLOB у %1 байт не вміщує свого опису").arg(f.Size));
    total += f.Size;
    h.Fields.push_back(f);
    h.RawFieldNames.push_back(raw);
    pos = end + 1;
  }
  if (total != h.RecordSize)
    throw fail(QString("поля разом мають %1 байт, а запис — %2").arg(total).arg(h.RecordSize));
  h.Bytes = QByteArray(reinterpret_cast<const char*>(p), h.HeaderSize);
  return h;
}

FieldDef MakeField(const QString& name, FieldType type, int size) {
  FieldDef f;
  f.Name = name;
  f.Type = type;
  switch (type) {
  case FieldType::String:
    f.PhysicalType = Alpha;
    f.Size = size > 0 ? std::min(size, 255) : 255;
    break;
  case FieldType::SmallInt:
    f.PhysicalType = Short;
    f.Size = 2;
    break;
  case FieldType::Integer:
    f.PhysicalType = Long;
    f.Size = 4;
    break;
  case FieldType::AutoInc:
    f.PhysicalType = AutoInc;
    f.Size = 4;
    break;
  case FieldType::Float:
    f.PhysicalType = Number;
    f.Size = 8;
    break;
  case FieldType::Currency:
    f.PhysicalType = Currency;
    f.Size = 8;
    break;
  case FieldType::BCD:
    f.PhysicalType = BCD;
    f.Size = 17;
    f.Decimals = size > 0 ? size : 2;
    break;
  case FieldType::Boolean:
    f.PhysicalType = Logical;
    f.Size = 1;
    break;
  case FieldType::Date:
    f.PhysicalType = Date;
    f.Size = 4;
    break;
  case FieldType::Time:
    f.PhysicalType = Time;
    f.Size = 4;
    break;
  case FieldType::DateTime:
    f.PhysicalType = Timestamp;
    f.Size = 8;
    break;
  case FieldType::Memo:
    f.PhysicalType = Memo;
    f.Size = (size > 0 ? size : 1) + kBlobDescriptorSize;
    break;
  case FieldType::FmtMemo:
    f.PhysicalType = FmtMemo;
    f.Size = (size > 0 ? size : 1) + kBlobDescriptorSize;
    break;
  case FieldType::Blob:
    f.PhysicalType = Blob;
    f.Size = (size > 0 ? size : 1) + kBlobDescriptorSize;
    break;
  case FieldType::Graphic:
    f.PhysicalType = Graphic;
    f.Size = (size > 0 ? size : 1) + kBlobDescriptorSize;
    break;
  case FieldType::OLE:
    f.PhysicalType = OLE;
    f.Size = (size > 0 ? size : 1) + kBlobDescriptorSize;
    break;
  case FieldType::Bytes:
    f.PhysicalType = Bytes;
    f.Size = size > 0 ? std::min(size, 255) : 1;
    break;
  }
  return f;
}

QByteArray BuildHeader(const std::vector<FieldDef>& fields, int keyFields, int version,
                       int codePage, int blockSizeKiB, const QString& tableName,
                       base::CodePage textCodePage) {
  const int n = int(fields.size());
  const int tableNameLength = version >= 70 ? 261 : 79;
  std::vector<QByteArray> names;
  int namesLength = 0;
  int recordSize = 0;
  for (const FieldDef& f : fields) {
    names.push_back(base::Encode(f.Name, textCodePage));
    namesLength += int(names.back().size()) + 1;
    recordSize += f.Size;
  }
  const int fieldInfo = 0x78;
  const int used = fieldInfo + n * 2 + 4 + n * 4 + tableNameLength + namesLength + n * 2 + 8;
  const int headerSize = ((used + 2047) / 2048) * 2048;
  QByteArray h(headerSize, '\0');
  auto* p = reinterpret_cast<unsigned char*>(h.data());
  base::PutU16LE(p + 0x00, uint16_t(recordSize));
  base::PutU16LE(p + 0x02, uint16_t(headerSize));
  p[0x04] = keyFields > 0 ? 0 : 2;
  p[0x05] = uint8_t(blockSizeKiB);
  base::PutU16LE(p + 0x12, keyFields > 0 ? 12 : 0); // change count, as Paradox leaves it
  base::PutU16LE(p + 0x21, uint16_t(n));
  base::PutU16LE(p + 0x23, uint16_t(keyFields));
  base::PutU32LE(p + 0x25, 0xFF00FF00u);
  p[0x29] = 0; // sort order: plain byte order
  p[0x2D] = 2;
  p[0x2E] = 1;
  p[0x39] = version >= 70 ? 0x0C : version >= 50 ? 0x0B : 0x09;
  p[0x3E] = 0x1F;
  p[0x3F] = 0x0F;
  base::PutU16LE(p + 0x51, uint16_t(used - 8 - 1));
  p[0x56] = 0x20;
  // Data header.
  const uint16_t verId = version >= 70 ? 0x010C : version >= 50 ? 0x010B : 0x0109;
  base::PutU16LE(p + 0x58, verId);
  base::PutU16LE(p + 0x5A, verId);
  base::PutU16LE(p + 0x64, uint16_t(n + 1));
  base::PutU16LE(p + 0x6A, uint16_t(codePage));
  p[0x6C] = 1;
  p[0x6D] = 1;
  int pos = fieldInfo;
  for (const FieldDef& f : fields) {
    p[pos++] = uint8_t(f.PhysicalType);
    p[pos++] = uint8_t(f.PhysicalType == BCD ? f.Decimals : f.Size);
  }
  pos += 4;     // table name pointer (a run-time address; left zero)
  pos += n * 4; // field name pointers (likewise)
  const QByteArray tn = base::Encode(tableName, textCodePage).left(tableNameLength - 1);
  std::memcpy(p + pos, tn.constData(), size_t(tn.size()));
  pos += tableNameLength;
  for (const QByteArray& name : names) {
    std::memcpy(p + pos, name.constData(), size_t(name.size()));
    pos += int(name.size()) + 1;
  }
  for (int i = 0; i < n; ++i) {
    base::PutU16LE(p + pos, uint16_t(i + 1));
    pos += 2;
  }
  std::memcpy(p + pos, "ascii\0\0\0", 8);
  return h;
}

} // namespace db::paradox
