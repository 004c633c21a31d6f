#include <systemd/sd-login.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Paths.h"
#include "Platform/Sessions/LoginSessions.h"
#include "ProcessText.h"

namespace corvane {
namespace {

std::string Taken(char* text) {
  if (text == nullptr) return {};
  std::string value(text);
  std::free(text);
  return value;
}

// The leader and the scope are in the state file; the libsystemd of
// Debian 12 has no call for either.
void ReadStateFile(LoginSessionRecord* record) {
  for (char ch : record->id) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) return;
  }
  std::ifstream file(std::string(kLogindSessionsFolder) + "/" + record->id);
  std::stringstream text;
  text << file.rdbuf();
  if (auto leader = StateFileValue(text.str(), "LEADER")) {
    long pid = std::strtol(leader->c_str(), nullptr, 10);
    record->leader = pid > 0 && pid <= INT32_MAX ? static_cast<int32_t>(pid) : 0;
  }
  record->scope = StateFileValue(text.str(), "SCOPE").value_or("");
}

}  // namespace

std::vector<LoginSessionRecord> ListLoginSessions() {
  std::vector<LoginSessionRecord> records;
  char** ids = nullptr;
  int count = sd_get_sessions(&ids);
  if (count < 0 || ids == nullptr) return records;
  for (int i = 0; i < count; ++i) {
    LoginSessionRecord record;
    record.id = ids[i];
    std::free(ids[i]);
    uid_t uid = 0;
    if (sd_session_get_uid(record.id.c_str(), &uid) < 0) continue;
    record.user = uid;
    char* text = nullptr;
    if (sd_session_get_type(record.id.c_str(), &text) >= 0) record.type = Taken(text);
    text = nullptr;
    if (sd_session_get_class(record.id.c_str(), &text) >= 0) record.session_class = Taken(text);
    text = nullptr;
    if (sd_session_get_state(record.id.c_str(), &text) >= 0) record.state = Taken(text);
    text = nullptr;
    if (sd_session_get_display(record.id.c_str(), &text) >= 0) record.display = Taken(text);
    record.remote = sd_session_is_remote(record.id.c_str()) > 0;
    ReadStateFile(&record);
    records.push_back(std::move(record));
  }
  std::free(ids);
  return records;
}

std::unique_ptr<LoginSessionMonitor> LoginSessionMonitor::Create() {
  sd_login_monitor* monitor = nullptr;
  if (sd_login_monitor_new("session", &monitor) < 0) return nullptr;
  return std::unique_ptr<LoginSessionMonitor>(new LoginSessionMonitor(monitor));
}

LoginSessionMonitor::~LoginSessionMonitor() {
  sd_login_monitor_unref(static_cast<sd_login_monitor*>(monitor_));
}

int LoginSessionMonitor::fd() const {
  return sd_login_monitor_get_fd(static_cast<sd_login_monitor*>(monitor_));
}

void LoginSessionMonitor::Flush() { sd_login_monitor_flush(static_cast<sd_login_monitor*>(monitor_)); }

}  // namespace corvane
