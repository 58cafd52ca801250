// The vpcd readers that a pcscd configuration names: which friendly name and which port a
// virtual card has to connect to, for the system's own pcscd.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brenmark_lab {

struct VpcdReader {
    std::string friendly_name; // pcscd lists "<name> 00 00" (this port) and "<name> 00 01"
    std::uint16_t port = 0;
    std::string driver; // LIBPATH
};

// The vpcd entries of one reader.conf text (FRIENDLYNAME, DEVICENAME, LIBPATH blocks; "#"
// starts a comment). Only entries where the driver listens for a card on a local port
// ("/dev/null:<port>", decimal or 0x hexadecimal) count; a DEVICENAME that names another host
// makes the driver connect out instead, which a card of ours cannot answer.
std::vector<VpcdReader> ParseVpcdReaders(const std::string &conf);

// The vpcd entries of the system's configuration (/etc/reader.conf.d/*, /etc/reader.conf)
// whose driver file exists.
std::vector<VpcdReader> SystemVpcdReaders();

} // namespace brenmark_lab
