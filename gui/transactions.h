// The three transactions with the sensor: parameters to the sensor, parameters from the
// sensor, and the continuous transfer of measurement frames.
#pragma once

// Clears acquisitionActive, packs the panel's parameters and writes them behind 0x55 0x01
// (RAM) or 0x55 0x02 (any other target). No answer is awaited; a write that does not place all
// 86 bytes gives the time-out report.
void SendParameters(void);
// Clears acquisitionActive, requests the block with 0x55 0x03 (RAM, also when FILE is
// selected) or 0x55 0x04 (EEPROM) and, on exactly 84 bytes, shows it on the panel with its
// evaluation-mode layout. Any other reply gives the time-out report and changes nothing.
void GetParameters(void);
// Sets acquisitionActive and requests one frame after the other until the flag is cleared,
// showing every frame of exactly 7 bytes; any other reply gives the time-out report and ends
// the transfer. Pending events run once per cycle. Called while a transfer is already running
// (from that event step), it only sets the flag again and returns: the running loop goes on.
void RunDataTransfer(void);
// One cycle of the transfer without its event step: requests a frame and, on exactly 7 bytes,
// stores, records and shows it. FRAME_ABORTED when the wait saw acquisitionActive cleared.
enum { FRAME_SHOWN, FRAME_MISSING, FRAME_ABORTED };
int ReceiveFrame(void);
// 1 while the transfer loop of RunDataTransfer is running (a callback in its event step asks).
int DataTransferRunning(void);
