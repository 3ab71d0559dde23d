#pragma once
// A fuzz target: a function of the input bytes that must neither crash nor hang nor read or
// write outside its buffers, whatever the bytes. Every target registers itself; a libFuzzer
// program (scripts/fuzz.sh) runs one of them, and the regression test replays the inputs kept
// in fuzz/regressions/<target>/ through all of them.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fuzz {

using Target = int (*)(const uint8_t* data, size_t size);
std::map<std::string, Target>& Targets();
bool Register(const char* name, Target target);

// A file of this process's scratch folder (made once, removed at exit) holding `bytes`.
QString WriteFile(const QString& name, const uint8_t* data, size_t size);
QString ScratchDir();

// The input cut into `count` pieces: each but the last is preceded by its length in four bytes
// (little-endian), the last takes the rest; pieces past the end of the input are empty.
std::vector<std::vector<uint8_t>> Split(const uint8_t* data, size_t size, int count);

// A headless Qt application for targets that draw (made once).
void EnsureGuiApplication();

} // namespace fuzz

// Defines the target `Name` and registers it; a fuzz program (FuzzMain.cpp) runs one of them.
#define VANDREL_FUZZ_TARGET(Name)                                                                  \
  static int Fuzz##Name(const uint8_t* data, size_t size);                                         \
  [[maybe_unused]] static const bool Registered##Name = fuzz::Register(#Name, Fuzz##Name);         \
  static int Fuzz##Name(const uint8_t* data, size_t size)
