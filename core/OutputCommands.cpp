#include "core/OutputCommands.h"

#include <cstdint>
#include <cstring>

#include "base/Text.h"
#include "core/Reply.h"
#include "core/Tessaro.h"

void Dout(Tessaro& t, ReplySink& reply, const char* outn_str, const char* mode_str) {
  if (outn_str == nullptr) {
    SendReply(reply, "Tessaro.Dout: outn_str nicht angegeben");
    return;
  }
  const int32_t outn = parseInt(outn_str);
  if (mode_str == nullptr) {
    SendReply(reply, "Tessaro.Dout: mode_str nicht angegeben");
    return;
  }
  const int32_t mode = ParseOutputMode(mode_str);
  if (mode < 0) {
    SendReply(reply, "Tessaro.Dout: mode=%s nicht zul\xE4ssig", mode_str);
    return;
  }
  // Logged before the change is tried: a channel that does not exist is
  // logged as "?".
  t.log.LogEvent(0, "%s: %s", OutputName(t, outn), OutputModeName(mode));
  int32_t changed = 0;
  if (SetOutputMode(t, outn, mode, changed) < 0) {
    t.MarkSlowData();
    SendReply(reply, "Tessaro.Dout: out%d = %s fehlgeschlagen", outn, mode_str);
    return;
  }
  if (changed != 0) t.MarkSlowData();
  SendReply(reply, "ok\r\n");
}

void Dout_Bin(Tessaro& t, ReplySink& reply, const char* mask_str, const char* mode_str) {
  if (mask_str == nullptr) {
    SendReply(reply, "Tessaro.Dout_Bin: mask_str nicht angegeben");
    return;
  }
  const int32_t mask = parseInt(mask_str);
  if (mode_str == nullptr) {
    SendReply(reply, "Tessaro.Dout_Bin: mode_str nicht angegeben");
    return;
  }
  const int32_t mode = ParseOutputMode(mode_str);
  if (mode < 0) {
    SendReply(reply, "Tessaro.Dout_Bin: mode=%s nicht definiert", mode_str);
    return;
  }
  t.log.LogEvent(0, "Maske %d: %s", mask, OutputModeName(mode));
  int32_t changed = 0;
  for (int32_t i = 0; i < OutputTable::kSize && t.outputs.get(i) != nullptr; ++i) {
    if (((static_cast<uint32_t>(mask) >> i) & 1u) == 0) continue;
    // Channels set before a failing one keep their new mode.
    if (SetOutputMode(t, i, mode, changed) < 0) {
      SendReply(reply, "Tessaro.Dout_Bin: out%d = \"%s\" fehlgeschlagen", i, mode_str);
      return;
    }
  }
  if (changed != 0) t.MarkSlowData();
  SendReply(reply, "ok\r\n");
}

void Dout_Timer(Tessaro& t, ReplySink& reply, const char* outn_str, const char* time_str,
                const char* output_str) {
  if (outn_str == nullptr) {
    SendReply(reply, "Tessaro.Dout_Timer: outn_str nicht angegeben");
    return;
  }
  const int32_t outn = parseInt(outn_str);
  const int32_t minutes = parseInt(time_str != nullptr ? time_str : "0");
  if (output_str == nullptr) {
    SendReply(reply, "Tessaro.Dout_Timer: output_str nicht angegeben");
    return;
  }
  const bool on = std::strcmp(output_str, "true") == 0;
  t.log.LogEvent(0, on ? "%s: Timer = %d min [ein]" : "%s: Timer = %d min [off]", OutputName(t, outn),
                 minutes);
  // The result is not looked at: a timer on a missing channel is answered ok.
  StartOutputTimer(t, outn, minutes, on ? 1 : 0);
  t.MarkSlowData();
  SendReply(reply, "ok\r\n");
}

void SetDebug(Tessaro& t, ReplySink& reply, const char* enaoutp_str) {
  if (enaoutp_str != nullptr) {
    t.EnableOutput = parseInt(enaoutp_str) != 0;
    t.MarkSlowData();
  }
  SendReply(reply, "ok\r\n");
}
