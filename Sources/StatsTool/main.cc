// Placeholder: the statistics tool is not written yet.
#include <cstdio>

int main() {
  std::fprintf(stderr, "c5engine: not available in this build\n");
  return 1;
}
