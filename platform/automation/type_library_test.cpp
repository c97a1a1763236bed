#include "platform/automation/type_library.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

// A dual interface with one member of each supported signature.
class IFake : public IDispatch {
 public:
  virtual HRESULT Join(BSTR a, BSTR b) = 0;  // slot 7
  virtual HRESULT get_Count(LONG* value) = 0;
  virtual HRESULT put_Count(LONG value) = 0;
  virtual HRESULT get_Name(BSTR* value) = 0;
  virtual HRESULT Eight(BSTR a, BSTR b, BSTR c, BSTR d, BSTR e, BSTR f, BSTR g, BSTR h) = 0;

 protected:
  ~IFake() = default;
};

class Fake final : public IFake {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT Join(BSTR a, BSTR b) override {
    calls += "Join(" + BstrToUtf8(a) + "," + BstrToUtf8(b) + ")";
    joined = {a, b};
    return S_OK;
  }
  HRESULT get_Count(LONG* value) override {
    *value = count;
    return S_OK;
  }
  HRESULT put_Count(LONG value) override {
    count = value;
    return S_OK;
  }
  HRESULT get_Name(BSTR* value) override {
    *value = BstrFromUtf8("fake \xE2\x9C\x93");
    return S_OK;
  }
  HRESULT Eight(BSTR a, BSTR b, BSTR c, BSTR d, BSTR e, BSTR f, BSTR g, BSTR h) override {
    for (BSTR s : {a, b, c, d, e, f, g, h}) calls += BstrToUtf8(s);
    return S_FALSE;
  }

  std::string calls;
  std::pair<BSTR, BSTR> joined;  // the strings the last Join was given
  LONG count = 0;
};

constexpr AutomationParamDesc kTwo[] = {{"First", VT_BSTR}, {"Second", VT_BSTR}};
constexpr AutomationParamDesc kLongOut[] = {{"pVal", VT_I4}};
constexpr AutomationParamDesc kLongIn[] = {{nullptr, VT_I4}};
constexpr AutomationParamDesc kStringOut[] = {{"pVal", VT_BSTR}};
constexpr AutomationParamDesc kEight[] = {{"a", VT_BSTR}, {"b", VT_BSTR}, {"c", VT_BSTR},
                                          {"d", VT_BSTR}, {"e", VT_BSTR}, {"f", VT_BSTR},
                                          {"g", VT_BSTR}, {"h", VT_BSTR}};
constexpr AutomationMemberDesc kMembers[] = {
    {1, kAutomationMethod, "Join", "", 7, 2, kTwo},
    {2, kAutomationPropertyGet, "Count", "", 8, 1, kLongOut},
    {2, kAutomationPropertyPut, "Count", "", 9, 1, kLongIn},
    {3, kAutomationPropertyGet, "Name", "", 10, 1, kStringOut},
    {4, kAutomationMethod, "Eight", "", 11, 8, kEight},
};
constexpr AutomationTypeLibraryDesc kLibrary = {"FAKELib",
                                                "",
                                                "{00000000-0000-0000-0000-000000000001}",
                                                1,
                                                0,
                                                "Fake",
                                                "",
                                                "{00000000-0000-0000-0000-000000000002}",
                                                "IFake",
                                                "",
                                                "{00000000-0000-0000-0000-000000000003}",
                                                5,
                                                kMembers};

class TypeLibraryTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CreateTypeInfo(kLibrary, &info_), S_OK); }
  void TearDown() override { info_->Release(); }

  HRESULT IdOf(const std::u16string& name, DISPID* id) {
    std::u16string copy = name;
    LPOLESTR names[] = {copy.data()};
    return info_->GetIDsOfNames(names, 1, id);
  }
  // Invokes with `args` given first to last.
  HRESULT Call(DISPID id, WORD flags, std::vector<Variant> args, Variant* result = nullptr,
               UINT* arg_err = nullptr) {
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->get());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr,
                      static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    Variant ignored;
    return info_->Invoke(static_cast<IFake*>(&fake_), id, flags, &params,
                         (result != nullptr ? result : &ignored)->Receive(), nullptr, arg_err);
  }

  ITypeInfo* info_ = nullptr;
  Fake fake_;
};

TEST_F(TypeLibraryTest, CallsReachTheirSlotsWithCoercedArguments) {
  DISPID id = 0;
  {
    ASSERT_EQ(IdOf(u"jOIN", &id), S_OK);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(Call(id, DISPATCH_METHOD, {Variant("x"), Variant(int32_t{7})}), S_OK);
    EXPECT_EQ(fake_.calls, "Join(x,7)");
  }
  {
    // A string argument reaches the member as the caller's own BSTR, not a
    // copy; a converted one as a string of its own.
    std::vector<Variant> args;
    args.emplace_back("text");
    args.emplace_back(int32_t{8});
    const BSTR given = args[0].get().bstrVal;
    EXPECT_EQ(Call(1, DISPATCH_METHOD, std::move(args)), S_OK);
    EXPECT_EQ(fake_.joined.first, given);
    EXPECT_NE(fake_.joined.second, nullptr);
    EXPECT_NE(fake_.joined.second, given);
  }
  {
    ASSERT_EQ(IdOf(u"count", &id), S_OK);
    EXPECT_EQ(Call(id, DISPATCH_PROPERTYPUT, {Variant(true)}), S_OK);
    Variant value;
    EXPECT_EQ(Call(id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, &value), S_OK);
    EXPECT_EQ(value.type(), VT_I4);
    EXPECT_EQ(value.get().lVal, -1);
    EXPECT_EQ(Call(id, DISPATCH_PROPERTYPUT, {Variant("12")}), S_OK);
    EXPECT_EQ(fake_.count, 12);
  }
  {
    Variant value;
    EXPECT_EQ(Call(3, DISPATCH_PROPERTYGET, {}, &value), S_OK);
    EXPECT_EQ(value.ToString(), "fake \xE2\x9C\x93");
  }
  {
    fake_.calls.clear();
    std::vector<Variant> args;
    for (const char* s : {"1", "2", "3", "4", "5", "6", "7", "8"}) args.emplace_back(s);
    EXPECT_EQ(Call(4, DISPATCH_METHOD, args), S_FALSE);  // the member's own status
    EXPECT_EQ(fake_.calls, "12345678");
  }
}

TEST_F(TypeLibraryTest, DispatchErrorsNeverCallTheObject) {
  DISPID id = 0;
  {
    EXPECT_EQ(IdOf(u"Nope", &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
  }
  {
    std::u16string join = u"Join", second = u"second", bad = u"third";
    LPOLESTR names[] = {join.data(), second.data(), bad.data()};
    DISPID ids[3];
    EXPECT_EQ(info_->GetIDsOfNames(names, 3, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], DISPID_UNKNOWN);
  }
  {
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {Variant("x")}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {Variant("x"), Variant("y"), Variant("z")}),
              DISP_E_BADPARAMCOUNT);
  }
  {
    UINT arg_err = 99;
    EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Variant("lots")}, nullptr, &arg_err),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_err, 0u);
    Variant empty_dispatch;
    VARIANT* raw = empty_dispatch.Receive();
    raw->vt = VT_DISPATCH;
    raw->pdispVal = nullptr;
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {empty_dispatch, Variant("y")}, nullptr, &arg_err),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_err, 1u);  // the first argument sits last in rgvarg
  }
  {
    EXPECT_EQ(Call(3, DISPATCH_PROPERTYPUT, {Variant("x")}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(2, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(1, DISPATCH_PROPERTYGET, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(42, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
  }
  {
    VARIANT arg;
    VariantInit(&arg);
    DISPID named = 0;
    DISPPARAMS params{&arg, &named, 1, 1};
    EXPECT_EQ(info_->Invoke(static_cast<IFake*>(&fake_), 2, DISPATCH_PROPERTYPUT, &params, nullptr,
                            nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);
  }
  EXPECT_EQ(fake_.calls, "");
  EXPECT_EQ(fake_.count, 0);
}

TEST(TypeLibraryDescTest, MalformedDescriptionsAreRefused) {
  ITypeInfo* info = nullptr;
  constexpr AutomationParamDesc kInt[] = {{"n", VT_I4}};
  for (AutomationMemberDesc bad :
       {AutomationMemberDesc{1, kAutomationMethod, "M", "", 7, 1, kInt},
        AutomationMemberDesc{1, kAutomationMethod, "M", "", 3, 0, nullptr},
        AutomationMemberDesc{1, kAutomationPropertyGet, "P", "", 7, 0, nullptr},
        AutomationMemberDesc{1, 9, "X", "", 7, 0, nullptr}}) {
    AutomationTypeLibraryDesc lib = kLibrary;
    lib.member_count = 1;
    lib.members = &bad;
    EXPECT_EQ(CreateTypeInfo(lib, &info), E_INVALIDARG) << bad.name;
    EXPECT_EQ(info, nullptr);
  }
}

}  // namespace
}  // namespace verdanpost
