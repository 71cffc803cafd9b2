// TLS corners of TLineConnection against an in-process TLS server.
#include "LoopbackSocket.h"
#include "mail/LineConnection.h"
#include "mail/MailError.h"

#include <chrono>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <thread>

namespace {

// A server context with a throw-away self-signed certificate for localhost.
SSL_CTX* MakeServerContext() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_sign(cert, key, EVP_sha256());
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(context, cert);
    SSL_CTX_use_PrivateKey(context, key);
    SSL_CTX_set_num_tickets(context, 0);
    X509_free(cert);
    EVP_PKEY_free(key);
    return context;
}

} // namespace

// A server that sends a damaged record and is gone: the client answers the
// record with an alert, written to a reset connection. That must be a read
// error, not a SIGPIPE that ends the whole program.
TEST(TLSConnectionTest, DamagedRecordFromAResetPeerIsAReadError) {
    int port = 0;
    const int listener = LoopbackSocket(port, 1);
    std::thread server([listener] {
        SSL_CTX* context = MakeServerContext();
        const int fd = accept(listener, nullptr, nullptr);
        SSL* ssl = SSL_new(context);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
            SSL_write(ssl, "+OK one\r\n", 9);
            // An application-data record header followed by bytes no key decrypts.
            const char damaged[] = "\x17\x03\x03\x00\x20garbagegarbagegarbagegarbage1234";
            send(fd, damaged, sizeof damaged - 1, MSG_NOSIGNAL);
        }
        SSL_free(ssl);
        close(fd);
        SSL_CTX_free(context);
    });

    TLineConnection connection;
    connection.Open("127.0.0.1", port, 5000);
    TTLSOptions options;
    options.HostName = "localhost";
    options.Verify = false;
    connection.StartTLS(options);
    server.join();
    close(listener);
    // The server's socket is closed: this command is answered with a reset.
    connection.WriteLine("NOOP");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_THROW(
        {
            for (int i = 0; i < 3; ++i)
                connection.ReadLine(100);
        },
        EPOP3Error);
    EXPECT_FALSE(connection.IsOpen());
}
