#pragma once
// The commands the program runs without a window, for people who update an atlas in batch:
// the network topology and the object index's grid tables; and what lies at a map point.

#include "platform/StartupOptions.h"

// Runs --calc-topology or --build-index on the atlas the options name; prints what was done on
// standard output and errors on standard error. Returns the exit status: 0 done, 1 failed.
int RunBatchCommand(const platform::CommandLine& line, const QString& appDir);

// Runs --identify on the atlas the options name: every object at the point in a view of the
// given scale (1920 × 1080 pixels), as text on standard output. Returns 0, or 1 when the atlas
// could not be opened.
int RunIdentify(const platform::CommandLine& line, const QString& appDir);
// --isolate (one shut-off, as CSV) and --check-network; 0, or 1 with a message on stderr.
int RunNetworkCommand(const platform::CommandLine& line, const QString& appDir);
