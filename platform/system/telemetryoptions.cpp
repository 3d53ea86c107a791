// Broker options of the command lines and the remembered broker settings.
#include "platform/system/telemetryoptions.h"

#include "files/regularfile.h"
#include "platform/engine/engine.h"
#include "platform/system/arguments.h"
#include "platform/system/telemetrysettings.h"

#include <QSettings>

#include <cmath>
#include <string>

namespace {

// The option names, also the settings' keys under "mqtt/".
const char *const HOST = "mqtt-host";
const char *const PORT = "mqtt-port";
const char *const CLIENT_ID = "mqtt-client-id";
const char *const PREFIX = "mqtt-prefix";
const char *const USER = "mqtt-user";
const char *const PASSWORD_FILE = "mqtt-password-file";
const char *const CA_FILE = "mqtt-cafile";
const char *const RATE = "mqtt-rate";
const char *const NO_MQTT = "no-mqtt";
const char *const PASSWORD_KEY = "mqtt/password";
const char *const PASSWORD_VARIABLE = "NVMX_MQTT_PASSWORD";
// A password file is one short line; a larger one is not read.
enum { PASSWORD_FILE_LIMIT = 4096 };

struct TextField {
    const char *option;
    char (TelemetryConfig::*field)[TELEMETRY_TEXT_LEN];
};
const TextField textFields[] = {
    {HOST, &TelemetryConfig::host},          {CLIENT_ID, &TelemetryConfig::clientId},
    {PREFIX, &TelemetryConfig::topicPrefix}, {USER, &TelemetryConfig::username},
    {CA_FILE, &TelemetryConfig::caFile},
};

QString Key(const char *option) {
    return QStringLiteral("mqtt/") + QString::fromLatin1(option + 5); // without "mqtt-"
}

QString Name(const char *option) {
    return QString::fromLatin1(option);
}

// The first line of a small regular file, without its line end and surrounding blanks.
bool ReadPassword(const QString &path, char *password, QString *error) {
    std::string text, why;
    const QByteArray name = ArgumentBytes(path);
    if (!ReadSmallFile(name.constData(), PASSWORD_FILE_LIMIT, &text, &why)) {
        *error = QStringLiteral("cannot read the password file %1: %2")
                     .arg(path, QString::fromStdString(why));
        return false;
    }
    const QByteArray line = QByteArray::fromStdString(text.substr(0, text.find('\n'))).trimmed();
    if (EngineCopyWholeText(line, password, TELEMETRY_TEXT_LEN) == 0)
        return true;
    *error = QStringLiteral("the password in %1 is longer than %2 bytes")
                 .arg(path)
                 .arg(TELEMETRY_TEXT_LEN - 1);
    return false;
}

// A number in low..high; nan and the infinities are none.
bool ParseNumber(const QString &text, double low, double high, double *value) {
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok || !std::isfinite(number) || number < low || number > high)
        return false;
    *value = number;
    return true;
}

} // namespace

void LoadTelemetrySettings(TelemetryConfig *config) {
    DefaultTelemetryConfig(config);
    QSettings settings;
    for (const TextField &text : textFields)
        EngineCopyText(settings.value(Key(text.option)).toString(), config->*text.field,
                       TELEMETRY_TEXT_LEN);
    EngineCopyText(settings.value(QString::fromLatin1(PASSWORD_KEY)).toString(), config->password,
                   TELEMETRY_TEXT_LEN);
    config->port = settings.value(Key(PORT), config->port).toInt();
    config->maxRate = settings.value(Key(RATE), config->maxRate).toDouble();
}

void SaveTelemetrySettings(const TelemetryConfig *config) {
    QSettings settings;
    for (const TextField &text : textFields)
        settings.setValue(Key(text.option), QString::fromUtf8(config->*text.field));
    settings.setValue(QString::fromLatin1(PASSWORD_KEY), QString::fromUtf8(config->password));
    settings.setValue(Key(PORT), config->port);
    settings.setValue(Key(RATE), config->maxRate);
}

void AddTelemetryOptions(QCommandLineParser &parser) {
    parser.addOptions({
        {Name(HOST), QStringLiteral("Sends live telemetry to the MQTT broker on HOST."),
         QStringLiteral("HOST")},
        {Name(PORT), QStringLiteral("The broker's port (default 1883, 8883 with --mqtt-cafile)."),
         QStringLiteral("N")},
        {Name(CLIENT_ID),
         QStringLiteral("Client id (default nvmxv451-<host name>-<port>; with several ports the "
                        "port is added)."),
         QStringLiteral("ID")},
        {Name(PREFIX), QStringLiteral("Topic prefix (default nvmxv451/<host name>)."),
         QStringLiteral("PREFIX")},
        {Name(USER), QStringLiteral("User name at the broker."), QStringLiteral("NAME")},
        {Name(PASSWORD_FILE),
         QStringLiteral("Reads the broker password from the first line of FILE (or set "
                        "NVMX_MQTT_PASSWORD)."),
         QStringLiteral("FILE")},
        {Name(CA_FILE), QStringLiteral("Connects with TLS and checks the broker against FILE."),
         QStringLiteral("FILE")},
        {Name(RATE), QStringLiteral("Frames per second at most (default 10; 0 sends every frame)."),
         QStringLiteral("N")},
        {Name(NO_MQTT), QStringLiteral("No telemetry in this run, whatever is remembered.")},
    });
}

bool ApplyTelemetryOptions(const QCommandLineParser &parser, TelemetryConfig *config, bool *given,
                           QString *error) {
    *given = false;
    for (const TextField &text : textFields) {
        if (!parser.isSet(Name(text.option)))
            continue;
        *given = true;
        if (EngineCopyWholeText(ArgumentBytes(parser.value(Name(text.option))), config->*text.field,
                                TELEMETRY_TEXT_LEN) != 0) {
            *error = QStringLiteral("--%1 is too long (at most %2 bytes)")
                         .arg(Name(text.option))
                         .arg(TELEMETRY_TEXT_LEN - 1);
            return false;
        }
    }
    double number = 0;
    if (parser.isSet(Name(PORT))) {
        *given = true;
        if (!ParseNumber(parser.value(Name(PORT)), 1, 65535, &number)) {
            *error = QStringLiteral("--mqtt-port wants a port number 1..65535");
            return false;
        }
        config->port = (int)number;
    }
    if (parser.isSet(Name(RATE))) {
        *given = true;
        if (!ParseNumber(parser.value(Name(RATE)), 0, 100000, &number)) {
            *error = QStringLiteral("--mqtt-rate wants frames per second, 0 or more");
            return false;
        }
        config->maxRate = number;
    }
    const QByteArray fromEnvironment = qgetenv(PASSWORD_VARIABLE);
    if (!fromEnvironment.isEmpty() &&
        EngineCopyWholeText(fromEnvironment, config->password, TELEMETRY_TEXT_LEN) != 0) {
        *error = QStringLiteral("%1 is longer than %2 bytes")
                     .arg(QString::fromLatin1(PASSWORD_VARIABLE))
                     .arg(TELEMETRY_TEXT_LEN - 1);
        return false;
    }
    if (parser.isSet(Name(PASSWORD_FILE))) {
        *given = true;
        if (!ReadPassword(parser.value(Name(PASSWORD_FILE)), config->password, error))
            return false;
    }
    if (parser.isSet(Name(NO_MQTT)))
        config->host[0] = '\0';
    return true;
}
