// Controls the program creates at run time, and pictures.
#include "platform/engine/engine.h"

#include <QFile>
#include <QLabel>
#include <QPixmap>

int NewCtrl(int panel, int style, const char *label, int top, int left) {
    EnginePanel *record = EngineFindPanel(panel);
    if (record == nullptr)
        return UIE_BAD_PANEL;
    if (style != CTRL_TEXT_MSG)
        return UIE_BAD_VALUE;
    // A text message shows its label until the program writes its value.
    auto *message = new QLabel(record->form);
    message->setTextFormat(Qt::PlainText);
    message->setText(QString::fromUtf8(label == nullptr ? "" : label));
    message->setProperty(ENGINE_AUTO_SIZE_PROPERTY, true);
    message->move(left, top);
    message->adjustSize();
    message->show();
    int id = record->nextNewControlId++;
    record->controls[id].widget = message;
    return id;
}

int DisplayImageFile(int panel, int control, const char *fileName) {
    return WithControl<QLabel>(panel, control, [&](QLabel *picture) -> int {
        if (fileName == nullptr)
            return UIE_BAD_VALUE;
        QPixmap image;
        bool loaded = image.load(EngineDataFilePath(fileName));
        EngineProgramChange change(picture);
        // A picture that cannot be read leaves the control empty.
        picture->setPixmap(loaded ? image : QPixmap());
        if (!loaded)
            return QFile::exists(EngineDataFilePath(fileName)) ? UIE_BAD_FORMAT
                                                               : UIE_FILE_NOT_FOUND;
        picture->resize(image.size());
        return UIE_OK;
    });
}
