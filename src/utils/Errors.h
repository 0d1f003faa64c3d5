// Error kinds that break off an operation and reach the general error report.
#pragma once

#include <stdexcept>
#include <string>

namespace drs {

// A text that does not convert to a number or a date.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that cannot be read or written.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace drs
