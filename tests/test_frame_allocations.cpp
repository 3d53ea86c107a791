// A streaming frame costs no heap allocation: the request, the reply, the stored values, the
// displays and the colour graph's cursor. Painting runs at the screen's pace in the event step,
// apart from the frames, and is not counted.
//
// The test program counts the allocations of its own thread by standing in for malloc and its
// kin (glibc's own entry points do the work). A sanitizer build brings its own allocator, so
// there the count is not taken.
#include "com232/link.h"
#include "gui/livedisplay.h"
#include "gui/records.h"
#include "gui/transactions.h"
#include "platform/engine/userint.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"
#include "support/panel_fixture.h"
#include "support/pty_peer.h"

#include <atomic>
#include <cstddef>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#define NVMX_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NVMX_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef NVMX_COUNT_ALLOCATIONS
#define NVMX_COUNT_ALLOCATIONS 1
#endif

namespace {
thread_local bool counting = false;
thread_local long allocations = 0;
} // namespace

#if NVMX_COUNT_ALLOCATIONS
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);

void *malloc(size_t size) {
    allocations += counting;
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
    allocations += counting;
    return __libc_calloc(count, size);
}
void *realloc(void *pointer, size_t size) {
    allocations += counting;
    return __libc_realloc(pointer, size);
}
}
#endif

namespace {

// A frame whose every field changes from one to the next, so that each frame changes every
// display and moves the cursor.
Bytes ChangingFrame(int n) {
    return {(unsigned char)(n * 7), (unsigned char)(n * 11), (unsigned char)(n * 13),
            (unsigned char)(n * 3), (unsigned char)(n * 5),  (unsigned char)(n * 17),
            (unsigned char)(n % 15)};
}

class FrameAllocations : public PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        ASSERT_TRUE(peer.start([frames = std::make_shared<std::atomic<int>>(0)](
                                   const PeerRequest &request) -> PeerReply {
            if (request.bytes[1] == ReadData)
                return {ChangingFrame(++*frames)};
            return {};
        }));
        peer.mapTo(1);
        portNumber = 1;
        ASSERT_GE(OpenComConfig(1, "", 9600, 0, 8, 1, 1024, 1024), 0);
        SetComTime(1, REPLY_TIMEOUT);
        acquisitionActive = 1;
    }
    void TearDown() override {
        acquisitionActive = 0;
        CloseCom(1);
        peer.stop();
        PanelFixture::TearDown();
    }
    PtyPeer peer;
};

// Frames on the colour graph (SOURCE X/Y) and on the strip chart (SOURCE RED).
TEST_F(FrameAllocations, AStreamingFrameAllocatesNothing) {
    if (!NVMX_COUNT_ALLOCATIONS)
        GTEST_SKIP() << "a sanitizer's allocator counts for itself";
    enum { WARM_UP = 50, FRAMES = 300 };
    int frame = 0;
    for (int source : {0, 2}) {
        graphSource = source;
        // The first frames make what lives on: the pacing entries, the read buffer, the timers.
        for (int i = 0; i < WARM_UP; i++, frame++) {
            ASSERT_EQ(ReceiveFrame(), FRAME_SHOWN);
            ProcessSystemEvents();
        }
        int withoutAllocation = 0;
        long total = 0;
        for (int i = 0; i < FRAMES; i++, frame++) {
            allocations = 0;
            counting = true;
            int result = ReceiveFrame();
            counting = false;
            ASSERT_EQ(result, FRAME_SHOWN);
            withoutAllocation += allocations == 0;
            total += allocations;
            ProcessSystemEvents();
        }
        // A frame that comes a whole frame time after the displays were last shown shows its
        // change at once, as a single change outside a stream does; on a loaded machine a few
        // may.
        EXPECT_GE(withoutAllocation, FRAMES * 9 / 10)
            << "source " << source << ": " << total << " allocations in " << FRAMES << " frames";
    }
    char shown[16] = "";
    GetCtrlVal(MainPanel, PANEL_RED, shown, sizeof shown);
    EXPECT_STREQ(shown, std::to_string(ChangingFrame(frame)[0]).c_str())
        << "a held display shows the newest frame when read";
}

} // namespace
