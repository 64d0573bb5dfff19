// Access (Jet 3/4, ACE) files through libmdb, read-only. A table is read whole; the plain
// SELECT form is filtered and ordered here, as Jet would: text compared without regard to
// case, numbers as numbers, Null first.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/db/backend.h"
#include "platform/db/db_error.h"
#include "platform/db/select_statement.h"
#include "platform/db/table_writer.h"

namespace platform::db {

namespace {

constexpr const char* kDateFormat = "%Y-%m-%d %H:%M:%S";
constexpr const char* kShortDateFormat = "%Y-%m-%d";

ColumnType columnTypeOf(int mdbType) {
  switch (mdbType) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_COMPLEX: return ColumnType::Integer;
    case MDB_FLOAT: return ColumnType::Single;
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_NUMERIC: return ColumnType::Real;
    case MDB_TEXT:
    case MDB_MEMO: return ColumnType::Text;
    default: return ColumnType::Other;
  }
}

int compareText(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Both sides non-Null. Numbers compare as numbers when the column is numeric or both read as numbers.
int compareValues(const Value& a, const Value& b, ColumnType type) {
  auto na = a.number(), nb = b.number();
  bool numeric = type == ColumnType::Integer || type == ColumnType::Real || type == ColumnType::Single ||
                 (type != ColumnType::Text && a.kind() != Value::Kind::Text && b.kind() != Value::Kind::Text);
  if (na && nb && (numeric || (a.kind() != Value::Kind::Text || b.kind() != Value::Kind::Text)))
    return *na < *nb ? -1 : (*na > *nb ? 1 : 0);
  return compareText(a.text(), b.text());
}

bool holds(const Value& value, const Condition& condition, ColumnType type) {
  if (value.isNull() || condition.literal.isNull()) return false;
  int order = compareValues(value, condition.literal, type);
  switch (condition.comparison) {
    case Comparison::Equal: return order == 0;
    case Comparison::NotEqual: return order != 0;
    case Comparison::Less: return order < 0;
    case Comparison::LessOrEqual: return order <= 0;
    case Comparison::Greater: return order > 0;
    case Comparison::GreaterOrEqual: return order >= 0;
  }
  return false;
}

struct MdbHandleCloser {
  void operator()(MdbHandle* handle) const { mdb_close(handle); }
};
struct TableDefFreer {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Memo fields: a 32-bit length whose top bits say where the text is, then the row pointer of
// its first long-value page.
constexpr std::uint32_t kMemoInline = 0x80000000u;
constexpr std::uint32_t kMemoOnePage = 0x40000000u;
constexpr std::uint32_t kMemoFlags = 0xFF000000u;
constexpr std::uint32_t kMemoLengthMask = 0x3FFFFFFFu;
constexpr int kMemoPointerOffset = 4;
constexpr int kLongValueLinkBytes = 4;  // each page of a long memo starts with the next one's row pointer
constexpr int kRowOffsetMask = 0x1FFF;  // a row's offset in its page, below the row flags

// Jet stores a date as days since 1899-12-30, the fraction being the time of day; before that
// day the whole part counts back while the fraction still counts forward from midnight.
constexpr double kFirstAccessDate = -657434.0;  // 100-01-01
constexpr double kLastAccessDate = 2958466.0;   // 10000-01-01, excluded
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kDaysFromMarch0000To18991230 = 693899;  // proleptic Gregorian

struct CivilDate {
  std::int64_t year;
  int month, day;
};

// Days since 0000-03-01 to the civil date (the proleptic Gregorian calendar).
CivilDate civilFromDays(std::int64_t days) {
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // March = 0
  const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

}  // namespace

std::optional<std::string> AccessDateText(double stored, bool dateOnly) {
  if (!std::isfinite(stored) || stored < kFirstAccessDate || stored >= kLastAccessDate) return std::nullopt;
  const double whole = std::trunc(stored);
  auto day = static_cast<std::int64_t>(whole);
  auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(stored - whole) * kSecondsPerDay));
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++day;
  }
  const CivilDate date = civilFromDays(day + kDaysFromMarch0000To18991230);
  if (date.year > 9999) return std::nullopt;
  char text[64];
  if (dateOnly)
    std::snprintf(text, sizeof text, "%04lld-%02d-%02d", static_cast<long long>(date.year), date.month, date.day);
  else
    std::snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d", static_cast<long long>(date.year), date.month,
                  date.day, static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
  return std::string(text);
}

namespace {

class AccessBackend : public Backend {
 public:
  AccessBackend(const std::string& path, const std::string& jet3CodePage, bool verify) : path_(path) {
    handle_.reset(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!handle_) throw DbError("Cannot open Access database " + path + " (damaged or unreadable).");
    mdb_set_date_fmt(handle_.get(), kDateFormat);
    mdb_set_shortdate_fmt(handle_.get(), kShortDateFormat);
    // Before the catalog: Jet 3 table and column names are in the code page too.
    if (IS_JET3(handle_.get())) useJet3CodePage(jet3CodePage);
    if (!mdb_read_catalog(handle_.get(), MDB_TABLE)) {
      handle_.reset();
      throw DbError("Cannot read the table list of Access database " + path + ".");
    }
    if (verify) {
      if (std::string damage = damageFound(); !damage.empty()) {
        handle_.reset();
        throw DbError("The Access database " + path + " is damaged (" + damage + ") and is not used.");
      }
    }
  }
  std::string kindName() const override { return "Access"; }
  bool isOpen() const override { return handle_ != nullptr; }
  void close() override { handle_.reset(); }
  bool readOnly() const override { return true; }
  void setSyncEachCommit(bool) override {}

  LoadedRows load(std::string_view source) override {
    requireOpen();
    SelectStatement select;
    if (looksLikeSelect(source)) {
      auto parsed = parseSelect(source);
      if (!parsed) throw DbError("Only plain SELECT ... FROM ... [WHERE ...] [ORDER BY ...] is read from Access files: " +
                                 std::string(source));
      select = std::move(*parsed);
    } else {
      select.table = std::string(source);
    }
    LoadedRows whole = readTable(select.table);
    return applySelect(std::move(whole), select);
  }

  void execute(std::string_view sql) override {
    throw DbError("Access files are read-only here; cannot run: " + std::string(sql));
  }
  void executeAll(const std::vector<std::string>& statements) override {
    throw DbError("Access files are read-only here; cannot run: " + (statements.empty() ? std::string() : statements.front()));
  }
  std::vector<std::int64_t> writeBack(const std::string&, const std::vector<ColumnInfo>&, const BatchChanges&) override {
    throw DbError("Access files are read-only here: " + path_);
  }
  std::unique_ptr<TableWriter> openTableWriter(std::string_view) override {
    throw DbError("Access files are read-only here: " + path_);
  }

  std::vector<std::string> tableNames() override {
    requireOpen();
    std::vector<std::string> names;
    GPtrArray* catalog = handle_->catalog;
    for (guint i = 0; catalog && i < catalog->len; ++i) {
      auto entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
      if (entry->object_type != MDB_TABLE) continue;
      std::string name = entry->object_name;
      if (mdb_is_system_table(entry) || name.rfind("MSys", 0) == 0) continue;
      names.push_back(name);
    }
    return names;
  }

 private:
  void requireOpen() const {
    if (!handle_) throw DbError("The connection to " + path_ + " is closed.");
  }

  MdbCatalogEntry* findTable(std::string_view table) {
    GPtrArray* catalog = handle_->catalog;
    for (guint i = 0; catalog && i < catalog->len; ++i) {
      auto entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
      if (entry->object_type == MDB_TABLE && sameName(entry->object_name, table)) return entry;
    }
    throw DbError("No table \"" + std::string(table) + "\" in " + path_ + ".");
  }

  // libmdb reads Jet 3 text with its default code page; the file's writer used the system's.
  void useJet3CodePage(const std::string& codePage) {
    iconv_t in = iconv_open("UTF-8", codePage.c_str());
    iconv_t out = iconv_open(codePage.c_str(), "UTF-8");
    if (in == kNoConverter || out == kNoConverter) {
      if (in != kNoConverter) iconv_close(in);
      if (out != kNoConverter) iconv_close(out);
      handle_.reset();
      throw DbError("Unknown code page \"" + codePage + "\" for the Access 97 database " + path_ + ".");
    }
    mdb_iconv_close(handle_.get());
    handle_->iconv_in = in;
    handle_->iconv_out = out;
  }

  // A file cut off or with an unreadable table definition; empty when neither.
  std::string damageFound() {
    std::error_code error;
    const auto size = std::filesystem::file_size(path_, error);
    const auto pageSize = static_cast<std::uintmax_t>(handle_->fmt->pg_size);
    if (error) return "its size cannot be read";
    if (pageSize == 0 || size % pageSize != 0)
      return std::to_string(size) + " bytes, not whole pages of " + std::to_string(pageSize);
    for (const auto& name : tableNames()) {
      std::unique_ptr<MdbTableDef, TableDefFreer> table(mdb_read_table(findTable(name)));
      if (!table || !mdb_read_columns(table.get())) return "the table \"" + name + "\" cannot be read";
    }
    return {};
  }

  LoadedRows readTable(std::string_view tableName) {
    MdbCatalogEntry* entry = findTable(tableName);
    std::unique_ptr<MdbTableDef, TableDefFreer> table(mdb_read_table(entry));
    if (!table) throw DbError("Cannot read table \"" + std::string(tableName) + "\" in " + path_ + ".");
    if (!mdb_read_columns(table.get())) throw DbError("Cannot read the columns of \"" + std::string(tableName) + "\".");
    mdb_rewind_table(table.get());

    LoadedRows loaded;
    loaded.table = entry->object_name;
    const std::size_t count = table->num_cols;
    std::vector<MdbColumn*> columns(count);
    std::vector<std::unique_ptr<char[]>> buffers(count);
    std::vector<int> lengths(count, 0);
    for (std::size_t c = 0; c < count; ++c) {
      columns[c] = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
      loaded.columns.push_back({columns[c]->name, columnTypeOf(columns[c]->col_type)});
      // Memo and date fields are read from the row itself (libmdb would cut the one and
      // misread the other); everything else as libmdb formats it.
      if (columns[c]->col_type == MDB_MEMO || columns[c]->col_type == MDB_DATETIME) continue;
      buffers[c] = std::make_unique<char[]>(MDB_BIND_SIZE);
      mdb_bind_column(table.get(), static_cast<int>(c + 1), buffers[c].get(), &lengths[c]);
    }
    std::vector<MdbField> fields(count);
    std::int64_t rowNumber = 0;
    while (mdb_fetch_row(table.get())) {
      crackCurrentRow(*table, fields);
      LoadedRow row;
      row.rowId = rowNumber++;
      row.values.reserve(count);
      for (std::size_t c = 0; c < count; ++c) {
        const MdbField& field = fields[c];
        MdbColumn& column = *columns[c];
        // The null mask tells Null from empty text; a yes/no column keeps its value there.
        if (field.is_null && column.col_type != MDB_BOOL) {
          row.values.push_back(Value::null());
        } else if (column.col_type == MDB_MEMO) {
          row.values.push_back(Value(memoText(field)));
        } else if (column.col_type == MDB_DATETIME) {
          row.values.push_back(Value(dateText(field, column, tableName)));
        } else {
          auto size = std::min<std::size_t>(static_cast<std::size_t>(std::max(lengths[c], 0)), MDB_BIND_SIZE);
          row.values.push_back(Value(std::string(buffers[c].get(), strnlen(buffers[c].get(), size))));
        }
      }
      loaded.rows.push_back(std::move(row));
    }
    return loaded;
  }

  // The fields of the row mdb_fetch_row has just read (its page is the current one), by column.
  void crackCurrentRow(MdbTableDef& table, std::vector<MdbField>& byColumn) {
    int start = 0;
    std::size_t size = 0;
    std::vector<MdbField> fields(table.num_cols);
    if (table.cur_row == 0 || mdb_find_row(handle_.get(), static_cast<int>(table.cur_row) - 1, &start, &size) != 0 ||
        mdb_crack_row(&table, start & kRowOffsetMask, size, fields.data()) < 0)
      throw DbError("A row of table \"" + std::string(table.name) + "\" in " + path_ + " is damaged.");
    for (const MdbField& field : fields) {
      if (field.colnum < 0 || static_cast<std::size_t>(field.colnum) >= byColumn.size())
        throw DbError("A row of table \"" + std::string(table.name) + "\" in " + path_ + " is damaged.");
      byColumn[static_cast<std::size_t>(field.colnum)] = field;
    }
  }

  std::string dateText(const MdbField& field, MdbColumn& column, std::string_view tableName) {
    if (field.siz < static_cast<int>(sizeof(double)))
      throw DbError("A date in column \"" + std::string(column.name) + "\" of table \"" + std::string(tableName) +
                    "\" is damaged.");
    const double stored = mdb_get_double(handle_->pg_buf, field.start);
    if (auto text = AccessDateText(stored, mdb_col_is_shortdate(&column) != 0)) return *text;
    throw DbError("The date value " + std::to_string(stored) + " in column \"" + std::string(column.name) +
                  "\" of table \"" + std::string(tableName) + "\" in " + path_ + " lies outside the years 100 to 9999.");
  }

  // A memo's whole text, however many long-value pages it spans.
  std::string memoText(const MdbField& field) {
    if (field.siz == 0) return {};
    if (field.siz < MDB_MEMO_OVERHEAD) throw DbError("A memo field in " + path_ + " is damaged.");
    const unsigned char* page = handle_->pg_buf;
    const auto header = static_cast<std::uint32_t>(mdb_get_int32(const_cast<unsigned char*>(page), field.start));
    const std::size_t length = header & kMemoLengthMask;
    std::string raw;
    if (header & kMemoInline) {
      raw.assign(reinterpret_cast<const char*>(page) + field.start + MDB_MEMO_OVERHEAD,
                 static_cast<std::size_t>(field.siz - MDB_MEMO_OVERHEAD));
    } else if (header & kMemoOnePage) {
      auto [data, size] = longValueRow(mdb_get_int32(const_cast<unsigned char*>(page), field.start + kMemoPointerOffset));
      raw.assign(data, size);
    } else if ((header & kMemoFlags) == 0) {
      long next = mdb_get_int32(const_cast<unsigned char*>(page), field.start + kMemoPointerOffset);
      // Each page holds at least one byte, so a chain longer than the text loops.
      for (std::size_t pages = 0; next != 0 && raw.size() < length; ++pages) {
        auto [data, size] = longValueRow(next);
        if (size < static_cast<std::size_t>(kLongValueLinkBytes) || pages > length)
          throw DbError("A memo field in " + path_ + " is damaged.");
        next = mdb_get_int32(const_cast<char*>(data), 0);
        raw.append(data + kLongValueLinkBytes, size - kLongValueLinkBytes);
      }
    } else {
      throw DbError("A memo field in " + path_ + " is stored in a way not known here.");
    }
    if (raw.size() < length) throw DbError("A memo field in " + path_ + " is cut short.");
    raw.resize(length);
    return textOf(raw);
  }

  // The bytes of a long-value row ("page << 8 | row"), valid until the next such read.
  std::pair<const char*, std::size_t> longValueRow(long pointer) {
    void* buffer = nullptr;
    int offset = 0;
    std::size_t size = 0;
    if (mdb_find_pg_row(handle_.get(), static_cast<int>(pointer), &buffer, &offset, &size) != 0 || !buffer)
      throw DbError("A memo field in " + path_ + " points to a page that cannot be read.");
    return {static_cast<const char*>(buffer) + offset, size};
  }

  // Stored text (UCS-2, compressed UCS-2 or the Jet 3 code page) as UTF-8.
  std::string textOf(const std::string& raw) {
    if (raw.empty()) return {};
    // UTF-8 takes at most three bytes for what one stored byte or UCS-2 unit holds.
    std::string text(raw.size() * 3 + 16, '\0');
    int written = mdb_unicode2ascii(handle_.get(), raw.data(), raw.size(), text.data(), text.size());
    text.resize(static_cast<std::size_t>(std::max(written, 0)));
    return text;
  }

  static LoadedRows applySelect(LoadedRows whole, const SelectStatement& select) {
    auto ordinalOf = [&](const std::string& name) {
      for (std::size_t c = 0; c < whole.columns.size(); ++c)
        if (sameName(whole.columns[c].name, name)) return c;
      throw DbError("No column \"" + name + "\" in table " + whole.table + ".");
    };
    std::vector<std::pair<std::size_t, const Condition*>> conditions;
    for (const auto& condition : select.conditions) conditions.push_back({ordinalOf(condition.column), &condition});
    std::vector<std::pair<std::size_t, bool>> order;
    for (const auto& term : select.order) order.push_back({ordinalOf(term.column), term.descending});
    std::vector<std::size_t> picked;
    if (select.columns.empty()) {
      for (std::size_t c = 0; c < whole.columns.size(); ++c) picked.push_back(c);
    } else {
      for (const auto& name : select.columns) picked.push_back(ordinalOf(name));
    }

    std::vector<LoadedRow> rows;
    for (auto& row : whole.rows) {
      bool keep = std::all_of(conditions.begin(), conditions.end(), [&](const auto& condition) {
        return holds(row.values[condition.first], *condition.second, whole.columns[condition.first].type);
      });
      if (keep) rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const LoadedRow& a, const LoadedRow& b) {
      for (const auto& [column, descending] : order) {
        const Value& va = a.values[column];
        const Value& vb = b.values[column];
        int result = 0;
        if (va.isNull() || vb.isNull()) result = va.isNull() == vb.isNull() ? 0 : (va.isNull() ? -1 : 1);
        else result = compareValues(va, vb, whole.columns[column].type);
        if (result != 0) return descending ? result > 0 : result < 0;
      }
      return false;
    });

    LoadedRows result;
    result.table = whole.table;
    for (std::size_t c : picked) result.columns.push_back(whole.columns[c]);
    for (auto& row : rows) {
      LoadedRow projected;
      projected.rowId = row.rowId;
      for (std::size_t c : picked) projected.values.push_back(row.values[c]);
      result.rows.push_back(std::move(projected));
    }
    result.updatable = false;
    return result;
  }

  std::string path_;
  std::unique_ptr<MdbHandle, MdbHandleCloser> handle_;
};

}  // namespace

std::shared_ptr<Backend> openAccessBackend(const std::string& path, const std::string& jet3CodePage, bool verify) {
  return std::make_shared<AccessBackend>(path, jet3CodePage, verify);
}

}  // namespace platform::db
