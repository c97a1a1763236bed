// End-to-end tests of libverdanpost.so through the automation runtime: the
// library is registered in a temporary registry and reached by ProgID, as
// the console and autocall reach it.

#include "mailer/smtp_mailer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "mailer/ismtp_mailer.h"
#include "mailer/utf16_message_text.h"
#include "platform/automation/automation_object.h"
#include "platform/automation/creation.h"
#include "platform/automation/library_handle.h"
#include "platform/automation/registry.h"
#include "testing/scripted_smtp_peer.h"

namespace verdanpost {
namespace {

using testing_support::PeerReply;
using testing_support::ScriptedSmtpPeer;
using testing_support::SmtpStep;

constexpr char kProgId[] = "Verdanpost.SMTPMailer.1";
constexpr char kClassKey[] = "CLSID\\{0B0F3D77-B6B0-45A7-9746-3244293020BA}";
constexpr char kTypeLibKey[] = "TypeLib\\{DF0C4A4F-8363-4F68-9299-CE98696E1FBC}\\1.0";

std::string BuildDir() {
  const char* dir = std::getenv("VERDANPOST_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// An outer object that only counts the references its inner object passes
// on to it.
class CountingOuter final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  ULONG refs = 1;
};

class SMTPMailerTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/smtp_mailer_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    registry_path_ = dir_ + "/classes-root.reg";
    setenv("AUTOMATION_REGISTRY", registry_path_.c_str(), 1);
    library_ = BuildDir() + "/lib/libverdanpost.so";
  }
  void TearDown() override {
    FreeUnusedLibraries();
    unsetenv("AUTOMATION_REGISTRY");
    (void)!std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Runs a built tool with `args` (already quoted for the shell).
  ToolRun RunTool(const std::string& tool, const std::string& args) {
    std::string out = dir_ + "/out", err = dir_ + "/err";
    std::string command =
        BuildDir() + "/bin/" + tool + " " + args + " >'" + out + "' 2>'" + err + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
  }
  void Register() { ASSERT_EQ(RunTool("autoreg", "'" + library_ + "'").status, 0); }
  Registry LoadRegistry() {
    Registry registry;
    std::string err;
    EXPECT_TRUE(registry.Load(registry_path_, &err)) << err;
    return registry;
  }
  AutomationObject Create(const std::string& progid = kProgId) {
    std::string err;
    AutomationObject object = AutomationObject::Create(progid, &err);
    EXPECT_TRUE(object.valid()) << err;
    return object;
  }
  // A registered object whose ServerName is `peer`'s.
  AutomationObject SendingTo(const ScriptedSmtpPeer& peer) {
    Register();
    AutomationObject mailer = Create();
    if (mailer.valid()) {
      EXPECT_TRUE(mailer.Put("ServerName", Variant(peer.server_name())).ok());
    }
    return mailer;
  }

  std::string dir_;
  std::string registry_path_;
  std::string library_;
};

TEST_F(SMTPMailerTest, RegistrationWritesAndRemovesItsEntries) {
  Register();
  {
    Registry reg = LoadRegistry();
    EXPECT_EQ(reg.GetValue("Verdanpost.SMTPMailer.1"), "SMTPMailer Class");
    EXPECT_EQ(reg.GetValue("Verdanpost.SMTPMailer.1\\CLSID"),
              "{0B0F3D77-B6B0-45A7-9746-3244293020BA}");
    EXPECT_EQ(reg.GetValue("Verdanpost.SMTPMailer"), "SMTPMailer Class");
    EXPECT_EQ(reg.GetValue("Verdanpost.SMTPMailer\\CurVer"), "Verdanpost.SMTPMailer.1");
    EXPECT_EQ(reg.GetValue(kClassKey), "SMTPMailer Class");
    EXPECT_EQ(reg.GetValue(std::string(kClassKey) + "\\ProgID"), "Verdanpost.SMTPMailer.1");
    EXPECT_EQ(reg.GetValue(std::string(kClassKey) + "\\VersionIndependentProgID"),
              "Verdanpost.SMTPMailer");
    EXPECT_TRUE(reg.KeyExists(std::string(kClassKey) + "\\Programmable"));
    EXPECT_EQ(reg.GetValue(std::string(kClassKey) + "\\InprocServer32"), library_);
    EXPECT_EQ(reg.GetValue(std::string(kClassKey) + "\\InprocServer32", "ThreadingModel"),
              "Apartment");
    EXPECT_EQ(reg.GetValue(kTypeLibKey), "Verdanpost 1.0 Type Library");
    EXPECT_EQ(reg.GetValue(std::string(kTypeLibKey) + "\\0\\linux64"), library_);
  }
  {
    // Registering again rewrites the class key from scratch.
    Registry reg = LoadRegistry();
    reg.SetValue(std::string(kClassKey) + "\\Stale", "", "x");
    std::string err;
    ASSERT_TRUE(reg.Save(registry_path_, &err));
    Register();
    EXPECT_FALSE(LoadRegistry().KeyExists(std::string(kClassKey) + "\\Stale"));
  }
  {
    ToolRun run = RunTool("autoreg", "-u '" + library_ + "'");
    EXPECT_EQ(run.status, 0) << run.err;
    Registry reg = LoadRegistry();
    EXPECT_FALSE(reg.KeyExists("Verdanpost.SMTPMailer.1"));
    EXPECT_FALSE(reg.KeyExists("Verdanpost.SMTPMailer"));
    EXPECT_FALSE(reg.KeyExists(kClassKey));
    // Nothing of the registration is left, not even an empty parent key.
    EXPECT_EQ(reg.Serialize(), Registry().Serialize());
  }
  {
    std::string err;
    EXPECT_FALSE(AutomationObject::Create(kProgId, &err).valid());
    EXPECT_EQ(err, "ProgID Verdanpost.SMTPMailer.1 is not registered");
  }
}

// Runs |steps| (sh) with $autoreg, $library and $disk, a folder for the
// registry, set; as root in a mount namespace of its own, so that what the
// steps mount ends with them. Gives what they print.
ToolRun RunSteps(const std::string& dir, const std::string& library, const std::string& steps) {
  const std::string script = dir + "/steps.sh", out = dir + "/steps.out";
  std::ofstream(script) << "set -e\nautoreg='" << BuildDir() << "/bin/autoreg'\nlibrary='"
                        << library << "'\ndisk='" << dir << "/disk'\nmkdir -p \"$disk\"\n"
                        << "export AUTOMATION_REGISTRY=\"$disk/classes-root.reg\"\n"
                        << steps;
  std::string command =
      (geteuid() == 0 ? "unshare --mount sh '" : "sh '") + script + "' >'" + out + "' 2>&1";
  int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), ""};
}

TEST_F(SMTPMailerTest, UnregisteringReportsARegistryItCannotChange) {
  // Registered, then the registry's folder turns read-only: a read-only
  // mount for root, whom permissions do not stop, else the folder's mode.
  const bool root = geteuid() == 0;
  const std::string read_only = root ? "mount --bind \"$disk\" \"$disk\"\n"
                                       "mount -o remount,bind,ro \"$disk\"\n"
                                     : "chmod 0555 \"$disk\"\n";
  ToolRun run = RunSteps(dir_, library_,
                         "\"$autoreg\" \"$library\"\n"
                         "cp \"$AUTOMATION_REGISTRY\" \"$disk/../before.reg\"\n" +
                             read_only + "status=0; \"$autoreg\" -u \"$library\" || status=$?\n" +
                             (root ? "" : "chmod 0755 \"$disk\"\n") + "echo \"exit $status\"\n");
  const std::string reason =
      root ? "Read-only file system (0xA001001E)" : "Permission denied (0xA001000D)";
  EXPECT_EQ(run.out,
            "autoreg: DllUnregisterServer of " + library_ + " failed: " + reason + "\nexit 1\n");
  // The class is still registered, as the failure says.
  EXPECT_EQ(Slurp(registry_path_ = dir_ + "/disk/classes-root.reg"), Slurp(dir_ + "/before.reg"));
  EXPECT_TRUE(LoadRegistry().KeyExists(kClassKey));
}

TEST_F(SMTPMailerTest, RegistrationOnAFullDiskGivesTheSystemsReason) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
  ToolRun run = RunSteps(dir_, library_,
                         "mount -t tmpfs -o size=64k tmpfs \"$disk\"\n"
                         "\"$autoreg\" \"$library\"\n"
                         "cat /dev/zero >\"$disk/fill\" 2>/dev/null || true\n"
                         "\"$autoreg\" -u \"$library\" || echo \"exit $?\"\n"
                         "\"$autoreg\" \"$library\" || echo \"exit $?\"\n"
                         "grep -qxF '[Verdanpost.SMTPMailer.1]' \"$AUTOMATION_REGISTRY\"\n"
                         "echo still registered\n");
  const std::string failed = " of " + library_ + " failed: No space left on device (0xA001001C)\n";
  EXPECT_EQ(run.out, "autoreg: DllUnregisterServer" + failed +
                         "exit 1\nautoreg: DllRegisterServer" + failed +
                         "exit 1\nstill registered\n");
}

TEST_F(SMTPMailerTest, NewObjectReadsItsDefaultsByNameInAnyCase) {
  Register();
  for (const char* progid : {"Verdanpost.SMTPMailer.1", "Verdanpost.SMTPMailer"}) {
    AutomationObject mailer = Create(progid);
    ASSERT_TRUE(mailer.valid());
    EXPECT_EQ(mailer.Get("errorcode").value().get().lVal, -1);
    EXPECT_EQ(mailer.Get("ERRORMESSAGE").value().ToString(), "");
    EXPECT_EQ(mailer.Get("ServerName").value().ToString(), "mailhost");
    EXPECT_EQ(mailer.Get("ignoreTo").value().get().lVal, 0);
  }
}

TEST_F(SMTPMailerTest, MembersStoreAndReportWithoutTouchingTheErrorState) {
  Register();
  AutomationObject mailer = Create();
  ASSERT_TRUE(mailer.valid());
  {
    ASSERT_TRUE(mailer.Put("IgnoreTo", Variant(true)).ok());
    EXPECT_EQ(mailer.Get("IgnoreTo").value().get().lVal, -1);
  }
  {
    const std::string name = "smtp.\xC3\xA9xample.org \xF0\x9F\x93\xAE";
    ASSERT_TRUE(mailer.Put("servername", Variant(name)).ok());
    EXPECT_EQ(mailer.Get("ServerName").value().ToString(), name);
    EXPECT_EQ(mailer.Get("ErrorCode").value().get().lVal, -1);
  }
  {
    AutomationResult sent = mailer.Call("SendRawMessage", {Variant("anything")});
    EXPECT_TRUE(sent.ok()) << sent.error();
    EXPECT_EQ(mailer.Get("ErrorCode").value().get().lVal, 25);
    EXPECT_EQ(mailer.Get("ErrorMessage").value().ToString(),
              "SendRawMessage not implemented in this beta");
  }
  {
    EXPECT_EQ(mailer.Get("Missing").error(), "Missing: unknown name (0x80020006)");
    EXPECT_EQ(mailer.Put("ErrorCode", Variant(int32_t{0})).error(),
              "ErrorCode: member not found (0x80020003)");
    EXPECT_EQ(mailer.Call("SendMessage", {Variant("a")}).error(),
              "SendMessage: wrong number of parameters (0x8002000E)");
    EXPECT_EQ(mailer.Put("IgnoreTo", Variant("many")).error(),
              "IgnoreTo: type mismatch (0x80020005) in argument 1");
  }
  {
    // A send that fails before connecting still answers success.
    AutomationResult sent = mailer.Call("SendMessage", {Variant(""), Variant("b@x"), Variant(""),
                                                        Variant(""), Variant(""), Variant("")});
    EXPECT_TRUE(sent.ok());
    EXPECT_EQ(mailer.Get("ErrorCode").value().get().lVal, 50);
    EXPECT_EQ(mailer.Get("ErrorMessage").value().ToString(), "From parameter required");
  }
  {
    // The file members answer from their own slots: a missing file is
    // refused before any connection (SendMessage would try to connect).
    const std::string missing = dir_ + "/missing.eml";
    ASSERT_TRUE(mailer.Put("ServerName", Variant("no-such-host.invalid")).ok());
    ASSERT_TRUE(mailer.Put("IgnoreTo", Variant(int32_t{0})).ok());
    AutomationResult raw = mailer.Call("SendRawMessageFromFile", {Variant(missing)});
    EXPECT_TRUE(raw.ok()) << raw.error();
    EXPECT_EQ(mailer.Get("ErrorCode").value().get().lVal, 4);
    EXPECT_EQ(mailer.Get("ErrorMessage").value().ToString(), "Cannot open file");
    AutomationResult file =
        mailer.Call("SendMessageFromFile", {Variant("a@x.org"), Variant("b@x.org"), Variant(""),
                                            Variant(""), Variant(""), Variant(missing)});
    EXPECT_TRUE(file.ok()) << file.error();
    EXPECT_EQ(mailer.Get("ErrorCode").value().get().lVal, 4);
    AutomationResult text =
        mailer.Call("SendMessage", {Variant("a@x.org"), Variant("b@x.org"), Variant(""),
                                    Variant(""), Variant(""), Variant(missing)});
    EXPECT_TRUE(text.ok()) << text.error();
    EXPECT_EQ(mailer.Get("ErrorCode").value().get().lVal, 6);  // the name does not resolve
  }
}

TEST_F(SMTPMailerTest, ObjectsAndLocksKeepTheLibraryLoaded) {
  Register();
  std::string err;
  LibraryHandle handle = LibraryHandle::Open(library_, &err);
  ASSERT_TRUE(handle.is_open()) << err;
  auto can_unload = handle.Function<DllCanUnloadNowFn>("DllCanUnloadNow");
  auto get_class = handle.Function<DllGetClassObjectFn>("DllGetClassObject");
  ASSERT_NE(can_unload, nullptr);
  ASSERT_NE(get_class, nullptr);
  EXPECT_EQ(can_unload(), S_OK);
  {
    AutomationObject mailer = Create();
    EXPECT_EQ(can_unload(), S_FALSE);
    FreeUnusedLibraries();
    EXPECT_EQ(LoadedServerLibraryCount(), 1u);
  }
  EXPECT_EQ(can_unload(), S_OK);
  {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(get_class(CLSID_SMTPMailer, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(1), S_OK);
    EXPECT_EQ(can_unload(), S_FALSE);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    EXPECT_EQ(can_unload(), S_OK);

    void* object = reinterpret_cast<void*>(1);
    CountingOuter outer;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_ISMTPMailer, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(can_unload(), S_OK);  // the refused object is gone again

    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ISMTPMailer, &object), S_OK);
    auto* mailer = static_cast<ISMTPMailer*>(object);
    BSTR text = nullptr;
    EXPECT_EQ(mailer->put_ServerName(nullptr), S_OK);  // a null string is empty text
    EXPECT_EQ(mailer->get_ServerName(&text), S_OK);
    EXPECT_EQ(SysStringLen(text), 0u);
    SysFreeString(text);
    void* dispatch = nullptr;
    EXPECT_EQ(mailer->QueryInterface(IID_IDispatch, &dispatch), S_OK);
    EXPECT_EQ(dispatch, object);
    EXPECT_EQ(mailer->QueryInterface(IID_ITypeInfo, &dispatch), E_NOINTERFACE);
    EXPECT_EQ(mailer->Release(), 1u);
    EXPECT_EQ(mailer->Release(), 0u);
    factory->Release();
  }
  EXPECT_EQ(can_unload(), S_OK);
  FreeUnusedLibraries();
  EXPECT_EQ(LoadedServerLibraryCount(), 0u);
}

TEST_F(SMTPMailerTest, AggregatedObjectDelegatesToItsOuterObject) {
  Register();
  CountingOuter outer;
  IUnknown* inner = nullptr;
  std::string err;
  ASSERT_EQ(CoCreateInstance(CLSID_SMTPMailer, &outer, IID_IUnknown,
                             reinterpret_cast<void**>(&inner), &err),
            S_OK)
      << err;
  ISMTPMailer* mailer = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ISMTPMailer, reinterpret_cast<void**>(&mailer)), S_OK);
  EXPECT_EQ(outer.refs, 2u);  // the interface counts on the outer object
  void* other = nullptr;
  EXPECT_EQ(mailer->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);  // asks the outer
  mailer->AddRef();
  EXPECT_EQ(outer.refs, 3u);
  mailer->Release();
  mailer->Release();
  EXPECT_EQ(outer.refs, 1u);
  LONG code = 0;
  EXPECT_EQ(mailer->get_ErrorCode(&code), S_OK);  // alive while the outer holds `inner`
  EXPECT_EQ(code, -1);
  void* again = nullptr;
  EXPECT_EQ(inner->QueryInterface(IID_IUnknown, &again), S_OK);
  EXPECT_EQ(again, inner);
  EXPECT_EQ(inner->Release(), 1u);
  EXPECT_EQ(inner->Release(), 0u);  // the object is gone
  FreeUnusedLibraries();
  EXPECT_EQ(LoadedServerLibraryCount(), 0u);
}

TEST_F(SMTPMailerTest, CreationFailuresSayWhatIsMissing) {
  Registry reg;
  reg.SetValue("Broken.Class\\CLSID", "", "{00000000-0000-0000-0000-0000000000AA}");
  reg.SetValue("CLSID\\{00000000-0000-0000-0000-0000000000AA}\\InprocServer32", "",
               dir_ + "/missing.so");
  reg.SetValue("Unplaced.Class\\CLSID", "", "{00000000-0000-0000-0000-0000000000BB}");
  std::string err;
  ASSERT_TRUE(reg.Save(registry_path_, &err));
  {
    EXPECT_FALSE(AutomationObject::Create("Broken.Class", &err).valid());
    EXPECT_EQ(err, "Broken.Class: cannot load server library " + dir_ + "/missing.so: " + dir_ +
                       "/missing.so: cannot open shared object file: No such file or directory");
  }
  {
    EXPECT_FALSE(AutomationObject::Create("Unplaced.Class", &err).valid());
    EXPECT_EQ(err,
              "Unplaced.Class: class {00000000-0000-0000-0000-0000000000BB} is not registered");
  }
  {
    std::ofstream(registry_path_) << "[Broken\n";
    EXPECT_FALSE(AutomationObject::Create("Broken.Class", &err).valid());
    EXPECT_EQ(err, registry_path_ + ":1: malformed key header");
  }
}

TEST_F(SMTPMailerTest, ToolsReportThroughExitStatusAndOutput) {
  {
    ToolRun run = RunTool("autoreg", "'" + dir_ + "/none.so'");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("autoreg: cannot load " + dir_ + "/none.so: "), std::string::npos)
        << run.err;
    EXPECT_EQ(RunTool("autoreg", "").status, 2);
  }
  {
    std::ofstream(registry_path_) << "[A]\nbroken\n";
    ToolRun run = RunTool("autoreg", "'" + library_ + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "autoreg: " + registry_path_ + ":2: malformed value name\n");
    EXPECT_EQ(Slurp(registry_path_), "[A]\nbroken\n");
    std::remove(registry_path_.c_str());
  }
  {
    ToolRun run = RunTool("autocall", "Verdanpost.SMTPMailer.1 ErrorCode");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "autocall: ProgID Verdanpost.SMTPMailer.1 is not registered\n");
  }
  Register();
  {
    ToolRun run = RunTool("autocall",
                          "Verdanpost.SMTPMailer ServerName='\"mx.example.org:2525\"' "
                          "IgnoreTo=true IgnoreTo ServerName ErrorCode ErrorMessage "
                          "'SendRawMessage(\"x\")' ErrorCode ErrorMessage");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "-1\nmx.example.org:2525\n-1\n\n25\nSendRawMessage not implemented in this beta\n");
    EXPECT_EQ(run.err, "");
  }
  {
    ToolRun run = RunTool("autocall", "Verdanpost.SMTPMailer.1 ErrorCode Bogus ErrorCode");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "-1\n");
    EXPECT_EQ(run.err, "autocall: Bogus: unknown name (0x80020006)\n");
  }
  {
    ToolRun run = RunTool("autocall", "Verdanpost.SMTPMailer.1 'SendMessage(\"a\", \"b\")'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "autocall: SendMessage: wrong number of parameters (0x8002000E)\n");
  }
  {
    ToolRun run = RunTool("autocall", "Verdanpost.SMTPMailer.1 'SendMessage(\"a\"'");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "autocall: missing ')' in 'SendMessage(\"a\"'\n");
  }
}

TEST_F(SMTPMailerTest, SendsThroughTheRegisteredLibrary) {
  ScriptedSmtpPeer peer;
  AutomationObject mailer = SendingTo(peer);
  ASSERT_TRUE(mailer.valid());
  const std::string subject = "Gr\xC3\xBC\xC3\x9F\x65 \xF0\x9F\x98\x80";
  AutomationResult sent =
      mailer.Call("sendmessage", {Variant("\"Ann\" <ann@example.org>"), Variant("bob@example.org"),
                                  Variant(""), Variant(""), Variant(subject), Variant("Hi Bob")});
  ASSERT_TRUE(sent.ok()) << sent.error();
  EXPECT_EQ(mailer.Get("ErrorMessage").value().ToString(), "Message sent");
  EXPECT_EQ(mailer.Get("ErrorCode").value().get().lVal, 0);
  mailer.Reset();
  std::string received = peer.transcript();
  EXPECT_NE(received.find("<ann@example.org>"), std::string::npos) << received;
  EXPECT_NE(received.find("<bob@example.org>"), std::string::npos) << received;
  // The subject crossed as UTF-8 and goes out as an encoded word of its bytes.
  EXPECT_NE(received.find("Subject: =?UTF-8?B?R3LDvMOfZSDwn5iA?=\r\n"), std::string::npos)
      << received;
  EXPECT_NE(received.find("\r\nHi Bob"), std::string::npos) << received;
  EXPECT_NE(received.find("QUIT\r\n"), std::string::npos) << received;
}

TEST_F(SMTPMailerTest, LongTextArrivesExactOverThePiecesItIsConvertedIn) {
  ScriptedSmtpPeer peer;
  AutomationObject mailer = SendingTo(peer);
  ASSERT_TRUE(mailer.valid());
  // The text crosses the conversion's piece cuts with a surrogate pair, a
  // line that starts with a dot, and a CR LF parted by the cut. Its lines
  // stay short enough to go as they stand.
  constexpr size_t kPiece = Utf16MessageText::kPieceUnits;
  std::u16string text = u"Hi\r\n";
  auto fill = [&text](size_t until, char16_t unit) {
    while (text.size() + 100 < until) text.append(98, unit).append(u"\r\n");
    text.append(until - text.size(), unit);
  };
  fill(kPiece - 1, u'x');
  text += u"\U0001F600";  // the first piece ends after its low half
  text += u"\r\n.dot \u00E9\u65E5";
  fill(2 * kPiece, u'y');
  text += u"\r\n.end";  // the cut falls between CR and LF
  std::vector<Variant> args;
  for (const char* field : {"ann@example.org", "bob@example.org", "", "", "Long"}) {
    args.emplace_back(field);
  }
  args.emplace_back(Bstr(std::u16string_view(text)));
  AutomationResult sent = mailer.Call("SendMessage", args);
  ASSERT_TRUE(sent.ok()) << sent.error();
  EXPECT_EQ(mailer.Get("ErrorMessage").value().ToString(), "Message sent");
  std::string body = Utf16ToUtf8(text);
  for (size_t at = body.find("\r\n."); at != std::string::npos; at = body.find("\r\n.", at + 4)) {
    body.insert(at + 2, ".");
  }
  mailer.Reset();
  std::string received = peer.transcript();
  EXPECT_NE(received.find("\r\n\r\n" + body + "\r\n.\r\n"), std::string::npos);
  // Only the text goes beyond ASCII, and it was not converted to tell.
  EXPECT_NE(received.find("\r\nContent-Type: text/plain; charset=UTF-8\r\n"), std::string::npos);
}

// The members that came after the first ten, by name as the console calls
// them, and a kept session driven from autocall.
TEST_F(SMTPMailerTest, LaterMembersReachTheMailer) {
  ScriptedSmtpPeer peer;
  peer.SetRcptReplyFor("gone@example.org", PeerReply::Text("550 5.1.1 no such user\r\n"));
  AutomationObject mailer = SendingTo(peer);
  ASSERT_TRUE(mailer.valid());
  EXPECT_EQ(mailer.Get("ServerReply").value().ToString(), "");
  EXPECT_EQ(mailer.Get("ServerAddress").value().ToString(), "");
  EXPECT_EQ(mailer.Get("PartialDelivery").value().get().lVal, 0);
  EXPECT_EQ(mailer.Get("KeepConnection").value().get().lVal, 0);
  ASSERT_TRUE(mailer.Put("PartialDelivery", Variant(true)).ok());
  EXPECT_EQ(mailer.Get("PartialDelivery").value().get().lVal, -1);
  ASSERT_TRUE(mailer.Put("KeepConnection", Variant(true)).ok());
  std::vector<Variant> args;
  for (const char* field :
       {"ann@example.org", "bob@example.org", "", "gone@example.org", "Hi", "Hello"}) {
    args.emplace_back(field);
  }
  ASSERT_TRUE(mailer.Call("SendMessage", args).ok());
  EXPECT_EQ(mailer.Get("ErrorCode").value().get().lVal, 0);
  EXPECT_EQ(mailer.Get("ServerReply").value().ToString(), "250 Queued");
  EXPECT_EQ(mailer.Get("RefusedRecipients").value().ToString(),
            "gone@example.org\t550\t550 5.1.1 no such user\n");
  EXPECT_EQ(mailer.Get("ServerAddress").value().ToString(), peer.server_name());
  EXPECT_EQ(mailer.Get("FailureReason").value().ToString(), "");
  ASSERT_TRUE(mailer.Put("ExtraHeaders", Variant("List-Id: <news.example.org>")).ok());
  EXPECT_EQ(mailer.Get("ExtraHeaders").value().ToString(), "List-Id: <news.example.org>");
  ASSERT_TRUE(mailer.Call("SendMessage", args).ok());
  ASSERT_TRUE(mailer.Call("Disconnect", {}).ok());
  EXPECT_EQ(peer.connections(), 1);
  ASSERT_EQ(peer.received_messages().size(), 2u);
  EXPECT_NE(peer.received_messages()[1].find("\r\nList-Id: <news.example.org>\r\n"),
            std::string::npos);
  EXPECT_EQ(peer.commands().back(), "QUIT");
  {                                             // Where and why a connection failed.
    uint16_t port = ScriptedSmtpPeer().port();  // closed again at once
    ASSERT_TRUE(mailer.Put("ServerName", Variant("127.0.0.1:" + std::to_string(port))).ok());
    ASSERT_TRUE(mailer.Call("SendMessage", args).ok());
    EXPECT_EQ(mailer.Get("ErrorCode").value().get().lVal, 6);
    EXPECT_EQ(mailer.Get("ServerAddress").value().ToString(), "127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(mailer.Get("FailureReason").value().ToString(), "Connection refused");
  }
  {  // A server that takes two recipients per transaction says so by its 452.
    EXPECT_EQ(mailer.Get("RecipientLimit").value().get().lVal, 0);
    ScriptedSmtpPeer limited;
    for (size_t i = 2; i < 4; ++i) {
      limited.SetRcptReply(i, PeerReply::Text("452 4.5.3 Error: too many recipients\r\n"));
    }
    ASSERT_TRUE(mailer.Put("ServerName", Variant(limited.server_name())).ok());
    std::vector<Variant> four = args;
    four[1] = Variant("a@example.org, b@example.org, c@example.org, d@example.org");
    four[3] = Variant("");
    ASSERT_TRUE(mailer.Call("SendMessage", four).ok());
    EXPECT_EQ(mailer.Get("ErrorCode").value().get().lVal, 0);
    EXPECT_EQ(mailer.Get("RecipientLimit").value().get().lVal, 2);
    ASSERT_TRUE(mailer.Call("Disconnect", {}).ok());
    EXPECT_EQ(limited.received_messages().size(), 2u);
    EXPECT_EQ(mailer.Put("RecipientLimit", Variant(int32_t{5})).error(),
              "RecipientLimit: member not found (0x80020003)");
  }
  mailer.Reset();

  ScriptedSmtpPeer second;
  ToolRun run = RunTool(
      "autocall", "Verdanpost.SMTPMailer ServerName='\"" + second.server_name() +
                      "\"' KeepConnection=true "
                      "'SendMessage(\"ann@example.org\", \"bob@example.org\", \"\", \"\", \"Hi\", "
                      "\"Hello\")' "
                      "'SendMessage(\"ann@example.org\", \"carl@example.org\", \"\", \"\", \"Hi\", "
                      "\"Hello\")' ErrorCode ServerReply 'Disconnect()'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "0\n250 Queued\n");
  EXPECT_EQ(second.connections(), 1);
  EXPECT_EQ(second.received_messages().size(), 2u);
  EXPECT_EQ(second.commands().back(), "QUIT");
}

}  // namespace
}  // namespace verdanpost
