#include "platform/automation/classes_root.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include "platform/automation/creation.h"
#include "platform/automation/guid.h"

namespace verdanpost {
namespace {

constexpr char kClassId[] = "{6F1E3A52-0C8D-4B7A-9E21-5D3C7B8A1F40}";

// A user's data folder and a system registry file of the test's own (ctest
// runs each test in a process of its own, so the environment stays set).
class ClassesRootTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/classes_root_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    user_path_ = dir_ + "/data/verdanpost/classes-root.reg";
    system_path_ = dir_ + "/etc/verdanpost/classes-root.reg";
    unsetenv("AUTOMATION_REGISTRY");
    setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
    setenv("AUTOMATION_SYSTEM_REGISTRY", system_path_.c_str(), 1);
  }
  void TearDown() override { system(("rm -rf '" + dir_ + "'").c_str()); }

  // Registers kClassId under "Test.Object.1" in the file at `path`, served
  // by `library`.
  static void Register(const std::string& path, const std::string& library) {
    Registry registry;
    std::string err;
    ASSERT_TRUE(registry.Load(path, &err)) << err;
    registry.SetValue("Test.Object.1\\CLSID", "", kClassId);
    registry.SetValue(std::string("CLSID\\") + kClassId + "\\InprocServer32", "", library);
    ASSERT_TRUE(registry.Save(path, &err)) << err;
  }

  std::optional<std::string> Server() const {
    ClassesRoot root;
    std::string err;
    EXPECT_TRUE(root.Load(&err)) << err;
    return root.GetValue(std::string("CLSID\\") + kClassId + "\\InprocServer32");
  }

  std::string dir_, user_path_, system_path_;
};

TEST_F(ClassesRootTest, SystemRegistrationServesEveryUser) {
  Register(system_path_, "/usr/lib/system.so");
  EXPECT_EQ(Server(), "/usr/lib/system.so");
  // Creation by ProgID reads it too.
  CLSID clsid;
  std::string err;
  ASSERT_EQ(CLSIDFromProgID("Test.Object.1", &clsid, &err), S_OK) << err;
  EXPECT_EQ(FormatGuid(clsid), kClassId);
}

TEST_F(ClassesRootTest, UserRegistrationShadowsTheSystemOne) {
  Register(system_path_, "/usr/lib/system.so");
  Register(user_path_, "/home/ann/own.so");
  EXPECT_EQ(Server(), "/home/ann/own.so");
  // Values the user's file lacks still come from the system file.
  Registry user;
  std::string err;
  ASSERT_TRUE(user.Load(user_path_, &err));
  user.DeleteKey("Test.Object.1");
  ASSERT_TRUE(user.Save(user_path_, &err));
  ClassesRoot root;
  ASSERT_TRUE(root.Load(&err)) << err;
  EXPECT_EQ(root.GetValue("Test.Object.1\\CLSID"), kClassId);
  EXPECT_EQ(Server(), "/home/ann/own.so");
}

TEST_F(ClassesRootTest, NamedRegistryIsTheOnlyFileRead) {
  Register(system_path_, "/usr/lib/system.so");
  const std::string named = dir_ + "/named.reg";
  setenv("AUTOMATION_REGISTRY", named.c_str(), 1);
  EXPECT_EQ(Server(), std::nullopt);
  Register(named, "/tmp/named.so");
  EXPECT_EQ(Server(), "/tmp/named.so");
}

}  // namespace
}  // namespace verdanpost
