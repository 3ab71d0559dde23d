#include "NetworkGuard.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace base {
namespace {

std::atomic<bool> refused{false};
std::atomic<uint64_t> refusals{0};
thread_local int ownConnections = 0;

bool Guarding() {
  return refused.load(std::memory_order_relaxed) && ownConnections == 0;
}

// This machine's own addresses: 127.0.0.0/8, ::1 and ::ffff:127.x.x.x.
bool IsLoopback(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
  }
  const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
  if (IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) return true;
  return IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr) && v6->sin6_addr.s6_addr[12] == 127;
}

// A name the resolver answers without asking anyone: an address written as one, "localhost".
bool NeedsNoLookup(const char* node) {
  if (!node) return true;
  unsigned char buffer[sizeof(in6_addr)];
  return std::strcmp(node, "localhost") == 0 || inet_pton(AF_INET, node, buffer) == 1 ||
         inet_pton(AF_INET6, node, buffer) == 1;
}

template <typename F> F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

void NetworkGuard::SetRefused(bool value) {
  refused = value;
}

bool NetworkGuard::Refused() {
  return refused;
}

uint64_t NetworkGuard::Refusals() {
  return refusals;
}

OwnConnection::OwnConnection() {
  ++ownConnections;
}

OwnConnection::~OwnConnection() {
  --ownConnections;
}

} // namespace base

extern "C" int connect(int fd, const struct sockaddr* address, socklen_t length) {
  using Connect = int (*)(int, const struct sockaddr*, socklen_t);
  static const Connect next = base::Next<Connect>("connect");
  if (address && (address->sa_family == AF_INET || address->sa_family == AF_INET6) &&
      base::Guarding() && !base::IsLoopback(address)) {
    ++base::refusals;
    errno = EACCES;
    return -1;
  }
  return next(fd, address, length);
}

extern "C" int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                           struct addrinfo** result) {
  using Lookup = int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
  static const Lookup next = base::Next<Lookup>("getaddrinfo");
  if (base::Guarding() && !base::NeedsNoLookup(node)) {
    ++base::refusals;
    return EAI_NONAME;
  }
  return next(node, service, hints, result);
}
