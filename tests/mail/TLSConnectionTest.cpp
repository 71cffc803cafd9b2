// TLS corners of TLineConnection against an in-process TLS server.
#include "LoopbackSocket.h"
#include "net/LineConnection.h"
#include "net/MailError.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
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
        EMailError);
    EXPECT_FALSE(connection.IsOpen());
}

// A server that sends the start of a record and then nothing: SSL_read waits inside
// OpenSSL for the rest. The silence limit must end that wait, and so must a drop.
TEST(TLSConnectionTest, PartOfARecordThenSilenceEndsAtTheLimitOrAtADrop) {
    int port = 0;
    const int listener = LoopbackSocket(port, 2);
    std::mutex lock;
    std::condition_variable changed;
    int partsSent = 0;
    int released = 0; // connections the server may close
    std::thread server([&] {
        SSL_CTX* context = MakeServerContext();
        for (int round = 0; round < 2; ++round) {
            const int fd = accept(listener, nullptr, nullptr);
            SSL* ssl = SSL_new(context);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) == 1) {
                SSL_write(ssl, "+OK one\r\n", 9);
                // A record header announcing 64 bytes, and 5 of them.
                send(fd,
                     "\x17\x03\x03\x00\x40"
                     "abcde",
                     10, MSG_NOSIGNAL);
            }
            std::unique_lock<std::mutex> held(lock);
            ++partsSent;
            changed.notify_all();
            changed.wait(held, [&] { return released > round; });
            SSL_free(ssl);
            close(fd);
        }
        SSL_CTX_free(context);
    });
    TTLSOptions options;
    options.HostName = "localhost";
    options.Verify = false;
    auto secondLine = [&](TLineConnection& connection) -> std::string {
        connection.Open("127.0.0.1", port, 5000);
        connection.StartTLS(options);
        EXPECT_EQ(connection.ReadLine(100), "+OK one");
        try {
            connection.ReadLine(100);
        } catch (const EMailError& error) {
            EXPECT_FALSE(connection.IsOpen());
            return error.what();
        }
        return "no error";
    };

    TLineConnection limited;
    limited.ReadTimeout = 300;
    EXPECT_EQ(secondLine(limited), "Read timed out: the server sent nothing for 1 s.");
    {
        std::lock_guard<std::mutex> held(lock);
        ++released;
        changed.notify_all();
    }

    TLineConnection dropped;
    std::thread dropper([&] {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [&] { return partsSent == 2; });
        held.unlock();
        // Most likely inside SSL_read by now; a drop before it ends the read as well.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        dropped.Drop();
    });
    EXPECT_EQ(secondLine(dropped), "Connection dropped.");
    dropper.join();
    {
        std::lock_guard<std::mutex> held(lock);
        ++released;
        changed.notify_all();
    }
    server.join();
    close(listener);
}
