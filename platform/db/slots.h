#pragma once
// The three shared database operations the conversions go through. A connection slot holds at
// most one open connection, a recordset slot at most one recordset; an open replaces what the
// slot held.
#include <filesystem>
#include <memory>
#include <string_view>

#include "platform/db/connection.h"

namespace platform::db {

using ConnectionSlot = std::shared_ptr<Connection>;
using RecordsetSlot = std::unique_ptr<Recordset>;

void OpenDbConnection(ConnectionSlot& slot, const std::filesystem::path& path, const OpenOptions& options = {});
void OpenDbRecordset(RecordsetSlot& slot, Connection& connection, std::string_view source);
void CloseDbConnection(ConnectionSlot& slot);

}  // namespace platform::db
