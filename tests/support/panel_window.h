// The real panel shown as a window, and where its widgets lie on it: their places in panel
// pixels, which of its pages show, and whether a click reaches a control.
#pragma once

#include "support/panel_fixture.h"

#include <QRect>
#include <QSize>

#include <map>

class QWidget;

// A 1366 x 768 screen less a title bar and a task bar: the panel is grown to its full width.
inline const QSize kSmallScreen(1366, 768 - 80);

// The panel fixture with the real panel shown and exposed.
class PanelWindow : public PanelFixture {
  protected:
    void SetUp() override;
    QWidget *Control(int id);
    QWidget *Named(const char *name);
    QRect OnPanel(const QWidget *widget);
    // The panel's own widgets in panel pixels: the form's children and those of its pages.
    std::map<QWidget *, QRect> Places();
    // The widget a click at the control's centre reaches: the control, a part of it, or a
    // control it holds.
    bool Reachable(QWidget *control);
    bool Shown(const char *name);
    bool ColumnShown();
    bool GraphsShown();
    // Every control of the panel that the program shows, in either view, lies inside the window
    // and is reached by a click on the page that shows it (both pages where the column folds).
    void ExpectEveryControlInsideAndReachable();

    QWidget *form = nullptr;
};
