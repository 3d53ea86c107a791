// The printable parameter sheet.
#include "platform/output/paramsheet.h"

#include "platform/engine/engine.h"

#include <QDateTime>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>

namespace {

// Sizes on the page in millimetres; places count from the top left of the printable area.
const double LINE = 6.0;           // one line of text
const double LABEL_COLUMN = 70.0;  // width of a parameter label
const double CELL_WIDTH = 18.0;    // a teach-table column
const double SWATCH_COLUMN = 16.0; // row number and its circle

class SheetPainter {
  public:
    explicit SheetPainter(QPagedPaintDevice *device)
        : painter_(device), dotsPerMm_(device->logicalDpiY() / 25.4) {}

    bool active() const { return painter_.isActive(); }

    void text(double x, double width, const QString &text, int points, bool bold = false) {
        QFont font(QStringLiteral("Sans"), points);
        font.setBold(bold);
        painter_.setFont(font);
        painter_.setPen(Qt::black);
        painter_.drawText(QRectF(mm(x), mm(y_), mm(width), mm(LINE)),
                          Qt::AlignLeft | Qt::AlignVCenter, text);
    }

    void circle(double x, int colour) {
        const double diameter = LINE * 0.6;
        painter_.setPen(QPen(Qt::black, mm(0.2)));
        painter_.setBrush(QColor((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF));
        painter_.drawEllipse(
            QRectF(mm(x), mm(y_ + (LINE - diameter) / 2), mm(diameter), mm(diameter)));
        painter_.setBrush(Qt::NoBrush);
    }

    void rule(double width) {
        painter_.setPen(QPen(Qt::gray, mm(0.2)));
        painter_.drawLine(QPointF(0, mm(y_)), QPointF(mm(width), mm(y_)));
    }

    void next(double lines = 1.0) { y_ += LINE * lines; }

  private:
    double mm(double millimetres) const { return millimetres * dotsPerMm_; }

    QPainter painter_;
    double dotsPerMm_;
    double y_ = 0.0;
};

QString Text(const char *text) {
    return QString::fromUtf8(text);
}

void DrawHeader(SheetPainter *page, const ParameterSheet &sheet) {
    page->text(0, 180, QStringLiteral("Parameter sheet"), 16, true);
    page->next(1.6);
    const QString rows[][2] = {
        {QStringLiteral("Date"),
         QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
        {QStringLiteral("Program"), Text(sheet.program)},
        {QStringLiteral("Port"), Text(sheet.port)},
        {QStringLiteral("Parameter file"), sheet.fileName[0] != '\0'
                                               ? Text(sheet.fileName)
                                               : QStringLiteral("none (panel or sensor)")},
    };
    for (const auto &row : rows) {
        page->text(0, 40, row[0], 10, true);
        page->text(40, 140, row[1], 10);
        page->next();
    }
}

void DrawParameters(SheetPainter *page, const ParameterSheet &sheet) {
    page->next(0.5);
    page->text(0, 180, QStringLiteral("PARAMETERS"), 12, true);
    page->next();
    page->rule(LABEL_COLUMN + 60);
    for (int i = 0; i < SHEET_PARAMETERS; ++i) {
        page->text(0, LABEL_COLUMN, Text(sheet.label[i]).simplified(), 10);
        page->text(LABEL_COLUMN, 60, Text(sheet.value[i]), 10, true);
        page->next();
    }
    page->rule(LABEL_COLUMN + 60);
}

void DrawTeachTable(SheetPainter *page, const ParameterSheet &sheet) {
    page->next(0.5);
    page->text(0, 180, QStringLiteral("COLOR TEACH TABLE"), 12, true);
    page->next();
    page->text(0, SWATCH_COLUMN, QStringLiteral("Row"), 10, true);
    for (int column = 0; column < SHEET_COLUMNS; ++column)
        page->text(SWATCH_COLUMN + column * CELL_WIDTH, CELL_WIDTH, Text(sheet.columnLabel[column]),
                   10, true);
    page->next();
    const double width = SWATCH_COLUMN + CELL_WIDTH * (int)SHEET_COLUMNS;
    page->rule(width);
    for (int row = 0; row < SHEET_ROWS; ++row) {
        page->text(0, 8, QString::number(row), 10);
        page->circle(8, sheet.rowColour[row]);
        for (int column = 0; column < SHEET_COLUMNS; ++column)
            page->text(SWATCH_COLUMN + column * CELL_WIDTH, CELL_WIDTH,
                       QString::number(sheet.cell[row][column]), 10);
        page->next();
    }
    page->rule(width);
}

bool DrawSheet(QPagedPaintDevice *device, const ParameterSheet &sheet) {
    SheetPainter page(device);
    if (!page.active())
        return false;
    DrawHeader(&page, sheet);
    DrawParameters(&page, sheet);
    DrawTeachTable(&page, sheet);
    return true;
}

void SetUpA4(QPagedPaintDevice *device) {
    device->setPageSize(QPageSize(QPageSize::A4));
    device->setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
}

} // namespace

int WriteSheetPdf(const ParameterSheet *sheet, const char *path) {
    if (sheet == nullptr || path == nullptr)
        return UIE_BAD_VALUE;
    QPdfWriter writer(Text(path));
    writer.setTitle(QStringLiteral("Parameter sheet"));
    writer.setCreator(Text(sheet->program));
    SetUpA4(&writer);
    return DrawSheet(&writer, *sheet) ? UIE_OK : UIE_IO_ERROR;
}

int PrintSheetPopup(const ParameterSheet *sheet) {
    if (sheet == nullptr)
        return UIE_BAD_VALUE;
    if (FileSelectHook hook = EngineFileSelectHook()) {
        const char *path = nullptr;
        if (hook("", "parameter-sheet.pdf", "*.pdf", "Parameter sheet", &path) <= 0 ||
            path == nullptr)
            return 0;
        return WriteSheetPdf(sheet, path) == UIE_OK ? 1 : UIE_IO_ERROR;
    }
    if (!EngineRunning())
        return UIE_NOT_INITIALISED;
    QPrinter printer(QPrinter::HighResolution);
    SetUpA4(&printer);
    printer.setDocName(QStringLiteral("Parameter sheet"));
    QPrintDialog dialog(&printer);
    dialog.setWindowTitle(QStringLiteral("Parameter sheet"));
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    return DrawSheet(&printer, *sheet) ? 1 : UIE_IO_ERROR;
}
