#include "platform/engine/panelgrowth.h"

#include "platform/engine/panelcolumn.h"

#include <QEvent>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// Room a window's frame takes where the screen's available area (the screen less its task bars)
// is to hold the window: its borders, and its title bar with them.
const int FRAME_WIDTH = 10;
const int FRAME_HEIGHT = 40;

// Shares of the room beyond the laid-out size: shiftX and shiftY move a control by that share of
// the extra width and height, stretchX and stretchY widen and heighten it by it.
struct Growth {
    double shiftX = 0, shiftY = 0, stretchX = 0, stretchY = 0;
};

double Share(const QWidget *widget, const char *name) {
    bool ok = false;
    const double share = widget->property(name).toDouble(&ok);
    return ok && std::isfinite(share) ? share : 0.0;
}

bool ReadGrowth(const QWidget *widget, Growth *growth) {
    *growth = {Share(widget, "shiftX"), Share(widget, "shiftY"), Share(widget, "stretchX"),
               Share(widget, "stretchY")};
    return growth->shiftX != 0 || growth->shiftY != 0 || growth->stretchX != 0 ||
           growth->stretchY != 0;
}

// The rectangle's edges follow the extra room one by one, so that controls that meet at an
// edge (a graph and the group below it) still meet whatever the rounding.
QRect Grown(const QRect &base, const Growth &growth, int extraWidth, int extraHeight) {
    const auto by = [](double share, int extra) { return int(std::floor(share * extra)); };
    const int left = base.left() + by(growth.shiftX, extraWidth);
    const int top = base.top() + by(growth.shiftY, extraHeight);
    const int right = base.left() + base.width() + by(growth.shiftX + growth.stretchX, extraWidth);
    const int bottom =
        base.top() + base.height() + by(growth.shiftY + growth.stretchY, extraHeight);
    return QRect(left, top, right - left, bottom - top);
}

// A window wider than its screen's available area opens as wide as the area allows, down to its
// minimum width, and then as high as the column's row needs where the area has that height.
void FitToScreen(QWidget *form, const PanelColumn *column) {
    const QScreen *screen = form->screen();
    if (screen == nullptr)
        return;
    const QSize room = screen->availableGeometry().size() - QSize(FRAME_WIDTH, FRAME_HEIGHT);
    if (form->width() <= room.width())
        return;
    int height = form->height();
    if (column != nullptr && column->rowFormHeight() <= room.height())
        height = std::max(height, column->rowFormHeight());
    form->resize(std::max(room.width(), form->minimumWidth()), height);
}

class PanelGrowth : public QObject {
  public:
    explicit PanelGrowth(QWidget *form)
        : QObject(form), form_(form), growth_(form, form->size()),
          column_(PanelColumn::Install(form)) {
        form->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Show && !shown_) {
            shown_ = true;
            FitToScreen(form_, column_);
        } else if (event->type() == QEvent::Resize) {
            growth_.follow();
            if (column_ != nullptr)
                column_->arrange();
        }
        return false;
    }

  private:
    QWidget *form_;
    ChildGrowth growth_;
    PanelColumn *column_; // the form's own, or nullptr
    bool shown_ = false;
};

} // namespace

void ChildGrowth::follow() {
    const int extraWidth = container_->width() - base_.width();
    const int extraHeight = container_->height() - base_.height();
    for (QWidget *widget : container_->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        Growth growth;
        if (!ReadGrowth(widget, &growth))
            continue;
        const Added added = added_.value(widget);
        const QRect now = widget->geometry();
        const QRect base =
            now.translated(-added.move).adjusted(0, 0, -added.size.width(), -added.size.height());
        const QRect grown = Grown(base, growth, extraWidth, extraHeight);
        widget->setGeometry(grown);
        added_[widget] = {grown.topLeft() - base.topLeft(), grown.size() - base.size()};
    }
}

void InstallPanelGrowth(QWidget *form) {
    new PanelGrowth(form);
}
