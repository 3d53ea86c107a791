// Control values and attributes, tables, graphs and strip charts, pop-ups, the project
// directory, the timer and Shift.
#include "platform/engine/analysis.h"
#include "platform/engine/engine_access.h"
#include "platform/widgets/graphwidget.h"
#include "platform/widgets/stripchartwidget.h"
#include "support/engine_fixture.h"
#include "support/popup_recorder.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class EngineValuesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("NVMX_COM42", "/dev/null");
        StartEngineFixture();
        panel = LoadEngineTestPanel();
        ASSERT_GE(panel, 1);
    }
    void TearDown() override { DiscardPanel(panel); }
    QWidget *Control(int id) { return EngineControlWidget(panel, id); }
    int Value(int id) {
        int value = -12345;
        EXPECT_EQ(GetCtrlVal(panel, id, &value), UIE_OK);
        return value;
    }
    int Attribute(int id, int attribute) {
        int value = -12345;
        EXPECT_EQ(GetCtrlAttribute(panel, id, attribute, &value), UIE_OK);
        return value;
    }

    int panel = -1;
};

TEST_F(EngineValuesTest, RingsKeepEveryValue) {
    auto *ring = qobject_cast<QComboBox *>(Control(TEST_RING));
    EXPECT_EQ(Value(TEST_RING), 0);
    SetCtrlVal(panel, TEST_RING, 5);
    EXPECT_EQ(Value(TEST_RING), 5);
    EXPECT_EQ(ring->currentText(), QString("five"));
    // A value none of the items has is added, not dropped.
    SetCtrlVal(panel, TEST_RING, 9);
    EXPECT_EQ(Value(TEST_RING), 9);
    EXPECT_EQ(ring->count(), 4);
    EXPECT_EQ(ring->currentText(), QString("9"));
    SetCtrlVal(panel, TEST_RING, 2);
    EXPECT_EQ(ring->currentText(), QString("two"));
    SetCtrlVal(panel, TEST_RING, 9);
    EXPECT_EQ(ring->count(), 4);

    // The COM-port ring lists the discovered ports with their devices, and holds any COM
    // number the program gives it.
    auto *ports = qobject_cast<QComboBox *>(Control(TEST_COMPORT));
    int mapped = ports->findData(42);
    ASSERT_GE(mapped, 0);
    EXPECT_TRUE(ports->itemText(mapped).startsWith("COM42"));
    EXPECT_TRUE(ports->itemText(mapped).contains("/dev/null"));
    SetCtrlVal(panel, TEST_COMPORT, 42);
    EXPECT_EQ(ports->currentIndex(), mapped);
    SetCtrlVal(panel, TEST_COMPORT, 17);
    EXPECT_EQ(Value(TEST_COMPORT), 17);
    SetCtrlVal(panel, TEST_COMPORT, 18);
    SetCtrlVal(panel, TEST_COMPORT, 17);
    EXPECT_EQ(Value(TEST_COMPORT), 17);
}

TEST_F(EngineValuesTest, NumbersSwitchesAndDisplays) {
    // Bytes are the low 8 bits of the value.
    SetCtrlVal(panel, TEST_WIDE_SPIN, 300);
    unsigned char byte = 0;
    GetCtrlVal(panel, TEST_WIDE_SPIN, &byte);
    EXPECT_EQ(byte, 44);
    // A field holds its own range.
    SetCtrlVal(panel, TEST_SPIN, 300);
    EXPECT_EQ(Value(TEST_SPIN), 255);

    // One of an exclusive pair can be cleared by the program.
    SetCtrlVal(panel, TEST_RADIO_A, 0);
    EXPECT_EQ(Value(TEST_RADIO_A), 0);
    SetCtrlVal(panel, TEST_RADIO_B, 1);
    EXPECT_EQ(Value(TEST_RADIO_B), 1);
    EXPECT_EQ(GetCtrlVal(panel, TEST_BUTTON, &byte), UIE_BAD_CONTROL); // a command button

    SetCtrlVal(panel, TEST_DISPLAY, 173);
    EXPECT_EQ(qobject_cast<QLabel *>(Control(TEST_DISPLAY))->text(), QString("173"));
    EXPECT_EQ(Value(TEST_DISPLAY), 173);
    // Texts stay as they are, markup included.
    SetCtrlVal(panel, TEST_DISPLAY, " <b>LINE OK</b> ");
    char text[64];
    GetCtrlVal(panel, TEST_DISPLAY, text, sizeof text);
    EXPECT_STREQ(text, " <b>LINE OK</b> ");
    EXPECT_EQ(qobject_cast<QLabel *>(Control(TEST_DISPLAY))->textFormat(), Qt::PlainText);
    int number = 77;
    EXPECT_EQ(GetCtrlVal(panel, TEST_DISPLAY, &number), UIE_BAD_VALUE);
    EXPECT_EQ(number, 77);
    // A short buffer gets a cut, terminated text.
    GetCtrlVal(panel, TEST_DISPLAY, text, 4);
    EXPECT_STREQ(text, " <b");

    SetCtrlVal(panel, TEST_BAR, 200);
    EXPECT_EQ(Value(TEST_BAR), 200);
    SetCtrlVal(panel, TEST_SLIDER, 31);
    EXPECT_EQ(Value(TEST_SLIDER), 31);
}

TEST_F(EngineValuesTest, AttributesInPanelPixels) {
    // The inner label sits in a frame at (10, 170); its own place is (5, 4).
    EXPECT_EQ(Attribute(TEST_INNER_LABEL, ATTR_LEFT), 15);
    EXPECT_EQ(Attribute(TEST_INNER_LABEL, ATTR_TOP), 174);
    SetCtrlAttribute(panel, TEST_INNER_LABEL, ATTR_TOP, 180);
    SetCtrlAttribute(panel, TEST_INNER_LABEL, ATTR_LEFT, 20);
    EXPECT_EQ(Control(TEST_INNER_LABEL)->pos(), QPoint(10, 10));

    SetCtrlAttribute(panel, TEST_SPIN, ATTR_DIMMED, 1);
    EXPECT_FALSE(Control(TEST_SPIN)->isEnabled());
    EXPECT_EQ(Attribute(TEST_SPIN, ATTR_DIMMED), 1);
    SetCtrlAttribute(panel, TEST_GRAPH, ATTR_VISIBLE, 0);
    EXPECT_EQ(Attribute(TEST_GRAPH, ATTR_VISIBLE), 0);
    SetCtrlAttribute(panel, TEST_GRAPH, ATTR_VISIBLE, 1);
    EXPECT_EQ(Attribute(TEST_GRAPH, ATTR_VISIBLE), 1);

    SetCtrlAttribute(panel, TEST_DISPLAY, ATTR_TEXT_BGCOLOR, 0xFF0000);
    SetCtrlAttribute(panel, TEST_DISPLAY, ATTR_TEXT_COLOR, 0xFFFFFF);
    EXPECT_EQ(Attribute(TEST_DISPLAY, ATTR_TEXT_BGCOLOR), 0xFF0000);
    EXPECT_EQ(Attribute(TEST_DISPLAY, ATTR_TEXT_COLOR), 0xFFFFFF);
    EXPECT_TRUE(Control(TEST_DISPLAY)->autoFillBackground());
    SetCtrlAttribute(panel, TEST_DISPLAY, ATTR_TEXT_BGCOLOR, VAL_TRANSPARENT);
    EXPECT_EQ(Attribute(TEST_DISPLAY, ATTR_TEXT_BGCOLOR), VAL_TRANSPARENT);
    EXPECT_FALSE(Control(TEST_DISPLAY)->autoFillBackground());
    SetCtrlAttribute(panel, TEST_FRAME, ATTR_FRAME_COLOR, 0x0080FF);
    EXPECT_EQ(Attribute(TEST_FRAME, ATTR_FRAME_COLOR), 0x0080FF);

    SetCtrlAttribute(panel, TEST_DISPLAY, ATTR_TEXT_FONT, VAL_DIALOG_META_FONT);
    EXPECT_EQ(Control(TEST_DISPLAY)->font().family(),
              QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    SetCtrlAttribute(panel, TEST_DISPLAY, ATTR_TEXT_POINT_SIZE, 15);
    EXPECT_EQ(Attribute(TEST_DISPLAY, ATTR_TEXT_POINT_SIZE), 15);

    char text[32];
    SetCtrlAttribute(panel, TEST_BUTTON, ATTR_LABEL_TEXT, "&Send");
    GetCtrlAttribute(panel, TEST_BUTTON, ATTR_LABEL_TEXT, text, sizeof text);
    EXPECT_STREQ(text, "&Send");
    EXPECT_EQ(SetCtrlAttribute(panel, TEST_SPIN, ATTR_TITLE, 1), UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(SetCtrlAttribute(panel, TEST_SPIN, ATTR_VIEW_SHADE, 1), UIE_BAD_ATTRIBUTE);

    SetPanelAttribute(panel, ATTR_TITLE, "Nevalometrix test ");
    GetPanelAttribute(panel, ATTR_TITLE, text, sizeof text);
    EXPECT_STREQ(text, "Nevalometrix test ");
}

TEST_F(EngineValuesTest, NewTextMessagesAndPictures) {
    int first = NewCtrl(panel, CTRL_TEXT_MSG, "", 29, 323);
    int second = NewCtrl(panel, CTRL_TEXT_MSG, "", 8, 15);
    EXPECT_GE(first, 1000);
    EXPECT_GT(second, first);
    EXPECT_EQ(Attribute(first, ATTR_TOP), 29);
    EXPECT_EQ(Attribute(first, ATTR_LEFT), 323);
    // The message grows with its text.
    SetCtrlVal(panel, first, "x");
    int narrow = Attribute(first, ATTR_WIDTH);
    SetCtrlVal(panel, first, "Nevalometrix V4.51");
    EXPECT_GT(Attribute(first, ATTR_WIDTH), narrow);
    EXPECT_EQ(NewCtrl(panel + 100, CTRL_TEXT_MSG, "", 0, 0), UIE_BAD_PANEL);

    QTemporaryDir directory;
    QString picture = directory.filePath("logo.bmp");
    QImage image(12, 7, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(picture, "BMP"));
    auto *label = qobject_cast<QLabel *>(Control(TEST_INNER_LABEL));
    EXPECT_EQ(DisplayImageFile(panel, TEST_INNER_LABEL, picture.toUtf8().constData()), UIE_OK);
    EXPECT_EQ(label->pixmap().size(), QSize(12, 7));
    EXPECT_LT(DisplayImageFile(panel, TEST_INNER_LABEL, directory.filePath("none.bmp").toUtf8()),
              0);
    EXPECT_TRUE(label->pixmap().isNull());
}

TEST_F(EngineValuesTest, TableCellsAndLabels) {
    auto *table = qobject_cast<QTableWidget *>(Control(TEST_TABLE));
    // Column 2, row 3 is the last cell of the 3 x 2 table.
    EXPECT_EQ(SetTableCellVal(panel, TEST_TABLE, MakePoint(2, 3), 254), UIE_OK);
    EXPECT_EQ(table->item(2, 1)->data(Qt::EditRole).toInt(), 254);
    unsigned char byte = 0;
    GetTableCellVal(panel, TEST_TABLE, MakePoint(2, 3), &byte);
    EXPECT_EQ(byte, 254);
    int value = -1;
    EXPECT_EQ(GetTableCellVal(panel, TEST_TABLE, MakePoint(1, 1), &value), UIE_OK);
    EXPECT_EQ(value, 0); // an empty cell
    EXPECT_EQ(SetTableCellVal(panel, TEST_TABLE, MakePoint(3, 1), 1), UIE_BAD_VALUE);
    EXPECT_EQ(SetTableCellVal(panel, TEST_TABLE, MakePoint(1, 0), 1), UIE_BAD_VALUE);
    EXPECT_EQ(GetTableCellVal(panel, TEST_SPIN, MakePoint(1, 1), &value), UIE_BAD_CONTROL);

    char text[16] = "unchanged";
    SetTableColumnAttribute(panel, TEST_TABLE, 1, ATTR_LABEL_TEXT, "UL");
    SetTableColumnAttribute(panel, TEST_TABLE, 2, ATTR_LABEL_TEXT, "");
    GetTableColumnAttribute(panel, TEST_TABLE, 1, ATTR_LABEL_TEXT, text, sizeof text);
    EXPECT_STREQ(text, "UL");
    GetTableColumnAttribute(panel, TEST_TABLE, 2, ATTR_LABEL_TEXT, text, sizeof text);
    EXPECT_STREQ(text, "");
    SetTableRowAttribute(panel, TEST_TABLE, 2, ATTR_LABEL_COLOR, 0x00FF00);
    GetTableRowAttribute(panel, TEST_TABLE, 2, ATTR_LABEL_COLOR, &value);
    EXPECT_EQ(value, 0x00FF00);
    EXPECT_EQ(table->verticalHeaderItem(1)->foreground().color(), QColor(0, 255, 0));

    // The user's edit is held to the table's 0..100.
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    table->setCurrentCell(0, 0);
    table->edit(table->model()->index(0, 0));
    auto *editor = table->viewport()->findChild<QSpinBox *>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->maximum(), 100);
    editor->selectAll();
    QTest::keyClicks(editor, "99");
    QTest::keyClick(editor, Qt::Key_Up);
    QTest::keyClick(editor, Qt::Key_Up);
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(EngineWaitFor([&] {
        GetTableCellVal(panel, TEST_TABLE, MakePoint(1, 1), &value);
        return value == 100;
    }));
}

TEST_F(EngineValuesTest, GraphsAndStripCharts) {
    auto *graph = qobject_cast<GraphWidget *>(Control(TEST_GRAPH));
    int mode = -1;
    double min = 0, max = 0;
    GetAxisScalingMode(panel, TEST_GRAPH, VAL_LEFT_YAXIS, &mode, &min, &max);
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_DOUBLE_EQ(min, 10); // from the panel file
    EXPECT_DOUBLE_EQ(max, 200);

    unsigned char x[256], y[256];
    for (int i = 0; i < 256; i++) {
        x[i] = static_cast<unsigned char>(i);
        y[i] = static_cast<unsigned char>(255 - i);
    }
    int line = PlotXY(panel, TEST_GRAPH, x, y, 256, VAL_UNSIGNED_CHAR, VAL_UNSIGNED_CHAR,
                      VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1, 0xA0A0A0);
    int arc = PlotArc(panel, TEST_GRAPH, 90, 110, 110, 90, 0, 3600, 0xFF0000, VAL_TRANSPARENT);
    EXPECT_GE(line, 1);
    EXPECT_GE(arc, 1);
    auto plots = graph->plotRecords();
    ASSERT_EQ(plots.size(), 2);
    EXPECT_EQ(plots[0].pointCount, 256);
    EXPECT_EQ(plots[0].bounds, QRectF(QPointF(0, 0), QPointF(255, 255)));
    EXPECT_EQ(plots[0].colour, QColor(160, 160, 160));
    EXPECT_EQ(plots[1].arcAngle, 3600);
    EXPECT_FALSE(plots[1].fillColour.isValid());
    double doubles[2] = {1.5, 2.5};
    int ints[2] = {-3, 7};
    PlotXY(panel, TEST_GRAPH, doubles, ints, 2, VAL_DOUBLE, VAL_INTEGER, VAL_THIN_LINE,
           VAL_NO_POINT, VAL_SOLID, 1, 0);
    EXPECT_EQ(graph->plotRecords().last().bounds, QRectF(QPointF(1.5, -3), QPointF(2.5, 7)));
    EXPECT_LT(PlotXY(panel, TEST_GRAPH, x, y, 2, 99, VAL_UNSIGNED_CHAR, 0, 0, 0, 1, 0), 0);
    DeleteGraphPlot(panel, TEST_GRAPH, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
    EXPECT_TRUE(graph->plotRecords().isEmpty());

    SetGraphCursor(panel, TEST_GRAPH, 1, 40, 60);
    double cx = 0, cy = 0;
    GetGraphCursor(panel, TEST_GRAPH, 1, &cx, &cy);
    EXPECT_DOUBLE_EQ(cx, 40);
    EXPECT_DOUBLE_EQ(cy, 60);
    SetCtrlAttribute(panel, TEST_GRAPH, ATTR_VIEW_SHADE, 100);
    EXPECT_EQ(graph->viewShade(), 100);

    // Three traces (from the file) take the values in turn; only every second one is taken.
    auto *chart = qobject_cast<StripChartWidget *>(Control(TEST_CHART));
    EXPECT_EQ(chart->traceCount(), 3);
    EXPECT_EQ(Attribute(TEST_CHART, ATTR_POINTS_PER_SCREEN), 4);
    unsigned char values[13] = {99, 1, 99, 2, 99, 3, 99, 4, 99, 5, 99, 6, 99};
    EXPECT_EQ(PlotStripChart(panel, TEST_CHART, values, 13, 1, 1, VAL_UNSIGNED_CHAR), UIE_OK);
    EXPECT_EQ(chart->traceValues(1), (QVector<double>{1, 4}));
    EXPECT_EQ(chart->traceValues(3), (QVector<double>{3, 6}));
    double more[3] = {7.5, 8, 9};
    PlotStripChart(panel, TEST_CHART, more, 3, 0, 0, VAL_DOUBLE);
    EXPECT_EQ(chart->traceValues(1), (QVector<double>{1, 4, 7.5}));

    SetTraceAttribute(panel, TEST_CHART, 2, ATTR_TRACE_VISIBLE, 0);
    SetTraceAttribute(panel, TEST_CHART, 3, ATTR_TRACE_THICKNESS, 3);
    int value = -1;
    GetTraceAttribute(panel, TEST_CHART, 2, ATTR_TRACE_VISIBLE, &value);
    EXPECT_EQ(value, 0);
    GetTraceAttribute(panel, TEST_CHART, 3, ATTR_TRACE_THICKNESS, &value);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(SetTraceAttribute(panel, TEST_CHART, 4, ATTR_TRACE_VISIBLE, 1), UIE_BAD_VALUE);
}

TEST(EnginePopups, HooksAndRealPopups) {
    StartEngineFixture();
    const char *timeout = " ATTENTION! \n \n TIMEOUT \n NO SERIAL CONNECTION TO SENSOR";
    RecordPopups();
    MessagePopup("INFO", timeout);
    ASSERT_EQ(Popups().size(), 1u);
    EXPECT_EQ(Popups()[0].title, "INFO");
    EXPECT_EQ(Popups()[0].text, timeout);
    AnswerFileSelect("/chosen/init.dat", VAL_NEW_FILE_SELECTED);
    char path[MAX_PATHNAME_LEN];
    EXPECT_EQ(FileSelectPopup("/tmp", "init.dat", "*.dat", "init", VAL_OK_BUTTON, 0, 1, 1, 1, path),
              VAL_NEW_FILE_SELECTED);
    EXPECT_STREQ(path, "/chosen/init.dat");
    ASSERT_EQ(FileSelects().size(), 1u);
    EXPECT_EQ(FileSelects()[0].directory, "/tmp");
    EXPECT_EQ(FileSelects()[0].fileName, "init.dat");
    EXPECT_EQ(FileSelects()[0].typeList, "*.dat");
    EXPECT_EQ(FileSelects()[0].title, "init");
    StopRecordingPopups();

    // The real message box shows the text exactly, blanks and line breaks included.
    QString shownTitle, shownText;
    QTimer::singleShot(0, [&] {
        EngineWaitFor([] { return QApplication::activeModalWidget() != nullptr; });
        if (auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            shownTitle = box->windowTitle();
            shownText = box->findChild<QLabel *>()->text();
            box->accept();
        }
    });
    MessagePopup("INFO", timeout);
    EXPECT_EQ(shownTitle, QString("INFO"));
    EXPECT_EQ(shownText, QString(timeout));

    // The real file dialog: an existing file is 1, a new name 2, cancel 0.
    QTemporaryDir directory;
    QFile existing(directory.filePath("init.dat"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    QString folder = directory.path();
    auto answer = [folder](const QString &name, bool accept) {
        QTimer::singleShot(0, [folder, name, accept] {
            EngineWaitFor([] { return QApplication::activeModalWidget() != nullptr; });
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            EXPECT_EQ(dialog->windowTitle(), QString("init"));
            if (!accept) {
                dialog->reject();
                return;
            }
            dialog->selectFile(QDir(folder).filePath(name));
            static_cast<QDialog *>(dialog)->accept();
        });
    };
    QByteArray start = directory.path().toUtf8();
    answer("init.dat", true);
    EXPECT_EQ(FileSelectPopup(start, "init.dat", "*.dat", "init", VAL_OK_BUTTON, 0, 1, 1, 1, path),
              VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(QString(path), QDir(directory.path()).filePath("init.dat"));
    answer("new.dat", true);
    EXPECT_EQ(FileSelectPopup(start, "init.dat", "*.dat", "init", VAL_OK_BUTTON, 0, 1, 1, 1, path),
              VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(QString(path), QDir(directory.path()).filePath("new.dat"));
    answer("", false);
    EXPECT_EQ(FileSelectPopup(start, "init.dat", "*.dat", "init", VAL_OK_BUTTON, 0, 1, 1, 1, path),
              VAL_NO_FILE_SELECTED);
    EXPECT_STREQ(path, "");
}

TEST(EngineServices, ProjectDirTimerAndShift) {
    StartEngineFixture();
    char directory[MAX_PATHNAME_LEN];
    EXPECT_EQ(GetProjectDir(directory), UIE_OK);
    EXPECT_EQ(QString(directory), QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));

    // Steady: never backwards, and it follows a real wait.
    double start = Timer();
    double last = start;
    for (int i = 0; i < 10000; i++) {
        double now = Timer();
        ASSERT_GE(now, last);
        last = now;
    }
    QTest::qWait(50);
    EXPECT_GE(Timer() - start, 0.045);
    EXPECT_LT(Timer() - start, 30.0);

    // The signal history's shift: in place, one sample of 7 channels towards the start.
    double history[700];
    for (int i = 0; i < 700; i++)
        history[i] = i;
    EXPECT_EQ(Shift(history, 700, -7, history), 0);
    EXPECT_EQ(history[0], 7);
    EXPECT_EQ(history[692], 699);
    EXPECT_EQ(history[693], 0);
    EXPECT_EQ(history[699], 0);
    double in[5] = {1, 2, 3, 4, 5}, out[5];
    Shift(in, 5, 2, out);
    EXPECT_EQ(std::vector<double>(out, out + 5), (std::vector<double>{0, 0, 1, 2, 3}));
    Shift(in, 5, 9, out);
    EXPECT_EQ(std::vector<double>(out, out + 5), (std::vector<double>{0, 0, 0, 0, 0}));
    Shift(in, 5, 2, in);
    EXPECT_EQ(std::vector<double>(in, in + 5), (std::vector<double>{0, 0, 1, 2, 3}));
    EXPECT_LT(Shift(in, -1, 1, in), 0);
    EXPECT_EQ(in[2], 1);
}

} // namespace
