// The broker options that the panel's and the headless commands' command lines share, and their
// checks. Free of Qt.
#pragma once

#include "options/options.h"
#include "telemetry/telemetry.h"

#include <string>
#include <vector>

// --mqtt-host, --mqtt-port, --mqtt-client-id, --mqtt-prefix, --mqtt-user, --mqtt-password-file,
// --mqtt-cafile, --mqtt-rate and --no-mqtt.
std::vector<OptionForm> TelemetryOptions(void);
// Puts the options that were given over config, the password of NVMX_MQTT_PASSWORD or of the
// password file too. Returns true, or false with the reason in why (a number out of range, a
// text too long, a password file that cannot be read). given says whether any broker option was
// on the command line.
bool ApplyTelemetryOptions(const ParsedCommandLine &parsed, TelemetryConfig *config, bool *given,
                           std::string *why);
