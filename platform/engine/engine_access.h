// Qt-side access to the engine's widgets, for tests that drive a panel as a person would.
#pragma once

class QWidget;

// The form of a loaded panel, or nullptr.
QWidget *EnginePanelWidget(int panel);
// The widget of a control, or nullptr.
QWidget *EngineControlWidget(int panel, int control);
