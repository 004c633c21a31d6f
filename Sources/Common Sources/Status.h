// The one result type of the system's modules: OK, or a kind of failure with
// a message that names the path and the step. Nothing throws across a module
// boundary; callers test ok() or the kind they care about.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace corvane {

class Status {
 public:
  enum class Code { kOk = 0, kNotFound, kCorruption, kInvalidArgument, kIOError };

  Status() = default;
  static Status OK() { return Status(); }
  static Status NotFound(std::string msg, int errno_value = 0) {
    Status s(Code::kNotFound, std::move(msg));
    s.errno_ = errno_value;
    return s;
  }
  static Status Corruption(std::string msg) { return Status(Code::kCorruption, std::move(msg)); }
  static Status InvalidArgument(std::string msg) {
    return Status(Code::kInvalidArgument, std::move(msg));
  }
  // errno_value is kept so that callers needing the platform code (the
  // engine's -errno results) can have it.
  static Status IOError(std::string msg, int errno_value = 0) {
    Status s(Code::kIOError, std::move(msg));
    s.errno_ = errno_value;
    return s;
  }

  bool ok() const { return code_ == Code::kOk; }
  bool IsNotFound() const { return code_ == Code::kNotFound; }
  bool IsCorruption() const { return code_ == Code::kCorruption; }
  Code code() const { return code_; }
  int Errno() const { return errno_; }
  const std::string& message() const { return message_; }
  std::string ToString() const;

 private:
  Status(Code code, std::string msg) : code_(code), message_(std::move(msg)) {}
  Code code_ = Code::kOk;
  int errno_ = 0;
  std::string message_;
};

// A value, or the Status that says why there is none. It reads like an
// optional (test it, then * or ->), so a caller that only needs the value
// does not have to look at the Status.
template <typename T>
class StatusOr {
 public:
  StatusOr(T value) : value_(std::move(value)) {}  // NOLINT: a value converts
  // `status` is never OK: an OK result carries a value.
  StatusOr(Status status) : status_(std::move(status)) {}  // NOLINT: so does a failure

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Status& status() const { return status_; }

  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  T&& operator*() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace corvane
