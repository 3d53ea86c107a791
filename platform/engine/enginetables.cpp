// Tables of integer cells, rows and columns counted from 1; the user edits a cell with a spin
// box held to the table's cellMinimum..cellMaximum. Tab leaves the table when the panel file
// turns the table's tab navigation off, also from a cell being edited; the arrow keys move
// between cells.
#include "platform/engine/engine.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>

namespace {

int CellLimit(const QTableWidget *table, const char *name, int fallback) {
    QVariant property = table->property(name);
    bool ok = false;
    int value = property.toInt(&ok);
    return property.isValid() && ok ? value : fallback;
}

class CellEditor : public QStyledItemDelegate {
  public:
    CellEditor(int minimum, int maximum, QTableWidget *table)
        : QStyledItemDelegate(table), table_(table), minimum_(minimum), maximum_(maximum) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &) const override {
        auto *editor = new QSpinBox(parent);
        editor->setFrame(false);
        editor->setRange(minimum_, maximum_);
        return editor;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override {
        static_cast<QSpinBox *>(editor)->setValue(index.data(Qt::EditRole).toInt());
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override {
        auto *spinBox = static_cast<QSpinBox *>(editor);
        spinBox->interpretText();
        model->setData(index, spinBox->value(), Qt::EditRole);
    }

  protected:
    // The delegate's own handling of Tab moves to the next cell and edits it, whatever the
    // table's tab navigation says. Here Tab takes the entry, closes the cell and goes on from the
    // table as a Tab on the table itself does.
    bool eventFilter(QObject *object, QEvent *event) override {
        if (event->type() != QEvent::KeyPress || table_->tabKeyNavigation())
            return QStyledItemDelegate::eventFilter(object, event);
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab)
            return QStyledItemDelegate::eventFilter(object, event);
        auto *editor = static_cast<QWidget *>(object);
        emit commitData(editor);
        emit closeEditor(editor, QAbstractItemDelegate::NoHint);
        QKeyEvent leave(QEvent::KeyPress, key->key(), key->modifiers());
        QCoreApplication::sendEvent(table_, &leave);
        return true;
    }

  private:
    QTableWidget *table_;
    int minimum_;
    int maximum_;
};

// Runs act on the table of a header attribute call, as WithControl does; else UIE_BAD_ATTRIBUTE
// when attribute is not the one the header has, UIE_BAD_VALUE when the 1-based index lies outside
// the table's rows or columns.
template <typename Act>
int WithTableHeader(int panel, int control, Qt::Orientation orientation, int index, int attribute,
                    Act act) {
    return WithControl<QTableWidget>(panel, control, [&](QTableWidget *table) -> int {
        const bool columns = orientation == Qt::Horizontal;
        if (attribute != (columns ? ATTR_LABEL_TEXT : ATTR_LABEL_COLOR))
            return UIE_BAD_ATTRIBUTE;
        if (index < 1 || index > (columns ? table->columnCount() : table->rowCount()))
            return UIE_BAD_VALUE;
        return act(table);
    });
}

// WithTableHeader for the header of a column, and of a row.
template <typename Act>
int WithColumnHeader(int panel, int control, int column, int attribute, Act act) {
    return WithTableHeader(panel, control, Qt::Horizontal, column, attribute, act);
}

template <typename Act> int WithRowHeader(int panel, int control, int row, int attribute, Act act) {
    return WithTableHeader(panel, control, Qt::Vertical, row, attribute, act);
}

// The item of a 1-based cell, created when the cell is still empty; nullptr outside the table.
QTableWidgetItem *CellItem(QTableWidget *table, Point cell, bool create) {
    int row = cell.y - 1;
    int column = cell.x - 1;
    if (row < 0 || column < 0 || row >= table->rowCount() || column >= table->columnCount())
        return nullptr;
    QTableWidgetItem *item = table->item(row, column);
    if (item == nullptr && create) {
        item = new QTableWidgetItem;
        table->setItem(row, column, item);
    }
    return item;
}

// The header item of a row or column, created when the file gave none.
QTableWidgetItem *RowHeader(QTableWidget *table, int row) {
    if (table->verticalHeaderItem(row) == nullptr)
        table->setVerticalHeaderItem(row, new QTableWidgetItem(QString::number(row + 1)));
    return table->verticalHeaderItem(row);
}

QTableWidgetItem *ColumnHeader(QTableWidget *table, int column) {
    if (table->horizontalHeaderItem(column) == nullptr)
        table->setHorizontalHeaderItem(column, new QTableWidgetItem(QString::number(column + 1)));
    return table->horizontalHeaderItem(column);
}

} // namespace

// The cell editor, and with the property rowsFillHeight rows that share the table's height, so
// that no empty strip is left below the last row whatever the font's height.
void EnginePrepareTable(QTableWidget *table) {
    int minimum = CellLimit(table, "cellMinimum", 0);
    int maximum = CellLimit(table, "cellMaximum", 255);
    table->setItemDelegate(new CellEditor(minimum, maximum, table));
    if (table->property("rowsFillHeight").toBool())
        table->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
}

Point MakePoint(int x, int y) {
    return Point{x, y};
}

int GetTableCellVal(int panel, int control, Point cell, int *value) {
    return WithControl<QTableWidget>(panel, control, [&](QTableWidget *table) -> int {
        if (cell.x < 1 || cell.y < 1 || cell.x > table->columnCount() || cell.y > table->rowCount())
            return UIE_BAD_VALUE;
        QTableWidgetItem *item = CellItem(table, cell, false);
        const QVariant data = item == nullptr ? QVariant() : item->data(Qt::EditRole);
        // A cell the program set holds a number: read without a text on the way, as the live
        // display does for every frame.
        if (data.typeId() == QMetaType::Int) {
            *value = data.toInt();
            return UIE_OK;
        }
        // An empty cell holds 0.
        if (item == nullptr || data.toString().trimmed().isEmpty()) {
            *value = 0;
            return UIE_OK;
        }
        bool ok = false;
        int number = data.toString().trimmed().toInt(&ok);
        if (!ok)
            return UIE_BAD_VALUE;
        *value = number;
        return UIE_OK;
    });
}

int GetTableCellVal(int panel, int control, Point cell, unsigned char *value) {
    int number = 0;
    int result = GetTableCellVal(panel, control, cell, &number);
    if (result == UIE_OK)
        *value = static_cast<unsigned char>(number & 0xFF);
    return result;
}

int SetTableCellVal(int panel, int control, Point cell, int value) {
    return WithControl<QTableWidget>(panel, control, [&](QTableWidget *table) -> int {
        EngineProgramChange change(table);
        QTableWidgetItem *item = CellItem(table, cell, true);
        if (item == nullptr)
            return UIE_BAD_VALUE;
        item->setData(Qt::EditRole, value);
        return UIE_OK;
    });
}

int SetTableColumnAttribute(int panel, int control, int column, int attribute, const char *value) {
    return WithColumnHeader(panel, control, column, attribute, [&](QTableWidget *table) -> int {
        if (value == nullptr)
            return UIE_BAD_VALUE;
        EngineProgramChange change(table);
        ColumnHeader(table, column - 1)->setText(QString::fromUtf8(value));
        return UIE_OK;
    });
}

int GetTableColumnAttribute(int panel, int control, int column, int attribute, char *text,
                            int size) {
    return WithColumnHeader(panel, control, column, attribute, [&](QTableWidget *table) -> int {
        QTableWidgetItem *header = table->horizontalHeaderItem(column - 1);
        return EngineCopyText(header == nullptr ? QString::number(column) : header->text(), text,
                              size);
    });
}

int SetTableRowAttribute(int panel, int control, int row, int attribute, int value) {
    return WithRowHeader(panel, control, row, attribute, [&](QTableWidget *table) -> int {
        EngineProgramChange change(table);
        RowHeader(table, row - 1)->setForeground(ColourOf(value & 0xFFFFFF));
        return UIE_OK;
    });
}

int GetTableRowAttribute(int panel, int control, int row, int attribute, int *value) {
    return WithRowHeader(panel, control, row, attribute, [&](QTableWidget *table) -> int {
        QTableWidgetItem *header = table->verticalHeaderItem(row - 1);
        QColor colour = header == nullptr
                            ? table->verticalHeader()->palette().color(QPalette::ButtonText)
                            : header->foreground().color();
        *value = ValueOf(colour);
        return UIE_OK;
    });
}
