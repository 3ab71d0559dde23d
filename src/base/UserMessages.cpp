#include "UserMessages.h"

#include <QTextStream>

namespace base {
namespace {

class StandardErrorMessages : public UserMessages {
public:
  void ShowMessage(const QString& text) override { QTextStream(stderr) << text << "\n"; }
  bool Confirm(const QString& text) override {
    QTextStream(stderr) << text << " (no one to answer: cancelled)\n";
    return false;
  }
};

UserMessages*& Installed() {
  static UserMessages* installed = nullptr;
  return installed;
}

} // namespace

UserMessages& UserMessages::Current() {
  static StandardErrorMessages fallback;
  return Installed() ? *Installed() : fallback;
}

void UserMessages::Install(UserMessages* messages) {
  Installed() = messages;
}

} // namespace base
