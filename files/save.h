// Saving a file whole: the new text is written beside the target under a name of its own,
// forced to the disk and renamed over the target, so the old file or the new one is always
// there whole. Free of Qt; POSIX.
#pragma once

#include <cstddef>
#include <string>

// Replaces the regular file path (or creates it) with size bytes of text.
// - Only a regular file is replaced: a FIFO, a device or a folder at path is refused.
// - A link at path is followed and the file it points to is replaced in its own folder, so that
//   the link stays a link; a link that points nowhere is refused.
// - The text goes first into "<name>.saving-XXXXXX", created exclusively (never through a link
//   planted there) and locked while it is written; a file there keeps its permissions.
// - What earlier saves of this file left when they were killed is removed first.
// Returns false with why in words; nothing is then left beside the target.
bool SaveFileWhole(const char *path, const char *text, size_t size, std::string *why);
// Removes from directory what saves killed before their rename left. Only what a save makes is
// taken: a regular file of the user's, named "<name>.saving-XXXXXX" (or "<name>.saving", from
// before), holding nothing but numbers and blanks and not locked by a save that is running.
void RemoveLeftoverSaves(const char *directory);
