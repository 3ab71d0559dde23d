#pragma once
// A thing left undone because the user said so (a network source the user refused for the
// atlas): said where the thing is shown, never reported again as a fault at every load.

#include <stdexcept>

namespace base {

class UserRefusal : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

} // namespace base
