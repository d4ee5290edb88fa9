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
};

// Throws what went wrong, followed by the reason errno gives.
[[noreturn]] inline void ThrowFileError(const std::string& what) {
  throw EFileError(what + ": " + std::strerror(errno));
}

}  // namespace pelcato
