#pragma once
// Row-by-row writing of one table, for bulk sample data: the rows are walked in table order,
// each one edited or a new one appended, field by ordinal. Everything written between opening
// and close() is one transaction; a writer destroyed without close() writes nothing.
#include <string>
#include <string_view>

#include "platform/db/db_error.h"
#include "platform/db/value.h"

namespace platform::db {

class TableWriter {
 public:
  virtual ~TableWriter() = default;
  virtual int fieldCount() const = 0;
  virtual std::string fieldName(int ordinal) const = 0;
  // The ordinal of the named field (without regard to case); a DbError names a missing one.
  int fieldOrdinal(std::string_view name) const {
    for (int ordinal = 0; ordinal < fieldCount(); ++ordinal)
      if (sameName(fieldName(ordinal), name)) return ordinal;
    throw DbError("No column \"" + std::string(name) + "\" to write.");
  }
  virtual void moveFirst() = 0;
  virtual void moveNext() = 0;
  virtual bool eof() const = 0;
  // Starts a new row; update() appends it. The position does not change.
  virtual void addNew() = 0;
  // Starts changing the current row; update() writes it.
  virtual void edit() = 0;
  virtual void setField(int ordinal, const Value& value) = 0;
  virtual void setField(int ordinal, double number) = 0;
  virtual void update() = 0;
  // Commits.
  virtual void close() = 0;
};

}  // namespace platform::db
