#include "ShellRunner.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace corvane {

void PipeCloser::operator()(FILE* f) const {
  if (f) pclose(f);
}

CommandPipe OpenCommandPipe(std::string_view command) {
  // The text ends at its first NUL, as a C string would.
  std::string text(command.substr(0, command.find('\0')));
  if (text.empty()) return nullptr;
  return CommandPipe(popen(text.c_str(), "r"));
}

int RunShellCommand(std::string_view command) {
  std::string text(command.substr(0, command.find('\0')));
  if (text.empty()) return 0;
  return std::system(text.c_str());
}

int FindProcessID(std::string_view name, int not_found) {
  // The name sits between double quotes in a shell line; one that could end
  // the quotes or expand inside them is never a process name we look for.
  if (name.find_first_of("\"$`\\\n") != std::string_view::npos || name.find('\0') != name.npos) {
    return not_found;
  }
  std::string command = "ps auxww | grep \"" + std::string(name) + "\" | grep -v \"grep\"";
  CommandPipe pipe = OpenCommandPipe(command);
  if (!pipe) return not_found;
  char buf[4096 + 1] = {};
  size_t n = std::fread(buf, 1, 4096, pipe.get());
  buf[n] = '\0';
  pipe.reset();
  const char* blank = std::strchr(buf, ' ');
  if (blank == nullptr) return not_found;
  long pid = std::strtol(blank, nullptr, 0);
  if (pid < 1 || pid > INT32_MAX) return not_found;
  return static_cast<int>(pid);
}

}  // namespace corvane
