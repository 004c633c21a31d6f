// c5admin: the parent's or lab admin's view of the server's settings and
// statistics. Finds the server like the other clients do, or talks to the
// one named with --server.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "AdminCommands.h"
#include "LoaderTransport.h"

using namespace corvane;
using namespace corvane::admin;

namespace {

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kAdminUsage, stdout);
    return 0;
  }
  AdminRequest request;
  std::string error;
  if (!ParseAdminCommandLine(args, &request, &error)) {
    std::fprintf(stderr, "c5admin: %s\n%s", error.c_str(), kAdminUsage);
    return 2;
  }
  // The client module prints its diagnostics on standard output; keep that
  // stream for our own output (a script may be reading JSON from it).
  std::fflush(stdout);
  int out_fd = dup(STDOUT_FILENO);
  dup2(STDERR_FILENO, STDOUT_FILENO);

  if (request.server) {
    if (!UseAdminServer(*request.server)) {
      std::fprintf(stderr, "c5admin: cannot find the address of %s\n", request.server->host.c_str());
      return 1;
    }
  }
  LoaderTransport transport;
  std::string out, err;
  int status = RunAdminRequest(request, transport, &out, &err);
  std::fflush(stdout);
  WriteAll(out_fd, out);
  WriteAll(STDERR_FILENO, err);
  return status;
}
