// The COM-port ring: a ring whose items are the serial ports the engine discovers, each shown
// with its COM number, device and description; its value is the COM number.
#pragma once

#include <QComboBox>

class ComPortRing : public QComboBox {
    Q_OBJECT
  public:
    explicit ComPortRing(QWidget *parent = nullptr);

    // Refills the items from the port discovery; the selected COM number stays selected.
    void refresh();
    // The selected COM number, or 0 when the ring is empty.
    int portNumber() const;
    // Selects a COM number; one that discovery does not know gets an item of its own, so that a
    // number the program chose is never lost.
    void setPortNumber(int port);

  protected:
    // Ports come and go (USB adapters): the list is rebuilt each time it opens.
    void showPopup() override;
    bool event(QEvent *event) override;

  private:
    void addPort(int port);
};
