#include "mailer/smtp/server_address.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

void ExpectAddress(const std::string& name, const std::string& host, const std::string& port) {
  ServerAddress address = ParseServerName(name);
  EXPECT_EQ(address.host, host) << name;
  EXPECT_EQ(address.port, port) << name;
}

TEST(ParseServerNameTest, HostsAndPorts) {
  ExpectAddress("mailhost", "mailhost", "25");
  ExpectAddress("mail.example.org:2525", "mail.example.org", "2525");
  ExpectAddress("127.0.0.1:2525", "127.0.0.1", "2525");
  ExpectAddress("[::1]:2525", "::1", "2525");
  ExpectAddress("[::1]", "::1", "25");
  ExpectAddress("::1", "::1", "25");
  ExpectAddress("fe80::1:25", "fe80::1:25", "25");  // a bare IPv6 address has no port
  ExpectAddress("", "", "25");
}

TEST(ParseServerNameTest, BadPortsStayInTheName) {
  // The name then fails to resolve rather than reaching another port.
  ExpectAddress("host:", "host:", "25");
  ExpectAddress("host:0", "host:0", "25");
  ExpectAddress("host:65536", "host:65536", "25");
  ExpectAddress("host:25x", "host:25x", "25");
  ExpectAddress("[::1]:x", "[::1]:x", "25");
}

}  // namespace
}  // namespace verdanpost
