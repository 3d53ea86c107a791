// Who may reach the web view: the address it listens on, and the password it asks for when that
// address is not a loopback one (HTTP basic authentication, the password compared in constant
// time). Free of Qt.
#pragma once

#include <string>

struct ListenAddress {
    std::string host; // an IP address as text, without brackets
    int port = 0;     // 1..65535; 0: any free port
};

// "PORT" and ":PORT" (loopback), "HOST:PORT" (an IPv4 address or "localhost") and
// "[IPv6]:PORT"; false with why for anything else.
bool ParseListenAddress(const std::string &text, ListenAddress *address, std::string *why);
// 127.0.0.0/8 and ::1: only this computer reaches it.
bool IsLoopback(const ListenAddress &address);
// "127.0.0.1:8451", "[::1]:8451".
std::string ShowAddress(const ListenAddress &address);

// The password: the file's first line, without its line end. False with why when the file cannot
// be read or the line is empty.
bool ReadPasswordFile(const std::string &path, std::string *password, std::string *why);
// given against expected in time that depends on expected's length only.
bool SamePassword(const std::string &given, const std::string &expected);
// Standard base64 with its padding into bytes; false at any other character.
bool DecodeBase64(const std::string &text, std::string *bytes);
// The password of an "Authorization: Basic ..." header's value; false when it holds none.
bool BasicPassword(const std::string &header, std::string *password);
