// Serial-port services: numbering, open failures, closed ports and the input queue, over a
// pseudo-terminal whose master side a scripted peer holds.

#include "platform/core/textcopy.h"
#include "platform/serial/linesilence.h"
#include "platform/serial/rs232.h"
#include "platform/serial/rs232_ports.h"
#include "platform/serial/rs232_reason.h"
#include "support/pty_peer.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

const int kPeerPort = 9;

double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

int OpenAt9600(int port) {
    return OpenComConfig(port, "", 9600, 0, 8, 1, 1024, 1024);
}

// Polls the input queue until it reports at least count bytes; returns the last report.
int PollUntil(int port, int count, double seconds = 3.0) {
    double end = Seconds() + seconds;
    int waiting = GetInQLen(port);
    while (waiting < count && Seconds() < end)
        waiting = GetInQLen(port);
    return waiting;
}

class SerialPort : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_rs232";
        static char *argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }
    void SetUp() override {
        ASSERT_TRUE(peer.start());
        peer.mapTo(kPeerPort);
        ASSERT_EQ(0, OpenAt9600(kPeerPort));
    }
    void TearDown() override {
        CloseCom(kPeerPort);
        peer.stop();
    }
    PtyPeer peer;
};

} // namespace

TEST(PortNumbering, AdaptersFirstThenOnBoardPortsEachInNaturalOrder) {
    EXPECT_TRUE(NaturalNameLess("ttyUSB2", "ttyUSB10"));
    EXPECT_FALSE(NaturalNameLess("ttyUSB10", "ttyUSB2"));
    EXPECT_TRUE(NaturalNameLess("ttyS9", "ttyS10"));
    EXPECT_FALSE(NaturalNameLess("ttyS1", "ttyS1"));

    std::vector<DiscoveredPort> ports = {
        {"ttyS10", "/dev/ttyS10", "", false},   {"ttyUSB10", "/dev/ttyUSB10", "", false},
        {"ttyS2", "/dev/ttyS2", "", false},     {"ttyXRUSB0", "/dev/ttyXRUSB0", "", true},
        {"ttyS0", "/dev/ttyS0", "", false},     {"ttyUSB2", "/dev/ttyUSB2", "", false},
        {"ttyACM0", "/dev/ttyACM0", "", false},
    };
    OrderDiscoveredPorts(ports);
    std::vector<std::string> names;
    for (const DiscoveredPort &port : ports)
        names.push_back(port.name);
    EXPECT_EQ((std::vector<std::string>{"ttyACM0", "ttyUSB2", "ttyUSB10", "ttyXRUSB0", "ttyS0",
                                        "ttyS2", "ttyS10"}),
              names);

    // A mapping takes its number; the port that would have had it moves to the next free one.
    std::vector<std::string> mapped(COM_MAX_PORT + 1);
    mapped[2] = "/dev/pts/7";
    mapped[12] = "/dev/pts/8";
    std::vector<NumberedPort> numbered = NumberPorts(ports, mapped);
    ASSERT_EQ(9u, numbered.size());
    EXPECT_EQ("/dev/ttyACM0", numbered[0].device);
    EXPECT_EQ(2, numbered[1].number);
    EXPECT_EQ("/dev/pts/7", numbered[1].device);
    EXPECT_EQ("mapped by NVMX_COM2", numbered[1].description);
    EXPECT_EQ(3, numbered[2].number);
    EXPECT_EQ("/dev/ttyUSB2", numbered[2].device);
    EXPECT_EQ(8, numbered[7].number);
    EXPECT_EQ("/dev/ttyS10", numbered[7].device);
    EXPECT_EQ(12, numbered[8].number);

    // An adapter plugged in later takes a free number and renumbers nobody; a number held for a
    // device that went away is not given to it.
    std::vector<DiscoveredPort> plugged = ports;
    plugged.insert(plugged.begin(), {"ttyUSB0", "/dev/ttyUSB0", "", false});
    std::vector<NumberedPort> after = NumberPorts(plugged, mapped, numbered, {9});
    ASSERT_EQ(10u, after.size());
    for (size_t i = 0; i < 8; i++)
        EXPECT_EQ(numbered[i].device, after[i].device) << "COM" << after[i].number;
    EXPECT_EQ(10, after[8].number);
    EXPECT_EQ("/dev/ttyUSB0", after[8].device);
    EXPECT_EQ("/dev/pts/8", after[9].device);
}

TEST_F(SerialPort, MappedPortIsListedWithItsDevice) {
    int count = ComPortCount();
    bool listed = false;
    for (int i = 0; i < count; i++) {
        if (i > 0) {
            EXPECT_LT(ComPortNumber(i - 1), ComPortNumber(i));
        }
        listed = listed || ComPortNumber(i) == kPeerPort;
    }
    EXPECT_TRUE(listed);
    char text[64];
    ASSERT_EQ(0, ComPortDevice(kPeerPort, text, sizeof text));
    EXPECT_EQ(peer.slavePath(), text);
    ASSERT_EQ(0, ComPortDescription(kPeerPort, text, sizeof text));
    EXPECT_STREQ("mapped by NVMX_COM9", text);
    char tiny[4];
    ComPortDescription(kPeerPort, tiny, sizeof tiny);
    EXPECT_STREQ("map", tiny);
    EXPECT_EQ(RS232_INVALID_PORT_NUMBER, ComPortDevice(0, text, sizeof text));
}

TEST(PortOpen, FailuresReportTheirCause) {
    EXPECT_EQ(RS232_INVALID_PORT_NUMBER, OpenAt9600(0));
    EXPECT_EQ(RS232_INVALID_PORT_NUMBER, OpenAt9600(COM_MAX_PORT + 1));

    unsetenv("NVMX_COM200");
    EXPECT_EQ(RS232_NO_PORT_FOUND, OpenAt9600(200));

    setenv("NVMX_COM201", "/dev/nvmx-no-such-device", 1);
    EXPECT_EQ(RS232_CANNOT_OPEN_PORT, OpenAt9600(201));
    std::string plain = ::testing::TempDir() + "nvmx-not-a-tty";
    std::ofstream(plain) << "x";
    setenv("NVMX_COM202", plain.c_str(), 1);
    EXPECT_EQ(RS232_CANNOT_OPEN_PORT, OpenAt9600(202));
    setenv("NVMX_COM203", "/dev/null", 1);
    EXPECT_EQ(RS232_CANNOT_OPEN_PORT, OpenAt9600(203));
    std::remove(plain.c_str());

    // A failed open leaves the port closed.
    EXPECT_EQ(RS232_PORT_NOT_OPEN, GetInQLen(201));
}

TEST(PortOpen, CallsOnAClosedPortFailHarmlessly) {
    const int never = 150;
    unsigned char byte = 0x55;
    EXPECT_LE(CloseCom(never), 0);
    EXPECT_LE(CloseCom(never), 0);
    EXPECT_EQ(RS232_PORT_NOT_OPEN, GetInQLen(never));
    EXPECT_EQ(RS232_PORT_NOT_OPEN, ComRd(never, &byte, 1));
    EXPECT_EQ(RS232_PORT_NOT_OPEN, ComWrt(never, &byte, 1));
    EXPECT_EQ(RS232_PORT_NOT_OPEN, FlushInQ(never));
    EXPECT_EQ(RS232_PORT_NOT_OPEN, FlushOutQ(never));
    EXPECT_EQ(RS232_PORT_NOT_OPEN, SetComTime(never, 2.0));
    EXPECT_EQ(RS232_PORT_NOT_OPEN, SetCTSMode(never, 0));
    EXPECT_EQ(RS232_INVALID_PORT_NUMBER, GetInQLen(0));
    EXPECT_EQ(RS232_INVALID_PORT_NUMBER, CloseCom(-1));
}

TEST_F(SerialPort, WriteIsOnTheLineWhenItReturns) {
    unsigned char request[86] = {0x55, 0x01};
    for (int i = 2; i < 86; i++)
        request[i] = (unsigned char)i;
    ASSERT_EQ(0, SetComTime(kPeerPort, 2.0));
    EXPECT_EQ(86, ComWrt(kPeerPort, request, 86));
    // Nothing of the engine runs from here on, so the bytes must already be with the system.
    ASSERT_TRUE(peer.waitForRequests(1, 3.0));
    EXPECT_EQ(Bytes(request, request + 86), peer.requests()[0].bytes);
}

TEST_F(SerialPort, QueueLengthDoesNotConsumeAndReadStopsAtCount) {
    ASSERT_TRUE(peer.send({1, 2, 3}));
    ASSERT_EQ(3, PollUntil(kPeerPort, 3));
    EXPECT_EQ(3, GetInQLen(kPeerPort));

    unsigned char buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(2, ComRd(kPeerPort, buffer, 2));
    EXPECT_EQ(1, buffer[0]);
    EXPECT_EQ(2, buffer[1]);
    EXPECT_EQ(0xEE, buffer[2]) << "ComRd wrote beyond count";
    EXPECT_EQ(1, GetInQLen(kPeerPort));
    EXPECT_EQ(1, ComRd(kPeerPort, buffer, 4));
    EXPECT_EQ(3, buffer[0]);
    EXPECT_EQ(0, ComRd(kPeerPort, buffer, 4)) << "ComRd must not wait for more";
}

TEST_F(SerialPort, BytesArrivingLaterAddToWhatWaits) {
    ASSERT_TRUE(peer.send({0xAA, 0xAA}));
    EXPECT_EQ(2, PollUntil(kPeerPort, 1)) << "two bytes sent together are seen together";
    ASSERT_TRUE(peer.send({0x07}));
    EXPECT_EQ(3, PollUntil(kPeerPort, 3));
}

// The event loop lets Qt SerialPort read the line into a buffer of its own; what it took there
// still reaches the engine's queue, in the order the bytes came.
TEST_F(SerialPort, BytesTheEventLoopTookKeepTheirPlace) {
    ASSERT_TRUE(peer.send({1}));
    ASSERT_EQ(1, PollUntil(kPeerPort, 1));
    ASSERT_TRUE(peer.send({2, 3}));
    for (int step = 0; step < 20; step++) {
        usleep(5000);
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(peer.send({4}));
    ASSERT_EQ(4, PollUntil(kPeerPort, 4));
    unsigned char bytes[4] = {};
    ASSERT_EQ(4, ComRd(kPeerPort, bytes, 4));
    EXPECT_EQ(Bytes({1, 2, 3, 4}), Bytes(bytes, bytes + 4));
}

TEST_F(SerialPort, FlushDiscardsWhatWaitsInTheEngineAndTheSystem) {
    ASSERT_TRUE(peer.send({1, 2, 3}));
    ASSERT_EQ(3, PollUntil(kPeerPort, 3));
    ASSERT_TRUE(peer.send({4, 5}));
    usleep(20000); // lets the second pair reach the system queue without the engine seeing it
    EXPECT_EQ(0, FlushInQ(kPeerPort));
    EXPECT_EQ(0, PollUntil(kPeerPort, 1, 0.1));
    EXPECT_EQ(0, FlushOutQ(kPeerPort));

    ASSERT_TRUE(peer.send({6}));
    unsigned char byte = 0;
    ASSERT_EQ(1, PollUntil(kPeerPort, 1));
    ASSERT_EQ(1, ComRd(kPeerPort, &byte, 1));
    EXPECT_EQ(6, byte);
}

namespace {

int silentPolls = 0;

void CountSilentPoll() {
    silentPolls++;
}

} // namespace

// A poll sleeps only while nothing beyond its last count waits. A flush forgets that count: a
// byte that a read left in the engine's queue after it is reported at once, without the sleep.
TEST_F(SerialPort, WaitingBytesAreReportedWithoutSleepingAfterAFlush) {
    silentPolls = 0;
    SetLineSilenceHook(CountSilentPoll);
    double fastest = 1.0;
    for (int round = 0; round < 5; round++) {
        ASSERT_TRUE(peer.send({1, 2, 3, 4, 5}));
        ASSERT_EQ(5, PollUntil(kPeerPort, 5));
        ASSERT_EQ(0, FlushInQ(kPeerPort));
        ASSERT_TRUE(peer.send({6, 7}));
        usleep(20000); // the pair reaches the system queue unseen; the read takes both in
        unsigned char byte = 0;
        ASSERT_EQ(1, ComRd(kPeerPort, &byte, 1));
        const int silentBefore = silentPolls;
        double start = Seconds();
        ASSERT_EQ(1, GetInQLen(kPeerPort));
        fastest = std::min(fastest, Seconds() - start);
        EXPECT_EQ(silentPolls, silentBefore) << "the poll blocked for the line while a byte waited";
        ASSERT_EQ(1, ComRd(kPeerPort, &byte, 1));
    }
    // With nothing waiting the poll does block for the line, and the hook sees it.
    const int silentBefore = silentPolls;
    EXPECT_EQ(0, GetInQLen(kPeerPort));
    EXPECT_EQ(silentPolls, silentBefore + 1);
    SetLineSilenceHook(nullptr);
    // A sleep of the poll lasts at least its 5 ms; a report without one takes microseconds, and
    // the fastest of five is not preempted every time.
    EXPECT_LT(fastest, 0.004) << "the poll slept while a byte waited";
}

TEST_F(SerialPort, InputQueueStaysBounded) {
    ASSERT_TRUE(peer.send(Bytes(3000, 0x33)));
    int waiting = PollUntil(kPeerPort, 1024, 2.0);
    PollUntil(kPeerPort, 3000, 0.2);
    EXPECT_EQ(1024, waiting);
    EXPECT_LE(GetInQLen(kPeerPort), 1024);
}

TEST_F(SerialPort, ReopeningAnOpenPortKeepsItWorking) {
    ASSERT_EQ(0, OpenAt9600(kPeerPort));
    ASSERT_TRUE(peer.send({0x42}));
    EXPECT_EQ(1, PollUntil(kPeerPort, 1));
}

TEST_F(SerialPort, PollingASilentLineMostlySleeps) {
    double cpuStart = CpuSeconds();
    double start = Seconds();
    long polls = 0;
    while (Seconds() - start < 0.5) {
        ASSERT_EQ(0, GetInQLen(kPeerPort));
        polls++;
    }
    double wall = Seconds() - start;
    double share = (CpuSeconds() - cpuStart) / wall;
    std::printf("silent poll: %ld polls in %.3f s, CPU %.1f%% of one core\n", polls, wall,
                100.0 * share);
    EXPECT_LT(share, 0.5);
    // A silent poll blocks 5 ms and a loaded machine stretches that; polls that wait for anything
    // longer (a reply's time-out) leave a handful at most.
    EXPECT_GT(polls, 5) << "a poll should block a few milliseconds at most";
}

TEST(OpenFailure, ReasonAndRemedyFollowQtsCodeAndTheDevice) {
    OpenFailureFacts refused;
    refused.device = "/dev/ttyUSB0";
    refused.qtError = QSerialPort::PermissionError;
    refused.qtText = "Permission denied";
    refused.accessible = false;
    std::string text = DescribeOpenFailure(refused);
    EXPECT_EQ(0u, text.find("/dev/ttyUSB0: permission denied")) << text;
    EXPECT_NE(std::string::npos, text.find("add your user to the group dialout and log in again"));
    EXPECT_NE(std::string::npos, text.find("(Permission denied)")) << "Qt's text is kept";

    OpenFailureFacts busy = refused;
    busy.accessible = true;
    EXPECT_NE(std::string::npos, DescribeOpenFailure(busy).find("busy, held by another program"));
    busy.holder = "program 'minicom' (pid 42)";
    EXPECT_NE(std::string::npos, DescribeOpenFailure(busy).find("held by program 'minicom'"));

    OpenFailureFacts gone;
    gone.device = "/dev/ttyACM3";
    gone.qtError = QSerialPort::DeviceNotFoundError;
    EXPECT_NE(std::string::npos, DescribeOpenFailure(gone).find("no such device"));
    gone.qtError = QSerialPort::OpenError;
    gone.exists = false;
    gone.danglingLink = true;
    EXPECT_NE(std::string::npos, DescribeOpenFailure(gone).find("link points to no device"));
}

TEST(OpenFailure, BadDevicesAreRefusedWithTheirReason) {
    std::string dir = ::testing::TempDir() + "nvmx-bad-" + std::to_string(getpid());
    std::filesystem::create_directories(dir + "/subdir");
    std::ofstream(dir + "/plain") << "x";
    std::filesystem::create_symlink(dir + "/nothing", dir + "/dangling");
    const std::pair<const char *, const char *> cases[] = {
        {"/subdir", "a directory"}, {"/plain", "not a serial port"}, {"/dangling", "link points"}};
    for (const auto &[name, reason] : cases) {
        SCOPED_TRACE(name);
        std::string path = dir + name;
        setenv("NVMX_COM220", path.c_str(), 1);
        EXPECT_EQ(RS232_CANNOT_OPEN_PORT, OpenAt9600(220));
        char text[512] = "";
        ASSERT_EQ(0, ComOpenFailure(220, text, sizeof text));
        EXPECT_NE(std::string::npos, std::string(text).find(path + ": ")) << text;
        EXPECT_NE(std::string::npos, std::string(text).find(reason)) << text;
    }
    std::filesystem::remove_all(dir);
}

TEST_F(SerialPort, APortInUseIsBusyForASecondOpenEvenForRoot) {
    setenv("NVMX_COM221", peer.slavePath().c_str(), 1);
    EXPECT_EQ(RS232_CANNOT_OPEN_PORT, OpenAt9600(221));
    char text[512] = "";
    ComOpenFailure(221, text, sizeof text);
    EXPECT_NE(std::string::npos, std::string(text).find("busy")) << text;
    CloseCom(kPeerPort);
    EXPECT_EQ(0, OpenAt9600(221)) << "free again once closed";
    text[0] = 'x';
    ComOpenFailure(221, text, sizeof text);
    EXPECT_STREQ("", text);
    CloseCom(221);
}

// Texts handed to callers are always terminated, never end in half a character and say when
// they were cut.
TEST(TextCopy, CutsAtACharacterBoundaryAndAlwaysTerminates) {
    const char text[] = "COM1 \xC3\xBC"; // "COM1 ü": the last character takes two bytes
    char buffer[7];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(CopyUtf8Text(text, sizeof text - 1, buffer, sizeof buffer), TEXT_CUT);
    EXPECT_STREQ("COM1 ", buffer) << "half of the two-byte character was kept";
    char whole[8];
    ASSERT_EQ(CopyUtf8Text(text, sizeof text - 1, whole, sizeof whole), TEXT_WHOLE);
    EXPECT_STREQ(text, whole);
    EXPECT_EQ(CopyUtf8Text(text, sizeof text - 1, nullptr, 4), TEXT_NOT_COPIED);
    EXPECT_EQ(CopyUtf8Text(text, sizeof text - 1, whole, 0), TEXT_NOT_COPIED);
}
