// A sensor's name when no line file gives one: taken from its device, so that it stays the same
// whatever the order of the arguments or the COM number handed out. Free of Qt; POSIX.
#pragma once

#include <string>

// The name of the sensor on device: the /dev/serial/by-id (else by-path) name of the device when
// one leads to it, else its path under /dev with '/' as '-' ("ttyUSB0", "pts-5"), else its base
// name; made to fit by FittingSensorName. root is where the device tree stands: "" for the
// system's, a scratch folder holding dev/ for a test.
std::string SensorNameOfDevice(const std::string &device, const std::string &root = "");
// The by-id or by-path name that leads to device, "" when none does.
std::string StableNameOfDevice(const std::string &device, const std::string &root = "");
// raw as a valid sensor name (IsSensorName): characters other than letters, digits, '.', '_' and
// '-' become '_', a leading '.' or '-' too, "" becomes "sensor". One longer than a name may be
// keeps its head and its tail around a hash of the whole of raw ("HEAD.1a2b3c4d.TAIL"), so that
// long names that differ anywhere stay apart and the same raw always gives the same name.
std::string FittingSensorName(const std::string &raw);
