#pragma once
// Label files: one 160-byte record per object of a geometry file, with a text from a field of
// the object's attribute row and the point where the text goes (the point itself, or the centre
// of the object's box). Little-endian; bytes not listed are zero:
//   +0   65  the text: a length byte and up to 64 characters (Windows-1251)
//   +72   8  X of the label point (double)      +80  8  Y (double)
//   +88   1  1                                   +96  8  0.0 (double)
//   +104  8  10.0 (double)                       +112 1  0
//   +113  7  a length byte 6 and "System"        +146 4  0, 0, 0, 0
//   +152  4  0 (32-bit integer)

#include <QString>

constexpr int kLabelRecordSize = 160;

// Writes the label file of `geometryPath` (its attribute table: the path without its last three
// characters, followed by "DBF") with the texts of `fieldName`. The file is written beside the
// final name and renamed into place when complete. Raises base::FileError or db::Error naming
// the file or field that failed.
void CreateLabelFile(const QString& geometryPath, const QString& fieldName,
                     const QString& labelPath);

// The label file proposed for a geometry file: its last three characters replaced by "L".
QString ProposedLabelFile(const QString& geometryPath);
