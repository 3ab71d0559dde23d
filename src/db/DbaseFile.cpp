#include "DbaseFile.h"

#include "DbfHandle.h"
#include "Error.h"
#include "base/OwnWrites.h"

#include "base/AtomicFile.h"
#include "base/ByteOrder.h"
#include "base/FileError.h"
#include "base/PathResolver.h"
#include "base/Warnings.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <shapefil.h>
#include <string_view>

namespace db {
namespace {

struct RawHeader {
  int Version = 0;
  int64_t Records = 0;
  int HeaderLength = 0;
  int RecordLength = 0;
  int Language = 0;
};

RawHeader ReadRawHeader(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly))
    throw Error::ForTable(path, "не вдається відкрити таблицю: " + f.errorString());
  const QByteArray h = f.read(32);
  if (h.size() < 32)
    throw Error::ForTable(path,
                          QString("файл має %1 байт, замало для заголовка dBase").arg(f.size()));
  RawHeader r;
  r.Version = static_cast<unsigned char>(h[0]);
  r.Records = base::GetU32LE(h.constData() + 4);
  r.HeaderLength = base::GetU16LE(h.constData() + 8);
  r.RecordLength = base::GetU16LE(h.constData() + 10);
  r.Language = static_cast<unsigned char>(h[29]);
  // Layouts with other headers than dBase III's: refused before their header is misread.
  if (r.Version == 0x02)
    throw Error::ForTable(path, "таблиця dBase II; читаються лише таблиці dBase III і новіші");
  if (r.Version == 0x8C)
    throw Error::ForTable(path, "таблиця dBase 7; читаються лише таблиці dBase III–IV і FoxPro");
  const int64_t need = int64_t(r.HeaderLength) + r.Records * int64_t(r.RecordLength);
  if (r.HeaderLength < 33)
    throw Error::ForTable(path, QString("неприпустима довжина заголовка %1").arg(r.HeaderLength));
  if (need > f.size())
    throw Error::ForTable(path, QString("файл обрізано: заголовок обіцяє %1 записів по %2 байт "
                                        "(усього %3 байт), а файл має %4")
                                    .arg(r.Records)
                                    .arg(r.RecordLength)
                                    .arg(need)
                                    .arg(f.size()));
  return r;
}

bool AllOf(std::string_view text, std::string_view chars) {
  return text.find_first_not_of(chars) == std::string_view::npos;
}

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// One field of a raw record (shapelib's tuple); empty fields follow dBase's conventions: blanks,
// numbers made of '*', the date "00000000" and the logical '?'.
Value ParseField(std::string_view raw, const FieldDef& def, base::CodePage cp) {
  const std::string_view text = Trim(raw);
  if (text.empty()) return {};
  switch (def.Type) {
  case FieldType::Integer:
  case FieldType::Float: {
    if (AllOf(text, "*")) return {};
    char buffer[64];
    const size_t n = std::min(text.size(), sizeof buffer - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    char* end = nullptr;
    if (def.Type == FieldType::Integer) {
      const long long v = std::strtoll(buffer, &end, 10);
      if (end != buffer && *end == '\0') return int64_t(v);
    }
    // Read with a decimal point whatever the C library's locale; a decimal comma, written by
    // programs that followed a Ukrainian or Russian desktop, counts as the point.
    if (!std::memchr(buffer, '.', n))
      if (char* comma = static_cast<char*>(std::memchr(buffer, ',', n))) *comma = '.';
    const char* first = buffer[0] == '+' ? buffer + 1 : buffer;
    double d = 0;
    const std::from_chars_result read = std::from_chars(first, buffer + n, d);
    // "nan" and "inf" are no dBase numbers; a whole number too large for 64 bits stays a float.
    if (read.ec != std::errc() || read.ptr == first || !std::isfinite(d)) return {};
    if (def.Type == FieldType::Integer && std::fabs(d) < 9.2e18) return int64_t(d);
    return d;
  }
  case FieldType::Boolean: {
    const char c = char(std::toupper(static_cast<unsigned char>(text[0])));
    if (c == '?') return {};
    return c == 'T' || c == 'Y';
  }
  case FieldType::Date: {
    if (AllOf(text, "0")) return {};
    const QDate d =
        QDate::fromString(QString::fromLatin1(text.data(), qsizetype(text.size())), "yyyyMMdd");
    return d.isValid() ? Value(d) : Value();
  }
  default:
    return base::Decode(text.data(), qsizetype(text.size()), cp);
  }
}

// Refuses a number wider than its field before anything is written: shapelib would write the
// cut digits (1003 as 100 in three characters) and only then report it.
void CheckFits(const FieldDef& def, const Value& v, const QString& path) {
  if (IsNull(v)) return;
  QByteArray text;
  if (def.Type == FieldType::Integer)
    text = QByteArray::number(qlonglong(ValueToInteger(v)));
  else if (def.Type == FieldType::Float)
    text = QByteArray::number(ValueToFloat(v), 'f', def.Decimals);
  else
    return;
  if (text.size() > def.Size)
    throw Error::ForField(path, def.Name,
                          QString("%1 ширше за поле в %2 символів; запис не "
                                  "змінено")
                              .arg(QString::fromLatin1(text))
                              .arg(def.Size));
}

// A number as dBase stores it: right-aligned in the field, with a decimal point whatever the C
// library's locale (shapelib formats through the locale, which gives a comma on the users'
// desktops). CheckFits has made sure it fits.
int WriteNumber(DBFInfo* h, int record, int field, const FieldDef& def, double n) {
  const QByteArray text = QByteArray::number(n, 'f', def.Decimals).rightJustified(def.Size, ' ');
  return DBFWriteAttributeDirectly(h, record, field, const_cast<char*>(text.constData()));
}

void WriteValue(const DbfHandle& handle, int record, int field, const FieldDef& def, const Value& v,
                base::CodePage cp, const QString& path) {
  DBFInfo* h = handle.get();
  int ok = 1;
  if (IsNull(v)) {
    ok = DBFWriteNULLAttribute(h, record, field);
  } else {
    switch (def.Type) {
    case FieldType::Integer: {
      const int64_t n = ValueToInteger(v);
      ok = (n >= INT32_MIN && n <= INT32_MAX) ? DBFWriteIntegerAttribute(h, record, field, int(n))
                                              : WriteNumber(h, record, field, def, double(n));
      break;
    }
    case FieldType::Float:
      ok = WriteNumber(h, record, field, def, ValueToFloat(v));
      break;
    case FieldType::Boolean:
      ok = DBFWriteLogicalAttribute(h, record, field, ValueToBoolean(v) ? 'T' : 'F');
      break;
    case FieldType::Date: {
      QDate d = std::holds_alternative<QDate>(v) ? std::get<QDate>(v)
                                                 : QDate::fromString(ValueToString(v), Qt::ISODate);
      const QByteArray text =
          d.isValid() ? d.toString("yyyyMMdd").toLatin1() : QByteArray("        ");
      ok = DBFWriteAttributeDirectly(h, record, field, const_cast<char*>(text.constData()));
      break;
    }
    default: {
      const QByteArray bytes = base::Encode(ValueToString(v), cp).left(def.Size);
      ok = DBFWriteStringAttribute(h, record, field, bytes.constData());
    }
    }
  }
  // shapelib reports a value it had to cut or could not write (which may be the previous
  // record's write, failed); a value wider than the field is refused so that nothing is
  // silently lost.
  if (const int failure = handle.WriteFailure())
    throw Error::ForTable(path, WriteFailureText(failure) + "; таблицю не змінено");
  if (!ok) throw Error::ForField(path, def.Name, "значення не вміщується в поле");
}

} // namespace

FieldDef MakeDbaseField(const QString& name, FieldType type, int size, int decimals) {
  FieldDef f;
  f.Name = name;
  f.Type = type;
  f.Size = size;
  f.Decimals = decimals;
  return f;
}

base::CodePage DbaseCodePage(const QString& path, int languageByte) {
  const QFileInfo info(path);
  if (auto cpg = base::FindPathIgnoreCase(info.absolutePath(), info.completeBaseName() + ".cpg")) {
    QFile f(*cpg);
    base::CodePage cp;
    if (f.open(QIODevice::ReadOnly) && base::CodePageFromName(QString::fromLatin1(f.readAll()), cp))
      return cp;
  }
  switch (languageByte) {
  case 0x01:
    return base::CodePage::Cp437;
  case 0x02:
    return base::CodePage::Cp850;
  case 0x03:
  case 0x57:
  case 0x58:
  case 0x59:
    return base::CodePage::Cp1252;
  case 0x26:
  case 0x65:
    return base::CodePage::Cp866;
  case 0xC8:
    return base::CodePage::Cp1250;
  case 0xC9:
    return base::CodePage::Cp1251;
  case 0xF0:
    return base::CodePage::Utf8; // not a registered driver; the files that carry it hold UTF-8
  default:
    return base::CodePage::Cp1251;
  }
}

DbaseFile::DbaseFile(QString path, int version, base::CodePage cp)
    : FilePath(std::move(path)), Version(version), Cp(cp) {}

std::unique_ptr<DbaseFile> DbaseFile::Open(const QString& path) {
  if (!QFileInfo::exists(path)) throw Error::ForTable(path, "таблиці не існує");
  const RawHeader raw = ReadRawHeader(path);
  std::unique_ptr<DbaseFile> table(
      new DbaseFile(path, raw.Version, DbaseCodePage(path, raw.Language)));
  table->HeaderLength = raw.HeaderLength;
  table->RecordLength = std::max(1, raw.RecordLength);
  // Records beyond the header's count (a writer that died before it counted them): read as the
  // header says, and said. The last byte may be the end-of-file mark.
  const int64_t inFile =
      (QFileInfo(path).size() - raw.HeaderLength) / std::max<int64_t>(1, table->RecordLength);
  if (inFile > raw.Records)
    base::Warn(QString("Таблиця %1: заголовок лічить %2 записів, а файл містить %3; читаються %2")
                   .arg(path)
                   .arg(raw.Records)
                   .arg(inFile));
  // A header with no field descriptors and no records (written for shapefiles without
  // attributes) is an empty table; shapelib refuses it.
  if (raw.HeaderLength == 33 && raw.Records == 0) {
    table->Fieldless = true;
    return table;
  }
  const DbfHandle h = DbfHandle::Open(path, "rb");
  const int count = DBFGetFieldCount(h.get());
  for (int i = 0; i < count; ++i) {
    char name[XBASE_FLDNAME_LEN_READ + 1] = {};
    int width = 0, decimals = 0;
    const DBFFieldType type = DBFGetFieldInfo(h.get(), i, name, &width, &decimals);
    FieldDef f;
    f.Name = base::Decode(name, qsizetype(std::strlen(name)), table->Cp);
    f.Size = width;
    f.Decimals = decimals;
    f.PhysicalType = DBFGetNativeFieldType(h.get(), i);
    switch (type) {
    case FTInteger:
      f.Type = FieldType::Integer;
      break;
    case FTDouble:
      f.Type = FieldType::Float;
      break;
    case FTLogical:
      f.Type = FieldType::Boolean;
      break;
    case FTDate:
      f.Type = FieldType::Date;
      break;
    default:
      f.Type = FieldType::String;
      break;
    }
    // shapelib calls numbers of ten digits or more "double"; without decimals they are integers
    // here (held in 64 bits), as the atlas's codes in such fields are.
    const char native = char(f.PhysicalType);
    if ((native == 'N' || native == 'F') && decimals == 0 && width <= 18)
      f.Type = FieldType::Integer;
    table->FieldList.push_back(f);
  }
  // Field offsets in the record: byte 0 is the deletion flag.
  size_t offset = 1;
  for (FieldDef& f : table->FieldList) {
    table->FieldOffsets.push_back(offset);
    offset += size_t(f.Size);
  }
  if (offset > size_t(table->RecordLength))
    throw Error::ForTable(
        path,
        QString("поля займають %1 байт, а запис має лише %2").arg(offset).arg(table->RecordLength));
  return table;
}

QString DbaseFile::Kind() const {
  switch (Version) {
  case 0x03:
    return "dBase III";
  case 0x83:
    return "dBase III with memo";
  case 0x04:
    return "dBase IV";
  case 0x8B:
    return "dBase IV with memo";
  case 0x30:
  case 0x31:
  case 0x32:
    return "Visual FoxPro";
  default:
    return QString("dBase (version byte 0x%1)").arg(Version, 2, 16, QChar('0'));
  }
}

void DbaseFile::CheckWritable() const {
  if (Fieldless) throw Error::ForTable(FilePath, "у таблиці немає полів для запису");
}

void DbaseFile::NoteOwnWrite() const {
  base::NoteOwnFile(FilePath);
}

QString DbaseFile::DiskSignature() const {
  return FileSignature(FilePath);
}

std::vector<int64_t> DbaseFile::ReadLocations() {
  if (Fieldless) return {};
  // A table cut shorter since it was opened is refused here; one that grew is listed as far as
  // its header counts.
  const RawHeader raw = ReadRawHeader(FilePath);
  if (raw.HeaderLength != HeaderLength || std::max(1, raw.RecordLength) != RecordLength)
    throw Error::ForTable(FilePath,
                          "структура таблиці на диску змінилася; закрийте й відкрийте її знову");
  std::vector<int64_t> live;
  live.reserve(size_t(raw.Records));
  // Only the deletion flags are looked at, a piece of the file at a time.
  const int64_t perPiece = std::max<int64_t>(1, (1 << 20) / RecordLength);
  std::vector<unsigned char> piece;
  for (int64_t first = 0; first < raw.Records; first += perPiece) {
    const int64_t count = std::min(perPiece, raw.Records - first);
    piece.resize(size_t(count * RecordLength));
    Reader().ReadDirect(RecordOffset(first), piece.size(), piece.data());
    for (int64_t r = 0; r < count; ++r)
      if (piece[size_t(r * RecordLength)] != '*') live.push_back(first + r);
  }
  return live;
}

Value DbaseFile::DecodeField(const unsigned char* record, size_t field) const {
  const FieldDef& def = FieldList[field];
  return ParseField(std::string_view(reinterpret_cast<const char*>(record) + FieldOffsets[field],
                                     size_t(def.Size)),
                    def, Cp);
}

void DbaseFile::UpdateRow(std::vector<RowSlot>& rows, size_t index, const std::vector<Value>& old,
                          std::vector<Value> values) {
  CheckWritable();
  for (size_t f = 0; f < FieldList.size(); ++f)
    if (!ValuesEqual(values[f], old[f])) CheckFits(FieldList[f], values[f], FilePath);
  DbfHandle h = DbfHandle::Open(FilePath, "rb+");
  const int record = int(rows[index].Location);
  for (size_t f = 0; f < FieldList.size(); ++f)
    if (!ValuesEqual(values[f], old[f]))
      WriteValue(h, record, int(f), FieldList[f], values[f], Cp, FilePath);
  h.Close(FilePath);
  RecordWritten(record);
}

size_t DbaseFile::InsertRow(std::vector<RowSlot>& rows, RowSlot slot, std::vector<Value> values) {
  CheckWritable();
  for (size_t f = 0; f < FieldList.size(); ++f)
    CheckFits(FieldList[f], values[f], FilePath);
  DbfHandle h = DbfHandle::Open(FilePath, "rb+");
  const int record = DBFGetRecordCount(h.get());
  for (size_t f = 0; f < FieldList.size(); ++f)
    WriteValue(h, record, int(f), FieldList[f], values[f], Cp, FilePath);
  h.Close(FilePath);
  RecordWritten(record);
  slot.Location = record;
  rows.push_back(slot);
  return rows.size() - 1;
}

void DbaseFile::UpdateFields(std::vector<RowSlot>& rows, std::span<const size_t> indexes,
                             const std::vector<size_t>& fields,
                             const std::vector<std::vector<Value>>& values) {
  CheckWritable();
  for (const std::vector<Value>& row : values)
    for (size_t k = 0; k < fields.size(); ++k)
      CheckFits(FieldList[fields[k]], row[k], FilePath);
  DbfHandle h = DbfHandle::Open(FilePath, "rb+");
  try {
    for (size_t i = 0; i < indexes.size(); ++i)
      for (size_t k = 0; k < fields.size(); ++k)
        WriteValue(h, int(rows[indexes[i]].Location), int(fields[k]), FieldList[fields[k]],
                   values[i][k], Cp, FilePath);
  } catch (...) {
    ForgetReadAhead();
    throw;
  }
  h.Close(FilePath);
  ForgetReadAhead();
}

void DbaseFile::WriteEdits(std::vector<RowSlot>& rows, const std::vector<RowEdit>& edits) {
  CheckWritable();
  // Every value is checked before the first byte is written.
  for (const RowEdit& edit : edits)
    for (size_t f : edit.Fields)
      CheckFits(FieldList[f], edit.Values[f], FilePath);
  DbfHandle h = DbfHandle::Open(FilePath, "rb+");
  std::vector<size_t> deleted;
  try {
    for (const RowEdit& edit : edits) {
      if (edit.Index && edit.Delete) {
        if (!DBFMarkRecordDeleted(h.get(), int(rows[*edit.Index].Location), 1))
          throw Error::ForTable(FilePath, "не вдається позначити запис видаленим");
        deleted.push_back(*edit.Index);
        continue;
      }
      const int record = edit.Index ? int(rows[*edit.Index].Location) : DBFGetRecordCount(h.get());
      for (size_t f : edit.Fields)
        WriteValue(h, record, int(f), FieldList[f], edit.Values[f], Cp, FilePath);
      if (!edit.Index) rows.push_back(RowSlot{edit.Id, record});
    }
  } catch (...) {
    ForgetReadAhead();
    throw;
  }
  h.Close(FilePath);
  ForgetReadAhead();
  std::sort(deleted.rbegin(), deleted.rend());
  for (size_t index : deleted)
    rows.erase(rows.begin() + std::ptrdiff_t(index));
}

void DbaseFile::DeleteRow(std::vector<RowSlot>& rows, size_t index) {
  DbfHandle h = DbfHandle::Open(FilePath, "rb+");
  if (!DBFMarkRecordDeleted(h.get(), int(rows[index].Location), 1))
    throw Error::ForTable(FilePath, "не вдається позначити запис видаленим");
  h.Close(FilePath);
  rows.erase(rows.begin() + std::ptrdiff_t(index));
}

void DbaseFile::EmptyTable(std::vector<RowSlot>& rows) {
  CheckWritable();
  // The header and field descriptors with a count of no records, and the end-of-file mark,
  // replace the table whole: the file shrinks and is never left half-emptied.
  QFile file(FilePath);
  if (!file.open(QIODevice::ReadOnly))
    throw Error::ForTable(FilePath, "не вдається відкрити таблицю: " + file.errorString());
  QByteArray empty = file.read(HeaderLength);
  file.close();
  if (empty.size() != HeaderLength)
    throw Error::ForTable(FilePath, "заголовок таблиці обрізано; таблицю не змінено");
  std::memset(empty.data() + 4, 0, 4);
  empty.append('\x1A');
  try {
    base::WriteFileAtomically(FilePath, empty);
  } catch (const base::FileError& e) {
    throw Error::ForTable(FilePath, e.Reason + "; таблицю не змінено");
  }
  ReopenReader();
  rows.clear();
}

void DbaseFile::Create(const QString& path, const std::vector<FieldDef>& fields,
                       const std::vector<std::vector<Value>>& rows, base::CodePage cp) {
  QFile::remove(path);
  const QByteArray ldid = cp == base::CodePage::Cp1251  ? "LDID/201"
                          : cp == base::CodePage::Cp866 ? "LDID/101"
                                                        : "LDID/87";
  DbfHandle h = DbfHandle::Create(path, ldid.constData());
  for (const FieldDef& f : fields) {
    const QByteArray name = base::Encode(f.Name, cp);
    DBFFieldType type = FTString;
    int width = f.Size, decimals = 0;
    switch (f.Type) {
    case FieldType::Integer:
    case FieldType::SmallInt:
      type = FTInteger;
      width = width > 0 ? width : 10;
      break;
    case FieldType::Float:
      type = FTDouble;
      width = width > 0 ? width : 19;
      decimals = f.Decimals > 0 ? f.Decimals : 6;
      break;
    case FieldType::Boolean:
      type = FTLogical;
      width = 1;
      break;
    case FieldType::Date:
      type = FTDate;
      width = 8;
      break;
    default:
      width = width > 0 ? width : 254;
      break;
    }
    if (DBFAddField(h.get(), name.constData(), type, width, decimals) < 0)
      throw Error::ForField(
          path, f.Name,
          QString("не вдається додати поле (тип %1, ширина %2)").arg(int(type)).arg(width));
  }
  std::vector<FieldDef> written;
  for (int i = 0; i < int(fields.size()); ++i) {
    FieldDef f = fields[size_t(i)];
    char name[XBASE_FLDNAME_LEN_READ + 1] = {};
    int width = 0, decimals = 0;
    const DBFFieldType type = DBFGetFieldInfo(h.get(), i, name, &width, &decimals);
    f.Size = width;
    f.Type = type == FTInteger   ? FieldType::Integer
             : type == FTDouble  ? FieldType::Float
             : type == FTLogical ? FieldType::Boolean
             : type == FTDate    ? FieldType::Date
                                 : FieldType::String;
    written.push_back(f);
  }
  // Every value is checked before the first record is written: none is cut on the way.
  for (const std::vector<Value>& row : rows)
    for (size_t f = 0; f < fields.size() && f < row.size(); ++f) {
      CheckFits(written[f], row[f], path);
      CheckTextFits(written[f], row[f], cp, path);
    }
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t f = 0; f < fields.size(); ++f)
      WriteValue(h, int(r), int(f), written[f], f < rows[r].size() ? rows[r][f] : Value(), cp,
                 path);
  h.Close(path); // the file complete, as others will see it
  base::NoteOwnWrite(path);
}

} // namespace db
