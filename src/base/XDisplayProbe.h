#pragma once
// Whether an X display answers, asked before the GUI library connects to it: a
// server that takes the connection and never answers (a stopped or frozen one)
// would hold the program in that connection forever.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace orvex {

// Room for a busy server across a slow network, and still little for a cron job.
inline constexpr std::chrono::milliseconds kXDisplayAnswerDeadline{5000};

// A place an X client connects to for a display: a local socket, whose name
// starts with '\0' in the abstract namespace, or else a host's TCP port.
struct TXDisplaySocket {
    std::string Path;
    std::string Host;
    uint16_t Port = 0;
    bool operator==(const TXDisplaySocket&) const = default;
};

// The sockets of a display name, in the order an X client tries them: ":N" (the
// local sockets, then the TCP port of "localhost"), "unix:N", "host:N",
// "[IPv6 address]:N" or "/path/to/socket:N", each with an optional screen ".S";
// any but the last also after a protocol, "unix/" (the local sockets, whatever
// the host), "tcp/", "inet/" or "inet6/" (a host's TCP port). None for a name of
// another form.
std::vector<TXDisplaySocket> XDisplaySockets(std::string_view name);

// A host's numeric addresses as text ("10.0.0.1", "fe80::1%eth0"), in the order
// to try them; none when the host has none.
using TXHostLookup = std::function<std::vector<std::string>(const std::string& host)>;

// The system's name lookup, which may wait as long as its name servers do.
std::vector<std::string> HostAddresses(const std::string& host);

struct TXDisplayProbe {
    // True when the first of the display's sockets that takes a connection sends
    // nothing within the deadline after a connection-setup request, or does not
    // take it by then, or when the host has no address by then. False when the
    // server answers (whatever it says), when nothing takes the connection and
    // for a name of another form: the GUI library then connects or fails by itself.
    bool NeverAnswers = false;
    // The name to connect with: a host name is replaced by the address that took
    // the connection, so that the GUI library looks nothing up.
    std::string Name;
    // The user the server runs as, where it runs on this machine: a local
    // socket's peer, or the owner of the socket that took the TCP connection. None
    // for a server on another host, or where no server took the connection.
    std::optional<uid_t> Owner;
};

// The deadline covers the whole probe, the host's lookup included; the lookup is
// made once. The request sent is one every server refuses at once, so the probe
// never becomes a running client, whose leaving makes a server reset when it is
// the last one.
TXDisplayProbe ProbeXDisplay(std::string_view name, std::chrono::milliseconds deadline = kXDisplayAnswerDeadline,
                             const TXHostLookup& lookup = HostAddresses);

} // namespace orvex
