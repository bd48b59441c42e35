// Numbered UDP socket slots with one hidden notification window: send a
// datagram, then wait for the answer with a timeout while the thread keeps
// dispatching window messages. Windows Sockets 2.2; each slot has a socket
// of each family, the IPv6 one opened when first needed. What answers a
// request is for the caller's judge to say: the channel knows no protocol.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "core/net_address.h"

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
// Opens the slot's IPv4 socket; localPort 0: any port the system picks.
int UdpOpen(int slot, int localPort, int remotePort, int timeoutMs);
// The addresses a name or a literal stands for, in the resolver's order, for
// free(); their count in *count, 0 when there are none.
NetAddress* UdpResolve(const char* name, int* count);
// Makes the address the slot's destination: 1 when the slot can send there,
// 0 when its family cannot be used (IPv6 switched off).
int UdpSetDestination(int slot, const NetAddress* address);
// 1 when the destination is the limited broadcast, 255.255.255.255.
int UdpIsBroadcast(int slot);
// The host that answered the last UdpReceive: the destination, or, for a
// broadcast, the host whose reply was taken.
NetAddress UdpRepliedFrom(int slot);
int UdpSend(int slot, const void* data, int length);
// Waits up to the slot's timeout for a datagram from the destination (from
// anyone, for a broadcast) that the judge takes, reading and dropping the
// others, then reads once more if none was taken. The length of the datagram
// taken, 0 when none was (or when it was empty or too long). With timeout 0
// there is no wait: one read, whatever its source, for the judge.
int UdpReceive(int slot, void* buffer, int size, UdpJudge judge, void* context);
LRESULT CALLBACK UdpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
