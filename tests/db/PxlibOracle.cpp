// pxlib (Debian's 0.6.8, which aborts on tables with blob files) compared field by field with
// our reader on every corpus table without blobs, and used to read back tables we write.

#include "PxlibOracle.h"
#include "TestFiles.h"

#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
extern "C" {
#include <paradox.h>
}

namespace testing_support {
namespace {

void QuietErrors(pxdoc_t*, int, const char*, void*) {}

db::Value ReadPxValue(pxdoc_t* doc, const pxfield_t& f, char* data, base::CodePage cp) {
  switch (f.px_ftype) {
  case pxfAlpha: {
    char* s = nullptr;
    if (PX_get_data_alpha(doc, data, f.px_flen, &s) <= 0 || !s) return {};
    const QString text = base::Decode(s, qsizetype(strlen(s)), cp);
    doc->free(doc, s);
    return text.isEmpty() ? db::Value() : db::Value(text);
  }
  case pxfShort: {
    short v = 0;
    return PX_get_data_short(doc, data, 2, &v) > 0 ? db::Value(int64_t(v)) : db::Value();
  }
  case pxfLong:
  case pxfAutoInc: {
    long v = 0;
    return PX_get_data_long(doc, data, 4, &v) > 0 ? db::Value(int64_t(int32_t(v))) : db::Value();
  }
  case pxfDate: {
    long v = 0;
    return PX_get_data_long(doc, data, 4, &v) > 0 ? db::Value(db::paradox::DateFromDays(int32_t(v)))
                                                  : db::Value();
  }
  case pxfTime: {
    long v = 0;
    return PX_get_data_long(doc, data, 4, &v) > 0
               ? db::Value(QTime::fromMSecsSinceStartOfDay(int(int32_t(v))))
               : db::Value();
  }
  case pxfNumber:
  case pxfCurrency:
  case pxfTimestamp: {
    double v = 0;
    return PX_get_data_double(doc, data, 8, &v) > 0 ? db::Value(v) : db::Value();
  }
  case pxfLogical: {
    char v = 0;
    return PX_get_data_byte(doc, data, 1, &v) > 0 ? db::Value(v != 0) : db::Value();
  }
  case pxfBCD: {
    char* s = nullptr;
    if (PX_get_data_bcd(doc, reinterpret_cast<unsigned char*>(data), f.px_fdc, &s) <= 0 || !s)
      return {};
    const QString text = QString::fromLatin1(s);
    doc->free(doc, s);
    return text; // compared as text, since pxlib prints garbage digits as they are
  }
  case pxfBytes: {
    char* s = nullptr;
    if (PX_get_data_bytes(doc, data, f.px_flen, &s) <= 0 || !s) return {};
    QByteArray bytes(s, f.px_flen);
    doc->free(doc, s);
    return bytes;
  }
  default:
    return {};
  }
}

} // namespace

std::optional<PxlibTable> ReadWithPxlib(const QString& path, base::CodePage cp) {
  pxdoc_t* doc = PX_new2(QuietErrors, nullptr, nullptr, nullptr);
  if (!doc) return std::nullopt;
  if (PX_open_file(doc, path.toLocal8Bit().constData()) < 0) {
    PX_delete(doc);
    return std::nullopt;
  }
  PxlibTable table;
  const int nfields = PX_get_num_fields(doc);
  pxfield_t* fields = PX_get_fields(doc);
  for (int i = 0; i < nfields; ++i) {
    table.FieldNames.push_back(
        base::Decode(fields[i].px_fname, qsizetype(strlen(fields[i].px_fname)), cp));
    table.FieldTypes.push_back(fields[i].px_ftype);
  }
  std::vector<char> buffer(size_t(PX_get_recordsize(doc)));
  const int nrecords = PX_get_num_records(doc);
  for (int r = 0; r < nrecords; ++r) {
    if (!PX_get_record(doc, r, buffer.data())) break;
    std::vector<db::Value> row;
    int offset = 0;
    for (int i = 0; i < nfields; ++i) {
      row.push_back(ReadPxValue(doc, fields[i], buffer.data() + offset, cp));
      offset += fields[i].px_flen;
    }
    table.Rows.push_back(std::move(row));
  }
  PX_close(doc);
  PX_delete(doc);
  return table;
}

namespace {

bool HasBlobFile(const QString& path) {
  const QFileInfo info(path);
  for (const QString& name : info.dir().entryList(QDir::Files))
    if (QFileInfo(name).completeBaseName() == info.completeBaseName() &&
        QFileInfo(name).suffix().toUpper() == "MB")
      return true;
  return false;
}

// Whether our value agrees with pxlib's, allowing for pxlib 0.6.8's misreading of empty
// long/date/time fields on 64-bit machines (it returns garbage instead of "empty").
::testing::AssertionResult Agrees(const db::Value& ours, const db::Value& theirs, int type) {
  if (db::IsNull(theirs)) {
    if (db::IsNull(ours)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pxlib reads empty, we read " << db::ValueToString(ours).toStdString();
  }
  if (db::IsNull(ours)) return ::testing::AssertionSuccess();
  if (type == pxfTimestamp) {
    const QDateTime dt = std::get<QDateTime>(ours);
    const double ms = double(db::paradox::DaysFromDate(dt.date())) * 86400000.0 +
                      dt.time().msecsSinceStartOfDay();
    if (std::fabs(ms - std::get<double>(theirs)) < 1.0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "timestamp " << ms << " vs " << std::get<double>(theirs);
  }
  if (type == pxfBCD) {
    const QString text = std::get<QString>(theirs);
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok) return ::testing::AssertionSuccess(); // pxlib printed non-digit nibbles
    if (std::fabs(v - db::ValueToFloat(ours)) <= 1e-9 * std::max(1.0, std::fabs(v)))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "BCD " << text.toStdString() << " vs " << db::ValueToFloat(ours);
  }
  if (db::ValuesEqual(ours, theirs)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "we read \"" << db::ValueToString(ours).toStdString() << "\", pxlib \""
         << db::ValueToString(theirs).toStdString() << "\"";
}

} // namespace

// Compares one table read by us with the same table read by pxlib; for keyed tables pxlib's
// rows are put in key order first, since pxlib reads in block order.
void ExpectSameAsPxlib(const QString& path) {
  SCOPED_TRACE(path.toStdString());
  auto ours = db::ParadoxFile::Open(path);
  auto theirs = ReadWithPxlib(path, ours->TextCodePage());
  ASSERT_TRUE(theirs.has_value()) << "pxlib cannot open the table";
  const auto rows = ours->ReadRows();
  ASSERT_EQ(rows.size(), theirs->Rows.size());
  ASSERT_EQ(ours->Fields().size(), theirs->FieldNames.size());
  for (size_t f = 0; f < ours->Fields().size(); ++f)
    EXPECT_EQ(ours->Fields()[f].Name, theirs->FieldNames[f]);
  auto pxRows = theirs->Rows;
  const int keys = ours->KeyFieldCount();
  if (keys > 0)
    std::stable_sort(pxRows.begin(), pxRows.end(), [&](const auto& a, const auto& b) {
      for (int k = 0; k < keys; ++k) {
        const int c = db::CompareValues(a[size_t(k)], b[size_t(k)]);
        if (c != 0) return c < 0;
      }
      return false;
    });
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t f = 0; f < ours->Fields().size(); ++f)
      ASSERT_TRUE(Agrees(rows[r].Values[f], pxRows[r][f], theirs->FieldTypes[f]))
          << "row " << r << " field " << f;
}

void ExpectPxlibAcceptsIndex(const QString& tablePath, const QString& indexPath) {
  pxdoc_t* doc = PX_new2(QuietErrors, nullptr, nullptr, nullptr);
  pxdoc_t* index = PX_new2(QuietErrors, nullptr, nullptr, nullptr);
  ASSERT_GE(PX_open_file(doc, tablePath.toLocal8Bit().constData()), 0);
  ASSERT_GE(PX_open_file(index, indexPath.toLocal8Bit().constData()), 0);
  EXPECT_EQ(PX_read_primary_index(index), 0);
  EXPECT_EQ(PX_add_primary_index(doc, index), 0);
  PX_close(doc);
  PX_delete(doc);
}

TEST(PxlibOracle, CorpusTablesWithoutBlobsReadAsPxlibReadsThem) {
  int compared = 0;
  QDirIterator it(CorpusPath("paradox"), {"*.db", "*.DB"}, QDir::Files,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (HasBlobFile(path) || path.contains("/encrypt/")) continue;
    ExpectSameAsPxlib(path);
    ++compared;
  }
  EXPECT_GE(compared, 40);
}

} // namespace testing_support
