#pragma once
// The plain SELECT form the conversions open recordsets with:
//   SELECT * | col [, col ...] FROM table [WHERE col op literal [AND ...]] [ORDER BY col [ASC|DESC] [, ...]]
// Names may be bare, [bracketed], "double-quoted" or `back-quoted`.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/value.h"

namespace platform::db {

enum class Comparison { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };

struct Condition {
  std::string column;
  Comparison comparison = Comparison::Equal;
  Value literal;
};

struct OrderTerm {
  std::string column;
  bool descending = false;
};

struct SelectStatement {
  std::vector<std::string> columns;  // empty: every column
  std::string table;
  std::vector<Condition> conditions;  // all must hold
  std::vector<OrderTerm> order;
};

// True when the source is SQL text rather than a table name.
bool looksLikeSelect(std::string_view source);

// nullopt when the text is not of the plain form above.
std::optional<SelectStatement> parseSelect(std::string_view sql);

// A name quoted for SQLite: "MAIN%Display" -> "\"MAIN%Display\"".
std::string quoteName(std::string_view name);

}  // namespace platform::db
