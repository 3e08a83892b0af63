// netio_sim: plays a NETIO-230B power switch on a loopback port, for tests
// and for running an installation without the switch.
//
// Each connection gets the greeting "100 HELLO <8 hex digits> - KSHELL V1.1"
// with CR LF (34 bytes). A line "login <user> <password>" is answered
// "250 OK\r\n" whatever the credentials; "port list xxxx" with four
// characters 0/1 is answered "250 OK\r\n" and the four socket states are
// printed; anything else gets "502 UNKNOWN COMMAND\r\n". The switch closes
// when the client does, or after 10 seconds of silence.
//
// Options to misbehave (for the client's failure paths) are listed by --help.
// Stops on SIGINT or SIGTERM.

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "tools/support/NetioSwitch.h"
#include "tools/support/SimSupport.h"

using namespace tessaro::sim;

namespace {

using Fault = NetioSwitch::Fault;

void usage(FILE* out) {
  std::fprintf(out,
               "usage: netio_sim [options]\n"
               "Plays a NETIO-230B power switch on 127.0.0.1 and prints the socket states\n"
               "each \"port list\" sets. Ends on SIGINT or SIGTERM.\n"
               "  --port N             listen on port N (default 0: any free port, printed)\n"
               "  --greeting-length N  cut or pad the greeting to N bytes (34 is right)\n"
               "  --silent             accept, then say nothing\n"
               "  --refuse             hold the port without listening: connections are refused\n"
               "  --split              answer \"port list\" in two pieces: \"250 \", and the rest\n"
               "                       only after the client has gone\n"
               "  --long-reply         answer \"port list\" with 256 bytes\n"
               "  --wrong-reply        answer \"port list\" with \"550 ERR\"\n"
               "  --drop               close the connection instead of answering \"port list\"\n"
               "  --misbehave-for N    misbehave on the first N connections only, then be good\n");
}

bool parseOptions(int argc, char** argv, NetioSwitch::Options& o) {
  // Given together, the first of these wins.
  const struct {
    const char* name;
    Fault fault;
  } faults[] = {{"--refuse", Fault::Refuse},         {"--silent", Fault::Silent},
                {"--drop", Fault::DropAtPortList},   {"--split", Fault::ReplyInTwoPieces},
                {"--long-reply", Fault::FullBufferReply}, {"--wrong-reply", Fault::WrongReply}};
  size_t chosen = std::size(faults);
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto number = [&](auto& field) {
      if (i + 1 >= argc) return false;
      field = std::atoi(argv[++i]);
      return true;
    };
    int port = 0, length = 0;
    size_t f = 0;
    while (f < std::size(faults) && a != faults[f].name) ++f;
    if (f < std::size(faults)) {
      chosen = std::min(chosen, f);
      o.fault = faults[chosen].fault;
    } else if (a == "--help" || a == "-h") {
      usage(stdout);
      std::exit(0);
    } else if (a == "--port") {
      if (!number(port) || port < 0 || port > 65535) return false;
      o.port = static_cast<uint16_t>(port);
    } else if (a == "--greeting-length") {
      if (!number(length) || length < 0) return false;
      o.greetingLength = static_cast<size_t>(length);
    } else if (a == "--misbehave-for") {
      if (!number(o.misbehaveFor)) return false;
    } else {
      return false;
    }
  }
  return true;
}

void printSockets(const std::string& states) {
  std::printf("netio_sim: sockets");
  for (size_t i = 0; i < 4; ++i) std::printf(" %zu=%s", i + 1, states[i] == '1' ? "on" : "off");
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  NetioSwitch::Options o;
  if (!parseOptions(argc, argv, o)) {
    usage(stderr);
    return 2;
  }
  o.onPortList = printSockets;
  CatchSignals();
  // The switch's thread inherits the blocked signals, so they wake this one.
  sigset_t stops, old;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigprocmask(SIG_BLOCK, &stops, &old);
  NetioSwitch sw(o);
  if (!sw.ready()) {
    std::fprintf(stderr, "netio_sim: %s\n", sw.failure().c_str());
    return 1;
  }
  std::printf("netio_sim: %s 127.0.0.1:%d\n",
              o.fault == Fault::Refuse ? "refusing on" : "listening on", sw.port());
  std::fflush(stdout);
  while (!stopRequested) sigsuspend(&old);
  return 0;
}
