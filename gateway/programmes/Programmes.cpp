#include "gateway/programmes/Programmes.h"

#include <filesystem>
#include <memory>

#include "gateway/commands/CommandQueue.h"
#include "gateway/commands/RequestUser.h"
#include "protocol/RequestLine.h"
#include "gateway/model/Latin1.h"
#include "gateway/model/Model.h"
#include "gateway/programmes/ControlLines.h"
#include "gateway/programmes/FileVersion.h"
#include "gateway/programmes/ProgrammeJson.h"
#include "platform/FileSystem.h"
#include "protocol/InstallationPaths.h"

using nlohmann::json;

namespace {

ProgrammeAnswer failure(int status, const std::string& message) {
  return {status, {{"error", message}}};
}

// The dout requests of one save, sent one after another; the answer goes
// out with the last reply.
struct Rereads {
  CommandQueue& queue;
  std::vector<std::pair<int, std::string>> requests;  // channel, request line
  size_t next = 0;
  ProgrammeAnswer answer;
  std::function<void(ProgrammeAnswer)> done;
};

void sendNext(const std::shared_ptr<Rereads>& r) {
  if (r->next == r->requests.size()) return r->done(std::move(r->answer));
  const auto& [n, request] = r->requests[r->next++];
  r->queue.submit(request, [r, n = n](const CommandResult& result) {
    const bool ok = result.status == CommandResult::Status::Ok;
    const std::string reply = result.status == CommandResult::Status::Unreachable
                                  ? result.detail
                                  : Latin1ToUtf8(result.reply);
    r->answer.body["replies"].push_back({{"n", n}, {"ok", ok}, {"reply", reply}});
    sendNext(r);
  });
}

}  // namespace

Programmes::Programmes(FileSystem& files, std::string workDir,
                       std::function<Installation()> installation, const Model& model,
                       CommandQueue& queue)
    : files_(files),
      workDir_(std::move(workDir)),
      installation_(std::move(installation)),
      model_(model),
      queue_(queue) {}

std::vector<Programmes::File> Programmes::files() const {
  const Installation inst = installation_();
  std::vector<File> all;
  std::vector<std::string> normal;  // "./a.txt" and "a.txt" are one file
  for (size_t ch = 0; ch < inst.channels.size(); ++ch) {
    const std::optional<ChannelConfig>& c = inst.channels[ch];
    if (!c || c->controlFile.empty()) continue;
    // The name came from ISO 8859-1 and goes back to the same bytes.
    const std::string name = Utf8ToLatin1(c->controlFile).value_or("");
    if (name.empty()) continue;
    const std::string path = InstallationPath(workDir_, name);
    const std::string key = std::filesystem::path(path).lexically_normal().string();
    size_t i = 0;
    while (i < normal.size() && normal[i] != key) ++i;
    if (i == all.size()) {
      all.push_back({c->controlFile, path, json::array(), {}});
      normal.push_back(key);
    }
    all[i].channels.push_back({{"n", ch}, {"name", c->name}});
    all[i].numbers.push_back(static_cast<int>(ch));
  }
  return all;
}

json Programmes::content(const File& file, const std::string& bytes) {
  return {{"file", file.name},
          {"channels", file.channels},
          {"points", PointsToJson(ParseControlLines(bytes).points)},
          {"version", FileVersion(bytes)}};
}

json Programmes::list() const {
  json out = json::array();
  const std::vector<File> all = files();
  for (size_t n = 0; n < all.size(); ++n) {
    out.push_back({{"n", n}, {"file", all[n].name}, {"channels", all[n].channels}});
  }
  return {{"programmes", out}};
}

ProgrammeAnswer Programmes::get(size_t n) const {
  const std::vector<File> all = files();
  if (n >= all.size()) return failure(404, "Keine Steuerdatei Nr. " + std::to_string(n) + ".");
  const std::optional<std::string> bytes = files_.readWhole(all[n].path);
  if (!bytes) return failure(500, "Die Datei " + all[n].name + " kann nicht gelesen werden.");
  return {200, content(all[n], *bytes)};
}

void Programmes::put(size_t n, const json& body, const std::string& requestUser,
                     std::function<void(ProgrammeAnswer)> done) {
  const std::vector<File> all = files();
  if (n >= all.size()) return done(failure(404, "Keine Steuerdatei Nr. " + std::to_string(n) + "."));
  const File& file = all[n];
  if (!body.is_object() || !body.contains("points") || !body.value("version", json()).is_string()) {
    return done(failure(400, "points und version erwartet."));
  }

  std::string text;
  {
    std::lock_guard lock(saving_);
    const std::optional<std::string> old = files_.readWhole(file.path);
    if (!old) return done(failure(500, "Die Datei " + file.name + " kann nicht gelesen werden."));
    if (body["version"].get<std::string>() != FileVersion(*old)) {
      json current = content(file, *old);
      current["error"] = "Die Datei " + file.name +
                         " wurde inzwischen ge\u00e4ndert. Verwerfen l\u00e4dt den neuen Stand.";
      return done({409, std::move(current)});
    }
    std::string problem;
    const std::optional<std::vector<ControlPoint>> points = PointsFromJson(body["points"], &problem);
    if (!points) return done(failure(400, problem));
    text = WriteControlLines(*points, ParseControlLines(*old).kept);
    // Saving the same bytes again must not take the step back from .bak.
    if (text != *old) {
      if (!files_.replaceDurably(file.path + ".bak", *old)) {
        return done(failure(500, "Die Sicherung " + file.name + ".bak kann nicht geschrieben werden; " +
                                     file.name + " ist unver\u00e4ndert."));
      }
      if (!files_.replaceDurably(file.path, text)) {
        const bool replaced = files_.readWhole(file.path) == text;
        return done(failure(500, "Die Datei " + file.name +
                                     (replaced ? " ist ersetzt, aber nicht sicher gespeichert."
                                               : " kann nicht geschrieben werden; sie ist unver\u00e4ndert.")));
      }
    }
  }

  auto rereads = std::make_shared<Rereads>(Rereads{queue_, {}, 0, {200, content(file, text)}, std::move(done)});
  rereads->answer.body["replies"] = json::array();
  const Model::Snapshot now = model_.snapshot();
  for (const int ch : file.numbers) {
    for (const OutputState& o : now.state.outputs) {
      if (o.n == ch && ParseChannelMode(o.mode) == ChannelMode::Uhr) {
        rereads->requests.emplace_back(ch, DoutRequest(requestUser, ch, ChannelMode::Uhr));
      }
    }
  }
  sendNext(rereads);
}
