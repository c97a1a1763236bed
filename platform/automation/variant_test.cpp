#include "platform/automation/variant.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

// Converts `from` to `vt`; returns the HRESULT and the converted value.
HRESULT Convert(const Variant& from, VARTYPE vt, Variant* to) {
  return VariantChangeType(to->Receive(), &from.get(), 0, vt);
}

TEST(VariantTest, ChangeTypeCoercesAsAutomationCallersExpect) {
  Variant out;
  {
    ASSERT_EQ(Convert(Variant(true), VT_I4, &out), S_OK);
    EXPECT_EQ(out.type(), VT_I4);
    EXPECT_EQ(out.get().lVal, -1);
    ASSERT_EQ(Convert(Variant(false), VT_I4, &out), S_OK);
    EXPECT_EQ(out.get().lVal, 0);
  }
  {
    ASSERT_EQ(Convert(Variant(int32_t{-300}), VT_I2, &out), S_OK);
    EXPECT_EQ(out.get().iVal, -300);
    Variant wide;
    ASSERT_EQ(Convert(out, VT_I4, &wide), S_OK);
    EXPECT_EQ(wide.get().lVal, -300);
    EXPECT_EQ(Convert(Variant(int32_t{40000}), VT_I2, &out), DISP_E_OVERFLOW);
  }
  {
    ASSERT_EQ(Convert(Variant(int32_t{42}), VT_BSTR, &out), S_OK);
    EXPECT_EQ(out.ToString(), "42");
    ASSERT_EQ(Convert(Variant(true), VT_BSTR, &out), S_OK);
    EXPECT_EQ(out.ToString(), "True");
    ASSERT_EQ(Convert(Variant(), VT_BSTR, &out), S_OK);
    EXPECT_EQ(out.type(), VT_BSTR);
    EXPECT_EQ(out.ToString(), "");
  }
  {
    ASSERT_EQ(Convert(Variant(" 17 "), VT_I4, &out), S_OK);
    EXPECT_EQ(out.get().lVal, 17);
    ASSERT_EQ(Convert(Variant("True"), VT_I4, &out), S_OK);
    EXPECT_EQ(out.get().lVal, -1);
    ASSERT_EQ(Convert(Variant("0"), VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.get().boolVal, VARIANT_FALSE);
    EXPECT_EQ(Convert(Variant("12abc"), VT_I4, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Convert(Variant(""), VT_I4, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Convert(Variant("99999999999"), VT_I4, &out), DISP_E_OVERFLOW);
  }
}

TEST(VariantTest, ConversionInPlaceAndCopiesOwnTheirStrings) {
  {
    VARIANT raw;
    VariantInit(&raw);
    raw.vt = VT_BSTR;
    raw.bstrVal = BstrFromUtf8("123");
    ASSERT_EQ(VariantChangeType(&raw, &raw, 0, VT_I4), S_OK);  // frees the old string
    EXPECT_EQ(raw.vt, VT_I4);
    EXPECT_EQ(raw.lVal, 123);
    VariantClear(&raw);
  }
  {
    Variant a("text");
    Variant b = a;
    ASSERT_NE(a.get().bstrVal, b.get().bstrVal);
    a = Variant(int32_t{1});
    EXPECT_EQ(b.ToString(), "text");
  }
}

}  // namespace
}  // namespace verdanpost
