#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>

#include "gateway/web/Http.h"

class Users;

// HTTP Basic authentication with a back-off per client address. A client
// that has failed too often is answered 429 at once, without a password
// hash being computed and without any thread waiting, until its pause is
// over; a logged-in user beside it (the same address behind a router) goes
// on, since credentials already verified are remembered.
class Login {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kFreeFailures = 5;  // then pauses of 1, 2, 4 ... 60 s
  static constexpr auto kLongestPause = std::chrono::seconds(60);
  static constexpr auto kForgetAfter = std::chrono::minutes(15);
  static constexpr size_t kMaxClients = 4096;
  static constexpr auto kVerifiedFor = std::chrono::minutes(10);
  static constexpr size_t kMaxVerified = 64;

  // users null: nobody logs in, and every request is anonymous's.
  Login(const Users* users, std::string anonymous);

  // The request's user (UTF-8), or the refusal to answer.
  std::variant<std::string, HttpAnswer> check(const HttpRequest& r, Clock::time_point now);

  bool required() const { return users_ != nullptr; }

 private:
  struct Strikes {
    int failures = 0;
    Clock::time_point last, pausedUntil;
  };
  void fail(uint32_t client, Clock::time_point now);

  const Users* users_;
  std::string anonymous_;
  std::mutex mutex_;
  std::unordered_map<uint32_t, Strikes> strikes_;
  // Authorization headers verified lately: crypt(3) is slow on purpose,
  // and the browser sends them with every request.
  std::map<std::string, Clock::time_point> verified_;
};

// "Basic dXNlcjpwYXNz" as user and password; nothing when it is not.
std::optional<std::pair<std::string, std::string>> ParseBasicAuthorization(const std::string& header);
