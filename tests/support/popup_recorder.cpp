#include "support/popup_recorder.h"

#include "platform/engine/userint.h"

namespace {

std::vector<RecordedPopup> popups;
std::vector<RecordedFileSelect> fileSelects;
std::string fileAnswerPath;
int fileAnswerCode = 0;

void RecordMessage(const char *title, const char *message) {
    popups.push_back({title ? title : "", message ? message : ""});
}

int AnswerFile(const char *directory, const char *fileName, const char *typeList, const char *title,
               const char **chosenPath) {
    fileSelects.push_back({directory ? directory : "", fileName ? fileName : "",
                           typeList ? typeList : "", title ? title : ""});
    *chosenPath = fileAnswerPath.c_str();
    return fileAnswerCode;
}

} // namespace

void RecordPopups() {
    ClearPopups();
    fileSelects.clear();
    AnswerFileSelect("", VAL_NO_FILE_SELECTED);
    SetMessagePopupHook(RecordMessage);
    SetFileSelectHook(AnswerFile);
}

void StopRecordingPopups() {
    SetMessagePopupHook(nullptr);
    SetFileSelectHook(nullptr);
}

const std::vector<RecordedPopup> &Popups() {
    return popups;
}

std::vector<RecordedPopup> PopupsTitled(const std::string &title) {
    std::vector<RecordedPopup> found;
    for (const RecordedPopup &popup : popups)
        if (popup.title == title)
            found.push_back(popup);
    return found;
}

void ClearPopups() {
    popups.clear();
}

void AnswerFileSelect(const std::string &path, int code) {
    fileAnswerPath = path;
    fileAnswerCode = code;
}

const std::vector<RecordedFileSelect> &FileSelects() {
    return fileSelects;
}
