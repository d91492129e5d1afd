#pragma once
// Facts of the machine the program runs on, read fresh on every call.

#include <cstdint>
#include <string>
#include <vector>

namespace orvex {

// The installed IIS major version from the registry; 0 when it cannot be read
// (logged in red as a backup error or exception, which marks the run).
int32_t GetIISMajorVersion();

// Replaces list with the IPv4 addresses of the local host name, dotted decimal, in
// resolver order; empty when the name does not resolve. Nothing is logged.
void GetLocalIPAddresses(std::vector<std::u16string>& list);

} // namespace orvex
