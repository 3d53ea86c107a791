// Array operations of the run-time engine.
#pragma once

// Moves the elements of input by shiftBy places (negative: towards the start) into output,
// which may be input itself. Places that no element reaches are set to 0.0.
// Returns 0, or a negative code for a bad count.
int Shift(const double *input, int numberOfElements, int shiftBy, double *output);
