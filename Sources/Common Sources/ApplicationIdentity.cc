// Matching order: a script named in the arguments and run by its
// interpreter; the executable by path; the executable by content; last, for
// a program that no entry names, an entry started through a wrapper script,
// chosen by the window. The window never takes a program away from the entry
// that names it, and the user's own entries are asked only when no
// installed entry names the program.
#include "ApplicationIdentity.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "AppSettings.h"
#include "ArgumentList.h"
#include "Paths.h"
#include "Platform/System/FileIdentity.h"
#include "Platform/System/ProcessDetails.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// What the kernel appends to the link of an executable replaced or removed
// while it runs (an upgrade); the program is still the same one.
constexpr std::string_view kDeletedSuffix = " (deleted)";
// An interpreter's own options come before the script; a script further on
// is an argument of the script, not the program run.
constexpr size_t kScriptArgumentsLooked = 8;
constexpr size_t kShebangBytes = 256;

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return !a.empty() && a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string FileName(const std::string& path) { return fs::path(path).filename().string(); }

std::string Canonical(const std::string& path) {
  std::error_code ec;
  fs::path resolved = fs::canonical(path, ec);
  if (ec || !fs::is_regular_file(resolved, ec)) return {};
  return resolved.string();
}

// Programs that run the file named after them: such an entry names the
// script, not the interpreter every other script of the machine runs too.
bool IsInterpreterName(const std::string& name) {
  static const char* const kPrefixes[] = {"python", "perl", "ruby", "lua", "php", "tclsh", "wish",
                                          "guile", "node", "java", "wine"};
  static const char* const kNames[] = {"sh", "bash", "dash", "zsh", "ksh", "mono", "gjs",
                                       "Rscript", "nodejs"};
  for (const char* p : kPrefixes) {
    if (name.rfind(p, 0) == 0) return true;
  }
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// The words of the "#!" line of `path`; empty for a file that is no script.
std::vector<std::string> ShebangWords(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(kShebangBytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  return SplitShebangLine(head);
}

std::string ShebangInterpreter(const std::vector<std::string>& words,
                               std::string_view search_path) {
  if (words.empty()) return {};
  if (FileName(words[0]) != "env") return ResolveProgram(words[0], search_path);
  for (size_t i = 1; i < words.size(); ++i) {
    if (words[i][0] == '-' || words[i].find('=') != std::string::npos) continue;
    return ResolveProgram(words[i], search_path);
  }
  return {};
}

// The script an interpreter's Exec line runs: its first word that is no
// option, when that is a file.
std::string ScriptArgument(const std::vector<std::string>& arguments) {
  for (const std::string& a : arguments) {
    if (a.empty() || a[0] == '-') continue;
    return a[0] == '/' ? Canonical(a) : std::string();
  }
  return {};
}

bool ArgumentsName(const std::vector<std::string>& arguments, const std::string& script) {
  size_t end = std::min(arguments.size(), kScriptArgumentsLooked);
  for (size_t i = 1; i < end; ++i) {
    const std::string& a = arguments[i];
    // Relative paths depend on the process's folder; only absolute ones say
    // for sure which file it is.
    if (a.empty() || a[0] != '/') continue;
    if (a == script || Canonical(a) == script) return true;
  }
  return false;
}

bool HasFileArgument(const std::vector<std::string>& arguments) {
  for (size_t i = 1; i < std::min(arguments.size(), kScriptArgumentsLooked); ++i) {
    if (!arguments[i].empty() && arguments[i][0] == '/' && !Canonical(arguments[i]).empty())
      return true;
  }
  return false;
}

bool SameFile(const std::string& a, const std::string& b) {
  FileIdentity x, y;
  return IdentifyFile(a, &x) && IdentifyFile(b, &y) && x.device == y.device && x.inode == y.inode;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

std::string ResolveProgram(const std::string& word, std::string_view search_path) {
  if (word.empty()) return {};
  if (word.find('/') != std::string::npos) return word[0] == '/' ? Canonical(word) : std::string();
  size_t pos = 0;
  while (pos <= search_path.size()) {
    size_t end = search_path.find(':', pos);
    if (end == std::string_view::npos) end = search_path.size();
    std::string_view folder = search_path.substr(pos, end - pos);
    pos = end + 1;
    if (folder.empty() || folder[0] != '/') continue;  // relative folders follow the cwd
    fs::path candidate = fs::path(folder) / word;
    std::error_code ec;
    fs::file_status st = fs::status(candidate, ec);
    if (ec || !fs::is_regular_file(st)) continue;
    if ((st.permissions() & (fs::perms::owner_exec | fs::perms::group_exec |
                             fs::perms::others_exec)) == fs::perms::none) {
      continue;
    }
    return Canonical(candidate.string());
  }
  return {};
}

std::string ProgramSearchPath() {
  const char* path = std::getenv("PATH");
  return path != nullptr && *path != 0 ? path : std::string(kDefaultSearchPath);
}

void ApplicationCatalogue::Load(std::vector<DesktopEntry> entries, std::string_view search_path) {
  entries_ = std::move(entries);
  auto classify = [search_path](const DesktopEntry& e, size_t index) {
    Program p;
    p.entry = index;
    std::string exec = ResolveProgram(e.exec_program, search_path);
    std::vector<std::string> shebang = exec.empty() ? std::vector<std::string>() : ShebangWords(exec);
    p.wrapper = exec.empty() || !shebang.empty();
    if (!shebang.empty()) {
      p.interpreter = ShebangInterpreter(shebang, search_path);
      p.script = exec;
    } else if (!exec.empty() && IsInterpreterName(FileName(e.exec_program))) {
      p.interpreter = exec;
      p.script = ScriptArgument(e.exec_arguments);
    } else if (!exec.empty()) {
      p.executables.push_back(exec);
    }
    std::string try_exec = ResolveProgram(e.try_exec, search_path);
    if (!try_exec.empty() && try_exec != p.interpreter && try_exec != p.script &&
        !Contains(p.executables, try_exec) && ShebangWords(try_exec).empty()) {
      p.executables.push_back(try_exec);
    }
    return p;
  };
  programs_.clear();
  for (size_t i = 0; i < entries_.size(); ++i) programs_.push_back(classify(entries_[i], i));

  // The programs every graphical session starts for itself: the panel, the
  // applets, this agent.
  autostart_.clear();
  std::error_code ec;
  for (fs::directory_iterator it(std::string(kAllUsersAutostartFolder), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().extension() != ".desktop") continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::string text(64 * 1024, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    DesktopEntry e;
    ParseDesktopEntry(text, "", &e);
    autostart_.push_back(classify(e, SIZE_MAX));
  }
}

bool ApplicationCatalogue::SameProgram(const std::string& path, const ProcessFacts& facts,
                                       const FileIdentity& running, bool by_content) {
  FileIdentity file;
  if (!IdentifyFile(path, &file)) return false;
  if (file.device == running.device && file.inode == running.inode) return true;
  if (!by_content || file.size != running.size) return false;  // only equal sizes are hashed
  std::optional<Sha256Digest> a = digests_.Of(path), b = digests_.Of(facts.content_path);
  return a && b && *a == *b;
}

std::vector<std::string> ApplicationCatalogue::Match(const ProcessFacts& facts,
                                                     const WindowHints& hints, bool users_own) {
  auto in_part = [&](const Program& p) { return entries_[p.entry].users_own == users_own; };
  std::vector<const Program*> found;
  FileIdentity running;
  if (!IdentifyFile(facts.content_path, &running)) return {};
  for (const Program& p : programs_) {
    if (in_part(p) && !p.script.empty() && !p.interpreter.empty() &&
        ArgumentsName(facts.arguments, p.script) && SameProgram(p.interpreter, facts, running, true)) {
      found.push_back(&p);
    }
  }
  // By path, the file itself checked: in a mount namespace of its own a
  // process can show any path for any file.
  if (found.empty()) {
    for (const Program& p : programs_) {
      if (in_part(p) && Contains(p.executables, facts.executable) &&
          SameProgram(facts.executable, facts, running, false)) {
        found.push_back(&p);
      }
    }
  }
  if (found.empty()) {
    for (const Program& p : programs_) {
      if (!in_part(p)) continue;
      for (const std::string& x : p.executables) {
        if (SameProgram(x, facts, running, true)) {
          found.push_back(&p);
          break;
        }
      }
    }
  }
  bool wrapper = found.empty();
  if (wrapper) {
    // A program no entry names may be what a wrapper script started; only
    // such entries can take it, never one whose program is known to be
    // another.
    for (const Program& p : programs_) {
      if (in_part(p) && p.wrapper) found.push_back(&p);
    }
  }

  // The window chooses: application ID, then class against StartupWMClass,
  // then class against the entry's ID.
  auto id = [this](const Program* p) -> const std::string& { return entries_[p->entry].id; };
  for (const Program* p : found) {
    if (!hints.gtk_application_id.empty() && hints.gtk_application_id == id(p)) return {id(p)};
  }
  for (const std::string* wm : {&hints.wm_class, &hints.wm_instance}) {
    if (wm->empty()) continue;
    for (const Program* p : found) {
      if (entries_[p->entry].startup_wm_class == *wm) return {id(p)};
    }
    for (const Program* p : found) {
      if (SameIgnoringCase(id(p), *wm)) return {id(p)};
    }
  }
  if (wrapper) return {};
  std::vector<std::string> keys;
  for (const Program* p : found) {
    if (!Contains(keys, id(p))) keys.push_back(id(p));
  }
  return keys;
}

bool ApplicationCatalogue::IsDesktopPart(const ProcessFacts& facts, const WindowHints& hints) {
  std::string helpers = std::string(kSystemHelperFolder) + "/";
  if (facts.executable.rfind(helpers, 0) == 0 && SameFile(facts.executable, facts.content_path))
    return true;
  for (const Program& p : autostart_) {
    if (Contains(p.executables, facts.executable) && SameFile(facts.executable, facts.content_path))
      return true;
    if (!p.script.empty() && p.interpreter == facts.executable &&
        ArgumentsName(facts.arguments, p.script)) {
      return true;
    }
  }
  // Any window may call itself a panel: believed only of a program the
  // system installed that runs no file of the user's choosing.
  FileIdentity file;
  return hints.desktop_part && IdentifyFile(facts.content_path, &file) && file.owner == 0 &&
         !HasFileArgument(facts.arguments);
}

bool ApplicationCatalogue::Identify(const ProcessFacts& facts, const WindowHints& hints,
                                    ApplicationIdentity* out) {
  FileIdentity running;
  if (facts.executable.empty() || !IdentifyFile(facts.content_path, &running)) return false;
  ApplicationIdentity identity;
  if (!facts.sandbox_id.empty()) {
    // A sandbox's application ID is the entry's ID by convention, even when
    // the entry itself is out of reach (inside the sandbox).
    identity.keys.push_back(facts.sandbox_id);
  } else {
    identity.keys = Match(facts, hints, false);
    if (identity.keys.empty()) {
      // The user's own entries may name programs no installed entry names;
      // where a parent does not watch their key, the program stays one of
      // the other applications.
      identity.keys = Match(facts, hints, true);
      if (!identity.keys.empty()) identity.keys.emplace_back(kOtherAppsKey);
    }
    if (identity.keys.empty()) {
      if (IsDesktopPart(facts, hints)) return false;
      identity.keys.emplace_back(kOtherAppsKey);
    }
  }
  for (const std::string& key : identity.keys) {
    std::string name;
    for (const DesktopEntry& e : entries_) {
      if (e.id == key && !e.name.empty()) name = e.name;
    }
    if (name.empty()) name = !hints.wm_class.empty() ? hints.wm_class : FileName(facts.executable);
    identity.names.push_back(std::move(name));
  }
  *out = std::move(identity);
  return true;
}

bool ApplicationCatalogue::Identify(int32_t pid, const WindowHints& hints,
                                    ApplicationIdentity* out) {
  ProcessFacts facts;
  facts.executable = ExecutablePath(pid);
  if (facts.executable.size() > kDeletedSuffix.size() && facts.executable.ends_with(kDeletedSuffix)) {
    facts.executable.resize(facts.executable.size() - kDeletedSuffix.size());
  }
  facts.content_path = ExecutableContentPath(pid);
  facts.arguments = ProcessArguments(pid);
  facts.sandbox_id = SandboxApplicationID(pid);
  return Identify(facts, hints, out);
}

}  // namespace corvane
