// Modal pop-ups: the message box and the file selection, each behind a hook that tests set.
#include "platform/engine/engine.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

namespace {

MessagePopupHook messageHook = nullptr;
FileSelectHook fileSelectHook = nullptr;

QString Text(const char *text) {
    return text == nullptr ? QString() : QString::fromUtf8(text);
}

// "*.dat" or "*.dat;*.txt" as a dialog filter. Loading also offers every file; saving offers
// the listed types only, so that a file is not saved under a type the program cannot read.
QString NameFilter(const char *fileTypeList, bool saving) {
    QString types = Text(fileTypeList).trimmed();
    if (types.isEmpty())
        return QStringLiteral("*");
    types.replace(QLatin1Char(';'), QLatin1Char(' '));
    return saving ? types : types + QStringLiteral(";;*");
}

// The texts line up their continuation lines with blanks under the start of the line above, so
// they keep their line breaks and blanks in a fixed-pitch font, unwrapped; the box is as wide as
// the longest line (blanks at the end of a line take no room).
void ShowMessageBox(const char *title, const char *message) {
    QDialog box;
    box.setWindowTitle(Text(title));
    auto *text = new QLabel(&box);
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(false);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setText(Text(message));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    auto *layout = new QVBoxLayout(&box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(text);
    layout->addWidget(buttons);
    box.exec();
}

// Hands the chosen path to the caller. A cut path would name another file: a path that does
// not fit is refused whole.
int CopyPath(const QString &path, char *pathOut) {
    return EngineCopyWholeText(QFile::encodeName(QDir::toNativeSeparators(path)), pathOut,
                               MAX_PATHNAME_LEN) == UIE_OK
               ? UIE_OK
               : UIE_PATH_TOO_LONG;
}

// The code of a pop-up that chose path: new or existing file, or why the path is refused.
int ChosenFile(const QString &path, char *pathOut) {
    int result = CopyPath(path, pathOut);
    if (result < 0)
        return result;
    return QFileInfo::exists(path) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}

int AskFileSelectHook(const char *defaultDirectory, const char *defaultFileName,
                      const char *fileTypeList, const char *title, char *pathOut) {
    const char *chosen = nullptr;
    int code = fileSelectHook(defaultDirectory == nullptr ? "" : defaultDirectory,
                              defaultFileName == nullptr ? "" : defaultFileName,
                              fileTypeList == nullptr ? "" : fileTypeList,
                              title == nullptr ? "" : title, &chosen);
    if (code <= 0 || chosen == nullptr)
        return code;
    int result = CopyPath(Text(chosen), pathOut);
    return result < 0 ? result : code;
}

} // namespace

void SetMessagePopupHook(MessagePopupHook hook) {
    messageHook = hook;
}

void SetFileSelectHook(FileSelectHook hook) {
    fileSelectHook = hook;
}

FileSelectHook EngineFileSelectHook() {
    return fileSelectHook;
}

int MessagePopup(const char *title, const char *message) {
    if (messageHook != nullptr) {
        messageHook(title == nullptr ? "" : title, message == nullptr ? "" : message);
        return UIE_OK;
    }
    if (!EngineRunning())
        return UIE_NOT_INITIALISED;
    ShowMessageBox(title, message);
    return UIE_OK;
}

int FileSelectPopup(const char *defaultDirectory, const char *defaultFileName,
                    const char *fileTypeList, const char *title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char *pathOut) {
    if (pathOut == nullptr)
        return UIE_BAD_VALUE;
    pathOut[0] = '\0';
    if (fileSelectHook != nullptr)
        return AskFileSelectHook(defaultDirectory, defaultFileName, fileTypeList, title, pathOut);
    if (!EngineRunning())
        return UIE_NOT_INITIALISED;
    (void)restrictDirectory;
    (void)allowCancel; // the dialog can always be closed: that is a cancel
    bool saving = buttonLabel == VAL_SAVE_BUTTON;
    QFileDialog dialog(nullptr, Text(title), Text(defaultDirectory),
                       NameFilter(fileTypeList, saving));
    // A save dialog says Save and asks before it replaces a file.
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(buttonLabel == VAL_LOAD_BUTTON ? QFileDialog::ExistingFile
                                                      : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::ReadOnly, allowMakeDirectory == 0);
    if (restrictExtension != 0)
        dialog.setDefaultSuffix(
            QFileInfo(Text(fileTypeList).section(QLatin1Char(';'), 0, 0)).suffix());
    dialog.selectFile(Text(defaultFileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return VAL_NO_FILE_SELECTED;
    return ChosenFile(dialog.selectedFiles().first(), pathOut);
}

int DirSelectPopup(const char *defaultDirectory, const char *title, char *pathOut) {
    if (pathOut == nullptr)
        return UIE_BAD_VALUE;
    pathOut[0] = '\0';
    if (fileSelectHook != nullptr)
        return AskFileSelectHook(defaultDirectory, "", "", title, pathOut);
    if (!EngineRunning())
        return UIE_NOT_INITIALISED;
    QString folder =
        QFileDialog::getExistingDirectory(nullptr, Text(title), Text(defaultDirectory));
    if (folder.isEmpty())
        return VAL_NO_FILE_SELECTED;
    int result = CopyPath(folder, pathOut);
    return result < 0 ? result : VAL_EXISTING_FILE_SELECTED;
}
