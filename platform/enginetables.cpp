// Tables of integer cells, rows and columns counted from 1; the user edits a cell with a spin
// box held to the table's cellMinimum..cellMaximum.
#include "platform/engine.h"

#include <QHeaderView>
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
    CellEditor(int minimum, int maximum, QObject *parent)
        : QStyledItemDelegate(parent), minimum_(minimum), maximum_(maximum) {}

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

  private:
    int minimum_;
    int maximum_;
};

QTableWidget *FindTable(int panel, int control, int *error) {
    return EngineFindControlAs<QTableWidget>(panel, control, error);
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

void EngineInstallCellEditor(QTableWidget *table) {
    int minimum = CellLimit(table, "cellMinimum", 0);
    int maximum = CellLimit(table, "cellMaximum", 255);
    table->setItemDelegate(new CellEditor(minimum, maximum, table));
}

Point MakePoint(int x, int y) {
    return Point{x, y};
}

int GetTableCellVal(int panel, int control, Point cell, int *value) {
    int error = UIE_OK;
    QTableWidget *table = FindTable(panel, control, &error);
    if (table == nullptr)
        return error;
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
}

int GetTableCellVal(int panel, int control, Point cell, unsigned char *value) {
    int number = 0;
    int result = GetTableCellVal(panel, control, cell, &number);
    if (result == UIE_OK)
        *value = static_cast<unsigned char>(number & 0xFF);
    return result;
}

int SetTableCellVal(int panel, int control, Point cell, int value) {
    int error = UIE_OK;
    QTableWidget *table = FindTable(panel, control, &error);
    if (table == nullptr)
        return error;
    EngineProgramChange change(table);
    QTableWidgetItem *item = CellItem(table, cell, true);
    if (item == nullptr)
        return UIE_BAD_VALUE;
    item->setData(Qt::EditRole, value);
    return UIE_OK;
}

int SetTableColumnAttribute(int panel, int control, int column, int attribute, const char *value) {
    int error = UIE_OK;
    QTableWidget *table = FindTable(panel, control, &error);
    if (table == nullptr)
        return error;
    if (attribute != ATTR_LABEL_TEXT)
        return UIE_BAD_ATTRIBUTE;
    if (column < 1 || column > table->columnCount() || value == nullptr)
        return UIE_BAD_VALUE;
    EngineProgramChange change(table);
    ColumnHeader(table, column - 1)->setText(QString::fromUtf8(value));
    return UIE_OK;
}

int GetTableColumnAttribute(int panel, int control, int column, int attribute, char *text,
                            int size) {
    int error = UIE_OK;
    QTableWidget *table = FindTable(panel, control, &error);
    if (table == nullptr)
        return error;
    if (attribute != ATTR_LABEL_TEXT)
        return UIE_BAD_ATTRIBUTE;
    if (column < 1 || column > table->columnCount())
        return UIE_BAD_VALUE;
    QTableWidgetItem *header = table->horizontalHeaderItem(column - 1);
    return EngineCopyText(header == nullptr ? QString::number(column) : header->text(), text, size);
}

int SetTableRowAttribute(int panel, int control, int row, int attribute, int value) {
    int error = UIE_OK;
    QTableWidget *table = FindTable(panel, control, &error);
    if (table == nullptr)
        return error;
    if (attribute != ATTR_LABEL_COLOR)
        return UIE_BAD_ATTRIBUTE;
    if (row < 1 || row > table->rowCount())
        return UIE_BAD_VALUE;
    EngineProgramChange change(table);
    RowHeader(table, row - 1)->setForeground(QColor::fromRgb(static_cast<QRgb>(value & 0xFFFFFF)));
    return UIE_OK;
}

int GetTableRowAttribute(int panel, int control, int row, int attribute, int *value) {
    int error = UIE_OK;
    QTableWidget *table = FindTable(panel, control, &error);
    if (table == nullptr)
        return error;
    if (attribute != ATTR_LABEL_COLOR)
        return UIE_BAD_ATTRIBUTE;
    if (row < 1 || row > table->rowCount())
        return UIE_BAD_VALUE;
    QTableWidgetItem *header = table->verticalHeaderItem(row - 1);
    QColor color = header == nullptr
                       ? table->verticalHeader()->palette().color(QPalette::ButtonText)
                       : header->foreground().color();
    *value = static_cast<int>(color.rgb() & 0xFFFFFF);
    return UIE_OK;
}
