#include "ParadoxFile.h"

#include "Error.h"
#include "ParadoxIndex.h"
#include "base/OwnWrites.h"

#include "base/AtomicFile.h"
#include "base/ByteOrder.h"
#include "base/MappedFile.h"
#include "base/PathResolver.h"
#include "base/Warnings.h"

#include <QDateTime>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace db {

using namespace paradox;

QString ParadoxSidePath(const QString& tablePath, const QString& extension) {
  const QFileInfo info(tablePath);
  const QString name = info.completeBaseName() + extension;
  return base::ResolvePath(info.absolutePath(), name);
}

namespace {

// Code pages whose declaration in a header is believed; others (0, 936, ...) are often wrong in
// real files, and the atlas's own text is Windows-1251.
base::CodePage TextCodePageOf(const Header& h, std::optional<base::CodePage> override) {
  if (override) return *override;
  switch (h.CodePage) {
  case 866:
  case 1251:
  case 1252:
  case 437:
  case 850:
    return base::CodePageFromNumber(h.CodePage, base::CodePage::Cp1251);
  default:
    return base::CodePage::Cp1251;
  }
}

} // namespace

ParadoxFile::ParadoxFile(QString path, Header header, base::CodePage cp)
    : FilePath(std::move(path)), Hdr(std::move(header)), Cp(cp),
      Blobs(ParadoxSidePath(FilePath, ".MB")), IndexPath(ParadoxSidePath(FilePath, ".PX")) {
  size_t offset = 0;
  for (const FieldDef& f : Hdr.Fields) {
    FieldOffsets.push_back(offset);
    offset += size_t(f.Size);
  }
}

std::unique_ptr<ParadoxFile> ParadoxFile::Open(const QString& path,
                                               std::optional<base::CodePage> codePage) {
  if (!QFileInfo::exists(path)) throw Error::ForTable(path, "таблиці не існує");
  try {
    base::MappedFile file(path);
    // The header's own code page is known only after parsing; parse once to learn it.
    Header probe = ParseHeader(file.Bytes(), path, base::CodePage::Cp1251);
    const base::CodePage cp = TextCodePageOf(probe, codePage);
    Header header =
        cp == base::CodePage::Cp1251 ? std::move(probe) : ParseHeader(file.Bytes(), path, cp);
    std::unique_ptr<ParadoxFile> table(new ParadoxFile(path, std::move(header), cp));
    if (table->Hdr.KeyFields > 0 && QFileInfo::exists(table->IndexPath)) {
      base::MappedFile px(table->IndexPath);
      if (px.Size() >= 0x800)
        table->IndexHeader = QByteArray(reinterpret_cast<const char*>(px.Bytes().data()), 0x800);
    }
    return table;
  } catch (const base::FileError& e) {
    throw Error::ForTable(path, e.Reason);
  }
}

QString ParadoxFile::Kind() const {
  switch (Hdr.Version) {
  case 30:
    return "Paradox 3";
  case 35:
    return "Paradox 3.5";
  case 40:
    return "Paradox 4";
  case 50:
    return "Paradox 5";
  default:
    return "Paradox 7";
  }
}

QString ParadoxFile::DiskSignature() const {
  return FileSignature(FilePath);
}

int ParadoxFile::KeyLength() const {
  int length = 0;
  for (int i = 0; i < Hdr.KeyFields; ++i)
    length += Hdr.Fields[size_t(i)].Size;
  return length;
}

Value ParadoxFile::DecodeField(const unsigned char* record, size_t field) const {
  const FieldDef& f = Hdr.Fields[field];
  const std::span<const unsigned char> bytes(record + FieldOffsets[field], size_t(f.Size));
  if (!IsBlobType(f.Type)) return DecodeValue(f, bytes, Cp);
  QByteArray blob;
  {
    const std::lock_guard guard(BlobsLock);
    blob = Blobs.Read(f, bytes);
  }
  if (blob.isEmpty()) return {};
  if (f.Type == FieldType::Memo) return base::Decode(blob, Cp);
  return blob;
}

std::vector<int64_t> ParadoxFile::ReadChain() const {
  std::vector<int64_t> locations;
  const int perBlockBytes = Hdr.BlockSize - kBlockHeaderSize;
  std::vector<bool> visited(65536, false);
  int block = Hdr.FirstBlock;
  while (block != 0) {
    if (block < 0 || block > 65535 || visited[size_t(block)])
      throw Error::ForTable(FilePath,
                            QString("ланцюжок блоків даних повертається до блоку %1").arg(block));
    visited[size_t(block)] = true;
    const int64_t offset = BlockOffset(Hdr, block);
    unsigned char head[kBlockHeaderSize];
    Reader().ReadDirect(offset, sizeof head, head);
    const int next = base::GetU16LE(head);
    const int lastOffset = int16_t(base::GetU16LE(head + 4));
    if (lastOffset >= 0) {
      if (lastOffset % Hdr.RecordSize != 0 || lastOffset + Hdr.RecordSize > perBlockBytes)
        throw Error::ForTable(FilePath,
                              QString("блок даних %1 заявляє %2 байт записів, більше, ніж вміщує")
                                  .arg(block)
                                  .arg(lastOffset + Hdr.RecordSize));
      const int count = lastOffset / Hdr.RecordSize + 1;
      for (int i = 0; i < count; ++i)
        locations.push_back(offset + kBlockHeaderSize + int64_t(i) * Hdr.RecordSize);
    }
    block = next;
  }
  // A block that ends past the end of the file: the table is cut short.
  if (!locations.empty()) {
    unsigned char last[1];
    Reader().ReadDirect(locations.back() + Hdr.RecordSize - 1, 1, last);
  }
  return locations;
}

void ParadoxFile::CheckRowCount(size_t listed) const {
  // Other programs trust either; the rows read are those the block chain holds.
  if (int64_t(listed) != Hdr.NumRecords)
    base::Warn(QString("Таблиця %1: заголовок лічить %2 записів, а ланцюжок блоків містить %3; "
                       "читаються %3")
                   .arg(FilePath)
                   .arg(Hdr.NumRecords)
                   .arg(listed));
}

bool ParadoxFile::InKeyOrder(const std::vector<int64_t>& locations) const {
  if (Hdr.KeyFields == 0 || locations.size() < 2) return true;
  // Numbers, dates, times and logicals are stored so that their bytes sort like their values:
  // keys of only such fields are compared as bytes, without decoding.
  bool bytesSort = true;
  for (int i = 0; i < Hdr.KeyFields; ++i)
    switch (Hdr.Fields[size_t(i)].PhysicalType) {
    case Date:
    case Short:
    case Long:
    case Number:
    case Currency:
    case Logical:
    case Time:
    case Timestamp:
    case AutoInc:
      break;
    default:
      bytesSort = false;
    }
  const size_t keyLength = size_t(KeyLength());
  if (bytesSort) {
    std::vector<unsigned char> previous(keyLength);
    bool sorted = true;
    ReadRecords(locations, [&](size_t i, const unsigned char* record) {
      if (i > 0 && sorted && std::memcmp(previous.data(), record, keyLength) > 0) sorted = false;
      std::memcpy(previous.data(), record, keyLength);
    });
    if (sorted) return true;
  }
  std::vector<size_t> keyFields;
  for (int i = 0; i < Hdr.KeyFields; ++i)
    keyFields.push_back(size_t(i));
  std::vector<Value> previous;
  bool sorted = true;
  ReadFields(locations, keyFields, [&](size_t i, const std::vector<Value>& key) {
    if (i > 0 && sorted)
      for (size_t k = 0; k < key.size(); ++k)
        if (const int c = CompareValues(previous[k], key[k]); c != 0) {
          sorted = c < 0;
          break;
        }
    previous = key;
  });
  return sorted;
}

std::vector<int64_t> ParadoxFile::ReadLocations() {
  std::vector<int64_t> locations;
  try {
    locations = ReadChain();
    // The block chain is in key order in every sound table; sort only a table that is not.
    if (!InKeyOrder(locations)) {
      std::vector<StoredRow> rows;
      rows.reserve(locations.size());
      std::vector<size_t> keyFields;
      for (int i = 0; i < Hdr.KeyFields; ++i)
        keyFields.push_back(size_t(i));
      ReadFields(locations, keyFields, [&](size_t i, const std::vector<Value>& key) {
        rows.push_back(StoredRow{0, key, locations[i], {}});
      });
      std::stable_sort(rows.begin(), rows.end(), [&](const StoredRow& a, const StoredRow& b) {
        return KeyLess(a, b, Hdr.KeyFields);
      });
      for (size_t i = 0; i < rows.size(); ++i)
        locations[i] = rows[i].Location;
    }
  } catch (const base::FileError& e) {
    throw Error::ForTable(FilePath, "файл обрізаний або пошкоджений: " + e.Reason);
  }
  return locations;
}

std::vector<StoredRow> ParadoxFile::Materialize(const std::vector<RowSlot>& listed) const {
  std::vector<int64_t> locations;
  locations.reserve(listed.size());
  for (const RowSlot& slot : listed)
    locations.push_back(slot.Location);
  std::vector<StoredRow> rows(listed.size());
  ReadRecords(locations, [&](size_t i, const unsigned char* record) {
    StoredRow& row = rows[i];
    row.Id = listed[i].Id;
    row.Location = listed[i].Location;
    row.Raw = QByteArray(reinterpret_cast<const char*>(record), Hdr.RecordSize);
    row.Values.reserve(Hdr.Fields.size());
    for (size_t f = 0; f < Hdr.Fields.size(); ++f)
      row.Values.push_back(DecodeField(record, f));
  });
  return rows;
}

std::vector<RowSlot> ParadoxFile::SlotsOf(const std::vector<StoredRow>& rows) {
  std::vector<RowSlot> listed;
  listed.reserve(rows.size());
  for (const StoredRow& row : rows)
    listed.push_back(RowSlot{row.Id, row.Location});
  return listed;
}

bool ParadoxFile::KeyLess(const StoredRow& a, const StoredRow& b, int keyFields) {
  for (int i = 0; i < keyFields; ++i) {
    const int c = CompareValues(a.Values[size_t(i)], b.Values[size_t(i)]);
    if (c != 0) return c < 0;
  }
  return false;
}

void ParadoxFile::Create(const QString& path, const std::vector<FieldDef>& fields, int keyFields,
                         const std::vector<std::vector<Value>>& rows,
                         const ParadoxCreateOptions& options) {
  if (fields.empty()) throw Error::ForTable(path, "таблиці потрібне хоча б одне поле");
  const base::CodePage cp = base::CodePageFromNumber(options.CodePage, base::CodePage::Cp1251);
  const QByteArray headerBytes = BuildHeader(fields, keyFields, options.Version, options.CodePage,
                                             options.BlockSizeKiB, QFileInfo(path).fileName(), cp);
  Header header =
      ParseHeader(std::span(reinterpret_cast<const unsigned char*>(headerBytes.constData()),
                            size_t(headerBytes.size())),
                  path, cp);
  ParadoxFile table(path, std::move(header), cp);
  table.FixedUpdateTime = options.UpdateTime;
  // A new table starts without stale index or blob files of an earlier table of that name.
  QFile::remove(table.IndexPath);
  QFile::remove(table.Blobs.Path());
  std::vector<StoredRow> stored;
  stored.reserve(rows.size());
  for (const auto& values : rows) {
    if (values.size() != fields.size())
      throw Error::ForTable(
          path, QString("рядок має %1 значень для %2 полів").arg(values.size()).arg(fields.size()));
    for (size_t f = 0; f < fields.size(); ++f)
      CheckTextFits(fields[f], values[f], cp, path);
    StoredRow row;
    row.Values = values;
    table.AssignAutoIncrements(row.Values);
    stored.push_back(std::move(row));
  }
  if (keyFields > 0) {
    std::stable_sort(stored.begin(), stored.end(), [&](const StoredRow& a, const StoredRow& b) {
      return KeyLess(a, b, keyFields);
    });
    for (size_t i = 1; i < stored.size(); ++i)
      if (!KeyLess(stored[i - 1], stored[i], keyFields))
        throw Error::ForTable(path, "порушення ключа: два рядки мають однаковий ключ");
  }
  table.Rewrite(stored);
  base::NoteOwnWrite(path);
}

} // namespace db
