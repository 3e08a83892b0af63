#include "core/RequestParser.h"

#include <cstring>

#include "core/OutputCommands.h"
#include "core/Reply.h"
#include "core/Tessaro.h"

namespace {

// text from its first character that is not skip, up to the next skip.
std::string_view firstToken(std::string_view text, char skip) {
  const size_t from = text.find_first_not_of(skip);
  if (from == std::string_view::npos) return {};
  text.remove_prefix(from);
  return text.substr(0, text.find(skip));
}

}  // namespace

void ParamTable::clear() {
  for (int32_t i = 0; i < kMaxItems; ++i) {
    name_[i] = nullptr;
    value_[i] = nullptr;
  }
  count_ = 0;
  command_ = -1;
}

ParamTable::Split ParamTable::split(std::string_view line) {
  clear();
  line = line.substr(0, line.find('\0'));
  line = firstToken(firstToken(line, '\n'), '\r').substr(0, kMaxLine);
  if (line.empty()) return Split::Empty;
  std::memcpy(line_, line.data(), line.size());
  line_[line.size()] = '\0';

  char* item[kMaxItems];
  int32_t n = 0;
  for (char* p = line_;;) {
    while (*p == '&') ++p;
    if (*p == '\0') break;
    if (n == kMaxItems) return Split::TooMany;
    item[n++] = p;
    while (*p != '\0' && *p != '&') ++p;
    if (*p != '\0') *p++ = '\0';
  }

  for (int32_t i = 0; i < n; ++i) {
    char* p = item[i];
    while (*p == '=') ++p;
    if (*p == '\0') continue;  // only "=": holds its place, matches no name
    name_[i] = p;
    if (char* eq = std::strchr(p, '='); eq != nullptr) {
      *eq = '\0';
      if (eq[1] != '\0') value_[i] = eq + 1;
    }
    if (std::strcmp(p, "cmd") == 0) command_ = i;
  }
  count_ = n;
  return Split::Ok;
}

const char* ParamTable::GetParam(std::string_view name) const {
  for (int32_t i = 0; i < count_; ++i) {
    if (name_[i] != nullptr && name == name_[i]) return value_[i];
  }
  return nullptr;
}

namespace {

void Dispatch(Tessaro& t, const ParamTable& params, const char* command, ReplySink& reply) {
  const std::string_view cmd = command;
  if (cmd == "dout") {
    Dout(t, reply, params.GetParam("outn"), params.GetParam("mode"));
  } else if (cmd == "dout_bin") {
    Dout_Bin(t, reply, params.GetParam("mask"), params.GetParam("mode"));
  } else if (cmd == "dout_timer") {
    Dout_Timer(t, reply, params.GetParam("outn"), params.GetParam("time"),
               params.GetParam("output"));
  } else if (cmd == "debug") {
    SetDebug(t, reply, params.GetParam("enaoutp"));
  } else {
    SendReply(reply, "Tessaro.ParseUrlPara: unbekanntes Kommando: %s\r\n", command);
  }
}

}  // namespace

void ParseUrlPara(Tessaro& t, std::string_view line, ReplySink& reply) {
  ParamTable params;
  switch (params.split(line)) {
    case ParamTable::Split::Empty:
      SendReply(reply, "Tessaro.ParseUrlPara: urlpara leer\r\n");
      return;
    case ParamTable::Split::TooMany:
      SendReply(reply, "Tessaro.ParseUrlPara: zu viele parameter [>%d]\r\n", ParamTable::kMaxItems);
      return;
    case ParamTable::Split::Ok:
      break;
  }
  const int32_t at = params.commandPosition();
  if (at < 0) {
    SendReply(reply, "Tessaro.ParseUrlPara: cmd nicht vorhanden\r\n");
    return;
  }
  const char* command = params.value(at);
  if (command == nullptr) {
    SendReply(reply, "Tessaro.ParseUrlPara: cmd = NULL\r\n");
    return;
  }

  // The user's name points into params: it must not outlive this call.
  const char* user = params.GetParam("username");
  if (user == nullptr) {
    SendReply(reply, "Kein Login vorhanden\r\n");
  } else {
    t.eventLog.setUser(user);
    Dispatch(t, params, command, reply);
    t.eventLog.setUser(nullptr);
  }
}
