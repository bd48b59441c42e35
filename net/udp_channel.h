// Numbered UDP socket slots with one hidden notification window: send a
// datagram, then wait for the answer with a timeout while the thread keeps
// dispatching window messages. Windows Sockets 2.2. What answers a request
// is for the caller's judge to say: the channel knows no protocol.
#pragma once

#include <winsock2.h>
#include <windows.h>

enum { kUdpSlotCount = 2 };

// The class record of the notification window ("Q-UDP"). The caller fills in
// hInstance and hIcon before the first UdpOpen; the channel fills the rest.
extern WNDCLASSA udpWindowClass;

// 1 when a datagram that came from the destination (from anyone, for a
// broadcast) answers the request; length -1 for one too long to read.
typedef int (*UdpJudge)(const unsigned char* datagram, int length, int sourcePort, void* context);

// The notification window, or NULL before it is created and after it is destroyed.
HWND UdpWindow(void);
HWND UdpEnsureWindow(void);
// localPort 0: any port the system picks.
int UdpOpen(int slot, int localPort, int remotePort, int timeoutMs);
u_long UdpResolve(const char* hostText);
// Resolves hostText into the slot's destination and returns that address.
u_long UdpSetHost(int slot, const char* hostText);
u_long UdpDestination(int slot);
// The host that answered the last UdpReceive: the destination, or, for a
// broadcast, the host whose reply was taken.
u_long UdpRepliedFrom(int slot);
int UdpSend(int slot, const void* data, int length);
// Waits up to the slot's timeout for a datagram from the destination (from
// anyone, for a broadcast) that the judge takes, reading and dropping the
// others, then reads once more if none was taken. The length of the datagram
// taken, 0 when none was (or when it was empty or too long). With timeout 0
// there is no wait: one read, whatever its source, for the judge.
int UdpReceive(int slot, void* buffer, int size, UdpJudge judge, void* context);
LRESULT CALLBACK UdpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
