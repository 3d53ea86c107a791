#include "support/pty_peer.h"

#include "platform/serial/rs232.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr unsigned char kSync = 0x55;
constexpr size_t kHeaderLength = 2;
constexpr size_t kWriteLength = 86;

size_t RequestLength(unsigned char command) {
    return command == 1 || command == 2 ? kWriteLength : kHeaderLength;
}

bool MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return false;
    cfmakeraw(&settings);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool WriteAll(int fd, const Bytes &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            usleep(100);
            continue;
        }
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

void CloseFd(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

PtyPeer::~PtyPeer() {
    stop();
}

bool PtyPeer::start(PeerScript script) {
    char name[PATH_MAX] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        return false;
    // The peer keeps the slave open too, so that the master never sees a hang-up while the
    // program closes and reopens its port.
    if (!MakeRaw(slave_) || !MakeRaw(master_) || pipe(wakePipe_) != 0) {
        stop();
        return false;
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
    script_ = std::move(script);
    origin_ = std::chrono::steady_clock::now();
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

void PtyPeer::stop() {
    if (running_) {
        char wake = 1;
        (void)!::write(wakePipe_[1], &wake, 1);
        thread_.join();
        running_ = false;
    }
    CloseFd(wakePipe_[0]);
    CloseFd(wakePipe_[1]);
    CloseFd(master_);
    CloseFd(slave_);
}

void PtyPeer::setScript(PeerScript script) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = std::move(script);
}

void PtyPeer::mapTo(int number) const {
    std::string variable = "NVMX_COM" + std::to_string(number);
    setenv(variable.c_str(), slavePath_.c_str(), 1);
    // A new scan, so that the port list and the device behind the number (the sensor's name)
    // show the mapping as a program started with it would.
    ComPortCount();
}

bool PtyPeer::send(const Bytes &bytes) {
    return WriteAll(master_, bytes);
}

Bytes PtyPeer::received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<PeerRequest> PtyPeer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool PtyPeer::waitForRequests(size_t count, double seconds) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                             [&] { return requests_.size() >= count; });
}

double PtyPeer::now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin_).count();
}

void PtyPeer::run() {
    for (;;) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        int ready = poll(fds, 2, pollTimeoutMs());
        if (ready < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN)
            return;
        if (fds[0].revents & POLLIN)
            takeInput();
        writeDue();
    }
}

void PtyPeer::takeInput() {
    unsigned char chunk[512];
    ssize_t n;
    while ((n = ::read(master_, chunk, sizeof chunk)) > 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.insert(received_.end(), chunk, chunk + n);
        unframed_.insert(unframed_.end(), chunk, chunk + n);
    }
    frameRequests();
}

// Cuts complete requests off the unframed input and lets the script answer each.
void PtyPeer::frameRequests() {
    for (;;) {
        PeerRequest request;
        PeerScript script;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            while (!unframed_.empty() && unframed_[0] != kSync)
                unframed_.erase(unframed_.begin());
            if (unframed_.size() < kHeaderLength)
                return;
            size_t length = RequestLength(unframed_[1]);
            if (unframed_.size() < length)
                return;
            request.bytes.assign(unframed_.begin(), unframed_.begin() + long(length));
            unframed_.erase(unframed_.begin(), unframed_.begin() + long(length));
            request.time = now();
            requests_.push_back(request);
            script = script_;
        }
        changed_.notify_all();
        if (script)
            schedule(script(request));
    }
}

void PtyPeer::schedule(const PeerReply &reply) {
    auto due = std::chrono::steady_clock::now() +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                   std::chrono::duration<double>(reply.delay));
    auto gap = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(reply.byteGap));
    if (reply.bytes.empty())
        return;
    if (reply.byteGap <= 0.0) {
        pending_.push_back({due, reply.bytes});
        return;
    }
    for (unsigned char byte : reply.bytes) {
        pending_.push_back({due, Bytes{byte}});
        due += gap;
    }
}

void PtyPeer::writeDue() {
    auto now = std::chrono::steady_clock::now();
    auto due = std::stable_partition(pending_.begin(), pending_.end(),
                                     [&](const Pending &p) { return p.due <= now; });
    for (auto it = pending_.begin(); it != due; ++it)
        WriteAll(master_, it->bytes);
    pending_.erase(pending_.begin(), due);
}

int PtyPeer::pollTimeoutMs() const {
    if (pending_.empty())
        return -1;
    auto next =
        std::min_element(pending_.begin(), pending_.end(), [](const Pending &a, const Pending &b) {
            return a.due < b.due;
        })->due;
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(next - std::chrono::steady_clock::now());
    return int(std::max<long long>(0, left.count()));
}

PeerScript SilentPeer() {
    return [](const PeerRequest &) { return PeerReply{}; };
}

PeerScript AnswerCommand(unsigned char command, PeerReply reply) {
    return [command, reply](const PeerRequest &request) {
        return request.bytes[1] == command ? reply : PeerReply{};
    };
}

PeerScript AnswerLikeASensor(Bytes block, Bytes frame) {
    return [block, frame](const PeerRequest &request) {
        PeerReply reply;
        if (request.bytes[1] == 7)
            reply.bytes = {0xAA};
        else if (request.bytes[1] == 3 || request.bytes[1] == 4)
            reply.bytes = block;
        else if (request.bytes[1] == 5)
            reply.bytes = frame;
        return reply;
    };
}
