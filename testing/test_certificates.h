#ifndef VERDANPOST_TESTING_TEST_CERTIFICATES_H_
#define VERDANPOST_TESTING_TEST_CERTIFICATES_H_

#include <string>

namespace verdanpost::testing_support {

// A certificate authority and server certificates made for one test run by
// the openssl command, in a temporary folder that goes with the object.
// Throws std::runtime_error when they cannot be made.
class TestCertificates {
 public:
  TestCertificates();
  ~TestCertificates();
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  // The authority's certificate, as a CAFile.
  std::string ca_file() const { return folder_ + "/ca.pem"; }
  // Another authority, whose own certificate expired yesterday.
  std::string expired_ca_file() const { return folder_ + "/expired_ca.pem"; }
  // Certificate and key files of a server: "localhost" (names localhost and
  // 127.0.0.1, signed by the authority), "other" (names other.example.org,
  // signed by the authority), "untrusted" (names localhost, signed by an
  // authority that ca_file() does not hold), "expired" (as "localhost", but
  // it expired yesterday), "under_expired_ca" (as "localhost", signed by the
  // authority of expired_ca_file()).
  std::string certificate(const std::string& name) const { return folder_ + "/" + name + ".pem"; }
  std::string key(const std::string& name) const { return folder_ + "/" + name + ".key"; }

 private:
  std::string folder_;
};

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_TESTING_TEST_CERTIFICATES_H_
