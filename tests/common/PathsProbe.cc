// Prints where the root prefix puts the settings file.
#include <cstdio>

#include "Paths.h"

int main() {
  std::puts(corvane::SystemPath(corvane::kSettingsFile).c_str());
  return 0;
}
