// The remembered broker settings, in the user's settings file.
#include "platform/system/telemetrysettings.h"

#include "platform/engine/engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

const char *const PASSWORD_KEY = "mqtt/password";

struct TextKey {
    const char *key;
    char (TelemetryConfig::*field)[TELEMETRY_TEXT_LEN];
};
// The keys are the option names without "mqtt-", under "mqtt/".
const TextKey textKeys[] = {
    {"mqtt/host", &TelemetryConfig::host},          {"mqtt/client-id", &TelemetryConfig::clientId},
    {"mqtt/prefix", &TelemetryConfig::topicPrefix}, {"mqtt/user", &TelemetryConfig::username},
    {"mqtt/cafile", &TelemetryConfig::caFile},
};
const char *const PORT_KEY = "mqtt/port";
const char *const RATE_KEY = "mqtt/rate";

// The settings file holds the broker password: it is the user's alone. Later saves of the file
// (whole, beside it, then renamed) keep its permissions.
void KeepSettingsPrivate(const QSettings &settings) {
    const QString path = settings.fileName();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

void LoadTelemetrySettings(TelemetryConfig *config) {
    DefaultTelemetryConfig(config);
    QSettings settings;
    for (const TextKey &text : textKeys)
        EngineCopyText(settings.value(QLatin1String(text.key)).toString(), config->*text.field,
                       TELEMETRY_TEXT_LEN);
    EngineCopyText(settings.value(QLatin1String(PASSWORD_KEY)).toString(), config->password,
                   TELEMETRY_TEXT_LEN);
    config->port = settings.value(QLatin1String(PORT_KEY), config->port).toInt();
    config->maxRate = settings.value(QLatin1String(RATE_KEY), config->maxRate).toDouble();
}

std::string TelemetrySettingsFile(void) {
    return QSettings().fileName().toStdString();
}

void SaveTelemetrySettings(const TelemetryConfig *config) {
    QSettings settings;
    KeepSettingsPrivate(settings);
    for (const TextKey &text : textKeys)
        settings.setValue(QLatin1String(text.key), QString::fromUtf8(config->*text.field));
    settings.setValue(QLatin1String(PASSWORD_KEY), QString::fromUtf8(config->password));
    settings.setValue(QLatin1String(PORT_KEY), config->port);
    settings.setValue(QLatin1String(RATE_KEY), config->maxRate);
}
