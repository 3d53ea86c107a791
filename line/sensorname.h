// A sensor's name when no line file gives one: taken from its device, so that it stays the same
// whatever the order of the arguments or the COM number handed out. Free of Qt; POSIX.
#pragma once

#include <string>

// The name of the sensor on device: the /dev/serial/by-id (else by-path) name of the device when
// one leads to it, else its path under /dev with '/' as '-' ("ttyUSB0", "pts-5"), else its base
// name; characters other than letters, digits, '.', '_' and '-' become '_'.
std::string SensorNameOfDevice(const std::string &device);
// The by-id or by-path name that leads to device, "" when none does.
std::string StableNameOfDevice(const std::string &device);
