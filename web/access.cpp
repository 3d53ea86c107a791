#include "web/access.h"

#include <arpa/inet.h>
#include <cctype>
#include <fstream>

namespace {

bool IsPort(const std::string &text, int *port) {
    if (text.empty() || text.size() > 5)
        return false;
    for (char c : text)
        if (!std::isdigit((unsigned char)c))
            return false;
    *port = std::stoi(text);
    return *port <= 65535;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

bool ParseListenAddress(const std::string &text, ListenAddress *address, std::string *why) {
    std::string host = "127.0.0.1", port = text;
    const size_t colon = text.rfind(':');
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 != colon) {
            *why = "'" + text + "' is no address: write [IPv6]:PORT";
            return false;
        }
        host = text.substr(1, close - 1);
        port = text.substr(colon + 1);
    } else if (colon != std::string::npos) {
        if (colon > 0)
            host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host == "localhost")
        host = "127.0.0.1";
    unsigned char binary[16];
    const bool ip = inet_pton(AF_INET, host.c_str(), binary) == 1 ||
                    inet_pton(AF_INET6, host.c_str(), binary) == 1;
    if (!ip) {
        *why = "'" + host + "' is no IP address (give one, such as 0.0.0.0 or 192.168.1.20)";
        return false;
    }
    if (!IsPort(port, &address->port)) {
        *why = "'" + port + "' is no port (0 to 65535)";
        return false;
    }
    address->host = host;
    return true;
}

bool IsLoopback(const ListenAddress &address) {
    unsigned char binary[16];
    if (inet_pton(AF_INET, address.host.c_str(), binary) == 1)
        return binary[0] == 127;
    return address.host == "::1";
}

std::string ShowAddress(const ListenAddress &address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

bool ReadPasswordFile(const std::string &path, std::string *password, std::string *why) {
    std::ifstream file(path);
    if (!file) {
        *why = "the password file " + path + " cannot be read";
        return false;
    }
    std::getline(file, *password);
    if (!password->empty() && password->back() == '\r')
        password->pop_back();
    if (password->empty()) {
        *why = "the password file " + path + " holds no password on its first line";
        return false;
    }
    return true;
}

bool SamePassword(const std::string &given, const std::string &expected) {
    unsigned char difference = given.size() == expected.size() ? 0 : 1;
    for (size_t i = 0; i < expected.size(); i++) {
        const unsigned char other = i < given.size() ? (unsigned char)given[i] : 0;
        difference |= (unsigned char)expected[i] ^ other;
    }
    return difference == 0;
}

bool DecodeBase64(const std::string &text, std::string *bytes) {
    std::string end = text;
    while (!end.empty() && end.back() == '=')
        end.pop_back();
    if (text.size() - end.size() > 2)
        return false;
    unsigned int bits = 0;
    int count = 0;
    for (char c : end) {
        const int value = Base64Value(c);
        if (value < 0)
            return false;
        bits = (bits << 6) | (unsigned)value;
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes->push_back((char)((bits >> count) & 0xFF));
        }
    }
    return true;
}

bool BasicPassword(const std::string &header, std::string *password) {
    static const std::string scheme = "Basic ";
    if (header.compare(0, scheme.size(), scheme) != 0)
        return false;
    std::string credentials;
    if (!DecodeBase64(header.substr(scheme.size()), &credentials))
        return false;
    const size_t colon = credentials.find(':');
    if (colon == std::string::npos)
        return false;
    *password = credentials.substr(colon + 1);
    return true;
}
