// SIGINT and SIGTERM as requests to end the program: blocked in every
// thread, and taken only where the program waits for them.
#pragma once

// Blocks both signals in the calling thread; call before any other thread
// starts, so that every thread inherits the mask.
void blockShutdownSignals();
// Waits up to ms milliseconds (0: only looks) for SIGINT or SIGTERM and
// takes it; true when one came.
bool waitForShutdownSignal(long ms);
// Asks this process to end as SIGTERM would (the Windows service's stop
// request takes this path): waitForShutdownSignal sees it.
void requestShutdown();
