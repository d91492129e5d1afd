#include "base/XDisplayProbe.h"

#include "base/SafePath.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <thread>
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

// Byte order, protocol 0.0 and no authorisation: every server refuses it at once
// with a reply, and the probe never becomes a running client. (A server that
// resets when any last connection leaves does so before it replies, so a client
// connecting after the probe is queued until the reset is over.)
std::array<char, 12> SetupRequest() {
    std::array<char, 12> request{};
    request[0] = std::endian::native == std::endian::little ? 'l' : 'B';
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

TAnswer AskLocal(const std::string& path, TClock::time_point deadline) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // A file's name ends with its '\0'; an abstract one is its bytes.
    const size_t length = path.size() + (path.starts_with('\0') ? 0 : 1);
    if (length > sizeof address.sun_path)
        return TAnswer::NoServer;
    std::memcpy(address.sun_path, path.data(), path.size());
    return Ask(AF_UNIX, reinterpret_cast<const sockaddr*>(&address),
               static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length), deadline);
}

using TAddresses = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

// A host's stream-socket addresses; null when there are none.
TAddresses StreamAddresses(const char* host, const char* port, int flags) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    return TAddresses(::getaddrinfo(host, port, &hints, &found) == 0 ? found : nullptr, ::freeaddrinfo);
}

TAnswer AskAddress(const std::string& address, uint16_t port, TClock::time_point deadline) {
    const TAddresses found =
        StreamAddresses(address.c_str(), std::to_string(port).c_str(), AI_NUMERICHOST | AI_NUMERICSERV);
    return found ? Ask(found->ai_family, found->ai_addr, found->ai_addrlen, deadline) : TAnswer::NoServer;
}

// The lookup runs on a thread of its own, left to end by itself when a name
// server holds it past the deadline; nothing when it did not end by then.
std::optional<std::vector<std::string>> LookUp(const TXHostLookup& lookup, const std::string& host,
                                               TClock::time_point deadline) {
    std::packaged_task<std::vector<std::string>()> task([lookup, host] { return lookup(host); });
    std::future<std::vector<std::string>> addresses = task.get_future();
    std::thread(std::move(task)).detach();
    if (addresses.wait_until(deadline) != std::future_status::ready)
        return std::nullopt;
    return addresses.get();
}

// Silent too where the host has no address by the deadline. The address asked is
// the first that takes the connection, else the first found.
TAnswer AskHost(const TXDisplaySocket& socket, const TXHostLookup& lookup, TClock::time_point deadline,
                std::string& asked) {
    const std::optional<std::vector<std::string>> addresses = LookUp(lookup, socket.Host, deadline);
    if (!addresses || addresses->empty())
        return TAnswer::Silent;
    asked = addresses->front();
    for (const std::string& address : *addresses)
        if (const TAnswer answer = AskAddress(address, socket.Port, deadline); answer != TAnswer::NoServer) {
            asked = address;
            return answer;
        }
    return TAnswer::NoServer;
}

// The X library reads an IPv6 address in brackets.
std::string NumericName(std::string_view name, const std::string& address) {
    const std::string host = address.find(':') == std::string::npos ? address : "[" + address + "]";
    return host + std::string(name.substr(name.rfind(':')));
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
    // An IPv6 address may stand in brackets.
    const std::string_view address =
        host.size() > 2 && host.starts_with('[') && host.ends_with(']') ? host.substr(1, host.size() - 2) : host;
    return {{{}, std::string(address), static_cast<uint16_t>(6000 + display)}};
}

std::vector<std::string> HostAddresses(const std::string& host) {
    const TAddresses found = StreamAddresses(host.c_str(), nullptr, 0);
    std::vector<std::string> addresses;
    for (const addrinfo* address = found.get(); address; address = address->ai_next) {
        std::array<char, NI_MAXHOST> text{};
        if (::getnameinfo(address->ai_addr, address->ai_addrlen, text.data(), text.size(), nullptr, 0,
                          NI_NUMERICHOST) == 0)
            addresses.emplace_back(text.data());
    }
    return addresses;
}

TXDisplayProbe ProbeXDisplay(std::string_view name, std::chrono::milliseconds deadline, const TXHostLookup& lookup) {
    const TClock::time_point end = TClock::now() + deadline;
    for (const TXDisplaySocket& socket : XDisplaySockets(name)) {
        if (!socket.Host.empty()) {
            std::string address;
            const TAnswer answer = AskHost(socket, lookup, end, address);
            return {answer == TAnswer::Silent, address.empty() ? std::string(name) : NumericName(name, address)};
        }
        if (const TAnswer answer = AskLocal(socket.Path, end); answer != TAnswer::NoServer)
            return {answer == TAnswer::Silent, std::string(name)};
    }
    return {false, std::string(name)};
}

} // namespace orvex
