// The panel callback and the control callbacks of MainPanel, bound by name to the panel file.
#pragma once

#include "platform/engine/userint.h"

#define CONTROL_CALLBACK(name)                                                                     \
    int name(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)

int P(int panel, int event, void *callbackData, int eventData1, int eventData2);

// The control callbacks, in the order of the callback table: the one list from which their
// declarations, their count and the table follow.
// clang-format off
#define CONTROL_CALLBACKS(X) \
    X(EditConnect) \
    X(ButtonSend) \
    X(ButtonGet) \
    X(ButtonGo) \
    X(ButtonStop) \
    X(SelectRAM) \
    X(SelectEEPROM) \
    X(SelectFILE) \
    X(ParaVisible) \
    X(SelectSource) \
    X(Evalmode) \
    X(ButtonResetTable) \
    X(ButtonTeachDataTo) \
    X(ButtonApplyFromAll) \
    X(ButtonZoom) \
    X(AutoAdjust) \
    X(GraphData2) \
    X(EditMaxcolNo) \
    X(EditOutmode) \
    X(EditPmod) \
    X(EditAverage) \
    X(EditTrigger) \
    X(EditIntlim) \
    X(EditHold) \
    X(EditNo) \
    X(RadioInc) \
    X(DispX) \
    X(DispY) \
    X(DispINT) \
    X(DispRAW) \
    X(DispCOL) \
    X(DispRED) \
    X(DispGREEN) \
    X(DispBLUE) \
    X(DispStatus) \
    X(GraphRaw1) \
    X(GraphData1) \
    X(SlidePower) \
    X(ButtonRecord) \
    X(RecordFolder) \
    X(ButtonExport) \
    X(ButtonExportZoom) \
    X(ButtonSheet) \
    X(ButtonTeachMany) \
    X(EditTakeAmount) \
    X(EditTakeUnit) \
    X(EditTeachK) \
    X(EditTeachMargin) \
    X(DispTeachMany) \
    X(ButtonSaveSamples) \
    X(ButtonLoadSamples) \
    X(ButtonCheckRecording) \
    X(ButtonTune) \
    X(DispDetection) \
    X(ButtonAcceptTuning) \
    X(ButtonDiscardTuning)
// clang-format on

#define DECLARE_CONTROL_CALLBACK(name) CONTROL_CALLBACK(name);
CONTROL_CALLBACKS(DECLARE_CONTROL_CALLBACK)
#undef DECLARE_CONTROL_CALLBACK

#define COUNT_CONTROL_CALLBACK(name) +1
enum { CONTROL_CALLBACK_COUNT = 0 CONTROL_CALLBACKS(COUNT_CONTROL_CALLBACK) };
#undef COUNT_CONTROL_CALLBACK

// The callback table handed to the engine: the control callbacks and P.
extern const CallbackName programCallbacks[CONTROL_CALLBACK_COUNT + 1];
