#include "platform/automation/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/registry_test_support.h"

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
  int EntriesInDirectory(const std::string& name = "/sub") const {
    DIR* d = opendir((dir_ + name).c_str());
    int n = 0;
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
    return n;
  }

  // Whether someone holds the lock beside `registry`: a try of our own
  // fails while they do.
  static bool Locked(const std::string& registry) {
    int fd = open((registry + ".lock").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return locked;
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

TEST_F(RegistryTest, DeleteEmptyParentsStopsAtAParentInUse) {
  Registry reg;
  reg.SetValue("TypeLib\\{L}\\1.0\\0\\linux64", "", "lib.so");
  reg.SetValue("TypeLib\\{L}\\2.0", "", "newer");
  reg.SetValue("Interface\\{I}\\TypeLib", "", "{L}");
  reg.SetValue("Interface", "Note", "kept for its value");
  reg.CreateKey("CLSID\\{C}\\Programmable");
  for (const char* key : {"TypeLib\\{L}\\1.0", "Interface\\{I}", "clsid\\{c}"}) {
    reg.DeleteKey(key);
    reg.DeleteEmptyParents(key);
  }
  // The other version keeps its library key; a value keeps its key.
  EXPECT_EQ(reg.GetValue("TypeLib\\{L}\\2.0"), "newer");
  EXPECT_EQ(reg.GetValue("Interface", "Note"), "kept for its value");
  EXPECT_FALSE(reg.KeyExists("CLSID"));
  reg.DeleteKey("TypeLib\\{L}\\2.0");
  reg.DeleteEmptyParents("TypeLib\\{L}\\2.0");
  EXPECT_FALSE(reg.KeyExists("TypeLib"));
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

TEST_F(RegistryTest, ByteOrderMarkIsAccepted) {
  WriteFile("\xEF\xBB\xBF[A]\r\n@=\"x\"\r\n");
  Registry reg;
  std::string err;
  ASSERT_TRUE(reg.Load(path_, &err)) << err;
  EXPECT_EQ(reg.GetValue("A"), "x");
  // Only at the start of the file, and line numbers still count from it.
  WriteFile("\xEF\xBB\xBF[A]\n\xEF\xBB\xBF@=\"x\"\n");
  EXPECT_FALSE(reg.Load(path_, &err));
  EXPECT_EQ(err, path_ + ":2: malformed value name");
}

TEST_F(RegistryTest, ConcurrentUpdatesKeepEveryKey) {
  // Between its load and its save, each writer waits until every other
  // writer still to save either waits for the lock or, were there no lock,
  // has loaded too: without the lock, every save would then overwrite the
  // others' keys.
  constexpr int kWriters = 10;
  std::atomic<int> unsaved{kWriters}, loaded{0};
  std::vector<std::thread> writers;
  std::vector<std::string> errors(kWriters);
  for (int i = 0; i < kWriters; ++i) {
    writers.emplace_back([this, i, &errors, &unsaved, &loaded] {
      Registry reg;
      std::string err;
      if (!reg.LoadForUpdate(path_, &err) || !Locked(path_)) {
        errors[i] = "load: " + err;
        --unsaved;
        return;
      }
      ++loaded;
      reg.SetValue("Class." + std::to_string(i) + "\\CLSID", "", std::to_string(i));
      while (test_support::LockWaiters(path_) + loaded < unsaved) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      --loaded;
      --unsaved;
      if (!reg.Save(path_, &err)) errors[i] = "save: " + err;
    });
  }
  for (std::thread& w : writers) w.join();
  Registry reg;
  std::string err;
  ASSERT_TRUE(reg.Load(path_, &err)) << err;
  for (int i = 0; i < kWriters; ++i) {
    EXPECT_EQ(errors[i], "");
    EXPECT_EQ(reg.GetValue("Class." + std::to_string(i) + "\\CLSID"), std::to_string(i));
  }
  EXPECT_FALSE(Locked(path_));
}

TEST_F(RegistryTest, UpdateLockEndsWithTheSaveOrTheRegistry) {
  std::string err;
  {
    Registry reg;
    ASSERT_TRUE(reg.LoadForUpdate(path_, &err)) << err;  // creates the directory
    EXPECT_TRUE(Locked(path_));
    reg.SetValue("A", "", "1");
    ASSERT_TRUE(reg.Save(path_, &err)) << err;
    // A later update in the same thread (type library after class) must not
    // wait for this registry to end.
    EXPECT_FALSE(Locked(path_));
  }
  {
    Registry reg;
    ASSERT_TRUE(reg.LoadForUpdate(path_, &err)) << err;
    EXPECT_EQ(reg.GetValue("A"), "1");
  }
  EXPECT_FALSE(Locked(path_));
  {
    WriteFile("[A\n");
    Registry reg;
    EXPECT_FALSE(reg.LoadForUpdate(path_, &err));
    EXPECT_EQ(err, path_ + ":1: malformed key header");
    EXPECT_FALSE(Locked(path_));
  }
  {
    setenv("AUTOMATION_REGISTRY", "/proc/no/such/classes-root.reg", 1);
    Registry reg;
    EXPECT_FALSE(LoadDefaultRegistry(&reg, &err));
    EXPECT_EQ(err.rfind("cannot create /proc/no", 0), 0u) << err;
    unsetenv("AUTOMATION_REGISTRY");
  }
}

TEST_F(RegistryTest, SymbolicLinkIsFollowedAndKept) {
  // A relative link into another folder, as a user keeps their files.
  mkdir((dir_ + "/sub").c_str(), 0755);
  mkdir((dir_ + "/real").c_str(), 0755);
  const std::string target = dir_ + "/real/mine.reg";
  ASSERT_EQ(symlink("../real/mine.reg", path_.c_str()), 0);
  std::string err;
  for (const char* value : {"1", "2"}) {  // the target missing, then there
    Registry reg;
    ASSERT_TRUE(reg.LoadForUpdate(path_, &err)) << err;
    reg.SetValue("A", "", value);
    ASSERT_TRUE(reg.Save(path_, &err)) << err;
    struct stat st;
    ASSERT_EQ(lstat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << value;
    std::ifstream in(target, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), reg.Serialize());
  }
  EXPECT_EQ(EntriesInDirectory("/sub"), 1);   // the link alone
  EXPECT_EQ(EntriesInDirectory("/real"), 2);  // the file and its lock
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
