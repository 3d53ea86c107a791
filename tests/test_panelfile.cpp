// The real panel file: it loads with the program's tables, binds every control to its callback,
// starts in the states the program expects, keeps every value in a byte, and lays out the two
// alternating groups without covering the controls that are always shown.
#include "nvmxv451/callbacks.h"
#include "platform/engine/engine_access.h"
#include "platform/engine/userint.h"
#include "state/globals.h"
#include "state/panel_ids.h"
#include "support/panel_fixture.h"

#include <QAbstractButton>
#include <QRect>
#include <QTableWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Binding {
    int control;
    const char *callback;
};

// The callback each control of the file must name.
const Binding bindings[] = {
    {PANEL_COMPORT, "EditConnect"},
    {PANEL_SEND, "ButtonSend"},
    {PANEL_GET, "ButtonGet"},
    {PANEL_GO, "ButtonGo"},
    {PANEL_STOP, "ButtonStop"},
    {PANEL_RAM, "SelectRAM"},
    {PANEL_EEPROM, "SelectEEPROM"},
    {PANEL_FILE, "SelectFILE"},
    {PANEL_PARAVISIBLE, "ParaVisible"},
    {PANEL_SOURCE, "SelectSource"},
    {PANEL_EVALMODE, "Evalmode"},
    {PANEL_RESETTABLE, "ButtonResetTable"},
    {PANEL_TEACH, "ButtonTeachDataTo"},
    {PANEL_APPLYALL, "ButtonApplyFromAll"},
    {PANEL_ZOOM, "ButtonZoom"},
    {PANEL_AUTOADJUST, "AutoAdjust"},
    {PANEL_ZOOMGRAPH, "GraphData2"},
    {PANEL_MAXCOLNO, "EditMaxcolNo"},
    {PANEL_OUTMODE, "EditOutmode"},
    {PANEL_PMOD, "EditPmod"},
    {PANEL_AVERAGE, "EditAverage"},
    {PANEL_TRIGGER, "EditTrigger"},
    {PANEL_INTLIM, "EditIntlim"},
    {PANEL_HOLD, "EditHold"},
    {PANEL_NO, "EditNo"},
    {PANEL_AUTOINC, "RadioInc"},
    {PANEL_X, "DispX"},
    {PANEL_Y, "DispY"},
    {PANEL_INT, "DispINT"},
    {PANEL_RAW, "DispRAW"},
    {PANEL_CNO, "DispCOL"},
    {PANEL_RED, "DispRED"},
    {PANEL_GREEN, "DispGREEN"},
    {PANEL_BLUE, "DispBLUE"},
    {PANEL_STATUS, "DispStatus"},
    {PANEL_SIGNALCHART, "GraphRaw1"},
    {PANEL_COLOURGRAPH, "GraphData1"},
    {PANEL_POWER, "SlidePower"},
    {PANEL_RECORD, "ButtonRecord"},
    {PANEL_RECFOLDER, "RecordFolder"},
    {PANEL_EXPORT, "ButtonExport"},
    {PANEL_EXPORTZOOM, "ButtonExportZoom"},
    {PANEL_SHEET, "ButtonSheet"},
    {PANEL_TEACHMANY, "ButtonTeachMany"},
    {PANEL_TAKEAMOUNT, "EditTakeAmount"},
    {PANEL_TAKEUNIT, "EditTakeUnit"},
    {PANEL_TEACHK, "EditTeachK"},
    {PANEL_TEACHMARGIN, "EditTeachMargin"},
    {PANEL_TEACHSTATE, "DispTeachMany"},
    {PANEL_SAVESAMPLES, "ButtonSaveSamples"},
    {PANEL_LOADSAMPLES, "ButtonLoadSamples"},
    {PANEL_EVALUATE, "ButtonCheckRecording"},
    {PANEL_TUNE, "ButtonTune"},
    {PANEL_DETECTREPORT, "DispDetection"},
    {PANEL_ACCEPTTUNING, "ButtonAcceptTuning"},
    {PANEL_DISCARDTUNING, "ButtonDiscardTuning"},
};

const int parameterGroup[] = {
    PANEL_POWER,       PANEL_PMOD,        PANEL_EVALMODE,    PANEL_MAXCOLNO,    PANEL_OUTMODE,
    PANEL_AVERAGE,     PANEL_TRIGGER,     PANEL_INTLIM,      PANEL_HOLD,        PANEL_PARAMDECO_1,
    PANEL_PARAMDECO_2, PANEL_PARAMDECO_3, PANEL_PARAMDECO_4, PANEL_PARAMDECO_5, PANEL_PARAMDECO_6,
    PANEL_PARAMDECO_7, PANEL_PARAMDECO_8, PANEL_PARAMDECO_9};

const int teachTableGroup[] = {PANEL_TEACHTABLE, PANEL_RESETTABLE, PANEL_TEACH,
                               PANEL_APPLYALL,   PANEL_ZOOM,       PANEL_AUTOADJUST,
                               PANEL_NO,         PANEL_AUTOINC,    PANEL_TEACHMANY};

// Controls that take turns with another in one place, by SOURCE; they are not always shown.
const int sourceAlternates[] = {PANEL_COLOURGRAPH, PANEL_SIGNALCHART, PANEL_X,  PANEL_Y,
                                PANEL_INT,         PANEL_CNO,         PANEL_RAW};

QRect Geometry(int control) {
    int top = -1, left = -1, width = -1, height = -1;
    GetCtrlAttribute(MainPanel, control, ATTR_TOP, &top);
    GetCtrlAttribute(MainPanel, control, ATTR_LEFT, &left);
    GetCtrlAttribute(MainPanel, control, ATTR_WIDTH, &width);
    GetCtrlAttribute(MainPanel, control, ATTR_HEIGHT, &height);
    return QRect(left, top, width, height);
}

template <std::size_t N> bool Contains(const int (&list)[N], int control) {
    for (int member : list)
        if (member == control)
            return true;
    return false;
}

class PanelFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(StartTestEngine());
        ASSERT_GT(LoadRealPanel(), 0) << PanelFilePath();
    }
    void TearDown() override {
        if (MainPanel > 0)
            DiscardPanel(MainPanel);
        MainPanel = 0;
    }
};

TEST_F(PanelFileTest, BindsEveryControlAndThePanelToItsCallback) {
    std::set<std::string> named;
    for (const Binding &binding : bindings) {
        QWidget *widget = EngineControlWidget(MainPanel, binding.control);
        ASSERT_NE(widget, nullptr) << binding.callback;
        EXPECT_EQ(widget->property("callback").toString().toStdString(), binding.callback)
            << widget->objectName().toStdString();
        named.insert(binding.callback);
    }
    EXPECT_EQ(named.size(), static_cast<std::size_t>(CONTROL_CALLBACK_COUNT));
    EXPECT_EQ(EnginePanelWidget(MainPanel)->property("callback").toString(), QString("P"));

    // The passive controls carry no callback.
    for (int control = PANEL_HEADERFRAME; control <= PANEL_PARAMDECO_9; control++)
        EXPECT_FALSE(EngineControlWidget(MainPanel, control)->property("callback").isValid())
            << EngineControlWidget(MainPanel, control)->objectName().toStdString();
}

TEST_F(PanelFileTest, StartsInTheStatesTheProgramExpects) {
    EXPECT_EQ(ControlValue(PANEL_RAM), 1);
    EXPECT_EQ(ControlValue(PANEL_EEPROM), 0);
    EXPECT_EQ(ControlValue(PANEL_FILE), 0);
    EXPECT_EQ(ControlValue(PANEL_PARAVISIBLE), 1);
    EXPECT_EQ(ControlValue(PANEL_SOURCE), 0);
    EXPECT_EQ(ControlValue(PANEL_OUTMODE), 2);

    auto *table = qobject_cast<QTableWidget *>(EngineControlWidget(MainPanel, PANEL_TEACHTABLE));
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 15);
    ASSERT_EQ(table->columnCount(), 5);
    for (int row = 0; row < 15; row++)
        EXPECT_EQ(table->verticalHeaderItem(row)->text(), QString::number(row));
    const char *headers[] = {"X", "Y", "CTO", "INT", "ITO"};
    for (int column = 1; column <= 5; column++) {
        char label[32] = "";
        GetTableColumnAttribute(MainPanel, PANEL_TEACHTABLE, column, ATTR_LABEL_TEXT, label,
                                sizeof label);
        EXPECT_STREQ(label, headers[column - 1]);
        for (int row = 1; row <= 15; row++) {
            int cell = -1;
            ASSERT_EQ(GetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, row), &cell),
                      UIE_OK);
            EXPECT_EQ(cell, 1) << "row " << row << " column " << column;
        }
    }

    // The colour bars in their colours, with black numbers.
    const int bars[] = {PANEL_RED, PANEL_GREEN, PANEL_BLUE};
    const int barColours[] = {0xE02020, 0x20B020, 0x2050E0};
    for (int i = 0; i < 3; i++) {
        int colour = -1, text = -1;
        GetCtrlAttribute(MainPanel, bars[i], ATTR_FRAME_COLOR, &colour);
        GetCtrlAttribute(MainPanel, bars[i], ATTR_TEXT_COLOR, &text);
        EXPECT_EQ(colour, barColours[i]) << i;
        EXPECT_EQ(text, 0x000000) << i;
    }

    // Graph ranges cover the whole byte on both axes.
    for (int graph : {PANEL_COLOURGRAPH, PANEL_ZOOMGRAPH})
        for (int axis : {VAL_XAXIS, VAL_LEFT_YAXIS}) {
            int mode = -1;
            double min = -1, max = -1;
            GetAxisScalingMode(MainPanel, graph, axis, &mode, &min, &max);
            EXPECT_EQ(min, 0.0);
            EXPECT_EQ(max, 255.0);
        }
    int points = 0;
    GetCtrlAttribute(MainPanel, PANEL_SIGNALCHART, ATTR_POINTS_PER_SCREEN, &points);
    EXPECT_EQ(points, 101);
    int visible = -1;
    EXPECT_EQ(
        GetTraceAttribute(MainPanel, PANEL_SIGNALCHART, TRACE_COUNT, ATTR_TRACE_VISIBLE, &visible),
        UIE_OK);
    EXPECT_LT(GetTraceAttribute(MainPanel, PANEL_SIGNALCHART, TRACE_COUNT + 1, ATTR_TRACE_VISIBLE,
                                &visible),
              0);
}

TEST_F(PanelFileTest, KeepsEveryParameterAndCellInAByte) {
    for (int control : {PANEL_POWER, PANEL_AVERAGE, PANEL_INTLIM, PANEL_HOLD}) {
        SetCtrlVal(MainPanel, control, 300);
        EXPECT_EQ(ControlValue(control), 255) << control;
        SetCtrlVal(MainPanel, control, -4);
        EXPECT_EQ(ControlValue(control), 0) << control;
    }
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 300);
    EXPECT_EQ(ControlValue(PANEL_MAXCOLNO), 15);
    SetCtrlVal(MainPanel, PANEL_NO, 300);
    EXPECT_EQ(ControlValue(PANEL_NO), 14);

    // Every ring item's value is one the sensor and the layout know.
    const std::map<int, std::vector<std::string>> rings = {
        {PANEL_SOURCE, {"X/Y", "RED GREEN BLUE", "RED", "GREEN", "BLUE", "INT", "C-No"}},
        {PANEL_OUTMODE, {"DIRECT HI", "DIRECT LO", "BINARY"}},
        {PANEL_PMOD, {"STAT", "DYN"}},
        {PANEL_TRIGGER, {"EXT", "CONT"}},
    };
    for (const auto &[control, captions] : rings)
        for (int value = 0; value < static_cast<int>(captions.size()); value++) {
            ASSERT_EQ(SetCtrlVal(MainPanel, control, value), UIE_OK);
            char text[64] = "";
            GetCtrlVal(MainPanel, control, text, sizeof text);
            EXPECT_EQ(text, captions[value]);
        }
    const char *contrast[] = {"CONTRAST R", "CONTRAST G", "CONTRAST B"};
    for (int value = 0; value <= 7; value++) {
        ASSERT_EQ(SetCtrlVal(MainPanel, PANEL_EVALMODE, value), UIE_OK) << value;
        EXPECT_EQ(ControlValue(PANEL_EVALMODE), value);
        if (value >= 3 && value <= 5) {
            char text[64] = "";
            GetCtrlVal(MainPanel, PANEL_EVALMODE, text, sizeof text);
            EXPECT_STREQ(text, contrast[value - 3]);
        }
    }

    QWidget *table = EngineControlWidget(MainPanel, PANEL_TEACHTABLE);
    EXPECT_EQ(table->property("cellMinimum").toInt(), 0);
    EXPECT_EQ(table->property("cellMaximum").toInt(), 255);
}

TEST_F(PanelFileTest, GivesButtonsDistinctMnemonicsAndTheTransferKeys) {
    const int buttons[] = {PANEL_RAM,         PANEL_EEPROM,   PANEL_FILE,      PANEL_SEND,
                           PANEL_GET,         PANEL_GO,       PANEL_STOP,      PANEL_PARAVISIBLE,
                           PANEL_RESETTABLE,  PANEL_TEACH,    PANEL_APPLYALL,  PANEL_ZOOM,
                           PANEL_AUTOADJUST,  PANEL_AUTOINC,  PANEL_RECORD,    PANEL_EXPORT,
                           PANEL_EXPORTZOOM,  PANEL_SHEET,    PANEL_TEACHMANY, PANEL_SAVESAMPLES,
                           PANEL_LOADSAMPLES, PANEL_EVALUATE, PANEL_TUNE};
    std::map<char, std::string> owners;
    for (int control : buttons) {
        auto *button = qobject_cast<QAbstractButton *>(EngineControlWidget(MainPanel, control));
        ASSERT_NE(button, nullptr) << control;
        std::string caption = button->text().toStdString();
        std::size_t amp = caption.find('&');
        ASSERT_TRUE(amp != std::string::npos && amp + 1 < caption.size() &&
                    std::isalnum(static_cast<unsigned char>(caption[amp + 1])))
            << caption;
        char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(caption[amp + 1])));
        EXPECT_TRUE(owners.emplace(letter, caption).second)
            << caption << " repeats the mnemonic of " << owners[letter];
    }
    // No other button or switch of the panel reacts but the recording folder's "…" and the two
    // answers to a tuning, Accept and Discard, which no key gives by accident.
    int reacting = -3;
    for (QAbstractButton *button : EnginePanelWidget(MainPanel)->findChildren<QAbstractButton *>())
        if (!button->property("callback").toString().isEmpty())
            reacting++;
    EXPECT_EQ(reacting, static_cast<int>(std::size(buttons)));

    const std::pair<int, const char *> keys[] = {{PANEL_SEND, "F9"},   {PANEL_GET, "F10"},
                                                 {PANEL_GO, "F11"},    {PANEL_STOP, "F12"},
                                                 {PANEL_RECORD, "F8"}, {PANEL_SHEET, "Ctrl+P"}};
    for (const auto &[control, key] : keys) {
        QWidget *button = EngineControlWidget(MainPanel, control);
        EXPECT_EQ(button->property("shortcutKey").toString(), QString(key));
        char caption[64] = "";
        GetCtrlAttribute(MainPanel, control, ATTR_LABEL_TEXT, caption, sizeof caption);
        EXPECT_NE(std::string(caption).find(key), std::string::npos) << caption;
    }
}

TEST_F(PanelFileTest, LaysOutTheAlternatingGroupsBesideTheFixedControls) {
    const QRect panel(0, 0, 1356, 684);
    for (int control = 1; control <= PANEL_CONTROL_COUNT; control++)
        EXPECT_TRUE(panel.contains(Geometry(control)))
            << EngineControlWidget(MainPanel, control)->objectName().toStdString();

    for (int control = 1; control <= PANEL_CONTROL_COUNT; control++) {
        if (Contains(parameterGroup, control) || Contains(teachTableGroup, control) ||
            control == PANEL_HEADERFRAME)
            continue;
        for (int member = 1; member <= PANEL_CONTROL_COUNT; member++) {
            if (!Contains(parameterGroup, member) && !Contains(teachTableGroup, member))
                continue;
            EXPECT_FALSE(Geometry(control).intersects(Geometry(member)))
                << EngineControlWidget(MainPanel, member)->objectName().toStdString() << " covers "
                << EngineControlWidget(MainPanel, control)->objectName().toStdString();
        }
    }

    // The other always-shown controls do not cover each other either (the header frame lies
    // behind the logo, and the source alternates share their places by design).
    for (int a = 1; a <= PANEL_CONTROL_COUNT; a++)
        for (int b = a + 1; b <= PANEL_CONTROL_COUNT; b++) {
            if (Contains(parameterGroup, a) || Contains(teachTableGroup, a) ||
                Contains(parameterGroup, b) || Contains(teachTableGroup, b) ||
                a == PANEL_HEADERFRAME ||
                (Contains(sourceAlternates, a) && Contains(sourceAlternates, b)))
                continue;
            EXPECT_FALSE(Geometry(a).intersects(Geometry(b)))
                << EngineControlWidget(MainPanel, a)->objectName().toStdString() << " and "
                << EngineControlWidget(MainPanel, b)->objectName().toStdString();
        }

    // Captions and frames outside the control table are always shown: they may lie behind a
    // group member as a whole, but never cut into one.
    std::set<const QWidget *> controls;
    for (int control = 1; control <= PANEL_CONTROL_COUNT; control++)
        controls.insert(EngineControlWidget(MainPanel, control));
    for (QWidget *decoration :
         EnginePanelWidget(MainPanel)->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (controls.count(decoration) != 0)
            continue;
        for (int member = 1; member <= PANEL_CONTROL_COUNT; member++) {
            if (!Contains(parameterGroup, member) && !Contains(teachTableGroup, member))
                continue;
            QRect place = Geometry(member);
            EXPECT_TRUE(!decoration->geometry().intersects(place) ||
                        decoration->geometry().contains(place))
                << decoration->objectName().toStdString() << " cuts into "
                << EngineControlWidget(MainPanel, member)->objectName().toStdString();
        }
    }

    // SignalChart takes ColourGraph's place; the contrast display takes the four displays'.
    EXPECT_EQ(Geometry(PANEL_SIGNALCHART), Geometry(PANEL_COLOURGRAPH));
    for (int display : {PANEL_X, PANEL_Y, PANEL_INT, PANEL_CNO})
        EXPECT_TRUE(Geometry(PANEL_RAW).contains(Geometry(display))) << display;
    EXPECT_EQ(Geometry(PANEL_ZOOMGRAPH).size(), Geometry(PANEL_COLOURGRAPH).size());
    EXPECT_FALSE(Geometry(PANEL_ZOOMGRAPH).intersects(Geometry(PANEL_COLOURGRAPH)));

    // The logo sits in the header band and ends above the title line at top 29.
    QRect logo = Geometry(PANEL_LOGO);
    EXPECT_EQ(logo.topLeft(), QPoint(325, 6));
    EXPECT_LE(logo.bottom(), 28);
    EXPECT_TRUE(Geometry(PANEL_HEADERFRAME).contains(logo));
    EXPECT_EQ(Geometry(PANEL_HEADERFRAME).top(), 0);
    EXPECT_EQ(Geometry(PANEL_HEADERFRAME).width(), 1356);
}

} // namespace
