#include "FuzzTarget.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace fuzz {

std::map<std::string, Target>& Targets() {
  static std::map<std::string, Target> targets;
  return targets;
}

bool Register(const char* name, Target target) {
  Targets()[name] = target;
  return true;
}

QString ScratchDir() {
  static QTemporaryDir dir;
  return dir.path();
}

QString WriteFile(const QString& name, const uint8_t* data, size_t size) {
  const QString path = ScratchDir() + "/" + name;
  std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
  if (f) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}

std::vector<std::vector<uint8_t>> Split(const uint8_t* data, size_t size, int count) {
  std::vector<std::vector<uint8_t>> pieces(static_cast<size_t>(count));
  size_t at = 0;
  for (int k = 0; k < count; ++k) {
    size_t length = size - at;
    if (k + 1 < count) {
      if (size - at < 4) break;
      const size_t stated = size_t(data[at]) | size_t(data[at + 1]) << 8 |
                            size_t(data[at + 2]) << 16 | size_t(data[at + 3]) << 24;
      length = std::min(stated, size - at - 4);
      at += 4;
    }
    pieces[size_t(k)].assign(data + at, data + at + length);
    at += length;
  }
  return pieces;
}

void EnsureGuiApplication() {
  if (QGuiApplication::instance()) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  static auto* app = new QGuiApplication(argc, argv);
  (void)app;
}

} // namespace fuzz
