// The rules of a sensor's health and their thresholds: the line file's [health] table. Every
// figure comes from the detection model applied to the live frames (or a recording's), over a
// sliding window. Free of Qt.
#pragma once

struct HealthSettings {
    double windowSeconds = 300;    // window_minutes: the sliding window of the figures
    double stableSeconds = 300;    // stable_minutes: the first window, the reference of the EWMA
    int minFrames = 100;           // min_frames: a row's figures count from this many in its window
    double nearUnits = 2;          // near: units from an edge that count as near it
    double warnIndex = 1.33;       // warn_index: a margin index under this is a warning
    double alarmIndex = 1.0;       // alarm_index: ... under this an alarm
    double indexHysteresis = 0.1;  // index_hysteresis: cleared once this far back above
    double lambda = 0.2;           // ewma_lambda: the EWMA's weight of each second's mean
    double ewmaSigmas = 3;         // ewma_sigmas: its limits around the stable window's mean
    double undetectedShare = 0.02; // undetected_share: an alarm above this share of C-No 255
    double timeoutsPerHour = 60;   // timeouts_per_hour: an alarm above this many time-outs
    double publishSeconds = 1;     // the health on the broker at most this often
};
