#pragma once

#include <string>

// The MQTT face's part of the command line.
struct MqttOptions {
  std::string host;  // empty: no MQTT
  int port = 1883;
  std::string user;
  std::string passwordFile;  // its first line is the password
  std::string caFile;        // set: TLS, the broker's certificate checked against it
  std::string prefix = "tessaro";
  std::string discoveryPrefix = "homeassistant";
  std::string commandUser = "mqtt";  // the username of commands from MQTT
};
