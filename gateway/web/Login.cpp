#include "gateway/web/Login.h"

#include <strings.h>

#include <algorithm>

#include "gateway/web/Base64.h"
#include "gateway/web/Users.h"

std::optional<std::pair<std::string, std::string>> ParseBasicAuthorization(const std::string& header) {
  if (header.size() < 6 || strncasecmp(header.c_str(), "Basic ", 6) != 0) return std::nullopt;
  const std::optional<std::string> decoded = Base64Decode(std::string_view(header).substr(6));
  if (!decoded) return std::nullopt;
  const size_t colon = decoded->find(':');
  if (colon == std::string::npos) return std::nullopt;
  return std::pair(decoded->substr(0, colon), decoded->substr(colon + 1));
}

Login::Login(const Users* users, std::string anonymous) : users_(users), anonymous_(std::move(anonymous)) {}

std::variant<std::string, HttpAnswer> Login::check(const HttpRequest& r, Clock::time_point now) {
  if (users_ == nullptr) return anonymous_;
  const std::string& header = r.header("authorization");
  const auto credentials = ParseBasicAuthorization(header);
  if (credentials) {
    std::unique_lock lock(mutex_);
    const auto known = verified_.find(header);
    if (known != verified_.end() && now - known->second < kVerifiedFor) return credentials->first;
    const auto strikes = strikes_.find(r.client);
    if (strikes != strikes_.end() && now < strikes->second.pausedUntil) {
      const auto wait = std::chrono::ceil<std::chrono::seconds>(strikes->second.pausedUntil - now);
      HttpAnswer a = Refusal(429, "Zu viele falsche Anmeldungen: bitte sp\u00e4ter wieder versuchen.");
      a.headers.emplace_back("Retry-After", std::to_string(wait.count()));
      return a;
    }
    lock.unlock();
    const bool good = users_->check(credentials->first, credentials->second);
    lock.lock();
    if (good) {
      if (verified_.size() >= kMaxVerified) verified_.clear();
      verified_[header] = now;
      strikes_.erase(r.client);
      return credentials->first;
    }
    fail(r.client, now);
  }
  HttpAnswer a = Refusal(401, "Anmeldung erforderlich.");
  a.headers.emplace_back("WWW-Authenticate", "Basic realm=\"Tessaro\", charset=\"UTF-8\"");
  return a;
}

void Login::fail(uint32_t client, Clock::time_point now) {
  if (strikes_.size() >= kMaxClients) {
    std::erase_if(strikes_, [&](const auto& s) { return now - s.second.last > kForgetAfter; });
    // Still full: an attack from very many addresses, which the pause per
    // address cannot hold anyway; start over rather than grow.
    if (strikes_.size() >= kMaxClients) strikes_.clear();
  }
  Strikes& s = strikes_[client];
  if (now - s.last > kForgetAfter) s.failures = 0;
  s.last = now;
  if (++s.failures > kFreeFailures) {
    const int doublings = std::min(s.failures - kFreeFailures - 1, 6);
    s.pausedUntil = now + std::min<Clock::duration>(std::chrono::seconds(1 << doublings), kLongestPause);
  }
}
