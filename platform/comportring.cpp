#include "platform/comportring.h"

#include "platform/rs232.h"

#include <QAbstractItemView>
#include <QList>
#include <QPointer>
#include <QSignalBlocker>

namespace {
constexpr int kPortTextSize = 256;
QList<QPointer<ComPortRing>> rings;
} // namespace

ComPortRing::ComPortRing(QWidget *parent) : QComboBox(parent) {
    rings.removeAll(nullptr);
    rings.append(this);
    refresh();
}

void RefreshComPortRings(void) {
    for (const QPointer<ComPortRing> &ring : rings)
        if (ring && !ring->view()->isVisible())
            ring->refresh();
}

void ComPortRing::refresh() {
    int selected = portNumber();
    QSignalBlocker blocker(this);
    clear();
    int count = ComPortCount();
    for (int index = 0; index < count; index++)
        addPort(ComPortNumber(index));
    if (selected > 0)
        setPortNumber(selected);
}

int ComPortRing::portNumber() const {
    if (currentIndex() < 0)
        return 0;
    return currentData().toInt();
}

void ComPortRing::setPortNumber(int port) {
    QSignalBlocker blocker(this);
    int index = findData(port);
    if (index < 0) {
        addPort(port);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

void ComPortRing::showPopup() {
    refresh();
    QComboBox::showPopup();
}

void ComPortRing::addPort(int port) {
    char device[kPortTextSize] = "";
    char description[kPortTextSize] = "";
    ComPortDevice(port, device, sizeof device);
    ComPortDescription(port, description, sizeof description);
    QString text = QStringLiteral("COM%1").arg(port);
    if (device[0] != '\0')
        text += QStringLiteral("  ") + QString::fromUtf8(device);
    if (description[0] != '\0')
        text += QStringLiteral("  ") + QString::fromUtf8(description);
    addItem(text, port);
}
