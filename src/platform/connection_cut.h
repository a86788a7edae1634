// Ends a connection that another library owns (the console's HTTP server):
// both directions are shut down so the owner sees the end of the stream and
// closes the socket itself; the descriptor stays open until it does.
#pragma once

// 0, or an errno value.
int cutConnection(int socketHandle);
