#include "gateway/web/Http.h"

#include "gateway/model/StateJson.h"

const std::string& HttpRequest::header(std::string_view lowerName) const {
  static const std::string kNone;
  const auto it = headers.find(std::string(lowerName));
  return it != headers.end() ? it->second : kNone;
}

bool HttpRequest::has(std::string_view lowerName) const {
  return headers.count(std::string(lowerName)) != 0;
}

const std::string* HttpRequest::param(std::string_view name) const {
  const auto it = query.find(std::string(name));
  return it != query.end() ? &it->second : nullptr;
}

HttpAnswer JsonAnswer(int status, const nlohmann::json& body) {
  HttpAnswer a;
  a.status = status;
  a.contentType = "application/json";
  a.body = Dump(body);
  return a;
}

HttpAnswer Refusal(int status, const std::string& message) {
  HttpAnswer a = JsonAnswer(status, {{"error", message}});
  a.close = true;
  return a;
}
