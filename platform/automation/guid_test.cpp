#include "platform/automation/guid.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

TEST(GuidTest, ParseAndFormatRoundTrip) {
  {
    std::optional<GUID> g = ParseGuid("{0b0f3d77-b6b0-45a7-9746-3244293020ba}");
    ASSERT_TRUE(g);
    EXPECT_EQ(g->Data1, 0x0B0F3D77u);
    EXPECT_EQ(g->Data4[0], 0x97);
    EXPECT_EQ(g->Data4[7], 0xBA);
    EXPECT_EQ(FormatGuid(*g), "{0B0F3D77-B6B0-45A7-9746-3244293020BA}");
    EXPECT_EQ(ParseGuid(FormatGuid(*g)), g);
    // The same text at compile time, for texts made from GUID constants.
    static_assert(
        std::string_view(
            GuidText({0x0B0F3D77, 0xB6B0, 0x45A7, {0x97, 0x46, 0x32, 0x44, 0x29, 0x30, 0x20, 0xBA}})
                .data()) == "{0B0F3D77-B6B0-45A7-9746-3244293020BA}");
  }
  {
    for (const char* bad :
         {"", "0B0F3D77-B6B0-45A7-9746-3244293020BA", "{0B0F3D77-B6B0-45A7-9746-3244293020B}",
          "{0B0F3D77-B6B0-45A7-9746-3244293020BAA}", "{0B0F3D77+B6B0-45A7-9746-3244293020BA}",
          "{0B0F3D77-B6B0-45A7-97463-244293020BA}", "{0B0F3D7G-B6B0-45A7-9746-3244293020BA}"}) {
      EXPECT_FALSE(ParseGuid(bad)) << bad;
    }
  }
}

}  // namespace
}  // namespace verdanpost
