#include "mailer/smtp/tls_stream.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>

#include "mailer/smtp/socket_wait.h"

namespace verdanpost {
namespace {

using Clock = TlsStream::Clock;

constexpr size_t kChunk = 16 * 1024;

bool IsAddressLiteral(const std::string& host) {
  unsigned char address[16];
  return ::inet_pton(AF_INET, host.c_str(), address) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// The first reason in OpenSSL's error queue, which is then emptied.
std::string LastTlsError() {
  unsigned long error = ERR_get_error();
  ERR_clear_error();
  const char* reason = error == 0 ? nullptr : ERR_reason_error_string(error);
  return reason != nullptr ? reason : "no reason given";
}

// "2026-12-06", the day of `time` in UTC.
std::string Day(const ASN1_TIME* time) {
  tm parts{};
  char text[16];
  if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1 ||
      std::strftime(text, sizeof(text), "%Y-%m-%d", &parts) == 0) {
    return "an unknown day";
  }
  return text;
}

// The first fault that verification found, kept by RememberFault while a
// handshake runs (the server's certificate is not kept when it fails).
struct VerifyFault {
  int depth = -1;  // 0: the server's own certificate; -1: none yet
  std::string not_before, not_after;
};

int RememberFault(int ok, X509_STORE_CTX* store) {
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* fault = ssl == nullptr ? nullptr : static_cast<VerifyFault*>(SSL_get_app_data(ssl));
  if (!ok && fault != nullptr && fault->depth < 0) {
    fault->depth = X509_STORE_CTX_get_error_depth(store);
    if (X509* certificate = X509_STORE_CTX_get_current_cert(store)) {
      fault->not_before = Day(X509_get0_notBefore(certificate));
      fault->not_after = Day(X509_get0_notAfter(certificate));
    }
  }
  return ok;
}

// One reason for a certificate that failed verification with `verified`.
// Verification stops at the first fault, so that is the one to tell.
std::string VerificationFailure(long verified, const VerifyFault& fault, const std::string& host,
                                const std::string& ca_file) {
  switch (verified) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return "the server's certificate is not for " + host;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      if (fault.depth == 0) {
        return "the server's certificate expired on " + fault.not_after +
               "; its operator must renew it";
      }
      return "the certificate of an authority that vouches for the server's has expired";
    case X509_V_ERR_CERT_NOT_YET_VALID:
      if (fault.depth == 0) {
        return "the server's certificate is valid only from " + fault.not_before +
               "; check this computer's date and time";
      }
      return "the certificate of an authority that vouches for the server's is not valid yet; "
             "check this computer's date and time";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
      return std::string("the server's certificate is not trusted (") +
             X509_verify_cert_error_string(verified) + "); " +
             (ca_file.empty() ? "name the authority that signed it in CAFile"
                              : "it is not signed by an authority in CAFile " + ca_file);
    default:
      return std::string("the server's certificate is not trusted (") +
             X509_verify_cert_error_string(verified) + ")";
  }
}

}  // namespace

void TlsStream::Free::operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
void TlsStream::Free::operator()(SSL* ssl) const { SSL_free(ssl); }
void TlsStream::Free::operator()(BIO* bio) const { BIO_free(bio); }

TlsStream::~TlsStream() = default;

std::unique_ptr<TlsStream> TlsStream::Start(int fd, const std::string& host,
                                            const std::string& ca_file, Clock::time_point deadline,
                                            std::string* why) {
  ERR_clear_error();
  std::unique_ptr<TlsStream> stream(new TlsStream(fd));
  stream->ctx_.reset(SSL_CTX_new(TLS_client_method()));
  SSL_CTX* ctx = stream->ctx_.get();
  if (ctx == nullptr || SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1) {
    *why = "TLS is not available (" + LastTlsError() + ")";
    return nullptr;
  }
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, &RememberFault);
  if (ca_file.empty()) {
    if (SSL_CTX_set_default_verify_paths(ctx) != 1) {
      *why = "the system's trusted certificates cannot be read (" + LastTlsError() + ")";
      return nullptr;
    }
  } else if (SSL_CTX_load_verify_locations(ctx, ca_file.c_str(), nullptr) != 1) {
    *why = "the certificates in CAFile " + ca_file + " cannot be read (" + LastTlsError() + ")";
    return nullptr;
  }

  stream->ssl_.reset(SSL_new(ctx));
  SSL* ssl = stream->ssl_.get();
  BIO* inner = nullptr;
  BIO* outer = nullptr;
  if (ssl == nullptr || BIO_new_bio_pair(&inner, 0, &outer, 0) != 1) {
    *why = "TLS is not available (" + LastTlsError() + ")";
    return nullptr;
  }
  SSL_set_bio(ssl, inner, inner);
  stream->network_.reset(outer);
  SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // The certificate must name the host as the operator wrote it: a literal
  // address must be among its addresses, a name among its names. Without
  // that check any trusted certificate would pass, so a host that cannot be
  // set (none at all, or one OpenSSL refuses) ends the start here.
  bool host_set = false;
  if (IsAddressLiteral(host)) {
    host_set = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1;
  } else if (!host.empty()) {
    SSL_set_tlsext_host_name(ssl, host.c_str());
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    host_set = SSL_set1_host(ssl, host.c_str()) == 1;
  }
  if (!host_set) {
    *why = "the server's certificate cannot be checked against \"" + host + "\"";
    ERR_clear_error();
    return nullptr;
  }
  SSL_set_connect_state(ssl);

  VerifyFault fault;
  SSL_set_app_data(ssl, &fault);  // only while this handshake runs
  for (;;) {
    Step step = stream->Pump(SSL_do_handshake(ssl), deadline, false);
    if (step == Step::kAgain) continue;
    SSL_set_app_data(ssl, nullptr);
    if (step == Step::kDone) return stream;
    long verified = SSL_get_verify_result(ssl);
    if (verified != X509_V_OK) {
      *why = VerificationFailure(verified, fault, host, ca_file);
    } else if (stream->timed_out_) {
      *why = "the TLS handshake with " + host + " timed out";
    } else if (step == Step::kClosed) {
      *why = "the server closed the connection during the TLS handshake";
    } else {
      *why = "the TLS handshake with " + host + " failed (" + LastTlsError() + ")";
    }
    ERR_clear_error();
    return nullptr;
  }
}

bool TlsStream::Write(std::string_view bytes, std::chrono::milliseconds timeout, bool more,
                      size_t* written) {
  *written = 0;
  while (!bytes.empty()) {
    // As for plain sends, the time-out bounds each wait, not the whole write.
    Clock::time_point deadline = Clock::now() + timeout;
    int size = static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX));
    int result = SSL_write(ssl_.get(), bytes.data(), size);
    Step step = Pump(result, deadline, more || result < size);
    if (step == Step::kDone) {
      bytes.remove_prefix(static_cast<size_t>(result));
      *written += static_cast<size_t>(result);
    } else if (step != Step::kAgain) {
      ERR_clear_error();
      return false;
    }
  }
  return true;
}

TlsStream::ReadResult TlsStream::Read(char* buffer, size_t size, Clock::time_point deadline,
                                      size_t* got) {
  *got = 0;
  for (;;) {
    int result = SSL_read(ssl_.get(), buffer, static_cast<int>(std::min<size_t>(size, INT_MAX)));
    switch (Pump(result, deadline, false)) {
      case Step::kDone:
        *got = static_cast<size_t>(result);
        return ReadResult::kData;
      case Step::kAgain:
        continue;
      case Step::kClosed:
        return ReadResult::kClosed;
      case Step::kFailed:
        ERR_clear_error();
        return ReadResult::kFailed;
    }
  }
}

void TlsStream::Shutdown() {
  if (ssl_ == nullptr) return;
  SSL_shutdown(ssl_.get());
  Flush(Clock::now(), false);
  ERR_clear_error();
}

TlsStream::Step TlsStream::Pump(int result, Clock::time_point deadline, bool more) {
  int error = SSL_get_error(ssl_.get(), result);
  if (!Flush(deadline, more)) return Step::kFailed;
  if (result > 0) return Step::kDone;
  switch (error) {
    case SSL_ERROR_WANT_READ:
      return Receive(deadline);
    case SSL_ERROR_WANT_WRITE:
      return Step::kAgain;  // the pair's buffer was full; Flush emptied it
    case SSL_ERROR_ZERO_RETURN:
      return Step::kClosed;
    default:
      return Step::kFailed;
  }
}

bool TlsStream::Flush(Clock::time_point deadline, bool more) {
  char buffer[kChunk];
  for (;;) {
    size_t pending = BIO_ctrl_pending(network_.get());
    if (pending == 0) return true;
    int taken = BIO_read(network_.get(), buffer, static_cast<int>(std::min(pending, kChunk)));
    if (taken <= 0) return false;
    std::string_view bytes(buffer, static_cast<size_t>(taken));
    while (!bytes.empty()) {
      ssize_t sent = SendWhenReady(fd_, bytes, more, deadline);
      if (sent <= 0) {
        if (sent == 0) timed_out_ = true;
        return false;
      }
      bytes.remove_prefix(static_cast<size_t>(sent));
    }
  }
}

TlsStream::Step TlsStream::Receive(Clock::time_point deadline) {
  char buffer[kChunk];
  size_t room = std::min(BIO_ctrl_get_write_guarantee(network_.get()), kChunk);
  if (room == 0) return Step::kAgain;
  for (;;) {
    if (!WaitForSocket(fd_, POLLIN, deadline)) {
      timed_out_ = true;
      return Step::kFailed;
    }
    ssize_t got = ::recv(fd_, buffer, room, MSG_DONTWAIT);
    if (got > 0) {
      BIO_write(network_.get(), buffer, static_cast<int>(got));
      return Step::kAgain;
    }
    if (got == 0) return Step::kClosed;
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return Step::kFailed;
  }
}

}  // namespace verdanpost
