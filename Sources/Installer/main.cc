// Corvane_5_install_tool: installs, upgrades and removes Corvane 5 and sets
// its preference keys; run as root by the installer.
#include <cstdio>
#include <string>

#include "EngineCommandLine.h"

int main(int argc, char** argv) {
  std::string result;
  int status = corvane::RunEngineCommand(argc, argv, corvane::SystemInstallerHost(), &result);
  // The program that runs the engine reads exactly one character.
  std::fputs(result.c_str(), stdout);
  std::fflush(stdout);
  return status;
}
