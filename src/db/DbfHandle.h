#pragma once
// A dBase table opened through shapelib with file access that checks every write. shapelib
// ignores most failed writes: on a full disk it goes on, reads a header it could not seek to
// and writes that back over the table's first bytes. Here the first failed write stops every
// later one of the handle, and closing undoes what the handle had written (the bytes it
// overwrote put back, the file cut to its length at opening), so a table is left as it was
// before the write or complete after it, and the failure is said.

#include <QString>
#include <shapefil.h>

namespace db {

class DbfHandle {
public:
  DbfHandle() = default;
  // Opens `path` in shapelib's `mode` ("rb", "rb+"); raises db::Error naming the table.
  static DbfHandle Open(const QString& path, const char* mode);
  // Creates a table (shapelib's DBFCreateLL) with the language driver or code page `ldid`.
  static DbfHandle Create(const QString& path, const char* ldid);

  DbfHandle(DbfHandle&& other) noexcept;
  DbfHandle& operator=(DbfHandle&& other) noexcept;
  DbfHandle(const DbfHandle&) = delete;
  DbfHandle& operator=(const DbfHandle&) = delete;
  // Closes without a word; a failed write is undone all the same (an error is on its way).
  ~DbfHandle();

  DBFInfo* get() const { return Info; }
  // The errno of the handle's first failed write, 0 while every write succeeded.
  int WriteFailure() const;
  explicit operator bool() const { return Info != nullptr; }

  // Writes out what shapelib holds (the current record, the header's count) and closes; raises
  // db::Error naming `path` when a write failed, after undoing everything the handle wrote.
  void Close(const QString& path);

private:
  void Adopt(DBFInfo* info); // the handle's from now: it reads the file's outcome and frees it
  // Closes; returns the errno of the first failed write, 0 when every write succeeded.
  int CloseReporting();
  DBFInfo* Info = nullptr;
  struct CheckedFile* File = nullptr;
};

// Words for a failed write's errno, said to the user: "на диску немає місця" for ENOSPC.
QString WriteFailureText(int error);

} // namespace db
