// The process of a headless command: the application object that the serial services and the
// settings need, without a display. Free of Qt.
#pragma once

// Starts it once; later calls do nothing. Returns 0.
int StartHeadlessProcess(int argc, char **argv);
