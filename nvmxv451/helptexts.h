// The help texts of the panel's controls: shown on a right click and as tooltips.
#pragma once

// Shows the control's help text in the pop-up "Info". Controls without a text show nothing.
void ShowHelpText(int control);
// Gives every control that has a help text the same text as its tooltip.
void SetHelpTooltips(void);
// The help text of a control, or nullptr.
const char *HelpTextOf(int control);
