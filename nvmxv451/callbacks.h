// The panel callback and the control callbacks of MainPanel, bound by name to the panel file.
#pragma once

#include "platform/userint.h"

#define CONTROL_CALLBACK(name)                                                                     \
    int name(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)

int P(int panel, int event, void *callbackData, int eventData1, int eventData2);

CONTROL_CALLBACK(EditConnect);
CONTROL_CALLBACK(ButtonSend);
CONTROL_CALLBACK(ButtonGet);
CONTROL_CALLBACK(ButtonGo);
CONTROL_CALLBACK(ButtonStop);
CONTROL_CALLBACK(SelectRAM);
CONTROL_CALLBACK(SelectEEPROM);
CONTROL_CALLBACK(SelectFILE);
CONTROL_CALLBACK(ParaVisible);
CONTROL_CALLBACK(SelectSource);
CONTROL_CALLBACK(Evalmode);
CONTROL_CALLBACK(ButtonResetTable);
CONTROL_CALLBACK(ButtonTeachDataTo);
CONTROL_CALLBACK(ButtonApplyFromAll);
CONTROL_CALLBACK(ButtonZoom);
CONTROL_CALLBACK(AutoAdjust);
CONTROL_CALLBACK(GraphData2);
CONTROL_CALLBACK(EditMaxcolNo);
CONTROL_CALLBACK(EditOutmode);
CONTROL_CALLBACK(EditPmod);
CONTROL_CALLBACK(EditAverage);
CONTROL_CALLBACK(EditTrigger);
CONTROL_CALLBACK(EditIntlim);
CONTROL_CALLBACK(EditHold);
CONTROL_CALLBACK(EditNo);
CONTROL_CALLBACK(RadioInc);
CONTROL_CALLBACK(DispX);
CONTROL_CALLBACK(DispY);
CONTROL_CALLBACK(DispINT);
CONTROL_CALLBACK(DispRAW);
CONTROL_CALLBACK(DispCOL);
CONTROL_CALLBACK(DispRED);
CONTROL_CALLBACK(DispGREEN);
CONTROL_CALLBACK(DispBLUE);
CONTROL_CALLBACK(DispStatus);
CONTROL_CALLBACK(GraphRaw1);
CONTROL_CALLBACK(GraphData1);
CONTROL_CALLBACK(SlidePower);
CONTROL_CALLBACK(ButtonRecord);
CONTROL_CALLBACK(RecordFolder);
CONTROL_CALLBACK(ButtonExport);
CONTROL_CALLBACK(ButtonExportZoom);
CONTROL_CALLBACK(ButtonSheet);

enum { CONTROL_CALLBACK_COUNT = 43 };

// The callback table handed to the engine: the 43 control callbacks and P.
extern const CallbackName programCallbacks[CONTROL_CALLBACK_COUNT + 1];
