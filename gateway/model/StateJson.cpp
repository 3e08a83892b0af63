#include "gateway/model/StateJson.h"

using nlohmann::json;

namespace {

json optionalNumbers(const std::vector<std::optional<double>>& values) {
  json a = json::array();
  for (const auto& v : values) a.push_back(v ? json(*v) : json(nullptr));
  return a;
}

}  // namespace

json ToJson(const State& s) {
  json j = {{"alive", s.alive}, {"slowid", s.slowid}, {"enaoutp", s.enaoutp}};
  json& outputs = j["outputs"] = json::array();
  for (const OutputState& o : s.outputs) {
    outputs.push_back({{"n", o.n}, {"name", o.name}, {"device", o.device}, {"mode", o.mode},
                       {"value", o.value}, {"valid", o.valid}, {"timer", o.timer},
                       {"timer_output", o.timerOutput}, {"info", o.info}});
  }
  json& ai = j["ai"] = json::array();
  for (const AnalogInputs& a : s.ai) ai.push_back({{"dev", a.dev}, {"valid", a.valid}, {"ch", a.ch}});
  json& tank = j["tank"] = json::array();
  for (const TankLevel& t : s.tank) {
    tank.push_back({{"dev", t.dev}, {"valid", t.valid}, {"id", t.id}, {"dist", t.dist},
                    {"level", t.level}, {"liter", t.liter}, {"percent", t.percent}});
  }
  json& klp = j["klp"] = json::array();
  for (const ClimateValues& k : s.klp) {
    klp.push_back({{"dev", k.dev}, {"valid", k.valid}, {"last", k.last},
                   {"tmp", optionalNumbers(k.tmp)}, {"hum", optionalNumbers(k.hum)}});
  }
  j["messages"] = s.messages;
  json& programs = j["programs"] = json::array();
  for (const WeekProgram& p : s.programs) {
    json points = json::array();
    for (const ProgramPoint& pt : p.points) {
      points.push_back({{"day", pt.day}, {"minute", pt.minute}, {"on", pt.on}});
    }
    programs.push_back({{"n", p.n}, {"name", p.name}, {"file", p.file}, {"points", points}});
  }
  return j;
}

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }
