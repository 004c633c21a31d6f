// Which application a process is: the settings keys it may be charged to,
// and the name a person calls it. Shared by the agent's watching and by the
// front application of the statistics tool.
//
// A key follows the program the process runs, never a name the user picks:
// the executable is matched against the programs the installed desktop
// entries run, by path and, failing that, by content, so a renamed copy or a
// hard link of a game keeps the game's key. Window class and application ID
// only choose among entries that run that same executable, or name a program
// started through a wrapper script that no entry names by path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "DesktopEntries.h"
#include "ExecutableDigests.h"

namespace corvane {

// What a window says of its program; any field may be empty.
struct WindowHints {
  std::string wm_instance;
  std::string wm_class;
  std::string gtk_application_id;
  bool desktop_part = false;  // a panel or desktop window by its type
};

// What identification reads of a process.
struct ProcessFacts {
  std::string executable;              // its path, " (deleted)" removed
  std::string content_path;            // opens the running file itself
  std::vector<std::string> arguments;  // argv
  std::string sandbox_id;              // Flatpak or Snap application ID
};

struct ApplicationIdentity {
  // The keys to charge, in order: the first one a parent watches counts.
  // More than one when the window does not choose among several entries of
  // one program, and "Other applications" after a key that only the user's
  // own entries give.
  std::vector<std::string> keys;
  // What a person calls it under each key: the entry's Name, else the
  // WM_CLASS class, else the executable's file name.
  std::vector<std::string> names;
};

class ApplicationCatalogue {
 public:
  // Takes the entries (LoadDesktopEntries' order) and resolves the programs
  // they run through `search_path` (PATH's form). The digests already taken
  // are kept.
  void Load(std::vector<DesktopEntry> entries, std::string_view search_path);

  // Reads the process and identifies it. False when its executable cannot be
  // read (gone, or another user's) or it is part of the system's desktop (a
  // helper below the system's helper folder, a program every session starts,
  // a panel): such a process is not watched.
  bool Identify(int32_t pid, const WindowHints& hints, ApplicationIdentity* out);
  bool Identify(const ProcessFacts& facts, const WindowHints& hints, ApplicationIdentity* out);

  const ExecutableDigests& digests() const { return digests_; }

 private:
  struct Program {
    size_t entry = 0;  // index in entries_
    std::vector<std::string> executables;  // plain programs it runs, resolved
    std::string interpreter;               // when it runs a script
    std::string script;
    // Its Exec program is a script or cannot be found: the program running
    // may be one that script started.
    bool wrapper = false;
  };
  std::vector<std::string> Match(const ProcessFacts& facts, const WindowHints& hints,
                                 bool users_own);
  // Whether the file at `path` is the running file (`running` its identity),
  // or, `by_content`, holds the same bytes.
  bool SameProgram(const std::string& path, const ProcessFacts& facts, const FileIdentity& running,
                   bool by_content);
  bool IsDesktopPart(const ProcessFacts& facts, const WindowHints& hints);

  std::vector<DesktopEntry> entries_;
  std::vector<Program> programs_;
  std::vector<Program> autostart_;  // their `entry` means nothing
  ExecutableDigests digests_;
};

// The program an Exec word or TryExec value names: a word with a '/' as it
// is, else the first executable of that name along `search_path`; symbolic
// links resolved. "" when there is none.
std::string ResolveProgram(const std::string& word, std::string_view search_path);
// PATH, or the usual folders without it.
std::string ProgramSearchPath();

}  // namespace corvane
