// A scripted peer on a pseudo-terminal: the program under test opens the slave side as its
// serial port (through NVMX_COM<n>), the peer sits on the master side, records every byte it
// receives with a time stamp and answers each complete request as its script says.
//
// Requests are framed as the sensor frames them: 0x55, a command byte, and for the two write
// commands (1 and 2) the 84-byte block. Bytes that cannot start a request are recorded and
// skipped.
#pragma once

#include "support/sensor_bytes.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the peer sends back for one request.
struct PeerReply {
    Bytes bytes;          // nothing: stay silent
    double delay = 0.0;   // seconds after the request was complete
    double byteGap = 0.0; // seconds between bytes; 0 writes them in one go
};

// One complete request as the peer saw it.
struct PeerRequest {
    Bytes bytes;
    double time; // seconds on the peer's clock (PtyPeer::now) when its last byte arrived
};

// The script: called on the peer's thread for every complete request.
using PeerScript = std::function<PeerReply(const PeerRequest &request)>;

class PtyPeer {
  public:
    PtyPeer() = default;
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;
    ~PtyPeer();

    // Opens the pseudo-terminal (both ends raw) and starts the peer's thread. A script given
    // here, or set later, answers requests; without one the peer stays silent.
    bool start(PeerScript script = nullptr);
    void stop();
    void setScript(PeerScript script);

    // Path of the slave side, e.g. "/dev/pts/4".
    const std::string &slavePath() const { return slavePath_; }
    // Sets NVMX_COM<number> to the slave path.
    void mapTo(int number) const;

    // Writes bytes to the program at once, from the calling thread.
    bool send(const Bytes &bytes);

    // Everything received so far, in order.
    Bytes received() const;
    std::vector<PeerRequest> requests() const;
    // Polls until at least count requests are complete; false after the time-out.
    bool waitForRequests(size_t count, double seconds) const;
    // Seconds since the peer started (same clock as PeerRequest::time).
    double now() const;

  private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        Bytes bytes;
    };

    void run();
    void takeInput();
    void frameRequests();
    void schedule(const PeerReply &reply);
    void writeDue();
    int pollTimeoutMs() const;

    int master_ = -1;
    int slave_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::string slavePath_;
    std::thread thread_;
    bool running_ = false;
    std::chrono::steady_clock::time_point origin_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    PeerScript script_;
    Bytes received_;
    Bytes unframed_;
    std::vector<PeerRequest> requests_;
    std::vector<Pending> pending_;
};

// Common scripts.
PeerScript SilentPeer();
// Answers every request with the given command byte by reply; other requests get nothing.
PeerScript AnswerCommand(unsigned char command, PeerReply reply);
// A present sensor: the line check, the parameter read (block) and data requests (frame).
PeerScript AnswerLikeASensor(Bytes block = Bytes(SENSOR_BLOCK_LENGTH, 1),
                             Bytes frame = sampleFrame);
