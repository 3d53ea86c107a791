#include "platform/widgets/comportring.h"
#include "platform/widgets/portrings.h"

#include "platform/serial/rs232.h"
#include "textforms/portlabel.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QList>
#include <QPointer>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolTip>

namespace {
constexpr int PORT_TEXT_SIZE = 256;
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

// The list is as wide as its longest entry, so that every device and description shows whole.
void ComPortRing::showPopup() {
    refresh();
    QAbstractItemView *list = view();
    list->setMinimumWidth(list->sizeHintForColumn(0) +
                          list->verticalScrollBar()->sizeHint().width() + 2 * list->frameWidth());
    QComboBox::showPopup();
}

// The closed ring may cut its text: its tooltip names the whole port, then says what the ring is
// for.
bool ComPortRing::event(QEvent *event) {
    if (event->type() != QEvent::ToolTip)
        return QComboBox::event(event);
    QString tip = currentText();
    if (!toolTip().isEmpty())
        tip += QLatin1Char('\n') + toolTip();
    QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), tip, this);
    return true;
}

void ComPortRing::addPort(int port) {
    char device[PORT_TEXT_SIZE] = "";
    char description[PORT_TEXT_SIZE] = "";
    ComPortDevice(port, device, sizeof device);
    ComPortDescription(port, description, sizeof description);
    QString text = QString::fromStdString(PortLabel(port));
    if (device[0] != '\0')
        text += QStringLiteral("  ") + QString::fromUtf8(device);
    if (description[0] != '\0')
        text += QStringLiteral("  ") + QString::fromUtf8(description);
    addItem(text, port);
}
