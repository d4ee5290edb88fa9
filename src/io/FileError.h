// The error every reading and writing part of the io library throws, with the system's reason.
#pragma once

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace pelcato {

class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  EFileError(const std::string& what, int code) : std::runtime_error(what), FCode(code) {}
  // The system's error code where the failure happened; 0 when none was given.
  int Code() const { return FCode; }

 private:
  int FCode = 0;
};

// Throws what went wrong, followed by the reason errno gives, which the error keeps: errno
// itself may change before the error is caught.
[[noreturn]] inline void ThrowFileError(const std::string& what) {
  const int code = errno;
  throw EFileError(what + ": " + std::strerror(code), code);
}

}  // namespace pelcato
