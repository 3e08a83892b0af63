#include "core/RequestParser.h"

// Placeholder until the request parser lands: every line is ignored.
void ParseUrlPara(Tessaro&, std::string_view, ReplySink&) {}
