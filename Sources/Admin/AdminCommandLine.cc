#include "AdminCommandLine.h"

#include <charconv>

#include "AppSettings.h"

namespace corvane::admin {
namespace {

std::string AppKey(const std::string& app) {
  if (app == "computer") return std::string(kComputerAppKey);
  if (app == "global") return std::string(kGlobalSettingsAppKey);
  if (app == "otherApps") return std::string(kOtherAppsKey);
  return app;
}

std::optional<int64_t> Integer(const std::string& s) {
  int64_t v = 0;
  const char* begin = s.data() + (!s.empty() && s[0] == '+');
  auto [end, ec] = std::from_chars(begin, s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

class Parser {
 public:
  Parser(const std::vector<std::string>& args, std::string* error) : args_(args), error_(error) {}

  bool Fail(const std::string& why) {
    *error_ = why;
    return false;
  }
  bool Done() const { return at_ >= args_.size(); }
  const std::string& Peek() const { return args_[at_]; }
  std::string Next() { return args_[at_++]; }
  // The value of option `name`; fails when it is missing.
  bool Value(const std::string& name, std::string* out) {
    if (Done()) return Fail(name + " needs a value");
    *out = Next();
    return true;
  }

 private:
  const std::vector<std::string>& args_;
  std::string* error_;
  size_t at_ = 0;
};

bool ParseSetOption(Parser& p, const std::string& opt, SettingsChanges* c) {
  std::string v;
  if (opt == "--enable" || opt == "--disable") {
    c->enabled = opt == "--enable";
    return true;
  }
  if (!p.Value(opt, &v)) return false;
  if (opt == "--credit" || opt == "--weekday" || opt == "--weekend") {
    auto minutes = ParseDuration(v);
    if (!minutes) return p.Fail("bad duration for " + opt + ": \"" + v + "\" (use 45m, 2h, 1h30m)");
    (opt == "--credit" ? c->credit : opt == "--weekday" ? c->weekday_refill : c->weekend_refill) =
        *minutes;
    return true;
  }
  if (opt == "--carry-over") {
    if (v != "on" && v != "off") return p.Fail("--carry-over takes on or off, not \"" + v + "\"");
    c->carry_over = v == "on";
    return true;
  }
  if (opt == "--curfew-weekday" || opt == "--curfew-weekend") {
    auto& field = opt == "--curfew-weekday" ? c->weekday_curfew : c->weekend_curfew;
    if (v == "off") {
      field = std::optional<Window>();
      return true;
    }
    auto w = ParseWindow(v);
    if (!w) return p.Fail("bad window for " + opt + ": \"" + v + "\" (use 08:00-20:00 or off)");
    field = w;
    return true;
  }
  if (opt == "--quota") {
    if (v == "off") {
      c->quota_mb = std::optional<int32_t>();
      return true;
    }
    auto mb = ParseQuota(v);
    if (!mb) return p.Fail("bad size for --quota: \"" + v + "\" (use 500MB, 2GB or off)");
    c->quota_mb = mb;
    return true;
  }
  return p.Fail("unknown option for set: " + opt);
}

}  // namespace

bool SettingsChanges::Empty() const {
  return !enabled && !credit && !weekday_refill && !weekend_refill && !carry_over &&
         !weekday_curfew && !weekend_curfew && !quota_mb;
}

bool ParseAdminCommandLine(const std::vector<std::string>& args, AdminRequest* out,
                           std::string* error) {
  // --json and --server may stand anywhere; everything else is the command.
  AdminRequest r;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      r.json = true;
    } else if (args[i] == "--server") {
      if (i + 1 >= args.size()) {
        *error = "--server needs a value";
        return false;
      }
      r.server = ParseServerAddress(args[++i]);
      if (!r.server) {
        *error = "bad server address \"" + args[i] + "\" (use HOST or HOST:PORT)";
        return false;
      }
    } else {
      rest.push_back(args[i]);
    }
  }
  Parser p(rest, error);
  if (!p.Done() && p.Peek().rfind("--", 0) == 0) return p.Fail("unknown option " + p.Peek());
  if (p.Done()) return p.Fail("no command given");
  std::string verb = p.Next();
  std::vector<std::string> positional;
  auto positional_args = [&](size_t min, size_t max) {
    while (!p.Done() && p.Peek().rfind("--", 0) != 0) positional.push_back(p.Next());
    if (positional.size() < min || positional.size() > max) {
      return p.Fail(verb + " takes " + std::to_string(min) +
                    (min == max ? "" : " or " + std::to_string(max)) + " arguments");
    }
    for (const auto& a : positional) {
      if (a.empty()) return p.Fail("empty user or application name");
    }
    r.user = positional[0];
    if (positional.size() > 1) r.app = AppKey(positional[1]);
    return true;
  };

  if (verb == "show") {
    r.verb = AdminVerb::kShow;
    if (!positional_args(1, 2)) return false;
  } else if (verb == "set") {
    r.verb = AdminVerb::kSet;
    if (!positional_args(2, 2)) return false;
    while (!p.Done()) {
      if (!ParseSetOption(p, p.Next(), &r.changes)) return false;
    }
    if (r.changes.Empty()) return p.Fail("set needs at least one change");
  } else if (verb == "grant") {
    r.verb = AdminVerb::kGrant;
    while (!p.Done()) positional.push_back(p.Next());
    if (positional.size() != 3) return p.Fail("grant takes USER APP MINUTES");
    auto minutes = Integer(positional[2]);
    if (!minutes || *minutes == 0 || *minutes > 100000 || *minutes < -100000) {
      return p.Fail("bad minute count \"" + positional[2] + "\" (a whole number, not 0)");
    }
    r.user = positional[0];
    r.app = AppKey(positional[1]);
    r.grant_minutes = static_cast<int32_t>(*minutes);
    if (r.user.empty() || r.app.empty()) return p.Fail("empty user or application name");
  } else if (verb == "stats") {
    r.verb = AdminVerb::kStats;
    if (!positional_args(2, 2)) return false;
    while (!p.Done()) {
      std::string opt = p.Next(), v;
      if (opt == "--days") {
        if (!p.Value(opt, &v)) return false;
        auto n = Integer(v);
        if (!n || *n < 1 || *n > 3660) return p.Fail("bad --days \"" + v + "\" (1 to 3660)");
        r.days = static_cast<int>(*n);
      } else if (opt == "--chart") {
        if (!p.Value(opt, &r.chart_path) || r.chart_path.empty()) return p.Fail("--chart needs a file");
      } else {
        return p.Fail("unknown option for stats: " + opt);
      }
    }
  } else {
    return p.Fail("unknown command \"" + verb + "\"");
  }
  *out = std::move(r);
  return true;
}

}  // namespace corvane::admin
