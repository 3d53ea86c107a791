#include "platform/engine/panelgrowth.h"

#include <QEvent>
#include <QHash>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cmath>

namespace {

// Shares of the room beyond the form's minimum size: shiftX and shiftY move a control by that
// share of the extra width and height, stretchX and stretchY widen and heighten it by it.
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

class PanelGrowth : public QObject {
  public:
    explicit PanelGrowth(QWidget *form) : QObject(form), form_(form) {
        form->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Resize)
            follow();
        return false;
    }

  private:
    // A control the program moved or resized meanwhile keeps that change: its base is what it
    // is now less what the growth added last time.
    void follow() {
        const QSize minimum = form_->minimumSize();
        const int extraWidth = std::max(0, form_->width() - minimum.width());
        const int extraHeight = std::max(0, form_->height() - minimum.height());
        for (QWidget *widget : form_->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            Growth growth;
            if (!ReadGrowth(widget, &growth))
                continue;
            const Added added = added_.value(widget);
            const QRect now = widget->geometry();
            const QRect base = now.translated(-added.move)
                                   .adjusted(0, 0, -added.size.width(), -added.size.height());
            const QRect grown = Grown(base, growth, extraWidth, extraHeight);
            widget->setGeometry(grown);
            added_[widget] = {grown.topLeft() - base.topLeft(), grown.size() - base.size()};
        }
    }

    // What the growth added to a control's place and size.
    struct Added {
        QPoint move;
        QSize size{0, 0};
    };

    QWidget *form_;
    QHash<QWidget *, Added> added_;
};

} // namespace

void InstallPanelGrowth(QWidget *form) {
    new PanelGrowth(form);
}
