#include "net/udp_channel.h"

struct ChannelSlot {
    SOCKET socket;
    sockaddr_in localAddress;
    sockaddr_in destination;
    int waiting;
    int timeout; // milliseconds, signed 16-bit; 0: no wait
    DWORD waitStart;
    // The wait under way: where its datagrams are read to, and who judges them.
    char* buffer;
    int size;
    UdpJudge judge;
    void* context;
    int taken; // the length of the datagram the judge took, -1 until one is
};

WNDCLASSA udpWindowClass;

static HWND udpWindow;
static ChannelSlot udpSlots[kUdpSlotCount + 1]; // numbered from 1
static sockaddr_in udpSourceAddress;

// Also for a timer identifier as it comes, in a full WPARAM: any process may
// post WM_TIMER, and on x64 a cut to int would let 0x100000001 pass as slot 1.
static int IsSlot(WPARAM slot) {
    return slot >= 1 && slot <= kUdpSlotCount;
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
        udpSlots[slot].socket = INVALID_SOCKET;
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
    WSAAsyncSelect(udpSlots[slot].socket, udpWindow, on ? WM_USER + slot : 0, on ? FD_READ : 0);
}

int UdpOpen(int slot, int localPort, int remotePort, int timeoutMs) {
    if (!IsSlot(slot))
        return 0;
    ChannelSlot* s = &udpSlots[slot];
    s->timeout = (short)timeoutMs;
    if (UdpEnsureWindow() == NULL)
        return 0;
    closesocket(s->socket);
    s->socket = socket(AF_INET, SOCK_DGRAM, 0);
    if (s->socket == INVALID_SOCKET)
        return 0;
    // Also makes the socket non-blocking, for good.
    if (WSAAsyncSelect(s->socket, udpWindow, WM_USER + slot, FD_READ) != 0)
        return 0;
    Notify(slot, 0);
    s->localAddress.sin_family = AF_INET;
    s->localAddress.sin_port = htons((u_short)localPort);
    s->localAddress.sin_addr.s_addr = INADDR_ANY;
    s->destination.sin_family = AF_INET;
    s->destination.sin_port = htons((u_short)remotePort);
    BOOL broadcast = TRUE;
    setsockopt(s->socket, SOL_SOCKET, SO_BROADCAST, (const char*)&broadcast, sizeof broadcast);
    return bind(s->socket, (const sockaddr*)&s->localAddress, sizeof s->localAddress) == 0;
}

u_long UdpResolve(const char* hostText) {
    if (hostText[0] == '\0')
        return 0;
    if (lstrcmpA(hostText, "255.255.255.255") == 0)
        return INADDR_BROADCAST;
    u_long address = inet_addr(hostText);
    if (address != INADDR_NONE)
        return address;
    const hostent* host = gethostbyname(hostText);
    if (host == NULL || host->h_addrtype != AF_INET || host->h_addr_list[0] == NULL)
        return 0;
    return ((const in_addr*)host->h_addr_list[0])->s_addr;
}

u_long UdpSetHost(int slot, const char* hostText) {
    if (!IsSlot(slot))
        return 0;
    udpSlots[slot].destination.sin_addr.s_addr = UdpResolve(hostText);
    return udpSlots[slot].destination.sin_addr.s_addr;
}

u_long UdpDestination(int slot) {
    return IsSlot(slot) ? udpSlots[slot].destination.sin_addr.s_addr : 0;
}

u_long UdpRepliedFrom(int slot) {
    u_long destination = UdpDestination(slot);
    return destination == INADDR_BROADCAST ? udpSourceAddress.sin_addr.s_addr : destination;
}

// Only the address counts, not the port. Any host may answer a broadcast.
static int IsFromDestination(const ChannelSlot* s, const sockaddr_in* source) {
    return source->sin_addr.s_addr == s->destination.sin_addr.s_addr ||
           s->destination.sin_addr.s_addr == INADDR_BROADCAST;
}

int UdpSend(int slot, const void* data, int length) {
    if (!IsSlot(slot))
        return 0;
    ChannelSlot* s = &udpSlots[slot];
    return sendto(s->socket, (const char*)data, length, 0, (const sockaddr*)&s->destination,
                  sizeof s->destination) != SOCKET_ERROR;
}

// Reads one datagram and asks the judge: 1 when it was taken. Read, a
// datagram that is not taken is gone. A read that fails on a reset (the
// ICMP error of an earlier send) consumes that indication, so no
// notification for it comes again.
static int ReadAndJudge(ChannelSlot* s, int anySource) {
    sockaddr_in source = {};
    int sourceLength = sizeof source;
    int count = recvfrom(s->socket, s->buffer, s->size, 0, (sockaddr*)&source, &sourceLength);
    if (count == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEMSGSIZE)
            return 0;
        count = -1; // too long for the buffer: its bytes are lost
    }
    if (!anySource && !IsFromDestination(s, &source))
        return 0;
    if (!s->judge((const unsigned char*)s->buffer, count, ntohs(source.sin_port), s->context))
        return 0;
    udpSourceAddress = source;
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
    return ReadAndJudge(s, s->timeout == 0) ? s->taken : 0;
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
        for (int slot = 1; slot <= kUdpSlotCount; slot++) {
            closesocket(udpSlots[slot].socket);
            udpSlots[slot].socket = INVALID_SOCKET;
        }
        WSACleanup();
        udpWindow = NULL;
        // The slot's timer dies with the window: wake a waiting loop so that
        // it sees the window is gone now, not whenever a message next arrives.
        PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
        return 1;
    }
    if (message > WM_USER && message <= WM_USER + kUdpSlotCount) {
        ChannelSlot* s = &udpSlots[message - WM_USER];
        // Outside a wait the datagram stays queued for the next wait to judge.
        if (WSAGETSELECTEVENT(lParam) == FD_READ && s->waiting && ReadAndJudge(s, 0)) {
            s->waiting = 0;
            KillTimer(window, message - WM_USER);
        }
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
