// Numbered UDP socket slots with one hidden notification window: send a
// datagram, then wait for the answer with a timeout while the thread keeps
// dispatching window messages. Windows Sockets 1.1.
#pragma once

#include <windows.h>
#include <winsock.h>

enum { kUdpSlotCount = 1 };

// The class record of the notification window ("Q-UDP"). The caller fills in
// hInstance and hIcon before the first UdpOpen; the channel fills the rest.
extern WNDCLASSA udpWindowClass;

// The notification window, or NULL before it is created and after it is destroyed.
HWND UdpWindow(void);
HWND UdpEnsureWindow(void);
int UdpOpen(int slot, int localPort, int remotePort, int timeoutMs);
u_long UdpResolve(const char* hostText);
// Resolves hostText into the slot's destination and returns that address.
u_long UdpSetHost(int slot, const char* hostText);
u_long UdpDestination(int slot);
// The host that answered the last UdpReceive: the destination, or, for a
// broadcast, the first host that replied.
u_long UdpRepliedFrom(int slot);
int UdpSend(int slot, const void* data, int length);
// Waits up to the slot's timeout for a datagram from the destination address
// (from anyone, for a broadcast), then reads once: the byte count, 0 on
// timeout or error, and 0 for a datagram from elsewhere after a timed wait.
int UdpReceive(int slot, void* buffer, int size);
LRESULT CALLBACK UdpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
