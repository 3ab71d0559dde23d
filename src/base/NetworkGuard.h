#pragma once
// Where the process actually goes on the network, decided at the socket: the program's own
// connect() and getaddrinfo() come before the C library's, so every library in the process
// (GDAL's drivers, the curl under them, the libpq of a database source named in a VRT inside a
// VRT) passes here whatever the text of a source looks like. While refused, a connection to any
// address but this machine's own (a socket file, the loopback addresses) fails with EACCES and a
// name other than "localhost" is not looked up, so no DNS server is asked either. The program's
// own connections (the database atlas it was opened on) are made under OwnConnection.

#include <cstdint>

namespace base {

class NetworkGuard {
public:
  // Whether connections off this machine are refused (false until set).
  static void SetRefused(bool refused);
  static bool Refused();
  // How many connections and look-ups were refused so far.
  static uint64_t Refusals();
};

// The connections made on this thread while it lives are the program's own: never refused.
class OwnConnection {
public:
  OwnConnection();
  ~OwnConnection();
  OwnConnection(const OwnConnection&) = delete;
  OwnConnection& operator=(const OwnConnection&) = delete;
};

} // namespace base
