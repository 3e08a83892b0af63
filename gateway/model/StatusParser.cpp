#include "gateway/model/StatusParser.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <pugixml.hpp>

namespace {

// A number is finite: from_chars also reads "nan" and "inf", which no
// reading is and which no consumer of the state can show.
std::optional<double> number(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty() || !std::isfinite(v)) {
    return std::nullopt;
  }
  return v;
}

double numberOr0(const pugi::xml_node& n) { return number(n.text().get()).value_or(0); }

// A count or an index: a number within T's range, its fraction dropped; 0
// for any other (a cast from beyond the range would be undefined).
template <typename T>
T integerOr0(const pugi::xml_node& n) {
  const double v = numberOr0(n);
  const double least = static_cast<double>(std::numeric_limits<T>::min());  // -2^k: exact
  return v >= least && v < -least ? static_cast<T>(v) : 0;
}
bool flag(const pugi::xml_node& n) { return numberOr0(n) != 0; }

// The document's root element when it is named root and the text parsed whole.
std::optional<pugi::xml_node> rootOf(pugi::xml_document& doc, std::string_view text,
                                     const char* root) {
  if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_ws_pcdata)) {
    return std::nullopt;
  }
  pugi::xml_node node = doc.child(root);
  if (!node) return std::nullopt;
  return node;
}

}  // namespace

std::optional<FastStatus> ParseFastXml(std::string_view text) {
  pugi::xml_document doc;
  const auto root = rootOf(doc, text, "fast");
  if (!root) return std::nullopt;
  FastStatus fast;
  fast.slowid = integerOr0<int64_t>(root->child("slowid"));
  for (const pugi::xml_node ai : root->children("AI")) {
    AnalogInputs& a = fast.ai.emplace_back();
    a.valid = flag(ai.child("valid"));
    size_t k = 0;
    for (const pugi::xml_node ch : ai.children("CH")) {
      if (k < a.ch.size()) a.ch[k++] = numberOr0(ch);
    }
  }
  return fast;
}

std::optional<SlowStatus> ParseSlowXml(std::string_view text) {
  pugi::xml_document doc;
  const auto root = rootOf(doc, text, "slow");
  if (!root) return std::nullopt;
  SlowStatus slow;
  slow.slowid = integerOr0<int64_t>(root->child("slowid"));
  slow.enaoutp = flag(root->child("debug").child("enaoutp"));
  for (const pugi::xml_node t : root->children("tank")) {
    TankLevel& tank = slow.tank.emplace_back();
    tank.valid = flag(t.child("valid"));
    tank.id = t.child("id").text().get();
    tank.dist = numberOr0(t.child("dist"));
    tank.level = numberOr0(t.child("level"));
    tank.liter = numberOr0(t.child("liter"));
    tank.percent = numberOr0(t.child("percent"));
  }
  for (const pugi::xml_node k : root->children("klp")) {
    ClimateValues& klp = slow.klp.emplace_back();
    klp.valid = flag(k.child("valid"));
    klp.last = k.child("last").text().get();
    for (const pugi::xml_node v : k.children("tmp")) klp.tmp.push_back(number(v.text().get()));
    for (const pugi::xml_node v : k.children("hum")) klp.hum.push_back(number(v.text().get()));
  }
  for (const pugi::xml_node d : root->children("digout")) {
    OutputState& o = slow.outputs.emplace_back();
    o.n = integerOr0<int>(d.child("outn"));
    o.valid = flag(d.child("valid"));
    o.value = flag(d.child("value"));
    o.mode = d.child("mode").text().get();
    o.timer = integerOr0<int>(d.child("timer_time"));
    o.timerOutput = flag(d.child("timer_output"));
    o.info = d.child("info").text().get();
  }
  const std::string_view msg = root->child("msg").text().get();
  for (size_t at = 0; at < msg.size();) {
    const size_t lf = std::min(msg.find('\n', at), msg.size());
    if (lf > at) slow.messages.emplace_back(msg.substr(at, lf - at));
    at = lf + 1;
  }
  return slow;
}
