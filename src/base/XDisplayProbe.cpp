#include "base/XDisplayProbe.h"

#include "base/SafePath.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <netdb.h>
#include <netinet/in.h>
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

// A TCP endpoint as the kernel's tables show it ("0100007F:1770"): each 32-bit
// word of the address as a number in this machine's byte order, then the port.
// IPv4 in /proc/net/tcp, IPv6 with IPv4 mapped in /proc/net/tcp6; "" where an
// address has no form in that table.
std::string TableEndpoint(const sockaddr_storage& address, bool v6) {
    std::array<unsigned char, 16> bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    uint16_t port = 0;
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        std::memcpy(bytes.data() + 12, &v4.sin_addr, 4);
        port = ntohs(v4.sin_port);
    } else {
        const auto& v6Address = reinterpret_cast<const sockaddr_in6&>(address);
        std::memcpy(bytes.data(), &v6Address.sin6_addr, 16);
        port = ntohs(v6Address.sin6_port);
    }
    if (!v6 && !IN6_IS_ADDR_V4MAPPED(bytes.data()))
        return {};
    std::string text;
    char hex[10];
    for (size_t at = v6 ? 0 : 12; at < 16; at += 4) {
        uint32_t word = 0;
        std::memcpy(&word, bytes.data() + at, 4);
        text += std::string(hex, std::snprintf(hex, sizeof hex, "%08X", word));
    }
    return text + std::string(hex, std::snprintf(hex, sizeof hex, ":%04X", port));
}

// The owner of the socket on this machine that took the TCP connection at handle:
// the kernel lists it with our end as its peer, and with the user of the socket
// it was accepted from. None where the server is on another host.
std::optional<uid_t> TcpServerOwner(int handle) {
    sockaddr_storage ours{}, theirs{};
    socklen_t oursSize = sizeof ours, theirsSize = sizeof theirs;
    if (::getsockname(handle, reinterpret_cast<sockaddr*>(&ours), &oursSize) != 0 ||
        ::getpeername(handle, reinterpret_cast<sockaddr*>(&theirs), &theirsSize) != 0)
        return std::nullopt;
    for (const bool v6 : {false, true}) {
        const std::string server = TableEndpoint(theirs, v6), client = TableEndpoint(ours, v6);
        std::ifstream lines(v6 ? "/proc/net/tcp6" : "/proc/net/tcp");
        std::string line, slot, local, remote, state, queues, timer, retransmits, user;
        while (!server.empty() && std::getline(lines, line)) {
            std::istringstream fields(line);
            unsigned owner = 0;
            if (fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> user &&
                local == server && remote == client && ReadNumber(user, owner))
                return static_cast<uid_t>(owner);
        }
    }
    return std::nullopt;
}

// The user a connected server runs as, where it is on this machine.
std::optional<uid_t> ServerOwner(int handle, int family) {
    if (family != AF_UNIX)
        return TcpServerOwner(handle);
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(handle, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return std::nullopt;
    return peer.uid;
}

enum class TAnswer { NoServer, Answered, Silent };

// What a socket of the display said, and who serves it.
struct TReply {
    TAnswer Answer = TAnswer::NoServer;
    std::optional<uid_t> Owner;
};

TReply Ask(int family, const sockaddr* address, socklen_t size, TClock::time_point deadline) {
    const TFileHandle handle(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    switch (handle.Get() < 0 ? TConnection::Refused : Connect(handle.Get(), address, size, deadline)) {
    case TConnection::Refused:
        return {TAnswer::NoServer, {}};
    case TConnection::Waiting:
        return {TAnswer::Silent, {}};
    case TConnection::Made:
        break;
    }
    const std::optional<uid_t> owner = ServerOwner(handle.Get(), family);
    return {Answers(handle.Get(), deadline) ? TAnswer::Answered : TAnswer::Silent, owner};
}

TReply AskLocal(const std::string& path, TClock::time_point deadline) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // A file's name ends with its '\0'; an abstract one is its bytes.
    const size_t length = path.size() + (path.starts_with('\0') ? 0 : 1);
    if (length > sizeof address.sun_path)
        return {};
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

TReply AskAddress(const std::string& address, uint16_t port, TClock::time_point deadline) {
    const TAddresses found =
        StreamAddresses(address.c_str(), std::to_string(port).c_str(), AI_NUMERICHOST | AI_NUMERICSERV);
    return found ? Ask(found->ai_family, found->ai_addr, found->ai_addrlen, deadline) : TReply();
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

// Silent too where the host has no address by the deadline. taken: the address
// that took the connection.
TReply AskHost(const TXDisplaySocket& socket, const TXHostLookup& lookup, TClock::time_point deadline,
               std::string& taken) {
    const std::optional<std::vector<std::string>> addresses = LookUp(lookup, socket.Host, deadline);
    if (!addresses || addresses->empty())
        return {TAnswer::Silent, {}};
    for (const std::string& address : *addresses)
        if (TReply reply = AskAddress(address, socket.Port, deadline); reply.Answer != TAnswer::NoServer) {
            taken = address;
            return reply;
        }
    return {};
}

// The name with address for its host, its protocol and number kept. The X library
// reads an IPv6 address in brackets.
std::string NumericName(std::string_view name, const std::string& address) {
    const size_t slash = name.rfind('/');
    const std::string host = address.find(':') == std::string::npos ? address : "[" + address + "]";
    return std::string(name.substr(0, slash == std::string_view::npos ? 0 : slash + 1)) + host +
           std::string(name.substr(name.rfind(':')));
}

} // namespace

std::vector<TXDisplaySocket> XDisplaySockets(std::string_view name) {
    // A protocol stands before the last '/', unless the name is a socket's path.
    std::string_view protocol;
    if (const size_t slash = name.rfind('/'); slash != std::string_view::npos && !name.starts_with('/')) {
        protocol = name.substr(0, slash);
        name.remove_prefix(slash + 1);
        if (protocol != "unix" && protocol != "tcp" && protocol != "inet" && protocol != "inet6")
            return {};
    }
    const size_t colon = name.rfind(':');
    if (colon == std::string_view::npos)
        return {};
    std::string_view host = name.substr(0, colon);
    const std::string_view number = name.substr(colon + 1);
    const size_t dot = number.find('.');
    unsigned display = 0, screen = 0;
    if (!ReadNumber(number.substr(0, dot), display) ||
        (dot != std::string_view::npos && !ReadNumber(number.substr(dot + 1), screen)))
        return {};
    if (host.starts_with('/'))
        return {{std::string(host), {}, 0}};
    std::vector<TXDisplaySocket> sockets;
    if (protocol == "unix" || host.empty() || host == "unix") {
        if (!protocol.empty() && protocol != "unix")
            return {};  // "tcp/:N" names no host
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
        sockets = {{std::string(1, '\0') + path, {}, 0}, {path, {}, 0}};
        // ":N" alone names no way either: this machine's TCP port comes last.
        if (!protocol.empty() || !host.empty())
            return sockets;
        host = "localhost";
    }
    // "host::N" is a DECnet address.
    if (host.ends_with(':') || display > 65535 - 6000)
        return sockets;
    // An IPv6 address may stand in brackets.
    const std::string_view address =
        host.size() > 2 && host.starts_with('[') && host.ends_with(']') ? host.substr(1, host.size() - 2) : host;
    sockets.push_back({{}, std::string(address), static_cast<uint16_t>(6000 + display)});
    return sockets;
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
        std::string taken;
        const TReply reply = socket.Host.empty() ? AskLocal(socket.Path, end) : AskHost(socket, lookup, end, taken);
        if (reply.Answer != TAnswer::NoServer)
            return {reply.Answer == TAnswer::Silent, taken.empty() ? std::string(name) : NumericName(name, taken),
                    reply.Owner};
    }
    return {false, std::string(name), {}};
}

} // namespace orvex
