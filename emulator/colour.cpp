// Synthetic colour source: the wandering colour, a fixed one or the presented ones, with noise.
#include "emulator/colour.h"

#include "emulator/options.h"

#include "detection/model.h"

#include <cmath>
#include <csignal>
#include <cstring>

static const double twoPi = 6.283185307179586;
// Periods in frames of the three channels and of the envelope; mutually prime, so the colour
// does not repeat for a long time. At the paced rate of about 100 frames a second a channel
// swings in four to eight seconds.
static const double channelPeriod[3] = {487.0, 613.0, 751.0};
static const double envelopePeriod = 1999.0;

// A phase in 0..2*pi derived from the seed for channel index (0..3).
static double SeedPhase(int index) {
    unsigned long mixed = options.seed * 2654435761UL + (unsigned long)index * 40503UL + 12345UL;
    mixed ^= mixed >> 13;
    mixed *= 0x5bd1e995UL;
    mixed ^= mixed >> 15;
    return twoPi * (double)(mixed % 100000UL) / 100000.0;
}

void WanderingColour(unsigned long frame, unsigned char rgb[3]) {
    double t = (double)frame;
    double envelope = 0.6 + 0.4 * sin(twoPi * t / envelopePeriod + SeedPhase(3));
    for (int c = 0; c < 3; ++c) {
        double level = 127.5 + 127.5 * sin(twoPi * t / channelPeriod[c] + SeedPhase(c));
        double value = floor(envelope * level + 0.5);
        rgb[c] = (unsigned char)(value < 0.0 ? 0.0 : value > 255.0 ? 255.0 : value);
    }
}

// SIGUSR1s received: each moves the presented colours on by one.
static volatile sig_atomic_t colourSwitches = 0;

static void OnColourSwitch(int) {
    colourSwitches = colourSwitches + 1;
}

void InstallColourSwitchSignal(void) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnColourSwitch;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
}

// Which of the presented colours frame number frame shows: one more for every SIGUSR1 so far
// and, with --switch-every N, for every N frames.
static int PresentedColourIndex(unsigned long frame) {
    unsigned long step = (unsigned long)colourSwitches;
    if (options.switchEvery > 0) {
        step += frame / (unsigned long)options.switchEvery;
    }
    return (int)(step % (unsigned long)options.colourCount);
}

// A whole number in -noise..noise for the frame and channel, mixed from the seed: the same
// run gives the same noise.
static int Noise(unsigned long frame, int channel) {
    unsigned long long mixed = ((unsigned long long)options.seed << 32) ^ (frame * 3ULL + channel);
    mixed += 0x9E3779B97F4A7C15ULL;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ULL;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBULL;
    mixed ^= mixed >> 31;
    return (int)(mixed % (unsigned long long)(2 * options.noise + 1)) - options.noise;
}

static void AddNoise(unsigned long frame, unsigned char rgb[3]) {
    for (int c = 0; c < 3 && options.noise > 0; ++c) {
        int value = rgb[c] + Noise(frame, c);
        rgb[c] = (unsigned char)(value < 0 ? 0 : value > 255 ? 255 : value);
    }
}

static unsigned char Clamped(double value) {
    value = floor(value + 0.5);
    return (unsigned char)(value < 0.0 ? 0.0 : value > 255.0 ? 255.0 : value);
}

// --drift-int and --drift-x by line time: INT (5/16 of R+G+B) through the sum, X (255 R over
// the sum) through RED against GREEN, so that the one moves without the other.
static void AddDrift(unsigned long frame, unsigned char rgb[3]) {
    const double minutes = (double)frame / EMULATED_FRAME_RATE / 60.0 - options.driftAfter;
    if (minutes <= 0.0 || (options.driftInt == 0.0 && options.driftX == 0.0)) {
        return;
    }
    const double sum = (double)rgb[0] + rgb[1] + rgb[2];
    if (sum <= 0.0) {
        return;
    }
    const double scale = (sum + options.driftInt * minutes * 16.0 / 5.0) / sum;
    const double shift = options.driftX * minutes * sum / 255.0;
    const double red = rgb[0] + shift, green = rgb[1] - shift;
    rgb[0] = Clamped(red * scale);
    rgb[1] = Clamped(green * scale);
    rgb[2] = Clamped(rgb[2] * scale);
}

void MeasuredColour(unsigned long frame, unsigned char rgb[3]) {
    if (options.colourCount > 0) {
        memcpy(rgb, options.colours[PresentedColourIndex(frame)], 3);
    } else if (options.fixed) {
        memcpy(rgb, options.fixedRgb, 3);
    } else {
        WanderingColour(frame, rgb);
    }
    AddDrift(frame, rgb);
    AddNoise(frame, rgb);
}

void ColourCoordinates(const unsigned char rgb[3], unsigned char xyi[3]) {
    int sum = rgb[0] + rgb[1] + rgb[2];
    int intensity = sum / 4 + sum / 16;
    xyi[0] = (unsigned char)(sum == 0 ? 0 : 255 * rgb[0] / sum);
    xyi[1] = (unsigned char)(sum == 0 ? 0 : 255 * rgb[1] / sum);
    xyi[2] = (unsigned char)(intensity > 255 ? 255 : intensity);
}

void ComposeFrame(unsigned long frame, const unsigned char block[BLOCK_LENGTH],
                  unsigned char reply[FRAME_LENGTH]) {
    unsigned char rgb[3];
    unsigned char xyi[3];
    MeasuredColour(frame, rgb);
    ColourCoordinates(rgb, xyi);
    reply[M_RED] = rgb[0];
    reply[M_GREEN] = rgb[1];
    reply[M_BLUE] = rgb[2];
    reply[M_X] = xyi[0];
    reply[M_Y] = xyi[1];
    reply[M_INT] = xyi[2];
    reply[M_CNO] = DetectColour(block, reply);
}
