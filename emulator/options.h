// Command-line options of the sensor emulator: where it listens, what it measures, how it paces
// the line and which faults it injects.
#pragma once

enum {
    MAX_EXTRA_BYTES = 1024, // upper bound of --long
    NO_HANGUP = -1,
    MAX_COLOURS = 15, // --colour: one for every row of the teach table
    MAX_NOISE = 127,  // upper bound of --noise
};

struct EmulatorOptions {
    const char *device;     // serial device to serve, or nullptr for a new pseudo-terminal
    const char *eepromFile; // EEPROM kept in this parameter file, or nullptr
    int pace;               // replies leave at 9600 baud
    int silent;             // never answer
    int garble;             // flip bits of every reply
    int paramShort;         // 84-byte replies lose their last byte
    int log;                // each request to stderr
    int linecheckByte;      // the reply to a line check
    int shortBy;            // data frames and parameter replies lose this many bytes
    int longBy;             // ... or gain this many
    int lateMs;             // delay before every reply
    int hangupAfter;        // data frames served before the line goes dead, or NO_HANGUP
    int fixed;              // hold fixedRgb instead of the wandering colour
    unsigned char fixedRgb[3];
    unsigned long seed;     // phases of the wandering colour
    const char *replayFile; // data frames from this recording, or nullptr
    int replayTiming;       // replayed frames leave at the recorded pace
    int loop;               // the replay starts again after its last frame
    int colourCount;        // colours presented in turn (--colour), 0 for none
    unsigned char colours[MAX_COLOURS][3];
    int switchEvery; // frames per presented colour; 0: only SIGUSR1 switches
    int noise;       // RED, GREEN and BLUE move by up to this much each way
    int spoilWrite;  // this parameter write (counted from 1) keeps MAXCOL-No. one off; 0: none
    // Drift of the measured colour by line time (frame number / EMULATED_FRAME_RATE), from
    // driftAfter minutes on: INT and X (Y the other way) move this many units a minute.
    double driftInt;
    double driftX;
    double driftAfter;
    const char *makeRecording; // write this many minutes of frames to this file and end
    double minutes;
};

// The frames a second of the paced emulator, by which frame numbers are line time.
inline constexpr double EMULATED_FRAME_RATE = 105.0;

extern EmulatorOptions options;

// Fills options from the command line. Returns 0 to go on serving, 1 when --help was printed,
// -1 after a usage error (reported on stderr).
int ParseOptions(int argc, char **argv);
