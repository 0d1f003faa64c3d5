// The one error kind of the table engine. Its message is one or more lines
// (separated by '\n') that callers show as the details of a message.
#pragma once

#include <stdexcept>
#include <string>

namespace drs {

class EDBEngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace drs
