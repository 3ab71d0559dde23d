#pragma once
// What is odd about a file but does not stop its reading (a header that counts other records
// than the file holds): said once per text, on standard error unless the program installs a
// receiver of its own (the windowed program shows it in a message).

#include <QString>
#include <functional>

namespace base {

// Says `text` unless it was said before in this process. Safe from any thread.
void Warn(const QString& text);
// Installs the receiver of the warnings (called on the thread that warns); empty restores
// standard error.
void SetWarningReceiver(std::function<void(const QString&)> receiver);

} // namespace base
