// What the install procedure asks of the machine: shell commands, process
// probes and kills, pauses, and file-system objects. The procedure reaches
// the machine only through this, so its steps can be watched or failed.
#pragma once

#include <string>

namespace corvane {

class InstallerHost {
 public:
  virtual ~InstallerHost() = default;
  // Runs a command line through the shell; its status is not looked at.
  virtual void RunCommand(const std::string& command) = 0;
  // The id of the first process whose "ps auxww" line holds `name`, or `none`
  // (also when the process list cannot be read).
  virtual int FindProcess(const std::string& name, int none) = 0;
  virtual void KillProcess(int pid) = 0;
  // Sleeps for `ticks` sixtieths of a second.
  virtual void Delay(int ticks) = 0;
  // As CopyObject and DeleteObject of TreeCopy.h.
  virtual int CopyObject(const std::string& source, const std::string& destination_folder) = 0;
  virtual int DeleteObject(const std::string& path) = 0;
};

// The real machine.
InstallerHost& SystemInstallerHost();

}  // namespace corvane
