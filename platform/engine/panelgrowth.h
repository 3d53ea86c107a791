// Panels that grow: the form keeps the size of its file as its minimum, and controls that the
// panel file marks take a share of the room a larger window gives. Everything else keeps its
// place and size.
#pragma once

class QWidget;

// Lets the marked controls of the form follow its size from now on.
void InstallPanelGrowth(QWidget *form);
