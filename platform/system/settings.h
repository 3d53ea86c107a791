// What the program remembers between runs, and the places it offers for files. Free of Qt.
#pragma once

// Names the program's settings once, before any is read or written.
void InitSettings(const char *organisation, const char *application);
// The text stored under key, "" when there is none. Returns 0 or a negative code.
int GetSettingText(const char *key, char *value, int size);
int SetSettingText(const char *key, const char *value);
// The number stored under key, or fallback.
int GetSettingInt(const char *key, int fallback);
int SetSettingInt(const char *key, int value);
// 1 when the key holds a value.
int HasSetting(const char *key);

// 1 when path is a directory in which the user may create files.
int DirectoryWritable(const char *path);
// 1 when path is an existing directory.
int DirectoryExists(const char *path);
// The directory part of a file path (MAX_PATHNAME_LEN characters).
int GetDirectoryOf(const char *filePath, char *directory);
