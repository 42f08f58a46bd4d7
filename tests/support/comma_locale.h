#pragma once

#include <clocale>
#include <string>

namespace test_support {

// Switches LC_NUMERIC to an installed locale whose decimal separator is a comma, as a window
// toolkit does when it takes the locale from the environment, and switches back when it ends.
// name() is empty when no such locale is installed; the caller then skips its test.
class CommaLocale {
 public:
  CommaLocale() : before_(std::setlocale(LC_NUMERIC, nullptr)) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8",
                             "ru_RU.UTF-8", "ru_RU.utf8", "nl_NL.UTF-8", "nl_NL.utf8"}) {
      if (std::setlocale(LC_NUMERIC, name) != nullptr) {
        name_ = name;
        return;
      }
    }
  }
  ~CommaLocale() { std::setlocale(LC_NUMERIC, before_.c_str()); }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  [[nodiscard]] const std::string& name() const { return name_; }

 private:
  std::string before_;
  std::string name_;
};

}  // namespace test_support
