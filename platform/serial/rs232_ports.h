// Port numbering of the serial services, free of Qt so that it can be checked on its own.
#pragma once

#include <string>
#include <vector>

// One port as the operating system lists it.
struct DiscoveredPort {
    std::string name;        // e.g. "ttyUSB0"
    std::string device;      // e.g. "/dev/ttyUSB0"
    std::string description; // for people; may be empty
    bool hasVendorId;        // the port sits on a bus that names its maker (USB, PCI card ...)
};

// One COM number and the device behind it.
struct NumberedPort {
    int number;
    std::string device;
    std::string description;
};

// True when a comes before b with digit runs compared as numbers: "ttyUSB2" < "ttyUSB10".
bool NaturalNameLess(const std::string &a, const std::string &b);
// USB and ACM adapters, and any port whose maker is known, come before on-board ports.
bool IsAdapterPort(const DiscoveredPort &port);
// Adapters first, then the other ports, each group in natural name order.
void OrderDiscoveredPorts(std::vector<DiscoveredPort> &ports);
// Description of a port that NVMX_COM<number> maps.
std::string MappedDescription(int number);
// COM numbers for the ordered ports. A mapped number always shows its mapped device. A port that
// previous numbered keeps its number while it stays listed; every other port takes, in order, the
// lowest number that is neither mapped, kept nor held (held: numbers of ports that went away and
// are awaited back). So a mapping never hides a discovered port, and plugging in an adapter never
// renumbers the ports already listed. mapped holds one entry per COM number, index 0 unused, ""
// where nothing is mapped. The result is in ascending order of number.
std::vector<NumberedPort> NumberPorts(const std::vector<DiscoveredPort> &ordered,
                                      const std::vector<std::string> &mapped,
                                      const std::vector<NumberedPort> &previous = {},
                                      const std::vector<int> &held = {});
