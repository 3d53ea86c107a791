// Control values: numeric fields, sliders, rings, switches, displays, text boxes and colour bars.
// Setting a value from the program never raises an event.
#include "platform/engine/engine.h"
#include "platform/widgets/colourbar.h"
#include "platform/widgets/comportring.h"
#include "platform/widgets/redraw.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>

#include <cmath>

namespace {

// The value of a ring item: its entry of the "values" list, kept as the item's data.
int RingItemValue(const QComboBox *combo, int index) {
    QVariant data = combo->itemData(index);
    return data.isValid() ? data.toInt() : index;
}

// Selects the item of a value; a value no item has gets an item showing the number, so that a
// byte from the sensor or a file is never lost.
void SelectRingValue(QComboBox *combo, int value) {
    for (int i = 0; i < combo->count(); i++) {
        if (RingItemValue(combo, i) == value) {
            combo->setCurrentIndex(i);
            return;
        }
    }
    combo->addItem(QString::number(value), value);
    combo->setCurrentIndex(combo->count() - 1);
}

// Sets a switch, also one of an exclusive group, which would otherwise refuse to be cleared.
void SetSwitch(QAbstractButton *button, bool on) {
    bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(on);
    button->setAutoExclusive(exclusive);
}

bool ParseNumber(const QString &text, double *value) {
    bool ok = false;
    double number = text.trimmed().toDouble(&ok);
    if (ok && std::isfinite(number))
        *value = number;
    return ok && std::isfinite(number);
}

// The text of a whole number. The bytes 0..255 that every measurement display shows come from
// a table made once and shared with the label, so that a frame allocates no new strings.
QString NumberText(int value) {
    enum { CACHED = 256 };
    static const QString *const texts = [] {
        auto *table = new QString[CACHED];
        for (int i = 0; i < CACHED; i++)
            table[i] = QString::number(i);
        return table;
    }();
    if (value >= 0 && value < CACHED)
        return texts[value];
    return QString::number(value);
}

void ShowLabelText(QWidget *widget, const QString &text) {
    auto *label = static_cast<QLabel *>(widget);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    EngineFitToText(label);
}

int ClampToInt(double value) {
    if (value >= 2147483647.0)
        return 2147483647;
    if (value <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int>(std::lround(value));
}

// Reads any numeric control as a double.
int ReadNumber(QWidget *widget, double *value) {
    if (auto *ring = qobject_cast<ComPortRing *>(widget)) {
        *value = ring->portNumber();
    } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        if (combo->currentIndex() < 0)
            return UIE_BAD_VALUE;
        *value = RingItemValue(combo, combo->currentIndex());
    } else if (auto *spinBox = qobject_cast<QSpinBox *>(widget)) {
        *value = spinBox->value();
    } else if (auto *fractional = qobject_cast<QDoubleSpinBox *>(widget)) {
        *value = fractional->value();
    } else if (auto *slider = qobject_cast<QAbstractSlider *>(widget)) {
        *value = slider->value();
    } else if (auto *colourBar = qobject_cast<ColourBar *>(widget)) {
        *value = colourBar->value();
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        if (!button->isCheckable())
            return UIE_BAD_CONTROL;
        *value = button->isChecked() ? 1 : 0;
    } else if (auto *label = qobject_cast<QLabel *>(widget)) {
        ShowHeldChange(label);
        return ParseNumber(label->text(), value) ? UIE_OK : UIE_BAD_VALUE;
    } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        return ParseNumber(edit->text(), value) ? UIE_OK : UIE_BAD_VALUE;
    } else {
        return UIE_BAD_CONTROL;
    }
    return UIE_OK;
}

// Sets a control to a number; text displays show asText instead.
int WriteValue(QWidget *widget, double value, const QString &asText) {
    EngineProgramChange change(widget);
    int whole = ClampToInt(value);
    if (auto *ring = qobject_cast<ComPortRing *>(widget)) {
        ring->setPortNumber(whole);
    } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        SelectRingValue(combo, whole);
    } else if (auto *spinBox = qobject_cast<QSpinBox *>(widget)) {
        spinBox->setValue(whole);
    } else if (auto *fractional = qobject_cast<QDoubleSpinBox *>(widget)) {
        fractional->setValue(value);
    } else if (auto *slider = qobject_cast<QAbstractSlider *>(widget)) {
        slider->setValue(whole);
    } else if (auto *colourBar = qobject_cast<ColourBar *>(widget)) {
        colourBar->setValue(whole);
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        if (!button->isCheckable())
            return UIE_BAD_CONTROL;
        SetSwitch(button, whole != 0);
    } else if (auto *label = qobject_cast<QLabel *>(widget)) {
        ShowHeldChange(label);
        ShowLabelText(label, asText);
    } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        edit->setText(asText);
    } else if (auto *box = qobject_cast<QPlainTextEdit *>(widget)) {
        box->setPlainText(asText);
    } else {
        return UIE_BAD_CONTROL;
    }
    return UIE_OK;
}

int GetNumber(int panel, int control, double *value) {
    return WithControl<QWidget>(panel, control,
                                [&](QWidget *widget) -> int { return ReadNumber(widget, value); });
}

} // namespace

int GetCtrlVal(int panel, int control, int *value) {
    double number = 0;
    int result = GetNumber(panel, control, &number);
    if (result == UIE_OK)
        *value = ClampToInt(number);
    return result;
}

int GetCtrlVal(int panel, int control, unsigned char *value) {
    double number = 0;
    int result = GetNumber(panel, control, &number);
    if (result == UIE_OK)
        *value = static_cast<unsigned char>(ClampToInt(number) & 0xFF);
    return result;
}

int GetCtrlVal(int panel, int control, double *value) {
    double number = 0;
    int result = GetNumber(panel, control, &number);
    if (result == UIE_OK)
        *value = number;
    return result;
}

int GetCtrlVal(int panel, int control, char *text, int size) {
    return WithControl<QWidget>(panel, control, [&](QWidget *widget) -> int {
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            ShowHeldChange(label);
            return EngineCopyText(label->text(), text, size);
        }
        if (auto *edit = qobject_cast<QLineEdit *>(widget))
            return EngineCopyText(edit->text(), text, size);
        if (auto *box = qobject_cast<QPlainTextEdit *>(widget))
            return EngineCopyText(box->toPlainText(), text, size);
        if (auto *combo = qobject_cast<QComboBox *>(widget))
            return EngineCopyText(combo->currentText(), text, size);
        double number = 0;
        int result = ReadNumber(widget, &number);
        if (result < 0)
            return result;
        return EngineCopyText(QString::number(number, 'g', 15), text, size);
    });
}

int SetCtrlVal(int panel, int control, int value) {
    return WithControl<QWidget>(panel, control, [&](QWidget *widget) -> int {
        // A display's number is the value that changes with every frame: it is paced.
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            PaceChange(label, ShowLabelText, NumberText(value));
            return UIE_OK;
        }
        return WriteValue(widget, value, NumberText(value));
    });
}

int SetCtrlVal(int panel, int control, double value) {
    return WithControl<QWidget>(panel, control, [&](QWidget *widget) -> int {
        if (!std::isfinite(value))
            return UIE_BAD_VALUE;
        return WriteValue(widget, value, QString::number(value, 'g', 15));
    });
}

int SetCtrlVal(int panel, int control, const char *text) {
    return WithControl<QWidget>(panel, control, [&](QWidget *widget) -> int {
        if (text == nullptr)
            return UIE_BAD_VALUE;
        QString value = QString::fromUtf8(text);
        if (qobject_cast<QLabel *>(widget) != nullptr ||
            qobject_cast<QLineEdit *>(widget) != nullptr ||
            qobject_cast<QPlainTextEdit *>(widget) != nullptr)
            return WriteValue(widget, 0, value);
        // A numeric control takes the number the text holds.
        double number = 0;
        if (!ParseNumber(value, &number))
            return UIE_BAD_VALUE;
        return WriteValue(widget, number, value);
    });
}
