#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class ReplySink;
class Tessaro;

// The named parameters of one request line. The table keeps its own copy of
// the line, split in place, so every name and value is a zero-terminated text
// that stays valid as long as the table (no allocation).
class ParamTable {
 public:
  static constexpr int32_t kMaxItems = 8;
  static constexpr size_t kMaxLine = 1023;

  enum class Split { Ok, Empty, TooMany };

  ParamTable() = default;
  ParamTable(const ParamTable&) = delete;  // the entries point into line_
  ParamTable& operator=(const ParamTable&) = delete;

  // Takes the text of line up to its first zero byte, then up to the first
  // line feed (leading line feeds skipped), then up to the first carriage
  // return (leading ones skipped); longer than 1023 characters it is cut.
  // The text is split at "&" into items, empty items skipped; an item is
  // name, "=" and value, leading "=" skipped, the value everything after the
  // name's "=". Empty: nothing left of the line. TooMany: a ninth item; the
  // table is then empty.
  Split split(std::string_view line);

  // The value of the first item named name; null when there is none, or when
  // that item has no value.
  const char* GetParam(std::string_view name) const;

  int32_t count() const { return count_; }
  // Null for an item made only of "=" (it matches no name) or without value.
  const char* name(int32_t i) const { return name_[i]; }
  const char* value(int32_t i) const { return value_[i]; }
  // The position of the last item named cmd, -1 when there is none.
  int32_t commandPosition() const { return command_; }

 private:
  void clear();

  char line_[kMaxLine + 1] = {};
  const char* name_[kMaxItems] = {};
  const char* value_[kMaxItems] = {};
  int32_t count_ = 0;
  int32_t command_ = -1;
};

// Parses one request line, checks command and user, dispatches to the command
// handler and sends exactly one reply. The event log holds the user's name
// while the handler runs (so its entries carry the user's initial) and none
// again on return.
void ParseUrlPara(Tessaro& t, std::string_view line, ReplySink& reply);
