#pragma once

#include <string_view>

class ReplySink;
class Tessaro;

// Parses one request line (its text up to the first line feed and carriage
// return), checks command and user, dispatches to the command handler and
// sends exactly one reply.
void ParseUrlPara(Tessaro& t, std::string_view line, ReplySink& reply);
