// The column at the panel's right edge: the group boxes that move with the edge (shiftX 1, no
// stretchX), each with the controls inside it. It stands where the window has room for it:
// - beside the graphs while the window is as wide as the panel file;
// - narrower but tall enough, in a row under the panel: its first group under the panel's left
//   margin, the others at the right edge, each as high as the groups that do not grow;
// - else folded onto the graphs' place: the controls it would cover there (the graph page) and
//   the column take turns, and a button in the top right corner of that place, or F7, shows the
//   other one.
// Every control keeps its place within its group, and the graphs take the room that is left.
#pragma once

#include "platform/engine/panelgrowth.h"

#include <QObject>
#include <QRect>
#include <QSize>

#include <memory>
#include <vector>

class QPushButton;
class QShortcut;

class PanelColumn : public QObject {
  public:
    // Puts each group of the form's column on a page of its own and the controls the column
    // folds onto on another, and leaves the form's minimum width at the column's left edge. The
    // column belongs to the form; nullptr when the form has none.
    static PanelColumn *Install(QWidget *form);
    ~PanelColumn() override;
    // The height from which a window narrower than the panel file holds the column in a row.
    int rowFormHeight() const;

    // Places the pages and the page button for the form's current size.
    void arrange();

  private:
    struct Page;
    PanelColumn(QWidget *form, std::unique_ptr<Page> graphs,
                std::vector<std::unique_ptr<Page>> groups);
    enum Arrangement { BESIDE, ROW, FOLDED };
    Arrangement arrangement() const;
    int rowHeight() const;
    void placeGroupsAtRightEdge();
    void placeGroupsInRow();
    void showOtherPage();
    void placePageButton(const QRect &page);

    QWidget *form_;
    QSize fileSize_;
    std::unique_ptr<Page> graphs_;
    std::vector<std::unique_ptr<Page>> groups_; // in their order down the column
    QPushButton *pageButton_;
    QShortcut *pageKey_;
    int pageButtonWidth_ = 0;  // that of the longer of its two captions
    bool columnShown_ = false; // folded: the column is the page shown
};
