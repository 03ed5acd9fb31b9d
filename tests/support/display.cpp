#include "tests/support/display.h"

#include <cstdlib>

namespace testsupport {

bool HasDisplay() {
  // Wine hands the Unix environment through; without DISPLAY its X11 driver
  // cannot open a window.
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
}

}  // namespace testsupport
