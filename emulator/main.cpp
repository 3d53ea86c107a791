// sensor-emulator: a stand-in for the colour sensor on a pseudo-terminal or a serial device,
// for running the panel without the hardware and for the end-to-end tests.
#include "emulator/colour.h"
#include "emulator/line.h"
#include "emulator/makerecording.h"
#include "emulator/memory.h"
#include "emulator/options.h"
#include "emulator/protocol.h"
#include "emulator/replay.h"

#include <cstdio>

int main(int argc, char **argv) {
    int parsed = ParseOptions(argc, argv);
    if (parsed != 0) {
        return parsed > 0 ? 0 : 2;
    }
    // A bad recording is refused before the line opens, so that nobody connects to it.
    if (options.replayFile != nullptr && LoadReplay(options.replayFile) != 0) {
        return 2;
    }
    if (options.makeRecording != nullptr) {
        return InitSensorMemory(options.eepromFile) != 0 ? 1 : MakeRecording(options.makeRecording);
    }
    InstallStopSignals();
    if (options.colourCount > 0) {
        InstallColourSwitchSignal();
    }
    SharpenWaits();
    if (InitSensorMemory(options.eepromFile) != 0 || OpenLine(options.device) != 0) {
        return 1;
    }
    // The device path is the first line, so that a script or a test can read it and connect.
    printf("%s\n", LinePath());
    fflush(stdout);
    return ServeRequests();
}
