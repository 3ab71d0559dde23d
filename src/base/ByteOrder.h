#pragma once
// Byte-order helpers for the on-disk formats: little- and big-endian integers and doubles,
// read from and written to raw byte buffers without alignment requirements.

#include <bit>
#include <cstdint>
#include <cstring>

namespace base {

inline uint16_t GetU16LE(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return uint16_t(b[0] | (b[1] << 8));
}
inline uint32_t GetU32LE(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}
inline uint64_t GetU64LE(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return uint64_t(GetU32LE(b)) | (uint64_t(GetU32LE(b + 4)) << 32);
}
inline uint16_t GetU16BE(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return uint16_t((b[0] << 8) | b[1]);
}
inline uint32_t GetU32BE(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
}
inline uint64_t GetU64BE(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return (uint64_t(GetU32BE(b)) << 32) | uint64_t(GetU32BE(b + 4));
}
inline double GetDoubleLE(const void* p) {
  return std::bit_cast<double>(GetU64LE(p));
}
inline double GetDoubleBE(const void* p) {
  return std::bit_cast<double>(GetU64BE(p));
}

inline void PutU16LE(void* p, uint16_t v) {
  auto* b = static_cast<unsigned char*>(p);
  b[0] = uint8_t(v);
  b[1] = uint8_t(v >> 8);
}
inline void PutU32LE(void* p, uint32_t v) {
  auto* b = static_cast<unsigned char*>(p);
  for (int i = 0; i < 4; ++i)
    b[i] = uint8_t(v >> (8 * i));
}
inline void PutU64LE(void* p, uint64_t v) {
  auto* b = static_cast<unsigned char*>(p);
  for (int i = 0; i < 8; ++i)
    b[i] = uint8_t(v >> (8 * i));
}
inline void PutU16BE(void* p, uint16_t v) {
  auto* b = static_cast<unsigned char*>(p);
  b[0] = uint8_t(v >> 8);
  b[1] = uint8_t(v);
}
inline void PutU32BE(void* p, uint32_t v) {
  auto* b = static_cast<unsigned char*>(p);
  for (int i = 0; i < 4; ++i)
    b[i] = uint8_t(v >> (24 - 8 * i));
}
inline void PutU64BE(void* p, uint64_t v) {
  auto* b = static_cast<unsigned char*>(p);
  for (int i = 0; i < 8; ++i)
    b[i] = uint8_t(v >> (56 - 8 * i));
}
inline void PutDoubleLE(void* p, double v) {
  PutU64LE(p, std::bit_cast<uint64_t>(v));
}
inline void PutDoubleBE(void* p, double v) {
  PutU64BE(p, std::bit_cast<uint64_t>(v));
}

// Exchanges the byte order of a 32-bit word (the geometry headers keep some words big-endian).
inline uint32_t SwapBytes32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

} // namespace base
