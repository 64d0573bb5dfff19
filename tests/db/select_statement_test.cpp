#include "platform/db/select_statement.h"

#include <gtest/gtest.h>

using namespace platform::db;

TEST(SelectStatement, ReadsThePlainFormsWithEveryQuoting) {
  auto whole = parseSelect("Select * From MAIN Order By address");
  ASSERT_TRUE(whole);
  EXPECT_TRUE(whole->columns.empty());
  EXPECT_EQ(whole->table, "MAIN");
  ASSERT_EQ(whole->order.size(), 1u);
  EXPECT_EQ(whole->order[0].column, "address");
  EXPECT_FALSE(whole->order[0].descending);

  auto quoted = parseSelect("SELECT [100%Value], \"DiaplayChar\" FROM [MAIN%Display] WHERE Type = 'A''B' AND x >= -2.5 ORDER BY `Type` DESC, x;");
  ASSERT_TRUE(quoted);
  EXPECT_EQ(quoted->columns, (std::vector<std::string>{"100%Value", "DiaplayChar"}));
  EXPECT_EQ(quoted->table, "MAIN%Display");
  ASSERT_EQ(quoted->conditions.size(), 2u);
  EXPECT_EQ(quoted->conditions[0].literal, Value("A'B"));
  EXPECT_EQ(quoted->conditions[1].comparison, Comparison::GreaterOrEqual);
  EXPECT_EQ(quoted->conditions[1].literal.number(), -2.5);
  EXPECT_TRUE(quoted->order[0].descending);

  // Access reads a double-quoted text after a comparison as text.
  auto doubleQuotedValue = parseSelect("select symbol from MAIN where address = \"1A2B\"");
  ASSERT_TRUE(doubleQuotedValue);
  EXPECT_EQ(doubleQuotedValue->conditions[0].literal, Value("1A2B"));
}

TEST(SelectStatement, RefusesWhatItCannotRunFaithfully) {
  EXPECT_FALSE(parseSelect("SELECT * FROM"));
  EXPECT_FALSE(parseSelect("SELECT * FROM a, b"));
  EXPECT_FALSE(parseSelect("SELECT * FROM a WHERE x = 1 OR y = 2"));
  EXPECT_FALSE(parseSelect("SELECT * FROM a WHERE x = 'open"));
  EXPECT_FALSE(parseSelect("SELECT count(*) FROM a"));
  EXPECT_FALSE(parseSelect("SELECT * FROM a ORDER address"));
  EXPECT_TRUE(looksLikeSelect("  select * from x"));
  EXPECT_FALSE(looksLikeSelect("MAIN%Display"));
  EXPECT_FALSE(looksLikeSelect("Selection"));
  EXPECT_EQ(quoteName("a\"b"), "\"a\"\"b\"");
}
