#include "gateway/model/Model.h"

#include "gateway/model/StateJson.h"

void Model::update(State state) {
  nlohmann::json json = ToJson(state);
  Snapshot copy;
  {
    std::lock_guard lock(mutex_);
    if (current_.version != 0 && json == current_.json) return;
    ++current_.version;
    current_.state = std::move(state);
    current_.json = std::move(json);
    copy = current_;
  }
  for (const Listener& l : listeners_) l(copy);
}

Model::Snapshot Model::snapshot() const {
  std::lock_guard lock(mutex_);
  return current_;
}
