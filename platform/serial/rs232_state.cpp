// What the serial services' files share: the one table of ports, the input queues and the
// small helpers every file uses. It calls nothing else of the serial services.

#include "platform/serial/rs232_state.h"
#include "platform/core/textcopy.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <cstdlib>
#include <cstring>

SerialState &Serial() {
    static SerialState state;
    return state;
}

std::recursive_mutex &SerialTables() {
    static std::recursive_mutex tables;
    return tables;
}

QSerialPort *OpenSerial(int port) {
    if (!IsValidPortNumber(port))
        return nullptr;
    QSerialPort *serial = Serial().ports[port].serial.get();
    return serial && serial->isOpen() ? serial : nullptr;
}

qint64 InputQueue::take(unsigned char *buffer, qint64 size) {
    const qint64 taken = std::min(size, count);
    std::memcpy(buffer, bytes.data(), size_t(taken));
    std::memmove(bytes.data(), bytes.data() + taken, size_t(count - taken));
    count -= taken;
    return taken;
}

void TakeBufferedInput(PortSlot &slot) {
    QSerialPort &serial = *slot.serial;
    if (serial.bytesAvailable() == 0 || slot.input.room() <= 0)
        return;
    qint64 moved = serial.read(reinterpret_cast<char *>(slot.input.end()), slot.input.room());
    if (moved > 0)
        slot.input.count += moved;
}

void MarkLost(int port) {
    Serial().ports[port].serial.reset();
    Serial().ports[port].lost = true;
}

std::string MappedDevice(int number) {
    if (!Serial().programMapped[number].empty())
        return Serial().programMapped[number];
    std::string variable = "NVMX_COM" + std::to_string(number);
    const char *value = std::getenv(variable.c_str());
    return value ? std::string(value) : std::string();
}

std::vector<std::string> MappedDevices() {
    std::vector<std::string> mapped(COM_MAX_PORT + 1);
    for (int number = 1; number <= COM_MAX_PORT; number++)
        mapped[number] = MappedDevice(number);
    return mapped;
}

std::string DescriptionOf(const QSerialPortInfo &info) {
    QString text = info.description();
    if (text.isEmpty())
        text = info.manufacturer();
    if (text.isEmpty())
        text = QStringLiteral("serial port");
    return text.toStdString();
}

QString CanonicalPath(const std::string &path) {
    QString canonical = QFileInfo(QString::fromStdString(path)).canonicalFilePath();
    return canonical.isEmpty() ? QString::fromStdString(path) : canonical;
}

// Bounded copy of text into a caller's buffer of size characters (the engine's text copy).
int CopyText(const std::string &text, char *buffer, int size) {
    return CopyUtf8Text(text.data(), text.size(), buffer, size) != TEXT_NOT_COPIED ? 0
                                                                                   : RS232_ERROR;
}
