// The broker options that the panel's and the headless commands' command lines share. Qt-side,
// inside the engine.
#pragma once

#include "telemetry/telemetry.h"

#include <QCommandLineParser>
#include <QString>

// Adds --mqtt-host, --mqtt-port, --mqtt-client-id, --mqtt-prefix, --mqtt-user,
// --mqtt-password-file, --mqtt-cafile, --mqtt-rate and --no-mqtt.
void AddTelemetryOptions(QCommandLineParser &parser);
// Puts the options that were given over config. Returns true, or false with the reason in
// error (a number out of range, a password file that cannot be read). given says whether any
// broker option was on the command line.
bool ApplyTelemetryOptions(const QCommandLineParser &parser, TelemetryConfig *config, bool *given,
                           QString *error);
