// Placeholder: the session agent is not written yet.
#include <cstdio>

int main() {
  std::fprintf(stderr, "Corvane 5 Login Item: not available in this build\n");
  return 1;
}
