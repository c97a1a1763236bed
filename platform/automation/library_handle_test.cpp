#include "platform/automation/library_handle.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <utility>

namespace verdanpost {
namespace {

using StrlenFn = size_t (*)(const char*);

TEST(LibraryHandleTest, OpensFindsAndHandsOverOneHandle) {
  std::string err;
  LibraryHandle library = LibraryHandle::Open("libc.so.6", &err);
  ASSERT_TRUE(library.is_open()) << err;
  EXPECT_EQ(library.Function<StrlenFn>("strlen")("four"), 4u);
  EXPECT_EQ(library.Function<StrlenFn>("no_such_function_here"), nullptr);

  // The handle moves: the source is left empty, and only the target closes.
  LibraryHandle moved = std::move(library);
  EXPECT_FALSE(library.is_open());
  EXPECT_EQ(library.Function<StrlenFn>("strlen"), nullptr);
  ASSERT_TRUE(moved.is_open());
  moved = LibraryHandle();
  EXPECT_FALSE(moved.is_open());
}

TEST(LibraryHandleTest, MissingLibraryGivesTheLoadersReason) {
  std::string err;
  LibraryHandle library = LibraryHandle::Open("/nonexistent/libnothing.so", &err);
  EXPECT_FALSE(library.is_open());
  EXPECT_NE(err.find("/nonexistent/libnothing.so"), std::string::npos) << err;
}

}  // namespace
}  // namespace verdanpost
