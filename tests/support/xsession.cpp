#include "support/xsession.h"

#include "support/command.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

std::string BinDir() {
    const char *dir = std::getenv("NVMX_BIN_DIR");
    return dir != nullptr ? dir : ".";
}

static Display *DisplayOf(void *connection) {
    return static_cast<Display *>(connection);
}

// A window can close between listing the windows and asking about one of them. Xlib's own
// handler would end the test process for that, leaving its children behind; here the request
// simply fails and the window counts as gone.
static int IgnoreXError(Display *, XErrorEvent *) {
    return 0;
}

bool XSession::start(const std::string &screen) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return false;
    const std::string depth = screen + "x24";
    pid_ = fork();
    if (pid_ == 0) {
        close(pipeFds[0]);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDERR_FILENO);
        std::string fd = std::to_string(pipeFds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", depth.c_str(), "-nolisten",
               "tcp", "-noreset", (char *)nullptr);
        _exit(127);
    }
    close(pipeFds[1]);
    std::string number;
    pollfd wait{pipeFds[0], POLLIN, 0};
    char c;
    while (poll(&wait, 1, 10000) > 0 && read(pipeFds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(pipeFds[0]);
    if (number.empty())
        return false;
    display_ = ":" + number;
    XSetErrorHandler(IgnoreXError);
    connection_ = XOpenDisplay(display_.c_str());
    return connection_ != nullptr;
}

XSession::~XSession() {
    if (connection_ != nullptr)
        XCloseDisplay(DisplayOf(connection_));
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

static std::string WindowTitle(Display *display, Window window) {
    Atom utf8Name = XInternAtom(display, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, utf8Name, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr) {
        title.assign(reinterpret_cast<char *>(data), count);
        XFree(data);
        return title;
    }
    char *name = nullptr;
    if (XFetchName(display, window, &name) && name != nullptr) {
        title = name;
        XFree(name);
    }
    return title;
}

unsigned long XSession::findWindow(const std::string &title) const {
    Display *display = DisplayOf(connection_);
    Window root = DefaultRootWindow(display), parent, *children = nullptr;
    unsigned int count = 0;
    unsigned long found = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && found == 0; i++) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable && WindowTitle(display, children[i]) == title)
            found = children[i];
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

unsigned long XSession::waitForWindow(const std::string &title, double seconds) const {
    double end = MonotonicSeconds() + seconds;
    do {
        unsigned long window = findWindow(title);
        if (window != 0)
            return window;
        usleep(5000);
    } while (MonotonicSeconds() < end);
    return 0;
}

bool XSession::closeWindow(unsigned long window) const {
    Display *display = DisplayOf(connection_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    bool sent = XSendEvent(display, window, False, NoEventMask, &event) != 0;
    XFlush(display);
    return sent;
}

static int RunCommand(const std::string &display, const std::vector<std::string> &argv) {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        std::vector<char *> args;
        for (const std::string &arg : argv)
            args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool XSession::pressKey(unsigned long window, const std::string &key) const {
    std::string id = std::to_string(window);
    return RunCommand(display_, {"xdotool", "windowfocus", id}) == 0 &&
           RunCommand(display_, {"xdotool", "key", key}) == 0;
}

bool XSession::typeKeys(unsigned long window, const std::vector<std::string> &keys,
                        int delayMs) const {
    std::vector<std::string> argv = {"xdotool", "windowfocus", std::to_string(window),
                                     "key",     "--delay",     std::to_string(delayMs)};
    argv.insert(argv.end(), keys.begin(), keys.end());
    return RunCommand(display_, argv) == 0;
}

bool XSession::windowSize(unsigned long window, int *width, int *height, int *minWidth,
                          int *minHeight) const {
    Display *display = DisplayOf(connection_);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return false;
    *width = attributes.width;
    *height = attributes.height;
    XSizeHints hints{};
    long supplied = 0;
    const bool asked =
        XGetWMNormalHints(display, window, &hints, &supplied) && (hints.flags & PMinSize) != 0;
    *minWidth = asked ? hints.min_width : 0;
    *minHeight = asked ? hints.min_height : 0;
    return true;
}

bool XSession::screenshot(unsigned long window, const std::string &path) const {
    return RunCommand(display_, {"import", "-window", std::to_string(window), path}) == 0;
}

bool ChildProcess::start(const std::vector<std::string> &argv,
                         const std::vector<std::string> &environment) {
    return startWithOutput(argv, environment, -1);
}

bool ChildProcess::startReadingFirstLine(const std::vector<std::string> &argv,
                                         const std::vector<std::string> &environment,
                                         std::string *firstLine) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return false;
    bool started = startWithOutput(argv, environment, pipeFds[1]);
    close(pipeFds[1]);
    firstLine->clear();
    pollfd wait{pipeFds[0], POLLIN, 0};
    char c;
    while (started && poll(&wait, 1, 10000) > 0 && read(pipeFds[0], &c, 1) == 1 && c != '\n')
        *firstLine += c;
    close(pipeFds[0]);
    return started && !firstLine->empty();
}

bool ChildProcess::startWithOutput(const std::vector<std::string> &argv,
                                   const std::vector<std::string> &environment, int outputFd) {
    pid_ = fork();
    if (pid_ == 0) {
        if (outputFd >= 0)
            dup2(outputFd, STDOUT_FILENO);
        ExecInChild(argv, environment);
    }
    return pid_ > 0;
}

bool ChildProcess::running() {
    if (pid_ <= 0)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return false;
    }
    return true;
}

int ChildProcess::wait(double seconds) {
    double end = MonotonicSeconds() + seconds;
    while (running()) {
        if (MonotonicSeconds() > end)
            return -1;
        usleep(5000);
    }
    return status_;
}

double ChildProcess::cpuSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t end = content.rfind(')');
    if (end == std::string::npos)
        return -1.0;
    std::istringstream fields(content.substr(end + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int index = 3; fields >> field; index++) {
        if (index == 14)
            utime = std::stoull(field);
        if (index == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool StartProgramOnSensor(const XSession &x, PtyPeer &peer, ChildProcess &program,
                          const Bytes &block, double seconds, unsigned long *panel) {
    if (!peer.start(AnswerLikeASensor(block)) ||
        !program.start({BinDir() + "/nvmxv451"}, {"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=",
                                                  "NVMX_COM1=" + peer.slavePath()}))
        return false;
    *panel = x.waitForWindow("Nevalometrix V4.51", seconds);
    return *panel != 0 && peer.waitForRequests(2, seconds);
}
