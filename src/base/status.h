// The outcome of an operation that can fail for a reason a person should read.
//
// A Status is either ok or a failure with its reason: the system's own text
// for a failed system call ("No space left on device", "Permission denied"),
// or a sentence of ours ("JPEG pictures can be at most 65500 pixels a side").
// Callers add what they were doing and where, so the reason alone never names
// a file:
//
//   Status written = WriteFileAtomically(path, fill);
//   if (!written) Say(path + ": the collage could not be written: " + written.reason());
//
// Modules hand failures to each other as Status values, so the reason that a
// system call gave travels unchanged to the message the user sees.
#pragma once

#include <string>
#include <utility>

namespace vornida {

class [[nodiscard]] Status {
 public:
  // Ok.
  Status() = default;
  static Status Ok() { return {}; }
  // A failure with a reason of ours.
  static Status Error(std::string reason) { return Status(0, std::move(reason)); }
  // A failure of a system call with the error number it set (errno). 0 is
  // taken as "Input/output error", so a failure never reads as success.
  static Status System(int errorNumber);
  // System(errno), for use right after the failed call.
  static Status LastSystemError();

  bool ok() const { return !failed_; }
  explicit operator bool() const { return !failed_; }
  // Empty when ok.
  const std::string& reason() const { return reason_; }
  // The error number of a system failure; 0 when ok or when the reason is ours.
  int systemError() const { return errorNumber_; }

  // The first failure of two steps: this one when it failed, else `next`.
  Status& also(Status next) {
    if (ok()) *this = std::move(next);
    return *this;
  }

 private:
  Status(int errorNumber, std::string reason)
      : failed_(true), errorNumber_(errorNumber), reason_(std::move(reason)) {}

  bool failed_ = false;
  int errorNumber_ = 0;
  std::string reason_;
};

// The system's text for an error number, in the language of the process's
// locale ("No space left on device" in English).
std::string SystemErrorText(int errorNumber);

}  // namespace vornida
