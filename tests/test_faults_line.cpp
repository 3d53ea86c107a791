// Serial lines that are not what they seem: a device that hangs up while a modal pop-up keeps the
// program from looking, a terminal another program holds for itself, and nodes that are no
// serial port at all (a FIFO, a socket, /dev/null).
#include "platform/serial/rs232.h"
#include "support/panel_fixture.h"
#include "support/pty_peer.h"
#include "support/xsession.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const double timeout = 40.0; // a loaded two-core machine starts Qt slowly

int OpenAt9600(int port) {
    return OpenComConfig(port, "", 9600, 0, 8, 1, 1024, 1024);
}

std::string FailureOf(int port) {
    char text[512] = "";
    ComOpenFailure(port, text, sizeof text);
    return text;
}

// Opens device as port number; returns why that failed ("" when it opened).
std::string OpenFailureOn(int port, const std::string &device) {
    setenv(("NVMX_COM" + std::to_string(port)).c_str(), device.c_str(), 1);
    return OpenAt9600(port) == 0 ? std::string() : FailureOf(port);
}

// Read calls a process has made so far (the kernel's count), or -1.
long ReadCalls(int pid) {
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string name;
    long value = -1;
    while (io >> name >> value)
        if (name == "syscr:")
            return value;
    return -1;
}

// A child process that opens path with flags and then waits to be killed; returns its pid once
// the file is open, or -1.
pid_t HoldOpenInChild(const std::string &path, int flags) {
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        if (open(path.c_str(), flags) >= 0)
            (void)!write(ready[1], "x", 1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char byte = 0;
    bool opened = child > 0 && read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (child > 0 && !opened) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    return opened ? child : -1;
}

void EndChild(pid_t child) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

class LineFaults : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_faults_line";
        static char *argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }
};

// Counts the wake-ups of socket notifiers: Qt SerialPort reads the line once for each.
class NotifierWakes : public QObject {
  public:
    long count = 0;

  protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::SockAct)
            count++;
        return false;
    }
};

} // namespace

// The event loop of a modal pop-up runs while nothing of the engine looks at the port. A line
// that hangs up then is closed at its first read and marked lost, instead of being read again and
// again for as long as the pop-up stays open.
TEST_F(LineFaults, HungUpLineUnderAModalLoopIsClosedAtItsFirstRead) {
    const int port = 230;
    PtyPeer peer;
    ASSERT_TRUE(peer.start());
    peer.mapTo(port);
    ASSERT_EQ(OpenAt9600(port), 0);
    peer.stop();

    NotifierWakes wakes;
    QCoreApplication::instance()->installEventFilter(&wakes);
    QEventLoop modal;
    QTimer::singleShot(500, &modal, &QEventLoop::quit);
    modal.exec();
    QCoreApplication::instance()->removeEventFilter(&wakes);

    EXPECT_LE(wakes.count, 3) << "the hung-up line was read again and again";
    EXPECT_EQ(ComPortIsOpen(port), 0);
    EXPECT_EQ(ComLineLost(port), 1) << "the loss is not there for the line watch";
}

// Root opens a terminal past another program's exclusive mode; the port is refused as busy and
// the holder named. A program that shares the terminal without the mode keeps nobody out, nor
// does a mode that outlived its holder (a pseudo-terminal keeps it).
TEST_F(LineFaults, TerminalHeldExclusivelyByAnotherProgramIsBusyEvenForRoot) {
    if (geteuid() != 0)
        GTEST_SKIP() << "the system itself refuses others a terminal in exclusive mode";
    const int port = 231;
    PtyPeer peer;
    ASSERT_TRUE(peer.start());
    pid_t holder = HoldOpenInChild(peer.slavePath(), O_RDWR | O_NOCTTY);
    ASSERT_GT(holder, 0);

    EXPECT_EQ(OpenFailureOn(port, peer.slavePath()), "") << "a shared terminal is no busy one";
    CloseCom(port);

    int second = open(peer.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(second, 0);
    ASSERT_EQ(ioctl(second, TIOCEXCL), 0);
    close(second);
    std::string failure = OpenFailureOn(port, peer.slavePath());
    EXPECT_EQ(failure.find(peer.slavePath() + ": busy, held by program '"), 0u) << failure;
    EXPECT_NE(failure.find("(pid " + std::to_string(holder) + ") - close it there"),
              std::string::npos)
        << failure;
    EXPECT_EQ(ComPortIsOpen(port), 0);

    EndChild(holder);
    EXPECT_EQ(OpenFailureOn(port, peer.slavePath()), "") << "the mode outlived its holder";
    CloseCom(port);
}

// A FIFO, a socket and /dev/null are refused for what they are. The FIFO is not even opened: a
// program reading it would see a writer come and go. /dev/null names no holder, although other
// programs have it open.
TEST_F(LineFaults, NodesThatAreNoSerialPortAreRefusedForWhatTheyAre) {
    fs::path dir = MakeScratchDirectory("nvmx-line-");
    ASSERT_FALSE(dir.empty());
    const std::string fifo = (dir / "fifo").string(), socketPath = (dir / "socket").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int server = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    pid_t nullHolder = HoldOpenInChild("/dev/null", O_RDWR);
    ASSERT_GT(nullHolder, 0);

    const std::pair<std::string, std::string> cases[] = {
        {fifo, fifo + ": a FIFO, not a serial port - pick a serial device"},
        {socketPath, socketPath + ": a socket, not a serial port - pick a serial device"},
        {"/dev/null", "/dev/null: not a serial port - pick a serial device"}};
    for (const auto &[device, reason] : cases) {
        std::string failure = OpenFailureOn(232, device);
        EXPECT_EQ(failure.substr(0, reason.size()), reason) << failure;
    }
    // A writer that came and went leaves the reader a hang-up.
    pollfd entry{reader, POLLIN, 0};
    EXPECT_EQ(poll(&entry, 1, 0), 0) << "the FIFO was opened";

    EndChild(nullHolder);
    close(reader);
    close(server);
    fs::remove_all(dir);
}

// The real program with the start-up TIMEOUT pop-up open: the device goes away. The program
// reads it no more than an idle port, and once the pop-up is closed it awaits the device and
// reopens it when it is back.
TEST_F(LineFaults, DeviceGoneUnderTheTimeoutPopUpCostsNoMoreThanAnIdlePort) {
    fs::path dir = MakeScratchDirectory("nvmx-line-");
    ASSERT_FALSE(dir.empty());
    XSession x;
    ASSERT_TRUE(x.start());
    auto silent = std::make_unique<PtyPeer>();
    ASSERT_TRUE(silent->start(SilentPeer()));
    fs::create_symlink(silent->slavePath(), dir / "sensor");
    ChildProcess program;
    ASSERT_TRUE(program.start({BinDir() + "/nvmxv451"},
                              {"DISPLAY=" + x.display(),
                               "QT_QPA_PLATFORM=", "NVMX_COM1=" + (dir / "sensor").string(),
                               "XDG_CONFIG_HOME=" + dir.string(), "HOME=" + dir.string()}));
    unsigned long popup = x.waitForWindow("INFO", timeout);
    ASSERT_NE(popup, 0u) << "no time-out pop-up";

    silent.reset();
    const long readsBefore = ReadCalls(program.pid());
    ASSERT_GE(readsBefore, 0);
    // A spinning program makes thousands of reads a second; an idle one a handful.
    const long limit = 200;
    long reads = 0;
    for (double end = MonotonicSeconds() + 2.0; MonotonicSeconds() < end && reads <= limit;) {
        usleep(20000);
        reads = ReadCalls(program.pid()) - readsBefore;
    }
    std::printf("reads in 2 s with the device gone under the pop-up: %ld\n", reads);
    EXPECT_LE(reads, limit);
    EXPECT_EQ(x.findWindow("INFO"), popup) << "the pop-up closed by itself";

    ASSERT_TRUE(x.pressKey(popup, "Return"));
    PtyPeer back;
    ASSERT_TRUE(back.start(AnswerLikeASensor()));
    fs::remove(dir / "sensor");
    fs::create_symlink(back.slavePath(), dir / "sensor");
    ASSERT_TRUE(back.waitForRequests(2, timeout)) << "the device back is not reopened";
    EXPECT_EQ(back.requests()[0].bytes, (Bytes{0x55, 0x07}));

    x.closeWindow(x.waitForWindow("Nevalometrix V4.51", timeout));
    EXPECT_EQ(program.wait(timeout), 0);
    fs::remove_all(dir);
}
