#include "platform/automation/registry.h"

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/registry_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/sub/classes-root.reg";
  }
  void TearDown() override { system(("rm -rf '" + dir_ + "'").c_str()); }

  void WriteFile(const std::string& text) {
    mkdir((dir_ + "/sub").c_str(), 0755);
    std::ofstream(path_, std::ios::binary) << text;
  }
  std::string ReadFile() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Names in the file's directory, to see that no temporary file stays.
  int EntriesInDirectory() const {
    DIR* d = opendir((dir_ + "/sub").c_str());
    int n = 0;
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
    return n;
  }

  std::string dir_;
  std::string path_;
};

TEST_F(RegistryTest, SaveAndLoadRoundTrip) {
  Registry reg;
  std::string err;
  ASSERT_TRUE(reg.Load(path_, &err)) << err;  // missing file: empty registry
  EXPECT_FALSE(reg.KeyExists("CLSID"));
  reg.SetValue("Verdanpost.SMTPMailer.1", "", "SMTPMailer Class");
  reg.SetValue("CLSID\\{X}\\InprocServer32", "", "C:\\odd \"path\"\nline");
  reg.SetValue("CLSID\\{X}\\InprocServer32", "Threading\"Model", "Apartment");
  reg.CreateKey("CLSID\\{X}\\Programmable");
  ASSERT_TRUE(reg.Save(path_, &err)) << err;  // creates the directory too

  Registry back;
  ASSERT_TRUE(back.Load(path_, &err)) << err;
  EXPECT_EQ(back.Serialize(), reg.Serialize());
  EXPECT_EQ(back.GetValue("verdanpost.smtpmailer.1"), "SMTPMailer Class");
  EXPECT_EQ(back.GetValue("clsid\\{x}\\inprocserver32"), "C:\\odd \"path\"\nline");
  EXPECT_EQ(back.GetValue("CLSID\\{X}\\InprocServer32", "Threading\"Model"), "Apartment");
  EXPECT_TRUE(back.KeyExists("CLSID\\{X}\\Programmable"));
  EXPECT_TRUE(back.KeyExists("CLSID"));
  EXPECT_FALSE(back.GetValue("CLSID\\{X}\\Programmable"));
}

TEST_F(RegistryTest, DeleteKeyTakesSubkeysButNotSiblings) {
  Registry reg;
  reg.SetValue("A\\B\\C", "", "1");
  reg.SetValue("A\\BC", "", "2");
  reg.SetValue("A\\B!", "", "3");
  EXPECT_TRUE(reg.DeleteKey("a\\b"));
  EXPECT_FALSE(reg.KeyExists("A\\B"));
  EXPECT_FALSE(reg.KeyExists("A\\B\\C"));
  EXPECT_EQ(reg.GetValue("A\\BC"), "2");
  EXPECT_EQ(reg.GetValue("A\\B!"), "3");
  EXPECT_FALSE(reg.DeleteKey("A\\B"));
}

TEST_F(RegistryTest, SaveReplacesTheFileAtomically) {
  WriteFile("[Old]\n@=\"1\"\n");
  // A reader that opened the old file keeps reading the old file whole.
  std::ifstream old_reader(path_, std::ios::binary);
  Registry reg;
  std::string err;
  reg.SetValue("New", "", "2");
  ASSERT_TRUE(reg.Save(path_, &err)) << err;
  std::stringstream old_text;
  old_text << old_reader.rdbuf();
  EXPECT_EQ(old_text.str(), "[Old]\n@=\"1\"\n");
  EXPECT_EQ(ReadFile(), reg.Serialize());
  EXPECT_EQ(EntriesInDirectory(), 1);
}

TEST_F(RegistryTest, DamagedFileIsReportedAndLeftAlone) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"@=\"x\"\n", ":1: value outside of any key"},
      {"; c\n[A]\n@=\"x\n", ":3: malformed value"},
      {"[A]\n\"n\" = \"x\"\n", ":2: expected '=' after the value name"},
      {"[A]\n@=\"x\" y\n", ":2: unexpected text after the value"},
      {"[A\n", ":1: malformed key header"},
      {"[A]\n@=\"\\q\"\n", ":2: malformed value"},
      {"[A]\nname=\"x\"\n", ":2: malformed value name"},
  };
  for (const Case& c : cases) {
    WriteFile(c.text);
    Registry reg;
    std::string err;
    EXPECT_FALSE(reg.Load(path_, &err)) << c.text;
    EXPECT_EQ(err, path_ + c.error);
    EXPECT_FALSE(reg.KeyExists("A"));
    EXPECT_EQ(ReadFile(), c.text);
  }
}

TEST_F(RegistryTest, DefaultPathFollowsTheEnvironment) {
  setenv("AUTOMATION_REGISTRY", path_.c_str(), 1);
  EXPECT_EQ(Registry::DefaultPath(), path_);
  unsetenv("AUTOMATION_REGISTRY");
  setenv("XDG_DATA_HOME", "/x/data", 1);
  EXPECT_EQ(Registry::DefaultPath(), "/x/data/verdanpost/classes-root.reg");
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", "/home/ann", 1);
  EXPECT_EQ(Registry::DefaultPath(), "/home/ann/.local/share/verdanpost/classes-root.reg");
}

}  // namespace
}  // namespace verdanpost
