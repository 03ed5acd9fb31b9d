// Switches the C runtime's locale, which is the whole process's, for a
// scope, as any other component of the host's process may; puts the one
// before back when the scope ends.
#pragma once

#include <clocale>
#include <string>

namespace testsupport {

// Writes and reads numbers with a decimal comma.
inline constexpr const char* kDecimalCommaLocale = "German_Germany.1252";

class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : previous_(std::setlocale(LC_ALL, nullptr)) {
    switched_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

  bool Switched() const { return switched_; }

 private:
  std::string previous_;
  bool switched_ = false;
};

}  // namespace testsupport
