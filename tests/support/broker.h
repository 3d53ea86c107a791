// A real MQTT broker for tests: /usr/sbin/mosquitto on free loopback ports, configured in a
// scratch folder of its own, with an optional password file and an optional TLS listener whose
// CA and server certificate are made at test time; and a subscriber that collects what the
// broker delivers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

struct mosquitto;

struct BrokerOptions {
    std::string user; // not empty: a password file with this one user
    std::string password;
    bool tls = false; // a second listener, TLS with the generated server certificate
};

class TestBroker {
  public:
    TestBroker() = default;
    TestBroker(const TestBroker &) = delete;
    TestBroker &operator=(const TestBroker &) = delete;
    ~TestBroker();

    // Makes the scratch folder, its files and ports, starts the broker and waits until every
    // listener accepts connections. False, with error(), when it cannot.
    bool start(const BrokerOptions &options = {});
    // Ends the broker and waits for it.
    void stop();
    // Starts the broker again on the same ports.
    bool restart();

    int port() const { return port_; }
    int tlsPort() const { return tlsPort_; }
    const std::string &folder() const { return folder_; }
    std::string caFile() const { return folder_ + "/ca.crt"; }
    const std::string &error() const { return error_; }
    // What the broker has logged so far.
    std::string log() const;
    // How many clients whose id begins with idPrefix the broker took so far.
    int clientsConnected(const std::string &idPrefix) const;

  private:
    bool writeFiles();
    bool launch();
    bool accepting();

    BrokerOptions options_;
    std::string folder_;
    std::string error_;
    int port_ = 0;
    int tlsPort_ = 0;
    pid_t pid_ = -1;
};

// A loopback port that nothing listens on (bound once, then released).
int FreeLoopbackPort();
// Makes a self-signed CA, <folder>/<name>.key and <folder>/<name>.crt. False when openssl fails.
bool MakeCertificateAuthority(const std::string &folder, const std::string &name);

struct ReceivedMessage {
    std::string topic;
    std::string payload;
    bool retained;
};

using MessageMatch = std::function<bool(const ReceivedMessage &)>;
// Matches a topic and, when payload is given, the payload.
MessageMatch Message(const std::string &topic, const char *payload = nullptr);

// A subscriber on its own network thread (mosquitto_loop_start). It subscribes again by itself
// after the broker came back.
class TestSubscriber {
  public:
    TestSubscriber() = default;
    TestSubscriber(const TestSubscriber &) = delete;
    TestSubscriber &operator=(const TestSubscriber &) = delete;
    ~TestSubscriber();

    // Connects to 127.0.0.1:port, subscribes to filter and waits for the broker's answer.
    bool start(int port, const std::string &filter);
    void stop();

    std::vector<ReceivedMessage> messages() const;
    int count(const MessageMatch &match) const;
    // Waits at most seconds for a message that matches (one received before counts too); the
    // first such message goes into found.
    bool waitFor(const MessageMatch &match, double seconds, ReceivedMessage *found = nullptr);

  private:
    static void onConnect(mosquitto *handle, void *self, int code);
    static void onSubscribe(mosquitto *handle, void *self, int mid, int count, const int *qos);
    static void onMessage(mosquitto *handle, void *self, const struct mosquitto_message *message);
    bool waitForSubscription(double seconds);

    mosquitto *handle_ = nullptr;
    std::string filter_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool subscribed_ = false;
    std::vector<ReceivedMessage> messages_;
};
