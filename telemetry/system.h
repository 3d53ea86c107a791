// The few system calls telemetry makes, each behind the guards of the systems that have it: the
// host's name and the process's id for the default client id and topics, and the closing of a
// file that was opened only to check it.
#pragma once

#include <cstddef>

// The host's name into name (size bytes); "unknown" when the system does not tell.
void HostName(char *name, size_t size);
// The id of this process, as the system's tools show it.
long ProcessId(void);
// Closes a descriptor from files/regularfile.h.
void CloseDescriptor(int fd);
