#include "nvmxv451/preferences.h"

#include "platform/serial/rs232.h"
#include "platform/system/settings.h"
#include "session/session.h"
#include "state/globals.h"

#include <cstdlib>
#include <cstring>

static const char portKey[] = "port";
static const char leftKey[] = "window/left";
static const char topKey[] = "window/top";
enum { IDENTITY_LEN = 512 };

int ChooseStartPort(const char *portOption) {
    if (portOption && *portOption) {
        const int number = PortNumberOfText(portOption);
        if (number > 0)
            return number;
    }
    if (std::getenv("NVMX_COM1"))
        return 1;
    char identity[IDENTITY_LEN] = "";
    GetSettingText(portKey, identity, sizeof identity);
    int remembered = identity[0] ? ComPortForIdentity(identity) : 0;
    return remembered > 0 ? remembered : 1;
}

void RememberPort(void) {
    char identity[IDENTITY_LEN] = "";
    if (ComPortIdentity(portNumber, identity, sizeof identity) == 0)
        SetSettingText(portKey, identity);
}

void RestoreWindowPosition(void) {
    if (!HasSetting(leftKey) || !HasSetting(topKey))
        return;
    SetPanelAttribute(MainPanel, ATTR_LEFT, GetSettingInt(leftKey, 0));
    SetPanelAttribute(MainPanel, ATTR_TOP, GetSettingInt(topKey, 0));
}

void RememberWindowPosition(void) {
    int left = 0, top = 0;
    if (GetPanelAttribute(MainPanel, ATTR_LEFT, &left) < 0 ||
        GetPanelAttribute(MainPanel, ATTR_TOP, &top) < 0)
        return;
    SetSettingInt(leftKey, left);
    SetSettingInt(topKey, top);
}
