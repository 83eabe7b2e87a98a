// How the Windows holder lookup names another process's handle, open to tests: a test can put
// a query that never answers in place of the system's.
#pragma once

#include "base/platform.h"

// NtQueryObject's shape.
using HandleNameQuery = LONG(NTAPI*)(HANDLE handle, ULONG what, void* buffer, ULONG bytes,
                                     ULONG* needed);

// Lookups started from now on name handles with `query`; nullptr gives them the system's again.
void UseHandleNameQuery(HandleNameQuery query);

// Name queries given up and not yet returned, at most: each keeps a thread of its own.
constexpr unsigned kMostNameQueriesOut = 4;
