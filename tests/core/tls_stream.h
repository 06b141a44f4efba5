// TLS for the loopback server: its connections wrapped in OpenSSL with the test certificate
// of fixtures/tls (server.pem for IP 127.0.0.1, signed by the test authority ca.pem). They
// were made once with the openssl tool, valid for a hundred years; the authority's key was
// thrown away (each command on one line):
//   openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key
//     -out ca.pem -days 36500 -subj "/CN=Platterscope test authority"
//   openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key
//     -out server.csr -subj "/CN=127.0.0.1"
//   openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -out server.pem -days 36500
//     -extfile <(printf 'subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n')
#pragma once

#include <openssl/ssl.h>
#include <pthread.h>
#include <signal.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "loopback_server.h"

inline const std::string kTlsFixtures = PS_TLS_FIXTURES;

class Tls_Stream : public Loopback_Stream {
 public:
  Tls_Stream(SSL_CTX* context, int fd) : ssl_(SSL_new(context)) {
    // OpenSSL writes with write(): a client that hung up must not raise SIGPIPE in the test
    // process. Blocked in this connection's own thread, it is dropped when the thread ends.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    SSL_set_fd(ssl_, fd);
    accepted_ = SSL_accept(ssl_) == 1;  // fails when the client refuses the certificate
  }
  Tls_Stream(const Tls_Stream&) = delete;
  Tls_Stream& operator=(const Tls_Stream&) = delete;
  ~Tls_Stream() override {
    if (accepted_) SSL_shutdown(ssl_);
    SSL_free(ssl_);
  }
  long Receive(char* data, std::size_t size) override {
    return accepted_ ? SSL_read(ssl_, data, static_cast<int>(size)) : -1;
  }
  bool Send(const std::string& bytes) override {
    return accepted_ && SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
  }

 private:
  SSL* ssl_;
  bool accepted_ = false;
};

// The server side of the test certificate, for Loopback_Server's streams.
class Tls_Context {
 public:
  Tls_Context() : context_(SSL_CTX_new(TLS_server_method())) {
    if (SSL_CTX_use_certificate_file(context_, (kTlsFixtures + "server.pem").c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(context_, (kTlsFixtures + "server.key").c_str(), SSL_FILETYPE_PEM) != 1)
      throw std::runtime_error("Cannot load the test certificate from " + kTlsFixtures);
  }
  Tls_Context(const Tls_Context&) = delete;
  Tls_Context& operator=(const Tls_Context&) = delete;
  ~Tls_Context() { SSL_CTX_free(context_); }

  Loopback_Server::Stream_Maker Streams() {
    return [this](int fd) { return std::make_unique<Tls_Stream>(context_, fd); };
  }

 private:
  SSL_CTX* context_;
};
