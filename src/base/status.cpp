#include "base/status.h"

#include <cerrno>
#include <cstring>

namespace vornida {

std::string SystemErrorText(int errorNumber) {
  char buffer[256];
  // GNU strerror_r: returns the text, which may or may not be in `buffer`.
  const char* text = ::strerror_r(errorNumber, buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : "error " + std::to_string(errorNumber);
}

Status Status::System(int errorNumber) {
  if (errorNumber == 0) errorNumber = EIO;
  return Status(errorNumber, SystemErrorText(errorNumber));
}

Status Status::LastSystemError() { return System(errno); }

}  // namespace vornida
