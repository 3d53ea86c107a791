// Command-line arguments are bytes; Qt's command-line parser wants text. Valid UTF-8 becomes its
// characters; every other byte b becomes the lone surrogate U+DC00 + b, which ArgumentBytes
// turns back into b. A file name that is not UTF-8 thus reaches the file system as it was given.
#pragma once

#include <QByteArray>
#include <QString>

QString ArgumentText(const char *argument);
QByteArray ArgumentBytes(const QString &text);
