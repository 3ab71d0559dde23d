// Every test program runs in the locale of its environment, as the program does once Qt has set
// it: under a Ukrainian desktop the C library then writes and reads numbers with a decimal comma,
// and whatever the project writes to or reads from files must not notice.

#include <clocale>

namespace {

const bool localeFromEnvironment = std::setlocale(LC_ALL, "") != nullptr;

} // namespace
