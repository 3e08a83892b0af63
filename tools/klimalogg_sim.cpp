// klimalogg_sim: keeps a KlimaLogg Pro data file up to date, as the program
// that talks to the climate logger does, for tests and for running an
// installation without the logger.
//
// The file is INI text:
//   [time]                  last_actualisation=<seconds>
//   [temperature_channel_N] deg_C=<text>      N = 0 ... 8
//   [humidity_channel_N]    percent=<text>
// and is replaced whole (written beside it and renamed over it), so a reader
// never sees half a file. Every update moves the time on and changes the
// values a little.
//
// Options are listed by --help.

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/support/SimSupport.h"

using namespace tessaro::sim;

namespace {

constexpr long long kLoggerEpochOffset = 2208988734LL;

struct Options {
  std::string file = "./KlimaLogg.dat1";
  int interval = 60;
  long updates = 0;
  bool loggerEpoch = false;
  int missingChannel = -1;
};

void usage(FILE* out) {
  std::fprintf(out,
               "usage: klimalogg_sim [options]\n"
               "Keeps a KlimaLogg Pro data file up to date. SIGUSR1 stops the updates and,\n"
               "sent again, resumes them. Ends on SIGINT or SIGTERM.\n"
               "  --file PATH          the data file (default ./KlimaLogg.dat1)\n"
               "  --interval N         seconds between updates (default 60)\n"
               "  --updates N          stop updating after N updates (default 0: never)\n"
               "  --logger-epoch       write times as the logger counts them (2208988734\n"
               "                       seconds more than since 1970)\n"
               "  --missing-channel N  leave channel N's two values out\n");
}

bool parseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      usage(stdout);
      std::exit(0);
    } else if (a == "--file" && hasValue) {
      o.file = argv[++i];
    } else if (a == "--interval" && hasValue) {
      o.interval = std::atoi(argv[++i]);
    } else if (a == "--updates" && hasValue) {
      o.updates = std::atol(argv[++i]);
    } else if (a == "--missing-channel" && hasValue) {
      o.missingChannel = std::atoi(argv[++i]);
    } else if (a == "--logger-epoch") {
      o.loggerEpoch = true;
    } else {
      return false;
    }
  }
  return o.interval > 0 && o.updates >= 0;
}

// Update n of the file: temperatures step by a tenth, humidities by one, in a
// cycle of ten, each channel from its own base.
std::string content(const Options& o, long long now, long n) {
  std::string s;
  char line[96];
  std::snprintf(line, sizeof line, "[time]\nlast_actualisation=%lld\n",
                now + (o.loggerEpoch ? kLoggerEpochOffset : 0));
  s += line;
  for (int ch = 0; ch < 9; ++ch) {
    if (ch == o.missingChannel) continue;
    std::snprintf(line, sizeof line, "[temperature_channel_%d]\ndeg_C=%.1f\n", ch,
                  18.0 + ch + 0.1 * static_cast<double>(n % 10));
    s += line;
    std::snprintf(line, sizeof line, "[humidity_channel_%d]\npercent=%ld\n", ch, 40 + ch + n % 10);
    s += line;
  }
  return s;
}

bool replaceFile(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) return false;
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

void sleepMs(long ms) {
  const timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parseOptions(argc, argv, o)) {
    usage(stderr);
    return 2;
  }
  CatchSignals();

  long done = 0;
  bool paused = false, wasPaused = false;
  while (!stopRequested) {
    if (Take(usr1Raised)) paused = !paused;
    const bool frozen = paused || (o.updates > 0 && done >= o.updates);
    if (frozen != wasPaused) {
      std::printf("klimalogg_sim: updates %s\n", frozen ? "stopped" : "resumed");
      std::fflush(stdout);
      wasPaused = frozen;
    }
    if (!frozen) {
      const long long now = static_cast<long long>(time(nullptr));
      if (replaceFile(o.file, content(o, now, done))) {
        std::printf("klimalogg_sim: %s updated, time %lld\n", o.file.c_str(), now);
      } else {
        std::printf("klimalogg_sim: %s cannot be written\n", o.file.c_str());
      }
      std::fflush(stdout);
      ++done;
    }
    // Wait out the interval in slices, so a signal is acted on at once.
    for (long waited = 0; waited < o.interval * 1000L && !stopRequested && !usr1Raised;
         waited += 100) {
      sleepMs(100);
    }
  }
  return 0;
}
