#include "DesktopEntries.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "Paths.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// Entries are a few kilobytes; anything far larger is not one.
constexpr uintmax_t kMaxEntryBytes = 256 * 1024;

// The words of an Exec line from its program on: quotes removed,
// "env VAR=..." skipped, field codes left out.
std::vector<std::string> ExecWords(std::string_view exec) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : exec) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  size_t i = 0;
  if (i < words.size() && fs::path(words[i]).filename() == "env") {
    ++i;
    while (i < words.size() && words[i].find('=') != std::string::npos) ++i;
  }
  std::vector<std::string> program;
  for (; i < words.size(); ++i) {
    if (words[i].size() == 2 && words[i][0] == '%') continue;
    program.push_back(std::move(words[i]));
  }
  return program;
}

// "de_CH.UTF-8" -> {"de_CH", "de"}: the keys tried for a localised value.
std::vector<std::string> LanguageKeys(std::string_view language) {
  std::string base(language.substr(0, language.find_first_of(".@")));
  std::vector<std::string> keys;
  if (base.empty() || base == "C" || base == "POSIX") return keys;
  keys.push_back(base);
  size_t underscore = base.find('_');
  if (underscore != std::string::npos) keys.push_back(base.substr(0, underscore));
  return keys;
}

std::string CurrentLanguage() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v != nullptr && *v != 0) return v;
  }
  return {};
}

std::vector<fs::path> DataFolders() {
  std::vector<fs::path> folders;
  const char* home_data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (home_data != nullptr && *home_data != 0) {
    folders.emplace_back(home_data);
  } else if (home != nullptr && *home != 0) {
    folders.push_back(fs::path(home) / ".local/share");
  }
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  std::string list = dirs != nullptr && *dirs != 0 ? dirs : std::string(kDefaultXdgDataDirs);
  std::stringstream ss(list);
  std::string item;
  while (std::getline(ss, item, ':')) {
    if (!item.empty()) folders.emplace_back(item);
  }
  return folders;
}

}  // namespace

bool ParseDesktopEntry(std::string_view text, std::string_view language, DesktopEntry* out) {
  std::vector<std::string> language_keys = LanguageKeys(language);
  std::string type, hidden, exec;
  size_t best_name_rank = SIZE_MAX;
  bool in_group = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      in_group = line == "[Desktop Entry]";
      continue;
    }
    size_t eq = line.find('=');
    if (!in_group || eq == std::string_view::npos) continue;
    std::string_view key = line.substr(0, eq);
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    std::string_view value = line.substr(eq + 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    if (key == "Type") type = value;
    if (key == "Hidden") hidden = value;
    if (key == "Exec") exec = value;
    if (key == "TryExec") out->try_exec = value;
    if (key == "StartupWMClass") out->startup_wm_class = value;
    if (key == "Icon") out->icon = value;
    if (key == "Name" && best_name_rank == SIZE_MAX) out->name = value;
    for (size_t rank = 0; rank < language_keys.size(); ++rank) {
      if (rank < best_name_rank && key == "Name[" + language_keys[rank] + "]") {
        out->name = value;
        best_name_rank = rank;
      }
    }
  }
  std::vector<std::string> words = ExecWords(exec);
  out->exec_program = words.empty() ? std::string() : words.front();
  out->exec_arguments.assign(words.begin() + (words.empty() ? 0 : 1), words.end());
  return type == "Application" && hidden != "true";
}

std::vector<DesktopEntry> LoadDesktopEntries() {
  std::vector<DesktopEntry> entries, users_own;
  std::set<std::string> seen;
  std::string language = CurrentLanguage();
  std::vector<fs::path> folders = DataFolders();
  // The user's own folder (the first) is read last, so its entries never
  // shadow an installed entry of the same ID.
  if (!folders.empty()) std::rotate(folders.begin(), folders.begin() + 1, folders.end());
  for (size_t f = 0; f < folders.size(); ++f) {
    bool users_folder = f + 1 == folders.size();
    std::vector<DesktopEntry>& into = users_folder ? users_own : entries;
    fs::path apps = folders[f] / "applications";
    std::error_code ec;
    fs::recursive_directory_iterator it(apps, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      const fs::path& file = it->path();
      if (file.extension() != ".desktop" || !it->is_regular_file(ec)) continue;
      if (it->file_size(ec) > kMaxEntryBytes) continue;
      std::string id = fs::relative(file, apps, ec).replace_extension().string();
      for (char& c : id) c = c == '/' ? '-' : c;
      if (!seen.insert(id).second) continue;
      std::ifstream in(file, std::ios::binary);
      std::stringstream text;
      text << in.rdbuf();
      DesktopEntry entry;
      entry.id = id;
      entry.users_own = users_folder;
      if (ParseDesktopEntry(text.str(), language, &entry)) into.push_back(std::move(entry));
    }
  }
  // Matching takes the first entry that fits. The user can write entries of
  // their own; listed last, they can name programs no installed entry names,
  // but never take a window or program away from an installed entry, which
  // would move an application to a key without limits.
  auto by_id = [](const DesktopEntry& a, const DesktopEntry& b) { return a.id < b.id; };
  std::sort(entries.begin(), entries.end(), by_id);
  std::sort(users_own.begin(), users_own.end(), by_id);
  entries.insert(entries.end(), std::make_move_iterator(users_own.begin()),
                 std::make_move_iterator(users_own.end()));
  return entries;
}

}  // namespace corvane
