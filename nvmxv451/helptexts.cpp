#include "nvmxv451/helptexts.h"

#include "state/globals.h"

// The texts are the sensor manual's, line for line; their trailing blanks are part of them.
// The texts of the controls the manual does not know (recording, export, sheet, teaching from
// many frames, the detection check) are the program's own, in the same manner.

struct HelpEntry {
    int control;
    const char *text;
};

// Each text keeps one line of source per line of text.
// clang-format off
static const char helpEditConnect[] =
    " Select a serial COM-PORT.";

static const char helpButtonSend[] =
    " All the parameters of the PC-User-Interface are transferred to the sensor or to a selectable file.                           \n"
    " The target of the parameter transfer is determined by the select button (RAM, EEPROM, FILE).                           \n"
    " Shortcut Key: F9. ";

static const char helpButtonGet[] =
    " Sensor or file parameters are transferred to the PC-User-Interface.                          \n"
    " The source of the parameter transfer is determined by the select button (RAM, EEPROM, FILE).                          \n"
    " Shortcut Key: F10. ";

static const char helpButtonGo[] =
    " Starts data transfer (X, Y, INT, RED, GREEN, BLUE, C-No:) from sensor to PC.                         \n"
    " The data are shown in the displays, color bars and in the graph.                        \n"
    " Shortcut Key: F11. ";

static const char helpButtonStop[] =
    " Stops data transfer from sensor to PC.                        \n"
    " Shortcut Key: F12. ";

static const char helpSelectRAM[] =
    " Select the source respectively the target for the parameter transfer.";

static const char helpParaVisible[] =
    " Hide or show COLOR TEACH TABLE.";

static const char helpSelectSource[] =
    " Select a signal to be displayed in the graph.";

static const char helpEvalmode[] =
    "see manual.";

static const char helpButtonResetTable[] =
    " Reset the COLOR TEACH TABLE.                                 \n"
    " All cells are set to 1.";

static const char helpButtonTeachDataTo[] =
    " Current measured values (X, Y, INT) are assigned to the                                  \n"
    " COLOR TEACH TABLE row selected in the No.: function field.";

static const char helpButtonApplyFromAll[] =
    " Displays the graph with all the taught colors in the COLOR TEACH TABLE                                   \n"
    " and the corresponding tolerance circles (radius = CTO).";

static const char helpButtonZoom[] =
    " Zoom the graph with the taught colors and the corresponding tolerance circle.                           \n"
    " Use the ARROW-KEYS or the MOUSE to move the cross in the graph.";

static const char helpAutoAdjust[] =
    " Starts an automatic adjustment of the circle tolerances (radius = CTO) up to MAXCOL-No.                                 \n"
    " The circles (CTO) can overlap, if an INT separation is granted.                                 \n"
    " Maximum adjusted CTO (radius) is 20.";

static const char helpEditMaxcolNo[] =
    " Select the number of color-vectors in the COLOR TEACH TABLE to be checked (beginning from row 0).                             \n"
    " Aktive rows are labelled green, inaktive are labelled red.                             \n"
    " If OUTMODE = BINARY the maximum number of colors to be checked is 15.                             \n"
    " If OUTMODE = DIRECT HI or DIRECT LO the maximum number of colors is 4.";

static const char helpEditOutmode[] =
    " Select how to control the 4 digital outputs.                            \n"
    " BINARY   : If a color (row 0-14 in the COLOR TEACH TABLE) is detected,                            \n"
    "            this color is displayed in C-No: and is set binary to the digital outputs (OUT0-OUT3).                            \n"
    " DIRECT LO: The maximum number of colors to be taught is 4.                            \n"
    "            If a color (row 0-3 in the COLOR TEACH TABLE) is detected,                            \n"
    "            the special digital output is set to LO, all others are HI.                            \n"
    " DIRECT HI: The maximum number of colors to be taught is 4.                            \n"
    "            If a color (row 0-3 in the COLOR TEACH TABLE) is detected,                            \n"
    "            the special digital output is set to HI, all others are LO.                            \n"
    " If no color is detected, C-No: is 255.";

static const char helpEditPmod[] =
    " Select the operating mode of automatic power correction at the transmitter unit.                         \n"
    " STAT: Transmitter power is constantly kept at the POWER-SLIDER value.                         \n"
    " DYN : Transmitter power is dynamically tuned in accordance with the amount of radiation that                         \n"
    "       is diffusely reflected from the target. Sensor should not exceed the dynamic range.";

static const char helpEditAverage[] =
    " Select the number of scanning values (measurement values) over which the raw signal is averaged.";

static const char helpEditTrigger[] =
    " Select the trigger mode for the sensor.                            \n"
    " EXT : Color detection is started through an external trigger.                            \n"
    " CONT: Continuous color detection (no trigger event required).";

static const char helpEditIntlim[] =
    " Select an intensity limit.                           \n"
    " Color evaluation is stopped, if the current intensity INT falls below this limit.                           \n"
    " ERROR STATE is output (C-No: = 255).";

static const char helpEditHold[] =
    " Select the minimum pulse length when a digital output changes.";

static const char helpEditNo[] =
    " Select the current number of a row in the COLOR TEACH TABLE for TEACH DATA TO.";

static const char helpRadioInc[] =
    " Auto increment of Edit Field No.:";

static const char helpDispX[] =
    " Displays the red content of the color currently arriving at the receiver.                      \n"
    " Formula for calculation: X = R/(R+G+B).                      \n"
    " R=RED, G=GREEN, B=BLUE";

static const char helpDispY[] =
    " Displays the green content of the color currently arriving at the receiver.                      \n"
    " Formula for calculation: Y = G/(R+G+B).                      \n"
    " R=RED, G=GREEN, B=BLUE";

static const char helpDispINT[] =
    " Displays the intensity of the color currently arriving at the receiver.                      \n"
    " Formula for calculation: INT = (R+G+B)/4  + (R+G+B)/16.                      \n"
    " R=RED, G=GREEN, B=BLUE";

static const char helpDispRAW[] =
    " Displays the current color intensity of RED or GREEN or BLUE                        \n"
    " when EVALMODE is CONTRAST R or CONTRAST G or CONTRAST B";

static const char helpDispCOL[] =
    " Displays the currently detected color number in accordance with the row                        \n"
    " in the COLOR TEACH TABLE.";

static const char helpDispRED[] =
    " Displays the RAW values of RED, GREEN and BLUE.";

static const char helpDispStatus[] =
    " Displays serial interface status messages.";

static const char helpGraphRaw1[] =
    " Displays a signal selected with SOURCE.";

static const char helpSlidePower[] =
    " Select the intensity of the transmitter LED.                          \n"
    " 0 = no intensity,  255 = full intensity.";

static const char helpButtonRecord[] =
    " Records every frame of the data transfer to a CSV file in the recording folder                          \n"
    " (time, seconds, RED, GREEN, BLUE, X, Y, INT, C-No, COM port), until switched off.                          \n"
    " Shortcut Key: F8. ";

static const char helpRecordFolder[] =
    " Select the folder that recordings are written to.";

static const char helpButtonExport[] =
    " Saves the graph shown above (color graph or signal chart) as a PNG or PDF file.                         \n"
    " Shortcut Key: Ctrl+E. ";

static const char helpButtonExportZoom[] =
    " Saves the zoom graph as a PNG or PDF file.                         \n"
    " Shortcut Key: Ctrl+Shift+E. ";

static const char helpButtonSheet[] =
    " Prints the parameter sheet: all parameters and the COLOR TEACH TABLE on one A4 page,                         \n"
    " to a printer or to a PDF file.                         \n"
    " Shortcut Key: Ctrl+P. ";

static const char helpButtonTeachMany[] =
    " The row of the COLOR TEACH TABLE selected in the No.: function field is taught from many frames     \n"
    " of the data transfer: X, Y and INT become the means of the frames, CTO and ITO are proposed     \n"
    " by the teach rule (see TEACH FROM FRAMES). The frames are kept as the samples of the row.     \n"
    " Press again to end the collection early.";

static const char helpEditTakeAmount[] =
    " Select how many frames, or how many seconds of frames, TEACH MANY takes.";

static const char helpEditTakeUnit[] =
    " Select whether TEACH MANY counts frames or seconds.";

static const char helpEditTeachK[] =
    " Select k of the teach rule: k standard deviations of the samples are added to the distance     \n"
    " of the farthest sample, for CTO in the X/Y plane and for ITO in INT.";

static const char helpEditTeachMargin[] =
    " Select the margin of the teach rule: units added to CTO and ITO on top of k standard deviations.";

static const char helpDispTeachMany[] =
    " Displays the progress of TEACH MANY, then the row it taught: the means, the tolerances     \n"
    " and the figures of the teach rule.";

static const char helpButtonSaveSamples[] =
    " The samples of the row selected in the No.: function field are saved as a recording (CSV file).";

static const char helpButtonLoadSamples[] =
    " The frames of a recording (CSV file) become the samples of the row selected in No.:.     \n"
    " The COLOR TEACH TABLE does not change.";

static const char helpButtonCheckRecording[] =
    " Checks the COLOR TEACH TABLE of the panel against a recording (CSV file): how often the     \n"
    " program's model of the sensor gives the C-No that the sensor recorded, the C-No of every     \n"
    " frame, and how far inside its circle and INT band each row detects. Nothing is sent.";

static const char helpButtonTune[] =
    " CTO and ITO of the active rows (up to MAXCOL-No.) are tuned from the samples of each row:     \n"
    " every row holds its own samples and none of another row's, with the largest margin.     \n"
    " The proposal is shown in the report and in the zoom graph; nothing changes before Accept.";

static const char helpDispDetection[] =
    " Displays the report of the last check or tuning. Its C-No come from the program's model     \n"
    " of the sensor, not from the sensor.";

static const char helpButtonAcceptTuning[] =
    " The tuned X, Y, CTO, INT and ITO of the active rows are written into the COLOR TEACH TABLE.     \n"
    " Send (F9) transfers them to the sensor.";

static const char helpButtonDiscardTuning[] =
    " The tuning proposal is dropped; the COLOR TEACH TABLE stays as it is.";

// clang-format on
static const HelpEntry helpTexts[] = {
    {PANEL_COMPORT, helpEditConnect},
    {PANEL_SEND, helpButtonSend},
    {PANEL_GET, helpButtonGet},
    {PANEL_GO, helpButtonGo},
    {PANEL_STOP, helpButtonStop},
    {PANEL_RAM, helpSelectRAM},
    {PANEL_EEPROM, helpSelectRAM},
    {PANEL_FILE, helpSelectRAM},
    {PANEL_PARAVISIBLE, helpParaVisible},
    {PANEL_SOURCE, helpSelectSource},
    {PANEL_EVALMODE, helpEvalmode},
    {PANEL_RESETTABLE, helpButtonResetTable},
    {PANEL_TEACH, helpButtonTeachDataTo},
    {PANEL_APPLYALL, helpButtonApplyFromAll},
    {PANEL_ZOOM, helpButtonZoom},
    {PANEL_AUTOADJUST, helpAutoAdjust},
    {PANEL_MAXCOLNO, helpEditMaxcolNo},
    {PANEL_OUTMODE, helpEditOutmode},
    {PANEL_PMOD, helpEditPmod},
    {PANEL_AVERAGE, helpEditAverage},
    {PANEL_TRIGGER, helpEditTrigger},
    {PANEL_INTLIM, helpEditIntlim},
    {PANEL_HOLD, helpEditHold},
    {PANEL_NO, helpEditNo},
    {PANEL_AUTOINC, helpRadioInc},
    {PANEL_X, helpDispX},
    {PANEL_Y, helpDispY},
    {PANEL_INT, helpDispINT},
    {PANEL_RAW, helpDispRAW},
    {PANEL_CNO, helpDispCOL},
    {PANEL_RED, helpDispRED},
    {PANEL_GREEN, helpDispRED},
    {PANEL_BLUE, helpDispRED},
    {PANEL_STATUS, helpDispStatus},
    {PANEL_SIGNALCHART, helpGraphRaw1},
    {PANEL_COLOURGRAPH, helpGraphRaw1},
    {PANEL_POWER, helpSlidePower},
    {PANEL_RECORD, helpButtonRecord},
    {PANEL_RECFOLDER, helpRecordFolder},
    {PANEL_EXPORT, helpButtonExport},
    {PANEL_EXPORTZOOM, helpButtonExportZoom},
    {PANEL_SHEET, helpButtonSheet},
    {PANEL_TEACHMANY, helpButtonTeachMany},
    {PANEL_TAKEAMOUNT, helpEditTakeAmount},
    {PANEL_TAKEUNIT, helpEditTakeUnit},
    {PANEL_TEACHK, helpEditTeachK},
    {PANEL_TEACHMARGIN, helpEditTeachMargin},
    {PANEL_TEACHSTATE, helpDispTeachMany},
    {PANEL_SAVESAMPLES, helpButtonSaveSamples},
    {PANEL_LOADSAMPLES, helpButtonLoadSamples},
    {PANEL_EVALUATE, helpButtonCheckRecording},
    {PANEL_TUNE, helpButtonTune},
    {PANEL_DETECTREPORT, helpDispDetection},
    {PANEL_ACCEPTTUNING, helpButtonAcceptTuning},
    {PANEL_DISCARDTUNING, helpButtonDiscardTuning},
};

const char *HelpTextOf(int control) {
    for (const HelpEntry &entry : helpTexts)
        if (entry.control == control)
            return entry.text;
    return nullptr;
}

void ShowHelpText(int control) {
    const char *text = HelpTextOf(control);
    if (text != nullptr)
        MessagePopup("Info", text);
}

void SetHelpTooltips(void) {
    for (const HelpEntry &entry : helpTexts)
        SetCtrlAttribute(MainPanel, entry.control, ATTR_TOOLTIP_TEXT, entry.text);
}
