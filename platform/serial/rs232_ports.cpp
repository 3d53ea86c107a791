#include "platform/serial/rs232_ports.h"

#include <algorithm>
#include <cctype>

static bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Compares the digit runs starting at a[i] and b[j] as numbers and moves both indexes past
// them. Returns <0, 0 or >0.
static int CompareNumberRuns(const std::string &a, size_t &i, const std::string &b, size_t &j) {
    while (i < a.size() && a[i] == '0' && i + 1 < a.size() && IsDigit(a[i + 1]))
        i++;
    while (j < b.size() && b[j] == '0' && j + 1 < b.size() && IsDigit(b[j + 1]))
        j++;
    size_t startA = i, startB = j;
    while (i < a.size() && IsDigit(a[i]))
        i++;
    while (j < b.size() && IsDigit(b[j]))
        j++;
    size_t lengthA = i - startA, lengthB = j - startB;
    if (lengthA != lengthB)
        return lengthA < lengthB ? -1 : 1;
    return a.compare(startA, lengthA, b, startB, lengthB);
}

bool NaturalNameLess(const std::string &a, const std::string &b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            int order = CompareNumberRuns(a, i, b, j);
            if (order != 0)
                return order < 0;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            i++;
            j++;
        }
    }
    if (i < a.size() || j < b.size())
        return j < b.size();
    // Equal up to leading zeros: fall back to plain order so that the sort stays strict.
    return a < b;
}

bool IsAdapterPort(const DiscoveredPort &port) {
    return port.name.rfind("ttyUSB", 0) == 0 || port.name.rfind("ttyACM", 0) == 0 ||
           port.hasVendorId;
}

void OrderDiscoveredPorts(std::vector<DiscoveredPort> &ports) {
    std::sort(ports.begin(), ports.end(), [](const DiscoveredPort &a, const DiscoveredPort &b) {
        bool adapterA = IsAdapterPort(a), adapterB = IsAdapterPort(b);
        if (adapterA != adapterB)
            return adapterA;
        return NaturalNameLess(a.name, b.name);
    });
}

std::string MappedDescription(int number) {
    return "mapped by NVMX_COM" + std::to_string(number);
}

static bool Contains(const std::vector<int> &numbers, int number) {
    return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

// The number previous gave device, or 0.
static int PreviousNumber(const std::vector<NumberedPort> &previous, const std::string &device) {
    for (const NumberedPort &entry : previous)
        if (entry.device == device)
            return entry.number;
    return 0;
}

std::vector<NumberedPort> NumberPorts(const std::vector<DiscoveredPort> &ordered,
                                      const std::vector<std::string> &mapped,
                                      const std::vector<NumberedPort> &previous,
                                      const std::vector<int> &held) {
    std::vector<NumberedPort> numbered;
    std::vector<int> taken;
    for (size_t number = 1; number < mapped.size(); number++) {
        if (!mapped[number].empty()) {
            numbered.push_back({int(number), mapped[number], MappedDescription(int(number))});
            taken.push_back(int(number));
        }
    }
    std::vector<const DiscoveredPort *> newcomers;
    for (const DiscoveredPort &port : ordered) {
        int kept = PreviousNumber(previous, port.device);
        if (kept > 0 && !Contains(taken, kept)) {
            numbered.push_back({kept, port.device, port.description});
            taken.push_back(kept);
        } else {
            newcomers.push_back(&port);
        }
    }
    taken.insert(taken.end(), held.begin(), held.end());
    int candidate = 1;
    for (const DiscoveredPort *port : newcomers) {
        while (Contains(taken, candidate))
            candidate++;
        numbered.push_back({candidate, port->device, port->description});
        taken.push_back(candidate);
    }
    std::sort(numbered.begin(), numbered.end(),
              [](const NumberedPort &a, const NumberedPort &b) { return a.number < b.number; });
    return numbered;
}
