#include "net/udp_channel.h"

#include <stdlib.h>

#include <ws2tcpip.h>

enum { kIpv4, kIpv6, kFamilies };

struct ChannelSlot {
    SOCKET sockets[kFamilies]; // INVALID_SOCKET until opened
    int localPort, remotePort;
    NetAddress destination;
    int waiting;
    int timeout; // milliseconds, signed 16-bit; 0: no wait
    DWORD waitStart;
    // The wait under way: where its datagrams are read to, and who judges them.
    char* buffer;
    int size;
    UdpJudge judge;
    void* context;
    int taken; // the length of the datagram the judge took, -1 until one is
    NetAddress repliedFrom;
};

WNDCLASSA udpWindowClass;

static HWND udpWindow;
static ChannelSlot udpSlots[kUdpSlotCount + 1]; // numbered from 1
// Every address this run sent to: a read that does not wait may take the
// late answer of one of them, never a datagram from anyone else.
static NetAddress* sentTo;
static int sentCount;

// Also for a timer identifier as it comes, in a full WPARAM: any process may
// post WM_TIMER, and on x64 a cut to int would let 0x100000001 pass as slot 1.
static int IsSlot(WPARAM slot) {
    return slot >= 1 && slot <= kUdpSlotCount;
}

static int FamilyOf(const NetAddress* address) {
    return address->family == 6 ? kIpv6 : kIpv4;
}

HWND UdpWindow(void) {
    return udpWindow;
}

HWND UdpEnsureWindow(void) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return NULL;
    if (udpWindow != NULL)
        return udpWindow;
    for (int slot = 1; slot <= kUdpSlotCount; slot++)
        udpSlots[slot].sockets[kIpv4] = udpSlots[slot].sockets[kIpv6] = INVALID_SOCKET;
    udpWindowClass.style = 0;
    udpWindowClass.lpfnWndProc = UdpWindowProc;
    udpWindowClass.cbClsExtra = 0;
    udpWindowClass.cbWndExtra = 0;
    udpWindowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    udpWindowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    udpWindowClass.lpszMenuName = NULL;
    udpWindowClass.lpszClassName = "Q-UDP";
    RegisterClassA(&udpWindowClass);
    udpWindow = CreateWindowExA(0, "Q-UDP", "Q-UDP", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                                300, 0, NULL, NULL, udpWindowClass.hInstance, NULL);
    return udpWindow;
}

// Notifications come only while a wait runs: outside one, a peer that keeps
// the queue full would flood the thread with them, ahead of every key press
// and repaint of the boxes. Asking again posts one for what is queued.
static void Notify(int slot, int on) {
    for (SOCKET socket : udpSlots[slot].sockets)
        if (socket != INVALID_SOCKET)
            WSAAsyncSelect(socket, udpWindow, on ? WM_USER + slot : 0, on ? FD_READ : 0);
}

// A socket address of either family for `address` and `port`; its length.
static int SocketAddress(const NetAddress* address, int port, sockaddr_in6* out) {
    memset(out, 0, sizeof *out);
    out->sin6_port = (u_short)((port >> 8 & 0xFF) | (port & 0xFF) << 8); // network order
    if (address->family == 6) {
        out->sin6_family = AF_INET6;
        memcpy(&out->sin6_addr, address->bytes, 16);
        out->sin6_scope_id = address->scope;
        return sizeof *out;
    }
    sockaddr_in* v4 = (sockaddr_in*)out;
    v4->sin_family = AF_INET;
    memcpy(&v4->sin_addr, address->bytes, 4);
    return sizeof *v4;
}

// The address and port of a socket address of either family.
static NetAddress AddressOf(const sockaddr_in6* from, int* port) {
    NetAddress address = {};
    if (from->sin6_family == AF_INET6) {
        address.family = 6;
        memcpy(address.bytes, &from->sin6_addr, 16);
        address.scope = from->sin6_scope_id; // a link-local name's zone
    } else {
        address.family = 4;
        memcpy(address.bytes, &((const sockaddr_in*)from)->sin_addr, 4);
    }
    if (port != NULL)
        *port = from->sin6_port >> 8 | (from->sin6_port & 0xFF) << 8;
    return address;
}

// Opens the slot's socket of one family, bound to the local port; 1 when it
// was, 0 when the socket or its notifications could not be had, -1 when
// only the bind failed: the first send then binds it to a port the system picks.
static int OpenSocket(int slot, int family) {
    ChannelSlot* s = &udpSlots[slot];
    closesocket(s->sockets[family]);
    SOCKET socket = ::socket(family == kIpv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
    // Also makes the socket non-blocking, for good: without it a read would
    // block the thread, so the socket is not kept.
    if (WSAAsyncSelect(socket, udpWindow, WM_USER + slot, FD_READ) != 0) {
        closesocket(socket);
        s->sockets[family] = INVALID_SOCKET;
        return 0;
    }
    s->sockets[family] = socket;
    WSAAsyncSelect(socket, udpWindow, 0, 0);
    BOOL on = TRUE;
    // Each family's own socket, on each's own port 37.
    setsockopt(socket, family == kIpv6 ? IPPROTO_IPV6 : SOL_SOCKET,
               family == kIpv6 ? IPV6_V6ONLY : SO_BROADCAST, (const char*)&on, sizeof on);
    NetAddress any = {family == kIpv6 ? 6 : 4, {}, 0};
    sockaddr_in6 local;
    int length = SocketAddress(&any, s->localPort, &local);
    return bind(socket, (const sockaddr*)&local, length) == 0 ? 1 : -1;
}

int UdpOpen(int slot, int localPort, int remotePort, int timeoutMs) {
    if (!IsSlot(slot))
        return 0;
    ChannelSlot* s = &udpSlots[slot];
    s->timeout = (short)timeoutMs;
    if (UdpEnsureWindow() == NULL)
        return 0;
    s->localPort = localPort;
    s->remotePort = remotePort;
    return OpenSocket(slot, kIpv4) == 1;
}

NetAddress* UdpResolve(const char* name, int* count) {
    addrinfo hints = {}, *found = NULL;
    hints.ai_socktype = SOCK_DGRAM;
    *count = 0;
    if (getaddrinfo(name, NULL, &hints, &found) != 0)
        return NULL;
    int total = 0;
    for (addrinfo* a = found; a != NULL; a = a->ai_next)
        total++;
    NetAddress* addresses = (NetAddress*)malloc(total * sizeof *addresses + 1);
    for (addrinfo* a = found; a != NULL && addresses != NULL; a = a->ai_next)
        if (a->ai_family == AF_INET || a->ai_family == AF_INET6)
            addresses[(*count)++] = AddressOf((const sockaddr_in6*)a->ai_addr, NULL);
    freeaddrinfo(found);
    return addresses;
}

int UdpSetDestination(int slot, const NetAddress* address) {
    if (!IsSlot(slot))
        return 0;
    ChannelSlot* s = &udpSlots[slot];
    s->destination = *address;
    // The IPv6 socket only when first needed: where IPv6 is switched off, an
    // IPv6 address is skipped and the run goes on with IPv4.
    if (address->family == 6 && s->sockets[kIpv6] == INVALID_SOCKET)
        return OpenSocket(slot, kIpv6) != 0;
    return 1;
}

int UdpIsBroadcast(int slot) {
    static const NetAddress kBroadcast = {4, {255, 255, 255, 255}, 0};
    return IsSlot(slot) && SameAddress(&udpSlots[slot].destination, &kBroadcast);
}

NetAddress UdpRepliedFrom(int slot) {
    return udpSlots[IsSlot(slot) ? slot : 0].repliedFrom;
}

int UdpSend(int slot, const void* data, int length) {
    if (!IsSlot(slot))
        return 0;
    ChannelSlot* s = &udpSlots[slot];
    sockaddr_in6 to;
    int toLength = SocketAddress(&s->destination, s->remotePort, &to);
    int known = 0;
    for (int i = 0; i < sentCount && !known; i++)
        known = SameAddress(&sentTo[i], &s->destination);
    NetAddress* grown =
        known ? NULL : (NetAddress*)realloc(sentTo, (sentCount + 1) * sizeof *sentTo);
    if (grown != NULL) {
        sentTo = grown;
        sentTo[sentCount++] = s->destination;
    }
    return sendto(s->sockets[FamilyOf(&s->destination)], (const char*)data, length, 0,
                  (const sockaddr*)&to, toLength) != SOCKET_ERROR;
}

// Reads one datagram from one of the slot's sockets and asks the judge: 1
// when it was taken. Only the address counts, not the port, and any host
// may answer a broadcast. Read, a datagram that is not taken is gone. A read
// that fails on a reset (the ICMP error of an earlier send) consumes that
// indication, so no notification for it comes again.
static int ReadAndJudge(ChannelSlot* s, SOCKET socket, int anySource) {
    sockaddr_in6 from = {};
    int fromLength = sizeof from;
    int count = recvfrom(socket, s->buffer, s->size, 0, (sockaddr*)&from, &fromLength);
    if (count == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEMSGSIZE)
            return 0;
        count = -1; // too long for the buffer: its bytes are lost
    }
    int port;
    NetAddress source = AddressOf(&from, &port);
    int slot = (int)(s - udpSlots), sent = 0;
    for (int i = 0; anySource && i < sentCount && !sent; i++)
        sent = SameAddress(&source, &sentTo[i]);
    if (!UdpIsBroadcast(slot) && !(anySource ? sent : SameAddress(&source, &s->destination)))
        return 0;
    if (!s->judge((const unsigned char*)s->buffer, count, port, s->context))
        return 0;
    s->repliedFrom = UdpIsBroadcast(slot) ? source : s->destination;
    s->taken = count > 0 ? count : 0;
    return 1;
}

static DWORD TimeLeft(const ChannelSlot* s) {
    DWORD waited = GetTickCount() - s->waitStart;
    return waited >= (DWORD)s->timeout ? 0 : (DWORD)s->timeout - waited;
}

int UdpReceive(int slot, void* buffer, int size, UdpJudge judge, void* context) {
    if (!IsSlot(slot))
        return 0;
    ChannelSlot* s = &udpSlots[slot];
    if (s->timeout != 0 && udpWindow == NULL)
        return 0;
    s->buffer = (char*)buffer;
    s->size = size;
    s->judge = judge;
    s->context = context;
    s->taken = -1;
    // Without a timer nothing would end the wait for a silent host: then read at once.
    if (s->timeout != 0 && SetTimer(udpWindow, slot, (UINT)s->timeout, NULL) != 0) {
        s->waiting = 1;
        s->waitStart = GetTickCount();
        Notify(slot, 1);
        while (s->waiting && udpWindow != NULL) {
            // WM_TIMER comes only while no posted message waits, so a flood of
            // datagrams would hold it back: the deadline is checked here too.
            if (TimeLeft(s) == 0)
                break;
            MSG message;
            if (GetMessageA(&message, NULL, 0, 0) <= 0)
                break;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        s->waiting = 0; // the buffer is the caller's only until this returns
        if (udpWindow == NULL)
            return 0;
        KillTimer(udpWindow, slot);
        Notify(slot, 0);
        if (s->taken >= 0)
            return s->taken;
    }
    // An answer whose notification the wait did not see yet.
    SOCKET socket = s->sockets[FamilyOf(&s->destination)];
    return ReadAndJudge(s, socket, s->timeout == 0) ? s->taken : 0;
}

LRESULT CALLBACK UdpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        if (IsSlot(wParam) && udpSlots[wParam].waiting) {
            // A timer message posted before the wait began, or by another
            // process: the wait's own deadline is still ahead.
            DWORD left = TimeLeft(&udpSlots[wParam]);
            if (left > 0) {
                SetTimer(window, wParam, left, NULL);
                return 1;
            }
            udpSlots[wParam].waiting = 0;
        }
        KillTimer(window, wParam);
        return 1;
    }
    if (message == WM_DESTROY) {
        for (int slot = 1; slot <= kUdpSlotCount; slot++)
            for (SOCKET& socket : udpSlots[slot].sockets) {
                closesocket(socket);
                socket = INVALID_SOCKET;
            }
        WSACleanup();
        udpWindow = NULL;
        // The slot's timer dies with the window: wake a waiting loop so that
        // it sees the window is gone now, not whenever a message next arrives.
        PostMessageA(NULL, WM_NULL, 0, 0); // to this thread
        return 1;
    }
    if (message > WM_USER && message <= WM_USER + kUdpSlotCount) {
        ChannelSlot* s = &udpSlots[message - WM_USER];
        // Outside a wait the datagram stays queued for the next wait to judge;
        // a notification for a socket not the slot's is no one's.
        SOCKET socket = (SOCKET)wParam;
        if (WSAGETSELECTEVENT(lParam) == FD_READ && s->waiting && socket != INVALID_SOCKET &&
            (socket == s->sockets[kIpv4] || socket == s->sockets[kIpv6]) &&
            ReadAndJudge(s, socket, 0)) {
            s->waiting = 0;
            KillTimer(window, message - WM_USER);
        }
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
