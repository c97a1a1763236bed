#include "platform/automation/autocall_step.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

AutocallStep Parse(const std::string& text) {
  AutocallStep step;
  std::string err;
  EXPECT_TRUE(ParseAutocallStep(text, &step, &err)) << text << ": " << err;
  return step;
}

std::string ParseError(const std::string& text) {
  AutocallStep step;
  std::string err;
  EXPECT_FALSE(ParseAutocallStep(text, &step, &err)) << text;
  return err;
}

TEST(AutocallStepTest, PutsTypeTheirValue) {
  struct Case {
    const char* text;
    VARTYPE type;
    const char* value;
  };
  const Case cases[] = {
      {"IgnoreTo=1", VT_I4, "1"},
      {"IgnoreTo=-7", VT_I4, "-7"},
      {"IgnoreTo=true", VT_BOOL, "true"},
      {"IgnoreTo=false", VT_BOOL, "false"},
      {"IgnoreTo=99999999999", VT_BSTR, "99999999999"},  // not a 32-bit integer
      {"ServerName=mail.example.org:2525", VT_BSTR, "mail.example.org:2525"},
      {"ServerName=", VT_BSTR, ""},
      {"ServerName=\"42\"", VT_BSTR, "42"},
      {"ServerName=\"a \\\"b\\\" \\\\ \\r\\n\\t\"", VT_BSTR, "a \"b\" \\ \r\n\t"},
      {"ServerName=a=b(c)", VT_BSTR, "a=b(c)"},
      // Not wholly in double quotes: a string as it stands.
      {"ServerName=\"abc", VT_BSTR, "\"abc"},
      {"ServerName=\"a\"b", VT_BSTR, "\"a\"b"},
      {"ServerName=\"a\\q\"", VT_BSTR, "\"a\\q\""},
  };
  for (const Case& c : cases) {
    AutocallStep step = Parse(c.text);
    EXPECT_EQ(step.kind, AutocallStep::Kind::kPut) << c.text;
    ASSERT_EQ(step.args.size(), 1u);
    EXPECT_EQ(step.args[0].type(), c.type) << c.text;
    EXPECT_EQ(step.args[0].ToString(), c.value) << c.text;
  }
}

TEST(AutocallStepTest, GetsAndCalls) {
  {
    AutocallStep step = Parse("ErrorCode");
    EXPECT_EQ(step.kind, AutocallStep::Kind::kGet);
    EXPECT_EQ(step.name, "ErrorCode");
    EXPECT_TRUE(step.args.empty());
  }
  {
    AutocallStep step = Parse("Go( )");
    EXPECT_EQ(step.kind, AutocallStep::Kind::kCall);
    EXPECT_TRUE(step.args.empty());
  }
  {
    AutocallStep step =
        Parse("SendMessage(\"\\\"Lee, Ann\\\" <ann@example.org>\",\"b@x\" , \"\", 5,true, -1)");
    EXPECT_EQ(step.kind, AutocallStep::Kind::kCall);
    EXPECT_EQ(step.name, "SendMessage");
    ASSERT_EQ(step.args.size(), 6u);
    EXPECT_EQ(step.args[0].ToString(), "\"Lee, Ann\" <ann@example.org>");
    EXPECT_EQ(step.args[1].ToString(), "b@x");
    EXPECT_EQ(step.args[2].type(), VT_BSTR);
    EXPECT_EQ(step.args[2].ToString(), "");
    EXPECT_EQ(step.args[3].type(), VT_I4);
    EXPECT_EQ(step.args[4].type(), VT_BOOL);
    EXPECT_EQ(step.args[5].get().lVal, -1);
  }
}

TEST(AutocallStepTest, Errors) {
  EXPECT_EQ(ParseError(""), "expected a member name in ''");
  EXPECT_EQ(ParseError("=5"), "expected a member name in '=5'");
  EXPECT_EQ(ParseError("Name!"), "unexpected '!' after Name");
  EXPECT_EQ(ParseError("Call(\"\\q\")"), "unknown escape \\q");
  EXPECT_EQ(ParseError("Call(abc)"),
            "argument 1 of Call is not a quoted string, integer or true/false: 'abc'");
  EXPECT_EQ(ParseError("Call(1"), "missing ')' in 'Call(1'");
  EXPECT_EQ(ParseError("Call(1,"), "missing ')' in 'Call(1,'");
  EXPECT_EQ(ParseError("Call(\"a\" \"b\")"), "expected ',' or ')' in 'Call(\"a\" \"b\")'");
  EXPECT_EQ(ParseError("Call(1) x"), "unexpected text after ')' in 'Call(1) x'");
}

}  // namespace
}  // namespace verdanpost
