// Placeholder: the installation engine is not written yet.
#include <cstdio>

int main() {
  std::fprintf(stderr, "Corvane_5_install_tool: not available in this build\n");
  return 1;
}
