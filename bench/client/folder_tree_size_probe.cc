// Prints the byte count HomeFolderSize gives for a home folder at PATH.
#include <cinttypes>
#include <cstdio>

#include "Platform/System/FolderTreeSize.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PATH\n", argv[0]);
    return 2;
  }
  std::printf("%" PRIu64 "\n", corvane::FolderTreeSize(argv[1]));
  return 0;
}
