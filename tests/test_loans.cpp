// What a connection finds against what the line service last saw, and the loans of a served
// line's sensors between lenders and the sensors' threads.
#include "control/loans.h"
#include "plant/seensensor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace {

SeenSensor Seen(const char *identity, unsigned char intlim) {
    SeenSensor seen;
    seen.identity = identity;
    std::memset(seen.eeprom, 0, BLOCK_LENGTH);
    std::memset(seen.ram, 0, BLOCK_LENGTH);
    seen.eeprom[5] = intlim;
    return seen;
}

TEST(SeenSensor, AnotherUnitOrAChangeMadeElsewhere) {
    EXPECT_EQ(CompareWithSeen(Seen("usb:0403:6001:A1", 10), Seen("usb:0403:6001:A1", 10)),
              SEEN_SAME);
    EXPECT_EQ(CompareWithSeen(Seen("usb:0403:6001:A1", 10), Seen("usb:0403:6001:A1", 30)),
              SEEN_CHANGED);
    EXPECT_EQ(CompareWithSeen(Seen("usb:0403:6001:A1", 10), Seen("usb:0403:6001:B7", 10)),
              SEEN_REPLACED)
        << "another unit, even with the same parameters";
    // Where the port shows no identity, changed blocks are all there is to go by.
    EXPECT_EQ(CompareWithSeen(Seen("", 10), Seen("", 10)), SEEN_SAME);
    EXPECT_EQ(CompareWithSeen(Seen("", 10), Seen("", 30)), SEEN_REPLACED);
    EXPECT_EQ(CompareWithSeen(Seen("usb:0403:6001:A1", 10), Seen("", 30)), SEEN_REPLACED);
}

// A sensor's thread: serves until its sensor is wanted, gives the port up until the loan ends.
struct SensorThread {
    SensorThread(SensorLoans *loans, int sensor) : loans(loans), sensor(sensor) {}
    SensorLoans *loans;
    int sensor;
    volatile int keepWaiting = 1;
    std::atomic<int> loansServed{0};
    std::thread thread;
    void start() {
        thread = std::thread([this] {
            while (keepWaiting) {
                if (loans->wanted(sensor)) {
                    loans->lendWhileWanted(sensor, &keepWaiting);
                    loansServed++;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    void stop() {
        keepWaiting = 0;
        thread.join();
    }
};

TEST(SensorLoans, HoldsEndWithTheirHoldersAndBorrowsOutliveTheService) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("nvmx-loans-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    {
        SensorLoans loans({"infeed", "outfeed"}, folder.string());
        EXPECT_EQ(loans.indexOf("outfeed"), 1);
        EXPECT_EQ(loans.indexOf("nosuch"), -1);
        std::string why;
        // Nobody gives the port up: the lender hears so in time and holds nothing.
        EXPECT_FALSE(loans.hold({0}, "status", 100, &why));
        EXPECT_NE(why.find("did not give infeed up"), std::string::npos) << why;
        EXPECT_FALSE(loans.wanted(0));

        SensorThread infeed(&loans, 0);
        infeed.start();
        // Two commands at once: lent until the last of them lets go.
        ASSERT_TRUE(loans.hold({0}, "status (pid 1)", 5000, &why)) << why;
        ASSERT_TRUE(loans.hold({0}, "get (pid 2)", 5000, &why)) << why;
        EXPECT_EQ(loans.viewOf(0).to, "get (pid 2)");
        loans.release({0});
        EXPECT_TRUE(loans.wanted(0));
        loans.release({0});
        EXPECT_FALSE(loans.wanted(0));

        ASSERT_TRUE(loans.borrow(0, "borrow (pid 3)", 5000, &why)) << why;
        EXPECT_FALSE(loans.borrow(0, "borrow (pid 4)", 5000, &why));
        EXPECT_NE(why.find("borrowed already, by borrow (pid 3)"), std::string::npos) << why;
        infeed.stop();
    }
    // A new service finds the borrow where the last one kept it, and gives the sensor back once.
    SensorLoans again({"infeed", "outfeed"}, folder.string());
    const LoanView kept = again.viewOf(0);
    EXPECT_TRUE(kept.lent && kept.borrowed) << "a borrow outlives the service";
    EXPECT_EQ(kept.to, "borrow (pid 3)");
    EXPECT_FALSE(again.wanted(1));
    std::string why;
    EXPECT_TRUE(again.giveBack(0, &why)) << why;
    EXPECT_FALSE(again.giveBack(0, &why));
    EXPECT_FALSE(SensorLoans({"infeed"}, folder.string()).wanted(0)) << "given back for good";
    std::filesystem::remove_all(folder);
}

} // namespace
