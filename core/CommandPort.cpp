#include "core/CommandPort.h"

#include "core/Reply.h"
#include "core/RequestParser.h"
#include "core/Tessaro.h"
#include "platform/Console.h"

// Runs the lines of one receive and sends their replies. A reply that the
// client does not take at once ends the connection: the loop must never wait
// for a client that does not read.
class CommandPort::Dispatch final : public RequestLines::Handler, public ReplySink {
 public:
  explicit Dispatch(CommandPort& port) : port_(port) {}

  void onLine(std::string_view line) override { ParseUrlPara(port_.t_, line, *this); }
  void onTooLong() override { send("Tessaro.ParseUrlPara: zeile zu lang [>1023]\r\n"); }
  bool wantsMore() override { return port_.client_.valid(); }

  void send(std::string_view bytes) override {
    if (port_.client_.valid() && !port_.client_.sendNow(bytes)) port_.closeClient();
  }

 private:
  CommandPort& port_;
};

ListenResult CommandPort::open(uint16_t port) {
  return listener_.open(t_.config("TCP/IP", "listen", 256), port, 1);
}

void CommandPort::serve(int waitMs) {
  if (!client_.valid()) {
    if (!listener_.socket().waitReadable(waitMs)) return;
    client_ = listener_.accept();
    if (client_.valid()) t_.console.printf("TCP/IP Verbindung hergestellt\n");
    return;
  }
  if (!client_.waitReadable(waitMs)) return;
  char buffer[256];
  const long n = client_.receive(buffer, 255);
  if (n < 1) {
    closeClient();
    return;
  }
  buffer[n] = '\0';
  Dispatch dispatch(*this);
  lines_.CollectRequestLine(buffer, static_cast<size_t>(n), dispatch);
}

void CommandPort::closeClient() {
  client_.close();
  lines_.reset();
  t_.console.printf("TCP/IP Verbindung geschlossen\n");
}
