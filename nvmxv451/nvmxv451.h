// Start-up and shutdown of the program.
#pragma once

// Gives every piece of program-wide state its initial value and sets up the panel's start face.
void InitVars(void);
// The whole run: engine, panel, line, event loop, shutdown. Returns the exit code: 0 after a
// normal end, -1 when the engine cannot start or the panel file cannot be loaded.
int RunProgram(int argc, char **argv);
