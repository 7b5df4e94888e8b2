#include "port/socket_shim.h"

#include "port/error_text.h"

#ifdef _WIN32
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601 // getaddrinfo
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#endif

#include <climits>
#include <utility>

namespace zelsend {
namespace {

#ifdef _WIN32
using Native = SOCKET;
constexpr int kSendFlags = 0;

void CloseNative(Native s)
{
    closesocket(s);
}
#else
using Native = int;
constexpr int kSendFlags = MSG_NOSIGNAL; // a closed peer is reported as an error, not a signal

void CloseNative(Native s)
{
    close(s);
}
#endif

Native ToNative(std::uintptr_t h)
{
    return static_cast<Native>(h);
}

std::string Where(const std::string& host, uint16_t port)
{
    return host + ":" + std::to_string(port);
}

} // namespace

Networking::Networking()
{
#ifdef _WIN32
    WSADATA data;
    startError_ = WSAStartup(MAKEWORD(2, 2), &data);
#endif
}

Networking::~Networking()
{
#ifdef _WIN32
    if (startError_ == 0)
        WSACleanup();
#endif
}

bool Networking::Ready(std::string& error) const
{
    if (startError_ == 0)
        return true;
    error = "cannot start the socket library: " + SystemErrorText(startError_);
    return false;
}

Socket::~Socket()
{
    Close();
}

Socket::Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, kNone))
{
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kNone);
    }
    return *this;
}

void Socket::Close()
{
    if (handle_ != kNone)
        CloseNative(ToNative(std::exchange(handle_, kNone)));
}

bool Socket::Connect(const std::string& host, uint16_t port, std::string& error)
{
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
#ifdef _WIN32
        error = "cannot resolve " + host + ": " + SystemErrorText(rc);
#else
        error = "cannot resolve " + host + ": " + gai_strerror(rc);
#endif
        return false;
    }
    int lastError = 0;
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        Native s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (static_cast<std::uintptr_t>(s) == kNone) {
            lastError = LastSocketError();
            continue;
        }
        if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
            handle_ = static_cast<std::uintptr_t>(s);
            break;
        }
        lastError = LastSocketError();
        CloseNative(s);
    }
    freeaddrinfo(found);
    if (handle_ != kNone)
        return true;
    error = "cannot connect to " + Where(host, port) + ": " + SystemErrorText(lastError);
    return false;
}

bool Socket::SendAll(const char* data, size_t size, std::string& error)
{
    while (size > 0) {
        const int chunk = size > INT_MAX ? INT_MAX : static_cast<int>(size);
        const auto sent = send(ToNative(handle_), data, chunk, kSendFlags);
        if (sent < 0) {
#ifndef _WIN32
            if (errno == EINTR)
                continue;
#endif
            error = "send failed: " + SystemErrorText(LastSocketError());
            return false;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

void Socket::ShutdownSend()
{
#ifdef _WIN32
    shutdown(ToNative(handle_), SD_SEND);
#else
    shutdown(ToNative(handle_), SHUT_WR);
#endif
}

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
#ifdef _WIN32
    // argv is in the ANSI code page (936 on the console's systems); the wide command line is not.
    (void)argc;
    (void)argv;
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return args;
    for (int i = 1; i < count; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(n > 0 ? n - 1 : 0, '\0');
        if (n > 1)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &arg[0], n, nullptr, nullptr);
        args.push_back(arg);
    }
    LocalFree(wide);
    return args;
#else
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
#endif
}

unsigned StdinCodePage(unsigned piped)
{
#ifdef _WIN32
    // Text typed in a console reaches a program in the console's code page, whatever the
    // program asks for.
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode))
        return GetConsoleCP();
    return piped != 0 ? piped : GetACP();
#else
    return piped != 0 ? piped : 65001;
#endif
}

long ReadStdin(char* buffer, size_t size)
{
    const unsigned chunk = size > 65536 ? 65536 : static_cast<unsigned>(size);
#ifdef _WIN32
    // Pipes and files are read byte for byte; a console keeps its text mode, where Ctrl+Z ends
    // the input as Windows users expect.
    static const bool binary = !_isatty(0) && _setmode(0, _O_BINARY) != -1;
    (void)binary;
    return _read(0, buffer, chunk);
#else
    for (;;) {
        const ssize_t n = read(0, buffer, chunk);
        if (n >= 0 || errno != EINTR)
            return static_cast<long>(n);
    }
#endif
}

} // namespace zelsend
