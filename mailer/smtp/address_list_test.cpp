#include "mailer/smtp/address_list.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

using List = std::vector<std::string>;

// Splits `text` as one header line; returns the addresses and, through
// `*more`, whether the list goes on.
List Split(const std::string& text, bool* more = nullptr) {
  std::string list = text;
  List recipients;
  bool goes_on = SplitAddressList(&list, &recipients);
  EXPECT_TRUE(list.empty());
  if (more != nullptr) *more = goes_on;
  return recipients;
}

TEST(SplitAddressListTest, EntriesAndContinuation) {
  bool more;
  {
    EXPECT_EQ(Split("a@x.org, b@x.org,c@x.org", &more), (List{"a@x.org", "b@x.org", "c@x.org"}));
    EXPECT_FALSE(more);
  }
  {  // A trailing comma keeps the last address and asks for the next line.
    EXPECT_EQ(Split(" a@x.org, b@x.org, ", &more), (List{"a@x.org", "b@x.org"}));
    EXPECT_TRUE(more);
  }
  {  // Blanks only: nothing yet, the addresses follow.
    EXPECT_EQ(Split(" \t\r\n", &more), List{});
    EXPECT_TRUE(more);
  }
  {  // Two commas in a row leave an empty address between their neighbours.
    EXPECT_EQ(Split("a@x.org,,b@x.org", &more), (List{"a@x.org", "", "b@x.org"}));
    EXPECT_FALSE(more);
  }
  {  // Duplicates stay.
    EXPECT_EQ(Split("a@x.org, a@x.org"), (List{"a@x.org", "a@x.org"}));
  }
}

TEST(SplitAddressListTest, DisplayNamesAndAngleBrackets) {
  EXPECT_EQ(Split("\"Ann\" <ann@x.org>, Bob < bob@x.org >"), (List{"ann@x.org", "bob@x.org"}));
  // A "<" without a ">" after it gives an empty address.
  EXPECT_EQ(Split("Ann <ann@x.org, b@x.org"), (List{"", "b@x.org"}));
  // Commas and brackets inside a quoted name belong to the name.
  EXPECT_EQ(Split("\"Lee, Ann\" <ann@x.org>, \"O<b>\" <bob@x.org>"),
            (List{"ann@x.org", "bob@x.org"}));
  EXPECT_EQ(Split("\"Say \\\"hi, there\\\"\" <c@x.org>"), List{"c@x.org"});
  // A quote that never closes does not swallow the rest of the list.
  EXPECT_EQ(Split("\"Lee <ann@x.org>, b@x.org"), (List{"ann@x.org", "b@x.org"}));
}

TEST(AddressOfEntryTest, TakesTheBracketedPart) {
  EXPECT_EQ(AddressOfEntry("  \"Ann\" <ann@x.org>  "), "ann@x.org");
  EXPECT_EQ(AddressOfEntry("  ann@x.org "), "ann@x.org");
  EXPECT_EQ(AddressOfEntry("<>"), "");
  EXPECT_EQ(AddressOfEntry(""), "");
}

}  // namespace
}  // namespace verdanpost
