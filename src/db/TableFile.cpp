#include "TableFile.h"

#include "base/DerivedCache.h"
#include "base/OwnWrites.h"

#include <cstring>

namespace db {

const RecordReader& TableFile::Reader() const {
  const std::lock_guard guard(RecordsLock);
  if (!Records) Records = std::make_unique<RecordReader>(Path());
  return *Records;
}

void TableFile::ReopenReader() {
  const std::lock_guard guard(RecordsLock);
  if (Records) Records->Reopen();
}

void TableFile::ForgetReadAhead() {
  const std::lock_guard guard(RecordsLock);
  if (Records) Records->Forget();
}

void TableFile::RecordWritten(int64_t location) {
  const std::lock_guard guard(RecordsLock);
  if (Records) Records->Refresh(RecordOffset(location), RecordSize());
}

std::vector<Value> TableFile::ReadRow(int64_t location) const {
  std::vector<unsigned char> record(RecordSize());
  Reader().Read(RecordOffset(location), record.size(), record.data());
  std::vector<Value> values;
  values.reserve(Fields().size());
  for (size_t f = 0; f < Fields().size(); ++f)
    values.push_back(DecodeField(record.data(), f));
  return values;
}

Value TableFile::ReadValue(int64_t location, size_t field) const {
  std::vector<unsigned char> record(RecordSize());
  Reader().Read(RecordOffset(location), record.size(), record.data());
  return DecodeField(record.data(), field);
}

void TableFile::ReadRecords(std::span<const int64_t> locations, const RecordTaker& take) const {
  std::vector<unsigned char> record(RecordSize());
  const RecordReader& reader = Reader();
  for (size_t i = 0; i < locations.size(); ++i) {
    reader.Read(RecordOffset(locations[i]), record.size(), record.data());
    take(i, record.data());
  }
}

void TableFile::ReadFields(std::span<const int64_t> locations, const std::vector<size_t>& fields,
                           const FieldsTaker& take) const {
  std::vector<Value> values(fields.size());
  ReadRecords(locations, [&](size_t i, const unsigned char* record) {
    for (size_t k = 0; k < fields.size(); ++k)
      values[k] = DecodeField(record, fields[k]);
    take(i, values);
  });
}

std::vector<int64_t> TableFile::ListRows(QByteArray& stamp) {
  // A list of every record from the first is kept as its count alone.
  struct Kept {
    uint64_t Count = 0;
    uint64_t Listed = 0; // 0: records 0 to Count - 1; 1: Count locations follow
  };
  const QString kind = QString("row-list-1-%1").arg(ListingVariant());
  // The file is opened before it is stamped, and a stamp of another file (one renamed over the
  // path meanwhile) is not used: the rows listed are those of the file read.
  const std::pair<uint64_t, uint64_t> read = ReadIdentity();
  stamp = base::DerivedCache::Stamp(Path());
  int64_t stamped[2] = {0, 0};
  if (stamp.size() >= qsizetype(sizeof stamped))
    std::memcpy(stamped, stamp.constData(), sizeof stamped);
  if (uint64_t(stamped[0]) != read.first || uint64_t(stamped[1]) != read.second) stamp.clear();
  if (const base::DerivedContent kept = base::DerivedCache::Load(Path(), kind, stamp);
      kept && kept.Bytes.size() >= sizeof(Kept)) {
    Kept h;
    std::memcpy(&h, kept.Bytes.data(), sizeof h);
    size_t offset = sizeof h;
    std::span<const int64_t> listed;
    if (h.Listed == 0 && NumbersRecords() && h.Count < (uint64_t(1) << 40)) {
      std::vector<int64_t> locations(h.Count);
      for (size_t i = 0; i < locations.size(); ++i)
        locations[i] = int64_t(i);
      CheckRowCount(locations.size());
      return locations;
    }
    if (h.Listed == 1 && base::ViewArray(kept.Bytes, offset, h.Count, listed)) {
      CheckRowCount(listed.size());
      return std::vector<int64_t>(listed.begin(), listed.end());
    }
  }
  std::vector<int64_t> locations = ReadLocations();
  CheckRowCount(locations.size());
  bool fromFirst = NumbersRecords();
  for (size_t i = 0; fromFirst && i < locations.size(); ++i)
    fromFirst = locations[i] == int64_t(i);
  const Kept h{locations.size(), fromFirst ? 0u : 1u};
  QByteArray content(reinterpret_cast<const char*>(&h), sizeof h);
  if (!fromFirst) base::AppendArray(content, std::span<const int64_t>(locations));
  base::DerivedCache::Store(Path(), kind, stamp, content);
  return locations;
}

std::vector<StoredRow> TableFile::ReadRows() {
  const std::vector<int64_t> locations = ReadLocations();
  std::vector<StoredRow> rows(locations.size());
  ReadRecords(locations, [&](size_t i, const unsigned char* record) {
    StoredRow& row = rows[i];
    row.Location = locations[i];
    row.Raw = QByteArray(reinterpret_cast<const char*>(record), qsizetype(RecordSize()));
    row.Values.reserve(Fields().size());
    for (size_t f = 0; f < Fields().size(); ++f)
      row.Values.push_back(DecodeField(record, f));
  });
  return rows;
}

void TableFile::UpdateFields(std::vector<RowSlot>& rows, std::span<const size_t> indexes,
                             const std::vector<size_t>& fields,
                             const std::vector<std::vector<Value>>& values) {
  for (size_t i = 0; i < indexes.size(); ++i) {
    const std::vector<Value> old = ReadRow(rows[indexes[i]].Location);
    std::vector<Value> changed = old;
    for (size_t k = 0; k < fields.size(); ++k)
      changed[fields[k]] = values[i][k];
    UpdateRow(rows, indexes[i], old, std::move(changed));
  }
}

void TableFile::ReplaceRows(std::vector<RowSlot>& rows, std::vector<StoredRow> replacement) {
  EmptyTable(rows);
  for (StoredRow& row : replacement)
    InsertRow(rows, RowSlot{row.Id, -1}, std::move(row.Values));
}

void TableFile::NoteOwnWrite() const {
  base::NoteOwnWrite(Path());
}

QString FileSignature(const QString& path) {
  return base::FileSignature(path);
}

namespace {

std::vector<RemoteTableKind>& RemoteKinds() {
  static std::vector<RemoteTableKind> kinds;
  return kinds;
}

} // namespace

void RegisterRemoteTableKind(RemoteTableKind kind) {
  RemoteKinds().push_back(std::move(kind));
}

const RemoteTableKind* RemoteKindOf(const QString& directory) {
  for (const RemoteTableKind& kind : RemoteKinds())
    if (kind.Claims(directory)) return &kind;
  return nullptr;
}

} // namespace db
