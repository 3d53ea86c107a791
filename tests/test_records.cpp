// Records on the real panel: recording a transfer to CSV over a pseudo-terminal (and what a
// missing, read-only or full folder does to it), graph export and the parameter sheet.
#include "gui/records.h"
#include "gui/transactions.h"
#include "nvmxv451/callbacks.h"
#include "platform/output/recorder.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"
#include "support/command.h"
#include "support/panel_fixture.h"
#include "support/pty_peer.h"
#include "support/sensor_bytes.h"

#include <QImage>
#include <QTimer>

#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

namespace {

// INT five above RED, so a record that swapped the two columns would show.
const int intensityOffset = 5;

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string CtrlText(int control) {
    char text[1024] = "";
    GetCtrlVal(MainPanel, control, text, sizeof text);
    return text;
}

int CtrlValue(int control) {
    int value = -1;
    GetCtrlVal(MainPanel, control, &value);
    return value;
}

void Commit(int control, CtrlCallbackPtr callback) {
    callback(MainPanel, control, EVENT_COMMIT, nullptr, 0, 0);
}

void SwitchRecording(int on) {
    SetCtrlVal(MainPanel, PANEL_RECORD, on);
    Commit(PANEL_RECORD, ButtonRecord);
}

class Records : public PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        // The settings of this test stay in its scratch directory.
        setenv("XDG_CONFIG_HOME", tempDir.c_str(), 1);
        ASSERT_TRUE(peer.start());
        peer.mapTo(1);
        portNumber = 1;
        peer.setScript([frames = std::make_shared<std::atomic<int>>(0)](
                           const PeerRequest &request) -> PeerReply {
            if (request.bytes[1] == ReadData)
                return {FrameBytes(++*frames, intensityOffset)};
            return {};
        });
        ASSERT_GE(OpenComConfig(1, "", 9600, 0, 8, 1, 1024, 1024), 0);
    }

    void TearDown() override {
        EndRecordingIfOn();
        CloseCom(portNumber);
        peer.stop();
        PanelFixture::TearDown();
    }

    static void EndRecordingIfOn() {
        if (RecordingOn())
            StopRecording();
    }

    size_t FrameRequests() const {
        size_t count = 0;
        for (const PeerRequest &request : peer.requests())
            count += request.bytes[1] == ReadData;
        return count;
    }

    // Runs the transfer until frames more data requests have been answered.
    void TransferFrames(size_t frames) {
        const size_t until = FrameRequests() + frames;
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (FrameRequests() >= until)
                acquisitionActive = 0;
        });
        stopper.start(0);
        TransferWithWatchdog();
    }

    // The file that a text of the recording display names (by default the display's own).
    std::string RecordingPath(std::string name = CtrlText(PANEL_RECSTATUS)) const {
        std::smatch match;
        EXPECT_TRUE(std::regex_search(
            name, match, std::regex("\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d(_\\d+)?\\.csv")))
            << name;
        return folder + "/" + match.str();
    }

    std::string folder;
    PtyPeer peer;
};

TEST_F(Records, EveryFrameAcrossStopAndGoGoesToTheFileWhole) {
    folder = TempPath("records");
    std::filesystem::create_directory(folder);
    SetRecordFolder(folder.c_str());

    SwitchRecording(1);
    ASSERT_EQ(RecordingOn(), 1);
    TransferFrames(5);
    TransferFrames(5); // Stop and Go again: the recording stays on
    EXPECT_EQ(RecordedFrames(), (long)FrameRequests());
    SwitchRecording(0);
    EXPECT_EQ(RecordingOn(), 0);
    EXPECT_NE(CtrlText(PANEL_RECSTATUS).find(std::to_string(FrameRequests()) + " frames"),
              std::string::npos)
        << CtrlText(PANEL_RECSTATUS);

    std::vector<std::string> lines = Lines(ReadFile(RecordingPath()));
    ASSERT_EQ(lines.size(), FrameRequests() + 1);
    EXPECT_EQ(lines[0], "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port");
    // The last column names the sensor by its device ("/dev/pts/4" is "pts-4"), as the commands
    // do, never by the COM number.
    const std::string slave = peer.slavePath();
    const std::regex line(
        "(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d),(\\d+\\.\\d{3}),"
        "(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),pts-" +
        slave.substr(slave.rfind('/') + 1));
    double previousSeconds = 0.0;
    for (size_t i = 1; i < lines.size(); i++) {
        std::smatch fields;
        ASSERT_TRUE(std::regex_match(lines[i], fields, line)) << lines[i];
        Bytes frame = FrameBytes((int)i, intensityOffset);
        for (int k = 0; k < FRAME_LENGTH; k++)
            EXPECT_EQ(std::stoi(fields[3 + k]), frame[k]) << lines[i];
        EXPECT_GE(std::stod(fields[2]), previousSeconds);
        previousSeconds = std::stod(fields[2]);
    }

    // A second recording gets a file of its own.
    const std::string first = RecordingPath();
    SwitchRecording(1);
    std::string second = RecordingPath();
    EXPECT_NE(second, first);
    SwitchRecording(0);
    EXPECT_EQ(Lines(ReadFile(second)).size(), 1u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
}

TEST_F(Records, AFolderThatTakesNoFileRefusesTheStart) {
    folder = TempPath("read-only");
    std::filesystem::create_directory(folder);
    const bool locked = MakeDirectoryUnwritable(folder);
    for (const std::string &where : {TempPath("missing"), folder}) {
        if (where == folder && !locked)
            continue;
        SCOPED_TRACE(where);
        SetRecordFolder(where.c_str());
        ClearPopups();
        SwitchRecording(1);
        EXPECT_EQ(RecordingOn(), 0);
        EXPECT_EQ(CtrlValue(PANEL_RECORD), 0);
        ASSERT_EQ(Popups().size(), 1u);
        EXPECT_NE(Popups()[0].text.find("RECORDING NOT STARTED"), std::string::npos);
        EXPECT_NE(Popups()[0].text.find(where), std::string::npos) << Popups()[0].text;
        EXPECT_EQ(CtrlText(PANEL_RECSTATUS), "RECORDING NOT STARTED");
    }
}

TEST_F(Records, AFullDiskEndsTheRecordingButNotTheTransfer) {
    if (geteuid() != 0)
        GTEST_SKIP() << "a small tmpfs needs root";
    folder = TempPath("small");
    std::filesystem::create_directory(folder);
    ASSERT_EQ(mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=96k"), 0) << std::strerror(errno);
    SetRecordFolder(folder.c_str());

    SwitchRecording(1);
    ASSERT_EQ(RecordingOn(), 1);
    // 96 KiB take some 1400 lines, less than the second full buffer: the transfer runs on well
    // past them, whenever the timed writes happen.
    const size_t before = FrameRequests();
    TransferFrames(3000);
    EXPECT_GE(FrameRequests() - before, 3000u);
    EXPECT_EQ(RecordingOn(), 0);
    EXPECT_EQ(CtrlValue(PANEL_RECORD), 0);
    EXPECT_EQ(CtrlText(PANEL_RECSTATUS), "STOPPED: No space left on device");
    char tooltip[1024] = "";
    GetCtrlAttribute(MainPanel, PANEL_RECSTATUS, ATTR_TOOLTIP_TEXT, tooltip, sizeof tooltip);
    const std::string status = tooltip;
    EXPECT_NE(status.find("RECORDING STOPPED: No space left on device"), std::string::npos)
        << status;

    std::string path = RecordingPath(status);
    std::string text = ReadFile(path);
    umount(folder.c_str());
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::vector<std::string> lines = Lines(text);
    EXPECT_GT(lines.size(), 1u);
    EXPECT_NE(status.find(std::to_string(lines.size() - 1) + " frames"), std::string::npos)
        << status;
    for (size_t i = 1; i < lines.size(); i++)
        EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','), 9) << lines[i];
}

// ---- Export and the parameter sheet ----------------------------------------------------------

class Export : public PanelFixture {};

// The number of pixels for which the test holds.
int PixelsWhere(const QImage &image, const std::function<bool(QColor)> &test) {
    int count = 0;
    for (int y = 0; y < image.height(); y++)
        for (int x = 0; x < image.width(); x++)
            count += test(image.pixelColor(x, y)) ? 1 : 0;
    return count;
}

int CtrlSize(int control, int attribute) {
    int value = 0;
    GetCtrlAttribute(MainPanel, control, attribute, &value);
    return value;
}

TEST_F(Export, GraphsGoToPngAndPdfAsShownTracesAndCursorIncluded) {
    // The strip chart with a steady RED trace at 200 over a full screen.
    SetCtrlVal(MainPanel, PANEL_SOURCE, 1);
    Commit(PANEL_SOURCE, SelectSource);
    std::vector<double> values(7 * 101, 0.0);
    for (size_t i = 0; i < values.size(); i += 7)
        values[i] = 200.0;
    PlotStripChart(MainPanel, PANEL_SIGNALCHART, values.data(), (int)values.size(), 0, 0,
                   VAL_DOUBLE);
    const std::string chart = TempPath("chart.png");
    AnswerFileSelect(chart, VAL_NEW_FILE_SELECTED);
    Commit(PANEL_EXPORT, ButtonExport);
    QImage chartImage(QString::fromStdString(chart));
    ASSERT_FALSE(chartImage.isNull());
    EXPECT_EQ(chartImage.width(), CtrlSize(PANEL_SIGNALCHART, ATTR_WIDTH));
    EXPECT_EQ(chartImage.height(), CtrlSize(PANEL_SIGNALCHART, ATTR_HEIGHT));
    // Antialiased, the trace blends with the white around it, but stays red.
    EXPECT_GT(PixelsWhere(chartImage, [](QColor c) { return c.red() - c.green() > 60; }),
              chartImage.width() / 2)
        << "the RED trace is missing";

    // The zoom graph with its cursor to PDF, and the colour graph to PNG.
    Commit(PANEL_ZOOM, ButtonZoom);
    const std::string zoom = TempPath("zoom.pdf");
    AnswerFileSelect(zoom, VAL_NEW_FILE_SELECTED);
    Commit(PANEL_EXPORTZOOM, ButtonExportZoom);
    std::string pdf = ReadFile(zoom);
    ASSERT_GT(pdf.size(), 1000u);
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");

    SetCtrlVal(MainPanel, PANEL_SOURCE, 0);
    Commit(PANEL_SOURCE, SelectSource);
    SetGraphCursor(MainPanel, PANEL_COLOURGRAPH, 1, 128, 128);
    const std::string graph = TempPath("graph.png");
    AnswerFileSelect(graph, VAL_NEW_FILE_SELECTED);
    Commit(PANEL_EXPORT, ButtonExport);
    QImage graphImage(QString::fromStdString(graph));
    ASSERT_FALSE(graphImage.isNull());
    EXPECT_EQ(graphImage.size(), QSize(CtrlSize(PANEL_COLOURGRAPH, ATTR_WIDTH),
                                       CtrlSize(PANEL_COLOURGRAPH, ATTR_HEIGHT)));
    // The cursor's cross runs across the whole plot area in the cursor's near-black.
    EXPECT_GT(PixelsWhere(graphImage, [](QColor c) { return c.lightness() < 40; }),
              graphImage.width() / 2);

    // A name without .png or .pdf is refused with a message, and nothing is written.
    ClearPopups();
    AnswerFileSelect(TempPath("graph.bmp"), VAL_NEW_FILE_SELECTED);
    Commit(PANEL_EXPORT, ButtonExport);
    ASSERT_EQ(Popups().size(), 1u);
    EXPECT_NE(Popups()[0].text.find("GRAPH NOT SAVED"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(TempPath("graph.bmp")));
}

TEST_F(Export, TheParameterSheetIsOneA4PdfPage) {
    const std::string sheet = TempPath("sheet.pdf");
    AnswerFileSelect(sheet, VAL_NEW_FILE_SELECTED);
    Commit(PANEL_SHEET, ButtonSheet);
    EXPECT_TRUE(Popups().empty());
    std::string pdf = ReadFile(sheet);
    ASSERT_GT(pdf.size(), 1000u);
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    // One page of A4: 595 x 842 points.
    std::smatch box;
    ASSERT_TRUE(std::regex_search(pdf, box, std::regex("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]")));
    EXPECT_NEAR(std::stod(box[1]), 595.0, 1.0);
    EXPECT_NEAR(std::stod(box[2]), 842.0, 1.0);
    EXPECT_EQ(std::regex_search(pdf, std::regex("/Type /Page[^s]")), true);

    // Cancel writes nothing and says nothing.
    AnswerFileSelect("", VAL_NO_FILE_SELECTED);
    std::filesystem::remove(sheet);
    Commit(PANEL_SHEET, ButtonSheet);
    EXPECT_FALSE(std::filesystem::exists(sheet));
    EXPECT_TRUE(Popups().empty());
}

} // namespace
