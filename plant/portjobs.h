// One headless command on one sensor's port: the port opened as the panel opens it, the line
// checked, then the command's exchanges. Runs in the process of its port.
#pragma once

#include "plant/results.h"
#include "platform/system/plantcommandline.h"

// What a port's job needs beyond the shared options.
struct PortPlan {
    int number;                    // COM number
    char label[PORT_LABEL_LEN];    // "COM3": the sensor's name in reports, records and topics
    char device[MAX_PATHNAME_LEN]; // the device behind the number
    char output[MAX_PATHNAME_LEN]; // absolute: get -o, record --out; "" when not given
    char backup[MAX_PATHNAME_LEN]; // absolute: send --backup; "" when not given
};

// Runs the command of options on the port of plan; block is the parameter set to send (send
// only). Fills result. The engine (headless) runs already.
void RunPortJob(const PlantOptions *options, const PortPlan *plan, const unsigned char *block,
                PortResult *result);
// Asks a running job to end at its next poll (a signal handler may call it).
void StopPortJob(void);
