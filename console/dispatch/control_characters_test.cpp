#include "console/dispatch/control_characters.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

TEST(ControlCharactersTest, WhatMayNotStandInAHeader) {
  const QString nul = QString("nul") + QChar(0) + "x";
  for (const QString& text :
       {QString("a\rb"), QString("a\nb"), QString("a\tb"), nul, QString("esc\x1b"),
        QString("del\x7f"), QString::fromUtf16(u"nel\u0085"), QString::fromUtf16(u"line\u2028"),
        QString::fromUtf16(u"paragraph\u2029")}) {
    EXPECT_TRUE(HoldsControlCharacter(text)) << text.toStdString();
  }
  for (const char16_t* text : {u"", u"Ann Lee", u"B\u00e9la \u00a0Nagy", u"\u5c71\u7530 <x@y>"}) {
    EXPECT_FALSE(HoldsControlCharacter(QString::fromUtf16(text)))
        << QString::fromUtf16(text).toStdString();
  }
}

TEST(ControlCharactersTest, TheMailingAddressMayBreakLines) {
  EXPECT_FALSE(HoldsControlCharacterBesidesLineBreaks("1 Main St\r\nTown\tX\n"));
  EXPECT_TRUE(HoldsControlCharacterBesidesLineBreaks("1 Main St\r\nTown\x1b"));
  EXPECT_TRUE(HoldsControlCharacterBesidesLineBreaks(QString::fromUtf16(u"Town\u2028")));
}

TEST(ControlCharactersTest, SendableAddresses) {
  EXPECT_TRUE(IsSendableAddress("a@x.test"));
  EXPECT_TRUE(IsSendableAddress(" a@x.test"));
  for (const char* address : {"", " ", "\t", "a@x.test\r\n", "a@x.test\r\nX-Injected: yes"}) {
    EXPECT_FALSE(IsSendableAddress(address)) << address;
  }
}

}  // namespace
}  // namespace verdanpost
