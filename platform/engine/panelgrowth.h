// Panels that grow and fold: the form's size in its file is the size its controls are laid out
// for; controls that the panel file marks take a share of the room a larger window gives, and the
// column at the right edge moves under the panel or folds onto the graphs' place when the window
// is narrower than the file (platform/engine/panelcolumn.h). Everything else keeps its place and
// size. A window that its screen cannot hold at the file's width opens as wide as the screen
// allows.
#pragma once

#include <QHash>
#include <QPoint>
#include <QSize>

class QWidget;

// Lets the marked controls of the form, and its column, follow its size from now on.
void InstallPanelGrowth(QWidget *form);

// Moves and sizes the marked children of a container (the form, or a page of it) by the room
// its size gives beyond the size it was laid out for; that room is negative where the container
// is smaller. A child the program moved or resized meanwhile keeps that change.
class ChildGrowth {
  public:
    ChildGrowth(QWidget *container, QSize laidOutFor) : container_(container), base_(laidOutFor) {}
    // Follows the container's current size.
    void follow();

  private:
    // What the growth added to a child's place and size.
    struct Added {
        QPoint move;
        QSize size{0, 0};
    };

    QWidget *container_;
    QSize base_;
    QHash<QWidget *, Added> added_;
};
