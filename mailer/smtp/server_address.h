#ifndef VERDANPOST_MAILER_SMTP_SERVER_ADDRESS_H_
#define VERDANPOST_MAILER_SMTP_SERVER_ADDRESS_H_

#include <string>

namespace verdanpost {

// Where a ServerName points: a host name or address and a TCP port.
struct ServerAddress {
  std::string host;
  std::string port;           // decimal text, as getaddrinfo takes it
  bool port_written = false;  // false: `port` is the default, 25
};

// Splits "host", "host:PORT", "[v6]" or "[v6]:PORT"; the port is 25 unless
// given. A bare IPv6 address (more than one colon) is taken whole as the host.
// A ":PORT" that is no number from 1 to 65535 stays part of the host, so the
// name fails to resolve instead of reaching some other port.
ServerAddress ParseServerName(const std::string& server_name);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SERVER_ADDRESS_H_
