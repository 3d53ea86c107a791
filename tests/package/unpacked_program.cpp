// The installed program of the Debian package, unpacked into a private root by
// tests/package/test_package.sh ($NVMX_PACKAGE_ROOT), in a real X window against the unpacked
// emulator: it finds its panel file and logo in the installed layout, checks the line ("LINE
// OK"), reads the sensor's parameters, runs a transfer and ends cleanly.
//
// The status display cannot be read from outside the window; what the program does after "LINE
// OK" can: only a line check answered 0xAA shows "LINE OK" and goes on to read the parameters
// (0x55 0x03), and a parameter reply that is not taken whole raises the "INFO" time-out pop-up.
#include "support/xsession.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace {

const char panelTitle[] = "Nevalometrix V4.51";
const double startTimeout = 20.0; // a loaded two-core machine starts Qt slowly

std::string PackageRoot() {
    const char *root = std::getenv("NVMX_PACKAGE_ROOT");
    return root != nullptr ? root : "";
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The requests the emulator logged, one command name each ("LineCheck", "ReadRAM", ...).
std::vector<std::string> LoggedRequests(const std::string &log) {
    std::vector<std::string> requests;
    std::istringstream lines(ReadFile(log));
    for (std::string line; std::getline(lines, line);) {
        size_t at = line.find("request 0x55 0x");
        if (at == std::string::npos)
            continue;
        std::istringstream fields(line.substr(at));
        std::string word, sync, code, name;
        fields >> word >> sync >> code >> name;
        requests.push_back(name);
    }
    return requests;
}

// Polls the log until it holds at least count requests; returns them.
std::vector<std::string> WaitForRequests(const std::string &log, size_t count, double seconds) {
    double end = MonotonicSeconds() + seconds;
    std::vector<std::string> requests = LoggedRequests(log);
    while (requests.size() < count && MonotonicSeconds() < end) {
        usleep(20000);
        requests = LoggedRequests(log);
    }
    return requests;
}

TEST(UnpackedPackage, ProgramRunsAgainstTheEmulatorFromTheInstalledLayout) {
    std::string root = PackageRoot();
    ASSERT_FALSE(root.empty()) << "NVMX_PACKAGE_ROOT names the unpacked package";
    std::string bin = root + "/usr/bin";
    std::string log = ::testing::TempDir() + "nvmx-package-emulator-" + std::to_string(getpid());

    XSession x;
    ASSERT_TRUE(x.start()) << "Xvfb did not start";

    // The emulator logs each request to its standard error, which goes to the log file.
    ChildProcess emulator;
    std::string device;
    ASSERT_TRUE(emulator.startReadingFirstLine(
        {"/bin/sh", "-c", "exec \"$0\" --log 2>\"$1\"", bin + "/nvmxv451-sensor-emulator", log}, {},
        &device))
        << "the unpacked emulator printed no device";

    ChildProcess program;
    ASSERT_TRUE(program.start({bin + "/nvmxv451"}, {"DISPLAY=" + x.display(),
                                                    "QT_QPA_PLATFORM=", "NVMX_COM1=" + device}));
    unsigned long panel = x.waitForWindow(panelTitle, startTimeout);
    ASSERT_NE(panel, 0u)
        << "the panel did not appear: panel file not found in the installed layout?";

    std::vector<std::string> requests = WaitForRequests(log, 2, 5.0);
    ASSERT_GE(requests.size(), 2u) << ReadFile(log);
    EXPECT_EQ(requests[0], "LineCheck");
    EXPECT_EQ(requests[1], "ReadRAM") << "the parameters are read after LINE OK";
    EXPECT_EQ(x.waitForWindow("INFO", 1.0), 0u)
        << "a time-out pop-up: the parameters did not come whole";

    // Go (F11): measurement frames flow; Stop (F12) ends the transfer.
    ASSERT_TRUE(x.pressKey(panel, "F11"));
    requests = WaitForRequests(log, 12, 10.0);
    ASSERT_GE(requests.size(), 12u) << ReadFile(log);
    EXPECT_EQ(requests.back(), "ReadData");
    ASSERT_TRUE(x.pressKey(panel, "F12"));
    EXPECT_EQ(x.findWindow("INFO"), 0u);

    EXPECT_TRUE(x.closeWindow(panel));
    EXPECT_EQ(program.wait(startTimeout), 0) << "a clean exit";
    unlink(log.c_str());
}

} // namespace
