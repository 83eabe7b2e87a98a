// A holder whose handle-name query is stuck, as it can be on Windows behind the holder's
// blocking read: the holder lookup's seam (handle_name_query.h) given a query that hangs on
// any handle to a port of this run.
#pragma once

#include "ports/win32/handle_name_query.h"

// The system's own name query.
LONG NTAPI SystemNameQuery(HANDLE handle, ULONG what, void* buffer, ULONG bytes, ULONG* needed);
// Whether a name query's answer names a port of this run.
bool NamesAPort(LONG status, const void* buffer);

// Lookups started from now on hang on every handle to a port, until released; releasing
// gives them the system's query again.
void StickNameQueriesOfPorts();
void ReleaseStuckNameQueries();
// How many queries hang right now.
long StuckNameQueries();
