// The writing of a Paradox table: records encoded with their blobs, rows updated in place or
// the table rewritten whole in key order with its primary index, batches of edits, and the blob
// blocks a write may reuse.

#include "ParadoxFile.h"

#include "Error.h"
#include "ParadoxIndex.h"

#include "base/AtomicFile.h"
#include "base/ByteOrder.h"

#include <QDateTime>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace db {

using namespace paradox;

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
  std::vector<std::pair<size_t, size_t>> blobFields; // field, offset in the record
  for (size_t i = 0; i < Hdr.Fields.size(); ++i)
    if (IsBlobType(Hdr.Fields[i].Type)) blobFields.emplace_back(i, FieldOffsets[i]);
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

void ParadoxFile::SortUniqueKeys(std::vector<StoredRow>& rows) const {
  if (Hdr.KeyFields == 0) return;
  // Sorted once into key order (rows of equal keys in the order given), where two rows with
  // one key stand side by side.
  const auto less = [&](const StoredRow& a, const StoredRow& b) {
    return KeyLess(a, b, Hdr.KeyFields);
  };
  std::stable_sort(rows.begin(), rows.end(), less);
  for (size_t i = 1; i < rows.size(); ++i)
    if (!less(rows[i - 1], rows[i]))
      CheckKeyUnique({rows[i - 1]}, rows[i].Values, std::nullopt); // raises
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
    SortUniqueKeys(accepted);
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
    SortUniqueKeys(kept);
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

} // namespace db
