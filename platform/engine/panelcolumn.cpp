#include "platform/engine/panelcolumn.h"

#include <QGroupBox>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>

#include <algorithm>

namespace {

const char *const TO_COLUMN_TEXT = "Frames, check  F7";
const char *const TO_GRAPHS_TEXT = "Graph, zoom  F7";
const int PAGE_BUTTON_HEIGHT = 20;
// The page button's distance from the right edge of its place, that of the buttons in frames.
const int PAGE_BUTTON_INSET = 10;
// The row's distance from the window's bottom: with the file's margin between the panel and the
// row, the row fits a 1280 x 1024 screen with a title bar and a task bar.
const int ROW_BOTTOM_MARGIN = 2;

double ShareOf(const QWidget *widget, const char *name) {
    return widget->property(name).toDouble();
}

// The column's groups, top to bottom: those that move with the right edge and do not widen.
std::vector<QGroupBox *> ColumnGroups(QWidget *form) {
    std::vector<QGroupBox *> groups;
    for (QGroupBox *group : form->findChildren<QGroupBox *>(Qt::FindDirectChildrenOnly))
        if (ShareOf(group, "shiftX") == 1.0 && ShareOf(group, "stretchX") == 0.0)
            groups.push_back(group);
    std::sort(groups.begin(), groups.end(),
              [](const QWidget *a, const QWidget *b) { return a->y() < b->y(); });
    return groups;
}

// What the column covers when it folds onto the panel's right edge at the column's left edge:
// the controls it lies over there, and all that their rectangle holds.
QRect GraphPageRect(QWidget *form, const QRect &column) {
    const QRect folded = column.translated(column.left() - form->width(), 0);
    QRect page;
    for (QWidget *widget : form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (!column.contains(widget->geometry()) && widget->geometry().intersects(folded))
            page |= widget->geometry();
    return page;
}

// A page that holds the form's children inside area, at the same panel pixels, in the same
// order (their stacking), each as shown or hidden as it was. The area is a copy: it may be the
// geometry of a member, which the move changes.
QWidget *MakePage(QWidget *form, QRect area, const char *name) {
    std::vector<QWidget *> members;
    for (QWidget *widget : form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (area.contains(widget->geometry()))
            members.push_back(widget);
    auto *page = new QWidget(form);
    page->setObjectName(QLatin1String(name));
    page->setGeometry(area);
    for (QWidget *widget : members) {
        const bool hidden = widget->isHidden();
        const QRect place = widget->geometry().translated(-area.topLeft());
        widget->setParent(page);
        widget->setGeometry(place);
        widget->setVisible(!hidden);
    }
    return page;
}

} // namespace

// A page, its rectangle in the panel file and the growth of what it holds.
struct PanelColumn::Page {
    Page(QWidget *widget, bool grows) : widget(widget), file(widget->geometry()), grows(grows) {}
    // Places the page; what it holds follows its size.
    void place(const QRect &rect) {
        widget->setGeometry(rect);
        growth.follow();
    }

    QWidget *widget;
    QRect file;
    bool grows; // a group that takes the extra height, and in the row the row's height
    ChildGrowth growth{widget, file.size()};
};

PanelColumn *PanelColumn::Install(QWidget *form) {
    const std::vector<QGroupBox *> groups = ColumnGroups(form);
    QRect column;
    for (const QGroupBox *group : groups)
        column |= group->geometry();
    const QRect graphs = GraphPageRect(form, column);
    if (groups.empty() || graphs.isEmpty())
        return nullptr;
    auto graphPage = std::make_unique<Page>(MakePage(form, graphs, "graphPage"), true);
    std::vector<std::unique_ptr<Page>> groupPages;
    for (const QGroupBox *group : groups) {
        const QString name = group->objectName() + QLatin1String("Page");
        const bool grows = ShareOf(group, "stretchY") != 0.0;
        groupPages.push_back(std::make_unique<Page>(
            MakePage(form, group->geometry(), name.toUtf8().constData()), grows));
    }
    form->setMinimumWidth(column.left());
    return new PanelColumn(form, std::move(graphPage), std::move(groupPages));
}

PanelColumn::PanelColumn(QWidget *form, std::unique_ptr<Page> graphs,
                         std::vector<std::unique_ptr<Page>> groups)
    : QObject(form), form_(form), fileSize_(form->size()), graphs_(std::move(graphs)),
      groups_(std::move(groups)), pageButton_(new QPushButton(form)),
      pageKey_(new QShortcut(QKeySequence(Qt::Key_F7), form)) {
    pageButton_->setObjectName(QLatin1String("pageButton"));
    pageButton_->setAutoDefault(false);
    pageButton_->setAccessibleName(QLatin1String("Page in the graphs' place"));
    pageButton_->setToolTip(QLatin1String("The window has no room for the column of teaching "
                                          "from frames and the detection check beside the "
                                          "graphs or under the panel: the two take turns (F7)."));
    for (const char *text : {TO_COLUMN_TEXT, TO_GRAPHS_TEXT}) {
        pageButton_->setText(QLatin1String(text));
        pageButtonWidth_ = std::max(pageButtonWidth_, pageButton_->sizeHint().width());
    }
    pageKey_->setContext(Qt::WindowShortcut);
    connect(pageButton_, &QPushButton::clicked, this, &PanelColumn::showOtherPage);
    connect(pageKey_, &QShortcut::activated, this, &PanelColumn::showOtherPage);
    arrange();
}

PanelColumn::~PanelColumn() = default;

// The groups that do not grow set the row's height.
int PanelColumn::rowHeight() const {
    int height = 0;
    for (const auto &group : groups_)
        if (!group->grows)
            height = std::max(height, group->file.height());
    return height;
}

// The row stands as far under the panel as the panel's bottom margin in the file.
int PanelColumn::rowFormHeight() const {
    return fileSize_.height() + rowHeight() + ROW_BOTTOM_MARGIN;
}

PanelColumn::Arrangement PanelColumn::arrangement() const {
    if (form_->width() >= fileSize_.width())
        return BESIDE;
    return form_->height() >= rowFormHeight() ? ROW : FOLDED;
}

void PanelColumn::showOtherPage() {
    if (arrangement() != FOLDED)
        return;
    columnShown_ = !columnShown_;
    arrange();
}

void PanelColumn::arrange() {
    const Arrangement now = arrangement();
    // Beside, the graphs take the room beyond the file's width; otherwise that beyond the
    // column's left edge, the form's minimum width. Over the row they take the height above it.
    const int extraWidth =
        form_->width() - (now == BESIDE ? fileSize_.width() : form_->minimumWidth());
    const int extraHeight = form_->height() - (now == ROW ? rowFormHeight() : fileSize_.height());
    const QRect graphs = graphs_->file.adjusted(0, 0, extraWidth, extraHeight);
    graphs_->place(graphs);
    if (now == ROW)
        placeGroupsInRow();
    else
        placeGroupsAtRightEdge();
    const bool folded = now == FOLDED;
    graphs_->widget->setVisible(!folded || !columnShown_);
    for (const auto &group : groups_)
        group->widget->setVisible(!folded || columnShown_);
    pageButton_->setVisible(folded);
    pageKey_->setEnabled(folded);
    if (folded)
        placePageButton(graphs);
}

// Beside the graphs and folded onto them, the column keeps its distance from the right edge and
// its growing groups take the extra height.
void PanelColumn::placeGroupsAtRightEdge() {
    const int extraWidth = form_->width() - fileSize_.width();
    const int extraHeight = form_->height() - fileSize_.height();
    for (const auto &group : groups_) {
        QRect place = group->file.translated(extraWidth, 0);
        if (group->grows)
            place.setBottom(group->file.bottom() + extraHeight);
        group->place(place);
    }
}

// In the row, as high as the row, the first group at the left margin and the others from the
// right edge leftwards, the file's margin apart.
void PanelColumn::placeGroupsInRow() {
    const int margin = fileSize_.width() - 1 - groups_.front()->file.right();
    const int top = form_->height() - ROW_BOTTOM_MARGIN - rowHeight();
    int right = form_->width() - margin;
    for (auto group = groups_.rbegin(); group + 1 != groups_.rend(); ++group) {
        const int width = (*group)->file.width();
        (*group)->place(QRect(right - width, top, width, rowHeight()));
        right -= width + margin;
    }
    groups_.front()->place(
        QRect(QPoint(margin, top), QSize(groups_.front()->file.width(), rowHeight())));
}

void PanelColumn::placePageButton(const QRect &page) {
    pageButton_->setText(QLatin1String(columnShown_ ? TO_GRAPHS_TEXT : TO_COLUMN_TEXT));
    pageButton_->setGeometry(page.right() + 1 - PAGE_BUTTON_INSET - pageButtonWidth_, page.top(),
                             pageButtonWidth_, PAGE_BUTTON_HEIGHT);
    pageButton_->raise();
}
