#include "gateway/model/StateAssembler.h"

#include "protocol/ChannelMode.h"
#include "protocol/DeviceKind.h"

namespace {

// Gives each device entry the index of the device it comes from: the k-th
// entry of a kind is the k-th device of that kind in slot order.
template <class Entry>
std::vector<Entry> withDevices(std::vector<Entry> entries, const std::vector<int>& slots) {
  for (size_t k = 0; k < entries.size(); ++k) entries[k].dev = k < slots.size() ? slots[k] : -1;
  return entries;
}

}  // namespace

void StateAssembler::onFast(std::optional<std::string_view> text, Clock::time_point at) {
  fast_ = text ? ParseFastXml(*text) : std::nullopt;
  if (fast_) lastRewrite_ = at;
}

void StateAssembler::onSlow(std::optional<std::string_view> text) {
  slow_ = text ? ParseSlowXml(*text) : std::nullopt;
}

State StateAssembler::state(Clock::time_point now) const {
  State s;
  s.alive = fast_ && lastRewrite_ && now - *lastRewrite_ < kStale;
  if (fast_) {
    s.slowid = fast_->slowid;
    s.ai = withDevices(fast_->ai, installation_.devicesOf(DeviceKind::HB628));
  }
  if (!slow_) return s;
  if (!fast_) s.slowid = slow_->slowid;
  s.enaoutp = slow_->enaoutp;
  s.tank = withDevices(slow_->tank, installation_.devicesOf(DeviceKind::LevelJet));
  s.klp = withDevices(slow_->klp, installation_.devicesOf(DeviceKind::KlimaLoggPro));
  s.messages = slow_->messages;
  for (OutputState o : slow_->outputs) {
    const ChannelConfig* config = nullptr;
    if (o.n >= 0 && o.n < 32 && installation_.channels[static_cast<size_t>(o.n)]) {
      config = &*installation_.channels[static_cast<size_t>(o.n)];
    }
    o.name = config ? config->name : "out" + std::to_string(o.n);
    o.device = config ? installation_.deviceLabel(config->device) : "";
    if (config && (o.mode == ChannelModeName(ChannelMode::Uhr) || !config->controlFile.empty())) {
      s.programs.push_back({o.n, o.name, config->controlFile, config->program});
    }
    s.outputs.push_back(std::move(o));
  }
  return s;
}
