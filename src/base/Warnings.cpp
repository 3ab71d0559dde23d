#include "Warnings.h"

#include <QSet>
#include <QTextStream>
#include <mutex>

namespace base {
namespace {

std::mutex lock;
QSet<QString> said;
std::function<void(const QString&)> receiver;

} // namespace

void Warn(const QString& text) {
  std::function<void(const QString&)> to;
  {
    const std::lock_guard guard(lock);
    if (said.contains(text)) return;
    said.insert(text);
    to = receiver;
  }
  if (to)
    to(text);
  else
    QTextStream(stderr) << "vandrel: " << text << "\n";
}

void SetWarningReceiver(std::function<void(const QString&)> r) {
  const std::lock_guard guard(lock);
  receiver = std::move(r);
}

} // namespace base
