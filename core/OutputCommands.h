#pragma once

class ReplySink;
class Tessaro;

// The operator's commands on the output channels. Arguments are the request's
// texts, null when the parameter is missing or has no value; numbers in them
// are read leniently (no digits: 0). Each handler sends exactly one reply:
// an argument check's reply has no line end, success is "ok\r\n". Log
// entries carry the dispatching user's initial, which the event log keeps.

// Sets the mode of channel outn.
void Dout(Tessaro& t, ReplySink& reply, const char* outn_str, const char* mode_str);

// Sets the mode of every channel whose bit is set in mask, channels 0, 1, ...
// up to the first empty slot; stops at the first channel that fails.
void Dout_Bin(Tessaro& t, ReplySink& reply, const char* mask_str, const char* mode_str);

// Holds channel outn on (output exactly "true") or off for time minutes; a
// missing time is 0, which ends a running timer.
void Dout_Timer(Tessaro& t, ReplySink& reply, const char* outn_str, const char* time_str,
                const char* output_str);

// EnableOutput = (enaoutp != 0); a missing enaoutp changes nothing.
void SetDebug(Tessaro& t, ReplySink& reply, const char* enaoutp_str);
