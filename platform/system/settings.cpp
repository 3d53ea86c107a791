#include "platform/system/settings.h"

#include "platform/engine/engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

void InitSettings(const char *organisation, const char *application) {
    QCoreApplication::setOrganizationName(QString::fromUtf8(organisation));
    QCoreApplication::setApplicationName(QString::fromUtf8(application));
}

int GetSettingText(const char *key, char *value, int size) {
    return EngineCopyText(QSettings().value(QString::fromUtf8(key)).toString(), value, size);
}

int SetSettingText(const char *key, const char *value) {
    QSettings settings;
    settings.setValue(QString::fromUtf8(key), QString::fromUtf8(value));
    settings.sync();
    return settings.status() == QSettings::NoError ? UIE_OK : UIE_IO_ERROR;
}

int GetSettingInt(const char *key, int fallback) {
    bool ok = false;
    int value = QSettings().value(QString::fromUtf8(key)).toInt(&ok);
    return ok ? value : fallback;
}

int SetSettingInt(const char *key, int value) {
    QSettings settings;
    settings.setValue(QString::fromUtf8(key), value);
    settings.sync();
    return settings.status() == QSettings::NoError ? UIE_OK : UIE_IO_ERROR;
}

int HasSetting(const char *key) {
    return QSettings().contains(QString::fromUtf8(key)) ? 1 : 0;
}

int DirectoryWritable(const char *path) {
    QFileInfo info(QString::fromUtf8(path));
    return info.isDir() && info.isWritable() ? 1 : 0;
}

int DirectoryExists(const char *path) {
    return path && *path && QFileInfo(QString::fromUtf8(path)).isDir() ? 1 : 0;
}

int GetDirectoryOf(const char *filePath, char *directory) {
    QString path = QFileInfo(QString::fromUtf8(filePath)).absolutePath();
    return EngineCopyText(QDir::toNativeSeparators(path), directory, MAX_PATHNAME_LEN);
}
