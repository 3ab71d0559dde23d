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

int64_t BlockOffset(const Header& h, int block) {
  return int64_t(h.HeaderSize) + int64_t(block - 1) * h.BlockSize;
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

QByteArray ParadoxFile::EncodeRecord(const std::vector<Value>& values, const StoredRow* old) {
  QByteArray record(Hdr.RecordSize, '\0');
  auto* out = reinterpret_cast<unsigned char*>(record.data());
  size_t offset = 0;
  for (size_t i = 0; i < Hdr.Fields.size(); ++i) {
    const FieldDef& f = Hdr.Fields[i];
    std::span<unsigned char> slot(out + offset, size_t(f.Size));
    if (old && old->Raw.size() == Hdr.RecordSize && ValuesEqual(old->Values[i], values[i])) {
      // An unchanged field keeps its bytes exactly (blob pointers included).
      std::memcpy(slot.data(), old->Raw.constData() + offset, slot.size());
    } else if (IsBlobType(f.Type)) {
      const QByteArray data = f.Type == FieldType::Memo ? base::Encode(ValueToString(values[i]), Cp)
                                                        : ValueToBytes(values[i]);
      Blobs.Write(f, IsNull(values[i]) ? QByteArray() : data, slot);
    } else {
      EncodeValue(f, values[i], slot, Cp, FilePath);
    }
    offset += size_t(f.Size);
  }
  return record;
}

ParadoxFile::BlobBlocksKnown::~BlobBlocksKnown() {
  Blobs.ForgetBlocksInUse();
}

ParadoxFile::BlobBlocksKnown ParadoxFile::KnowBlobBlocks(const std::vector<RowSlot>& rows) {
  // Where each blob field lies in a record.
  std::vector<std::pair<size_t, size_t>> blobFields; // field, offset
  size_t offset = 0;
  for (size_t i = 0; i < Hdr.Fields.size(); ++i) {
    if (IsBlobType(Hdr.Fields[i].Type)) blobFields.emplace_back(i, offset);
    offset += size_t(Hdr.Fields[i].Size);
  }
  if (!blobFields.empty()) {
    std::set<int64_t> used;
    std::vector<int64_t> locations;
    for (const RowSlot& row : rows)
      if (row.Location >= 0) locations.push_back(row.Location);
    ReadRecords(locations, [&](size_t, const unsigned char* record) {
      for (const auto& [field, at] : blobFields) {
        const FieldDef& f = Hdr.Fields[field];
        if (auto block = paradox::BlobFile::BlockOf(f, {record + at, size_t(f.Size)}))
          used.insert(*block);
      }
    });
    Blobs.SetBlocksInUse(std::move(used));
  }
  return BlobBlocksKnown{Blobs};
}

void ParadoxFile::AssignAutoIncrements(std::vector<Value>& values) {
  for (size_t i = 0; i < Hdr.Fields.size(); ++i) {
    if (Hdr.Fields[i].Type != FieldType::AutoInc) continue;
    if (IsNull(values[i]))
      values[i] = int64_t(++Hdr.AutoInc);
    else
      Hdr.AutoInc = std::max<uint32_t>(Hdr.AutoInc,
                                       uint32_t(std::max<int64_t>(0, ValueToInteger(values[i]))));
  }
}

void ParadoxFile::CheckKeyUnique(const std::vector<StoredRow>& rows,
                                 const std::vector<Value>& values,
                                 std::optional<size_t> except) const {
  if (Hdr.KeyFields == 0) return;
  StoredRow probe;
  probe.Values = values;
  const auto it = std::lower_bound(
      rows.begin(), rows.end(), probe,
      [&](const StoredRow& a, const StoredRow& b) { return KeyLess(a, b, Hdr.KeyFields); });
  for (auto i = it; i != rows.end() && !KeyLess(probe, *i, Hdr.KeyFields); ++i) {
    if (except && size_t(i - rows.begin()) == *except) continue;
    QStringList key;
    for (int k = 0; k < Hdr.KeyFields; ++k)
      key << ValueToString(values[size_t(k)]);
    throw Error::ForTable(FilePath,
                          "порушення ключа: рядок з ключем (" + key.join(", ") + ") вже існує");
  }
}

void ParadoxFile::WriteInPlace(const StoredRow& row) {
  const int fd = ::open(FilePath.toLocal8Bit().constData(), O_WRONLY);
  if (fd < 0)
    throw Error::ForTable(
        FilePath, QString("не вдається відкрити таблицю для запису: %1").arg(std::strerror(errno)));
  const bool ok = ::pwrite(fd, row.Raw.constData(), size_t(row.Raw.size()), off_t(row.Location)) ==
                      row.Raw.size() &&
                  ::fsync(fd) == 0;
  const int err = errno;
  ::close(fd);
  if (!ok)
    throw Error::ForTable(FilePath,
                          QString("не вдається записати запис: %1").arg(std::strerror(err)));
}

void ParadoxFile::UpdateRow(std::vector<RowSlot>& rows, size_t index, const std::vector<Value>& old,
                            std::vector<Value> values) {
  const BlobBlocksKnown known = KnowBlobBlocks(rows);
  StoredRow before{rows[index].Id, old, rows[index].Location, QByteArray(Hdr.RecordSize, '\0')};
  Reader().Read(before.Location, size_t(Hdr.RecordSize),
                reinterpret_cast<unsigned char*>(before.Raw.data()));
  const uint32_t savedAutoInc = Hdr.AutoInc;
  AssignAutoIncrements(values);
  StoredRow updated = before;
  updated.Raw = EncodeRecord(values, &before);
  updated.Values = std::move(values);
  const bool keyKept =
      std::memcmp(updated.Raw.constData(), before.Raw.constData(), size_t(KeyLength())) == 0;
  if (keyKept && before.Location >= 0 && Hdr.AutoInc == savedAutoInc) {
    // The key is kept, so the row keeps its place and no other row's key can clash with it.
    WriteInPlace(updated);
    RecordWritten(updated.Location);
    return;
  }
  try {
    std::vector<StoredRow> copy = Materialize(rows);
    CheckKeyUnique(copy, updated.Values, index);
    copy[index] = std::move(updated);
    Rewrite(copy);
    rows = SlotsOf(copy);
  } catch (...) {
    Hdr.AutoInc = savedAutoInc;
    throw;
  }
}

size_t ParadoxFile::InsertRow(std::vector<RowSlot>& rows, RowSlot slot, std::vector<Value> values) {
  const BlobBlocksKnown known = KnowBlobBlocks(rows);
  const uint32_t savedAutoInc = Hdr.AutoInc;
  AssignAutoIncrements(values);
  try {
    std::vector<StoredRow> copy = Materialize(rows);
    CheckKeyUnique(copy, values, std::nullopt);
    StoredRow row{slot.Id, std::move(values), -1, {}};
    row.Raw = EncodeRecord(row.Values, nullptr);
    size_t position = copy.size();
    if (Hdr.KeyFields > 0)
      position = size_t(std::upper_bound(copy.begin(), copy.end(), row,
                                         [&](const StoredRow& a, const StoredRow& b) {
                                           return KeyLess(a, b, Hdr.KeyFields);
                                         }) -
                        copy.begin());
    copy.insert(copy.begin() + std::ptrdiff_t(position), std::move(row));
    Rewrite(copy);
    rows = SlotsOf(copy);
    return position;
  } catch (...) {
    Hdr.AutoInc = savedAutoInc;
    throw;
  }
}

void ParadoxFile::DeleteRow(std::vector<RowSlot>& rows, size_t index) {
  std::vector<StoredRow> copy = Materialize(rows);
  copy.erase(copy.begin() + std::ptrdiff_t(index));
  Rewrite(copy);
  rows = SlotsOf(copy);
}

void ParadoxFile::EmptyTable(std::vector<RowSlot>& rows) {
  std::vector<StoredRow> none;
  Rewrite(none);
  rows.clear();
}

void ParadoxFile::ReplaceRows(std::vector<RowSlot>& rows, std::vector<StoredRow> replacement) {
  const BlobBlocksKnown known = KnowBlobBlocks(rows);
  const uint32_t savedAutoInc = Hdr.AutoInc;
  try {
    std::vector<StoredRow> accepted;
    accepted.reserve(replacement.size());
    for (StoredRow& row : replacement) {
      AssignAutoIncrements(row.Values);
      row.Raw = EncodeRecord(row.Values, nullptr);
      row.Location = -1;
      accepted.push_back(std::move(row));
    }
    // Sorted once into key order (rows of equal keys in the order given), where two rows with
    // one key stand side by side.
    if (Hdr.KeyFields > 0) {
      const auto less = [&](const StoredRow& a, const StoredRow& b) {
        return KeyLess(a, b, Hdr.KeyFields);
      };
      std::stable_sort(accepted.begin(), accepted.end(), less);
      for (size_t i = 1; i < accepted.size(); ++i)
        if (!less(accepted[i - 1], accepted[i]))
          CheckKeyUnique({accepted[i - 1]}, accepted[i].Values, std::nullopt); // raises
    }
    Rewrite(accepted);
    rows = SlotsOf(accepted);
  } catch (...) {
    Hdr.AutoInc = savedAutoInc;
    throw;
  }
}

void ParadoxFile::WriteEdits(std::vector<RowSlot>& rows, const std::vector<RowEdit>& edits) {
  const BlobBlocksKnown known = KnowBlobBlocks(rows);
  const uint32_t savedAutoInc = Hdr.AutoInc;
  try {
    std::vector<StoredRow> copy = Materialize(rows);
    std::vector<bool> deleted(copy.size(), false);
    for (const RowEdit& edit : edits) {
      if (!edit.Index) {
        StoredRow row{edit.Id, edit.Values, -1, {}};
        AssignAutoIncrements(row.Values);
        row.Raw = EncodeRecord(row.Values, nullptr);
        copy.push_back(std::move(row));
        deleted.push_back(false);
      } else if (edit.Delete) {
        deleted[*edit.Index] = true;
      } else {
        StoredRow& row = copy[*edit.Index];
        std::vector<Value> values = edit.Values;
        AssignAutoIncrements(values);
        row.Raw = EncodeRecord(values, &row); // the fields left alone keep their bytes
        row.Values = std::move(values);
      }
    }
    std::vector<StoredRow> kept;
    kept.reserve(copy.size());
    for (size_t i = 0; i < copy.size(); ++i)
      if (!deleted[i]) kept.push_back(std::move(copy[i]));
    if (Hdr.KeyFields > 0) {
      const auto less = [&](const StoredRow& a, const StoredRow& b) {
        return KeyLess(a, b, Hdr.KeyFields);
      };
      std::stable_sort(kept.begin(), kept.end(), less);
      for (size_t i = 1; i < kept.size(); ++i)
        if (!less(kept[i - 1], kept[i]))
          CheckKeyUnique({kept[i - 1]}, kept[i].Values, std::nullopt); // raises
    }
    Rewrite(kept);
    rows = SlotsOf(kept);
  } catch (...) {
    Hdr.AutoInc = savedAutoInc;
    throw;
  }
}

void ParadoxFile::Rewrite(std::vector<StoredRow>& rows) {
  try {
    WriteWhole(rows);
  } catch (const base::FileError& e) {
    throw Error::ForTable(FilePath, "таблицю не записано, вона лишилася як була: " + e.Reason);
  }
}

void ParadoxFile::WriteWhole(std::vector<StoredRow>& rows) {
  auto less = [&](const StoredRow& a, const StoredRow& b) { return KeyLess(a, b, Hdr.KeyFields); };
  if (Hdr.KeyFields > 0 && !std::is_sorted(rows.begin(), rows.end(), less))
    std::stable_sort(rows.begin(), rows.end(), less);
  const int perBlock = (Hdr.BlockSize - kBlockHeaderSize) / Hdr.RecordSize;
  if (perBlock < 1) throw Error::ForTable(FilePath, "запис не вміщується в блок даних");
  const int blocks = int((rows.size() + size_t(perBlock) - 1) / size_t(perBlock));
  if (blocks > 65535) throw Error::ForTable(FilePath, "таблиці знадобилося б понад 65535 блоків");
  for (StoredRow& row : rows)
    if (row.Raw.size() != Hdr.RecordSize) row.Raw = EncodeRecord(row.Values, nullptr);

  QByteArray header = Hdr.Bytes;
  PutHeaderU32(header, 0x06, uint32_t(rows.size()));
  PutHeaderU16(header, 0x0A, blocks);
  PutHeaderU16(header, 0x0C, blocks);
  PutHeaderU16(header, 0x0E, blocks > 0 ? 1 : 0);
  PutHeaderU16(header, 0x10, blocks);
  PutHeaderU16(header, 0x3A, blocks);
  PutHeaderU32(header, 0x49, Hdr.AutoInc);
  PutHeaderU16(header, 0x4D, 0);
  if (Hdr.Version >= 40)
    PutHeaderU32(header, 0x60,
                 FixedUpdateTime.value_or(uint32_t(QDateTime::currentSecsSinceEpoch())));

  std::vector<int64_t> locations(rows.size());
  std::vector<IndexEntry> index;
  base::AtomicFileWriter writer(FilePath);
  writer.Write(header);
  QByteArray block(Hdr.BlockSize, '\0');
  const int keyLength = KeyLength();
  for (int b = 1; b <= blocks; ++b) {
    std::memset(block.data(), 0, size_t(block.size()));
    const size_t first = size_t(b - 1) * size_t(perBlock);
    const int count = int(std::min(rows.size() - first, size_t(perBlock)));
    base::PutU16LE(block.data(), uint16_t(b < blocks ? b + 1 : 0));
    base::PutU16LE(block.data() + 2, uint16_t(b - 1));
    base::PutU16LE(block.data() + 4, uint16_t((count - 1) * Hdr.RecordSize));
    for (int i = 0; i < count; ++i) {
      std::memcpy(block.data() + kBlockHeaderSize + i * Hdr.RecordSize,
                  rows[first + size_t(i)].Raw.constData(), size_t(Hdr.RecordSize));
      locations[first + size_t(i)] =
          BlockOffset(Hdr, b) + kBlockHeaderSize + int64_t(i) * Hdr.RecordSize;
    }
    if (keyLength > 0) index.push_back({rows[first].Raw.left(keyLength), b, count});
    // The last block of a table is written whole, so the file is a whole number of blocks.
    writer.Write(block);
  }
  // The index is written beside the table first and renamed into place right after it, so the
  // two are replaced together as nearly as the file system allows.
  std::unique_ptr<base::AtomicFileWriter> indexWriter;
  QByteArray indexFile;
  if (Hdr.KeyFields > 0) {
    indexFile = BuildPrimaryIndex(Hdr, index, IndexHeader, QFileInfo(IndexPath).fileName());
    indexWriter = std::make_unique<base::AtomicFileWriter>(IndexPath);
    indexWriter->Write(indexFile);
    indexWriter->Sync();
  }
  writer.Sync();
  writer.Commit();
  Hdr.Bytes = header;
  Hdr.NumRecords = int64_t(rows.size());
  Hdr.FileBlocks = blocks;
  Hdr.FirstBlock = blocks > 0 ? 1 : 0;
  Hdr.LastBlock = blocks;
  for (size_t i = 0; i < rows.size(); ++i)
    rows[i].Location = locations[i];
  ReopenReader(); // the replaced file is read from now on
  if (indexWriter) {
    try {
      indexWriter->Commit();
    } catch (const base::FileError& e) {
      throw Error::ForTable(IndexPath, "таблицю записано, а її первинний індекс — ні: " + e.Reason);
    }
    IndexHeader = indexFile.left(0x800);
  }
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
