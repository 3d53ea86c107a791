// The engine's modal pop-ups replaced by a recorder: message pop-ups are recorded, file pop-ups
// are recorded and answered as the test says.
#pragma once

#include <string>
#include <vector>

struct RecordedPopup {
    std::string title;
    std::string text;
};

struct RecordedFileSelect {
    std::string directory;
    std::string fileName;
    std::string typeList;
    std::string title;
};

// Installs the pop-up hooks and clears every record; StopRecordingPopups removes the hooks.
void RecordPopups();
void StopRecordingPopups();
const std::vector<RecordedPopup> &Popups();
std::vector<RecordedPopup> PopupsTitled(const std::string &title);
void ClearPopups();
// Every later file pop-up hands back path and returns code (after RecordPopups: cancel, 0).
void AnswerFileSelect(const std::string &path, int code);
const std::vector<RecordedFileSelect> &FileSelects();
