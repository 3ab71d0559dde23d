#pragma once
// The program that shows HTML documents (help and the objects' reference documents): the one
// configured in vandrel.ini ([Html] Viewer=), else the desktop's handler for text/html (from
// xdg-mime and its .desktop file), else xdg-open.

#include <QString>

namespace platform {

// The viewer's program path: the one vandrel.ini names ([Html] Viewer=), else the desktop's
// default for HTML; empty when there is none (the program then shows pages itself).
QString FindHtmlViewer(const QString& appDir);
// The program of a desktop entry's Exec line ("firefox-esr %u" gives "firefox-esr"); a quoted
// program path gives the path without its quotes and options.
QString ProgramOfCommand(const QString& command);
// Starts `viewer` with `document` in `workingDir`; false when it could not be started.
bool OpenInViewer(const QString& viewer, const QString& document, const QString& workingDir);

} // namespace platform
