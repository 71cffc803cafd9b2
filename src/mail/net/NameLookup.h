// TNameLookup: a name lookup on a helper thread, so that a hanging resolver cannot hold us.
#pragma once

#include <functional>
#include <memory>
#include <string>

struct addrinfo;

// getaddrinfo's signature; the default is getaddrinfo itself.
using TResolver = std::function<int(const std::string& host, const std::string& service,
                                    const addrinfo* hints, addrinfo** result)>;

// The helper thread is detached: a lookup given up on runs out on its own and
// frees what it finds. Throws std::system_error when no thread can be started.
class TNameLookup {
  public:
    TNameLookup(const std::string& host, const std::string& service,
                const TResolver& resolver = nullptr);
    ~TNameLookup();
    TNameLookup(const TNameLookup&) = delete;
    TNameLookup& operator=(const TNameLookup&) = delete;

    // true once the lookup has ended; false after timeoutMs or a Cancel.
    bool Wait(int timeoutMs);
    // Any thread: ends a Wait at once.
    void Cancel();
    // getaddrinfo's result; valid after Wait returned true, owned by this object.
    int Status() const;
    const addrinfo* Addresses() const;

  private:
    struct TState;
    std::shared_ptr<TState> FState;
};
