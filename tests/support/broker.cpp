#include "support/broker.h"

#include "support/panel_fixture.h"

#include <mosquitto.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

const char brokerProgram[] = "/usr/sbin/mosquitto";
enum { LAUNCH_ATTEMPTS = 5, READY_SECONDS = 20 };

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons((uint16_t)port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const sockaddr_in address = Loopback(port);
    const bool connected = connect(fd, (const sockaddr *)&address, sizeof address) == 0;
    close(fd);
    return connected;
}

std::string Quoted(const std::string &text) {
    return "'" + text + "'";
}

// Runs a shell command line with its output appended to logFile; true when it exits with 0.
bool RunShell(const std::string &command, const std::string &logFile) {
    const int status = std::system((command + " >>" + Quoted(logFile) + " 2>&1").c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The broker drops root's rights to the user named here; the scratch folder is only ours.
std::string CurrentUser() {
    const passwd *entry = getpwuid(geteuid());
    return entry != nullptr ? entry->pw_name : "root";
}

bool MakeServerCertificate(const std::string &folder) {
    const std::string log = folder + "/openssl.log";
    std::ofstream(folder + "/server.ext") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    return MakeCertificateAuthority(folder, "ca") &&
           RunShell("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                    "-keyout " +
                        Quoted(folder + "/server.key") + " -out " + Quoted(folder + "/server.csr") +
                        " -subj /CN=127.0.0.1",
                    log) &&
           RunShell("openssl x509 -req -days 2 -in " + Quoted(folder + "/server.csr") + " -CA " +
                        Quoted(folder + "/ca.crt") + " -CAkey " + Quoted(folder + "/ca.key") +
                        " -CAcreateserial -out " + Quoted(folder + "/server.crt") + " -extfile " +
                        Quoted(folder + "/server.ext"),
                    log);
}

} // namespace

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    int port = -1;
    if (bind(fd, (const sockaddr *)&address, sizeof address) == 0 &&
        getsockname(fd, (sockaddr *)&address, &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

bool MakeCertificateAuthority(const std::string &folder, const std::string &name) {
    return RunShell("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                    "-nodes -days 2 -keyout " +
                        Quoted(folder + "/" + name + ".key") + " -out " +
                        Quoted(folder + "/" + name + ".crt") + " -subj /CN=" + name,
                    folder + "/openssl.log");
}

TestBroker::~TestBroker() {
    stop();
    if (!folder_.empty())
        std::filesystem::remove_all(folder_);
}

bool TestBroker::start(const BrokerOptions &options) {
    options_ = options;
    folder_ = MakeScratchDirectory("nvmx-broker-");
    if (folder_.empty()) {
        error_ = "no scratch folder";
        return false;
    }
    const std::string passwords = Quoted(folder_ + "/passwords");
    if (!options.user.empty() &&
        !RunShell("mosquitto_passwd -b -c " + passwords + " " + Quoted(options.user) + " " +
                      Quoted(options.password),
                  folder_ + "/passwd.log")) {
        error_ = "mosquitto_passwd failed";
        return false;
    }
    if (options.tls && !MakeServerCertificate(folder_)) {
        error_ = "openssl failed: see " + folder_ + "/openssl.log";
        return false;
    }
    // A port found free may be taken again before the broker binds it: then try other ports.
    for (int attempt = 0; attempt < LAUNCH_ATTEMPTS; ++attempt) {
        port_ = FreeLoopbackPort();
        tlsPort_ = options.tls ? FreeLoopbackPort() : 0;
        if (writeFiles() && launch())
            return true;
    }
    return false;
}

bool TestBroker::writeFiles() {
    std::ofstream config(folder_ + "/mosquitto.conf");
    config << "per_listener_settings false\nallow_anonymous true\npersistence false\n"
           << "user " << CurrentUser() << "\nlog_dest stderr\n";
    if (!options_.user.empty())
        config << "password_file " << folder_ << "/passwords\n";
    config << "listener " << port_ << " 127.0.0.1\n";
    if (options_.tls)
        config << "listener " << tlsPort_ << " 127.0.0.1\ncafile " << folder_
               << "/ca.crt\ncertfile " << folder_ << "/server.crt\nkeyfile " << folder_
               << "/server.key\n";
    config.close();
    if (!config) {
        error_ = "cannot write " + folder_ + "/mosquitto.conf";
        return false;
    }
    return true;
}

bool TestBroker::launch() {
    const std::string configPath = folder_ + "/mosquitto.conf";
    const std::string logPath = folder_ + "/broker.log";
    const pid_t pid = fork();
    if (pid < 0) {
        error_ = "fork failed";
        return false;
    }
    if (pid == 0) {
        const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        execl(brokerProgram, "mosquitto", "-c", configPath.c_str(), (char *)nullptr);
        _exit(127);
    }
    pid_ = pid;
    if (accepting())
        return true;
    stop();
    error_ = "the broker did not start; its log:\n" + log();
    return false;
}

// Polls a connection to every listener until it is taken or the broker has ended.
bool TestBroker::accepting() {
    const auto deadline = Clock::now() + std::chrono::seconds(READY_SECONDS);
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        if (Accepts(port_) && (tlsPort_ == 0 || Accepts(tlsPort_)))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void TestBroker::stop() {
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(READY_SECONDS);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

// The ports were the broker's until just now; a listener may still need a moment to let go.
bool TestBroker::restart() {
    stop();
    const auto deadline = Clock::now() + std::chrono::seconds(READY_SECONDS);
    while (Clock::now() < deadline) {
        if (launch())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::string TestBroker::log() const {
    std::ifstream file(folder_ + "/broker.log");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

int TestBroker::clientsConnected(const std::string &idPrefix) const {
    const std::string text = log(), mark = " as " + idPrefix;
    int clients = 0;
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1))
        clients++;
    return clients;
}

MessageMatch Message(const std::string &topic, const char *payload) {
    const std::string expected = payload != nullptr ? payload : "";
    const bool anyPayload = payload == nullptr;
    return [topic, expected, anyPayload](const ReceivedMessage &message) {
        return message.topic == topic && (anyPayload || message.payload == expected);
    };
}

TestSubscriber::~TestSubscriber() {
    stop();
}

bool TestSubscriber::start(int port, const std::string &filter) {
    mosquitto_lib_init();
    filter_ = filter;
    handle_ = mosquitto_new(nullptr, true, this);
    if (handle_ == nullptr)
        return false;
    mosquitto_connect_callback_set(handle_, onConnect);
    mosquitto_subscribe_callback_set(handle_, onSubscribe);
    mosquitto_message_callback_set(handle_, onMessage);
    if (mosquitto_connect(handle_, "127.0.0.1", port, 10) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(handle_) != MOSQ_ERR_SUCCESS) {
        mosquitto_destroy(handle_);
        handle_ = nullptr;
        return false;
    }
    return waitForSubscription(READY_SECONDS);
}

void TestSubscriber::stop() {
    if (handle_ == nullptr)
        return;
    mosquitto_disconnect(handle_);
    mosquitto_loop_stop(handle_, false);
    mosquitto_destroy(handle_);
    handle_ = nullptr;
}

void TestSubscriber::onConnect(mosquitto *handle, void *self, int code) {
    auto *subscriber = static_cast<TestSubscriber *>(self);
    if (code == 0)
        mosquitto_subscribe(handle, nullptr, subscriber->filter_.c_str(), 1);
}

void TestSubscriber::onSubscribe(mosquitto *, void *self, int, int, const int *) {
    auto *subscriber = static_cast<TestSubscriber *>(self);
    std::lock_guard<std::mutex> lock(subscriber->mutex_);
    subscriber->subscribed_ = true;
    subscriber->changed_.notify_all();
}

void TestSubscriber::onMessage(mosquitto *, void *self, const mosquitto_message *message) {
    auto *subscriber = static_cast<TestSubscriber *>(self);
    std::lock_guard<std::mutex> lock(subscriber->mutex_);
    subscriber->messages_.push_back(
        {message->topic, std::string((const char *)message->payload, (size_t)message->payloadlen),
         message->retain});
    subscriber->changed_.notify_all();
}

bool TestSubscriber::waitForSubscription(double seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                             [this] { return subscribed_; });
}

std::vector<ReceivedMessage> TestSubscriber::messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

int TestSubscriber::count(const MessageMatch &match) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int matching = 0;
    for (const ReceivedMessage &message : messages_)
        matching += match(message) ? 1 : 0;
    return matching;
}

bool TestSubscriber::waitFor(const MessageMatch &match, double seconds, ReceivedMessage *found) {
    std::unique_lock<std::mutex> lock(mutex_);
    size_t checked = 0;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(seconds));
    do {
        for (; checked < messages_.size(); ++checked) {
            if (match(messages_[checked])) {
                if (found != nullptr)
                    *found = messages_[checked];
                return true;
            }
        }
    } while (changed_.wait_until(lock, deadline) == std::cv_status::no_timeout ||
             checked < messages_.size());
    return false;
}
