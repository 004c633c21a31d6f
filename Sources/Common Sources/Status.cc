#include "Status.h"

namespace corvane {

std::string Status::ToString() const {
  switch (code_) {
    case Code::kOk: return "OK";
    case Code::kNotFound: return "Not found: " + message_;
    case Code::kCorruption: return "Corruption: " + message_;
    case Code::kInvalidArgument: return "Invalid argument: " + message_;
    case Code::kIOError: return "IO error: " + message_;
  }
  return message_;
}

}  // namespace corvane
