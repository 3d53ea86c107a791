// The headless process over the engine's headless start.
#include "platform/system/headless.h"

#include "platform/engine/userint.h"

int StartHeadlessProcess(int argc, char **argv) {
    return InitHeadlessEngine(argc, argv) == UIE_OK ? 0 : -1;
}
