#pragma once
// The description of one field of a table: its name, its logical type, and the physical type and
// size of the file it came from (kept so that a table written back keeps its layout).

#include <QString>
#include <cstdint>

namespace db {

enum class FieldType {
  String,   // Paradox alpha, dBase character
  SmallInt, // Paradox short (16-bit)
  Integer,  // Paradox long (32-bit), dBase numeric without decimals
  AutoInc,  // Paradox auto-increment (32-bit)
  Float,    // Paradox number, dBase numeric with decimals and float
  Currency, // Paradox money (a float shown with two decimals)
  BCD,      // Paradox binary-coded decimal, read as a float
  Boolean,  // Paradox logical, dBase logical
  Date,     // Paradox and dBase date
  Time,     // Paradox time of day
  DateTime, // Paradox timestamp
  Memo,     // Paradox memo (text)
  FmtMemo,  // Paradox formatted memo (bytes)
  Blob,     // Paradox binary blob
  Graphic,  // Paradox graphic blob (a BMP)
  OLE,      // Paradox OLE object
  Bytes,    // Paradox fixed-length bytes
};

QString FieldTypeName(FieldType type);
bool IsBlobType(FieldType type);
bool IsNumericType(FieldType type);
bool IsTextType(FieldType type);

struct FieldDef {
  QString Name;
  FieldType Type = FieldType::String;
  int Size = 0;         // bytes in the record (Paradox) or characters (dBase)
  int Decimals = 0;     // dBase numeric decimals, Paradox BCD digits after the point
  int PhysicalType = 0; // the file's own type code (Paradox type byte, dBase type letter)
};

} // namespace db
