#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "devices/TessaroDev.h"

class TcpClient;

// The NETIO-230B networked power switch: four switched sockets, device
// outputs 0 ... 3. Every write is one short TCP exchange on a fresh
// connection (greeting, login, "port list", reply); nothing is kept open in
// between, and the wanted states stay in outputBits until a write succeeds.
class NetIO230b final : public TessaroDev {
 public:
  // Reads the switch's address from key "dev<index>" of section TCP/IP.
  NetIO230b(const DeviceContext& t, int32_t index);

  // 0 when the switch acknowledged the four states, or when output is
  // disabled (nothing is sent then); -1 when the exchange failed.
  int32_t do_WriteAllPortBits() override;

  // Bounds of one exchange, so a switch that is silent or gone holds up the
  // main loop for seconds at most.
  static constexpr int kConnectTimeoutMs = 1000;
  static constexpr int kReceiveTimeoutMs = 1000;

 private:
  // Greeting, login and "port list" on a connected client, with the
  // console text of the step that failed; 0 when the switch acknowledged.
  int32_t exchange(TcpClient& client, const char* mask_str);
};

// "a.b.c.d,port" as the TCP/IP section writes it. The address is read as
// inet_addr reads it, unchecked (an invalid text gives 255.255.255.255); the
// port is read leniently and taken modulo 65536. No comma gives port 0, an
// empty text 0.0.0.0 and port 0.
NetAddress parseSocketAddress(std::string_view text);

// What the driver makes of the one receive that answers "port list":
// count is that receive's result (negative: error or time-out) for the bytes
// in reply. Anything but exactly "250 OK\r\n" fails; a receive that filled
// the 256-byte buffer is a failure of its own.
enum class PortListReply { Ok, BufferFull, Wrong };
PortListReply judgePortListReply(const char* reply, long count);
