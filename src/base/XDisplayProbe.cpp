#include "base/XDisplayProbe.h"

#include "base/SafePath.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace orvex {

namespace {

using TClock = std::chrono::steady_clock;

bool ReadNumber(std::string_view text, unsigned& number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// Waiting: neither made nor refused by the deadline.
enum class TConnection { Refused, Made, Waiting };

// A blocking connect bounded by the send timeout, which also bounds the wait for
// room in the queue of a stopped server that no longer takes connections.
TConnection Connect(int handle, const sockaddr* address, socklen_t size, TClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - TClock::now());
    if (left.count() <= 0)
        return TConnection::Waiting;
    const timeval timeout{static_cast<time_t>(left.count() / 1'000'000),
                          static_cast<suseconds_t>(left.count() % 1'000'000)};
    if (::setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0)
        return TConnection::Refused;
    if (::connect(handle, address, size) == 0)
        return TConnection::Made;
    return errno == EINPROGRESS || errno == EAGAIN ? TConnection::Waiting : TConnection::Refused;
}

// Byte order, protocol 11.0, and no authorisation: every server answers this,
// with its setup, a refusal or a request to authenticate.
std::array<char, 12> SetupRequest() {
    std::array<char, 12> request{};
    request[0] = std::endian::native == std::endian::little ? 'l' : 'B';
    const uint16_t major = 11;
    std::memcpy(&request[2], &major, sizeof major);  // in the byte order just named
    return request;
}

// False when the server sends nothing and keeps the connection open until deadline.
bool Answers(int handle, TClock::time_point deadline) {
    const std::array<char, 12> request = SetupRequest();
    if (::send(handle, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        return true;  // a server gone already fails the GUI library at once
    pollfd reply{handle, POLLIN, 0};
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        const int ready = ::poll(&reply, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
        if (ready == 0)
            return false;
        if (ready > 0 || errno != EINTR)
            return true;
    }
}

enum class TAnswer { NoServer, Answered, Silent };

TAnswer Ask(int family, const sockaddr* address, socklen_t size, TClock::time_point deadline) {
    const TFileHandle handle(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    switch (handle.Get() < 0 ? TConnection::Refused : Connect(handle.Get(), address, size, deadline)) {
    case TConnection::Refused:
        return TAnswer::NoServer;
    case TConnection::Waiting:
        return TAnswer::Silent;
    case TConnection::Made:
        break;
    }
    return Answers(handle.Get(), deadline) ? TAnswer::Answered : TAnswer::Silent;
}

TAnswer Ask(const TXDisplaySocket& socket, TClock::time_point deadline) {
    if (socket.Host.empty()) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        // A file's name ends with its '\0'; an abstract one is its bytes.
        const size_t length = socket.Path.size() + (socket.Path.starts_with('\0') ? 0 : 1);
        if (length > sizeof address.sun_path)
            return TAnswer::NoServer;
        std::memcpy(address.sun_path, socket.Path.data(), socket.Path.size());
        return Ask(AF_UNIX, reinterpret_cast<const sockaddr*>(&address),
                   static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length), deadline);
    }
    // The name lookup is left unbounded: the GUI library makes the same one.
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(socket.Host.c_str(), std::to_string(socket.Port).c_str(), &hints, &found) != 0)
        return TAnswer::NoServer;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(found, ::freeaddrinfo);
    for (const addrinfo* address = found; address; address = address->ai_next)
        if (const TAnswer answer = Ask(address->ai_family, address->ai_addr, address->ai_addrlen, deadline);
            answer != TAnswer::NoServer)
            return answer;
    return TAnswer::NoServer;
}

} // namespace

std::vector<TXDisplaySocket> XDisplaySockets(std::string_view name) {
    const size_t colon = name.rfind(':');
    if (colon == std::string_view::npos)
        return {};
    const std::string_view host = name.substr(0, colon), number = name.substr(colon + 1);
    const size_t dot = number.find('.');
    unsigned display = 0, screen = 0;
    if (!ReadNumber(number.substr(0, dot), display) ||
        (dot != std::string_view::npos && !ReadNumber(number.substr(dot + 1), screen)))
        return {};
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
        return {{std::string(1, '\0') + path, {}, 0}, {path, {}, 0}};
    }
    if (host.starts_with('/'))
        return {{std::string(host), {}, 0}};
    // "host::N" is a DECnet address.
    if (host.ends_with(':') || display > 65535 - 6000)
        return {};
    return {{{}, std::string(host), static_cast<uint16_t>(6000 + display)}};
}

bool XDisplayNeverAnswers(std::string_view name, std::chrono::milliseconds deadline) {
    const TClock::time_point end = TClock::now() + deadline;
    for (const TXDisplaySocket& socket : XDisplaySockets(name))
        if (const TAnswer answer = Ask(socket, end); answer != TAnswer::NoServer)
            return answer == TAnswer::Silent;
    return false;
}

} // namespace orvex
