#include "testing/test_certificates.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace verdanpost::testing_support {
namespace {

void Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
    throw std::runtime_error("certificates: failed: " + command);
  }
}

// Elliptic-curve keys: made in milliseconds, unlike RSA ones.
constexpr char kNewKey[] = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

void MakeAuthority(const std::string& dir, const std::string& name, const std::string& title) {
  Run("openssl req -x509 " + std::string(kNewKey) + " -days 2 -keyout " + dir + "/" + name +
      ".key -out " + dir + "/" + name + ".pem -subj '/CN=" + title + "'");
}

// An authority whose own certificate expired a day ago (req refuses that).
void MakeExpiredAuthority(const std::string& dir, const std::string& name) {
  std::string base = dir + "/" + name;
  std::ofstream(base + ".ext") << "basicConstraints=critical,CA:TRUE\nkeyUsage=keyCertSign\n";
  Run("openssl req -new " + std::string(kNewKey) + " -keyout " + base + ".key -out " + base +
      ".csr -subj '/CN=Expired CA'");
  Run("openssl x509 -req -days -1 -in " + base + ".csr -signkey " + base + ".key -extfile " + base +
      ".ext -out " + base + ".pem");
}

// `days` -1 makes a certificate that expired a day ago.
void MakeServer(const std::string& dir, const std::string& name, const std::string& authority,
                const std::string& alt_names, int serial, int days = 2) {
  std::string base = dir + "/" + name;
  std::ofstream(base + ".ext") << "subjectAltName=" << alt_names
                               << "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n";
  Run("openssl req -new " + std::string(kNewKey) + " -keyout " + base + ".key -out " + base +
      ".csr -subj '/CN=" + name + "'");
  Run("openssl x509 -req -days " + std::to_string(days) + " -in " + base + ".csr -CA " + dir + "/" +
      authority + ".pem -CAkey " + dir + "/" + authority + ".key -set_serial " +
      std::to_string(serial) + " -extfile " + base + ".ext -out " + base + ".pem");
}

}  // namespace

TestCertificates::TestCertificates() {
  char pattern[] = "/tmp/verdanpost_certs_XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("certificates: no folder");
  folder_ = pattern;
  MakeAuthority(folder_, "ca", "Verdanpost Test CA");
  MakeAuthority(folder_, "stranger", "Unknown CA");
  MakeServer(folder_, "localhost", "ca", "DNS:localhost,IP:127.0.0.1", 2);
  MakeServer(folder_, "other", "ca", "DNS:other.example.org", 3);
  MakeServer(folder_, "untrusted", "stranger", "DNS:localhost,IP:127.0.0.1", 4);
  MakeServer(folder_, "expired", "ca", "DNS:localhost,IP:127.0.0.1", 5, -1);
  MakeExpiredAuthority(folder_, "expired_ca");
  MakeServer(folder_, "under_expired_ca", "expired_ca", "DNS:localhost,IP:127.0.0.1", 6);
}

TestCertificates::~TestCertificates() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace verdanpost::testing_support
