#pragma once
// Everything zelsend does differently on Windows and on POSIX systems: sockets, reading
// standard input and the encoding of the command line. The rest of zelsend is portable.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelsend {

// Holds the socket library for the life of the program (Winsock needs starting; POSIX does not).
class Networking {
public:
    Networking();
    ~Networking();
    Networking(const Networking&) = delete;
    Networking& operator=(const Networking&) = delete;
    bool Ready(std::string& error) const;

private:
    int startError_ = 0;
};

// A connected TCP stream; closes on destruction; move-only.
class Socket {
public:
    Socket() = default;
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Tries each address the host resolves to; on failure, `error` names host, port and cause.
    bool Connect(const std::string& host, uint16_t port, std::string& error);
    bool SendAll(const char* data, size_t size, std::string& error);
    // Tells the console no more frames follow, so it can see the end of the last one.
    void ShutdownSend();
    void Close();

private:
    static constexpr std::uintptr_t kNone = ~std::uintptr_t{0};
    std::uintptr_t handle_ = kNone;
};

// The arguments after the program name, in UTF-8 whatever the system's code page.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The Windows code page of standard input's lines: the console's input code page when standard
// input is a console; otherwise `piped`, or when that is 0 the system's ANSI code page on
// Windows and UTF-8 (65001) elsewhere.
unsigned StdinCodePage(unsigned piped);

// Reads what standard input has ready, byte for byte (no CR LF translation), up to `size`.
// Returns the count, 0 at the end, -1 on an error.
long ReadStdin(char* buffer, size_t size);

} // namespace zelsend
