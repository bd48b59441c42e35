#include "net/udp_channel.h"

#include <string.h>

struct ChannelSlot {
    SOCKET socket;
    sockaddr_in localAddress;
    sockaddr_in destination;
    int waiting;
    int timeout;    // milliseconds, signed 16-bit; 0: no wait
    char sent[4];   // the start of the last datagram sent,
    int sentLength; // and its length: a broadcast comes back to its sender
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
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
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
    if (WSAAsyncSelect(s->socket, udpWindow, WM_USER + slot, FD_READ) != 0)
        return 0;
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
    s->sentLength = length <= (int)sizeof s->sent ? length : -1;
    if (s->sentLength > 0)
        memcpy(s->sent, data, (size_t)length);
    return sendto(s->socket, (const char*)data, length, 0, (const sockaddr*)&s->destination,
                  sizeof s->destination) != SOCKET_ERROR;
}

int UdpReceive(int slot, void* buffer, int size) {
    if (!IsSlot(slot))
        return 0;
    ChannelSlot* s = &udpSlots[slot];
    if (s->timeout != 0 && udpWindow == NULL)
        return 0;
    // Without a timer nothing would end the wait for a silent host: then read at once.
    if (s->timeout != 0 && SetTimer(udpWindow, slot, (UINT)s->timeout, NULL) != 0) {
        s->waiting = 1;
        DWORD start = GetTickCount();
        while (s->waiting) {
            if (udpWindow == NULL)
                return 0;
            // WM_TIMER comes only while no posted message waits, so a flood of
            // datagrams would hold it back: the deadline is checked here too.
            if (GetTickCount() - start >= (DWORD)s->timeout) {
                KillTimer(udpWindow, slot);
                s->waiting = 0;
                break;
            }
            MSG message;
            if (GetMessageA(&message, NULL, 0, 0) <= 0)
                break;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    int sourceLength = sizeof udpSourceAddress;
    int count =
        recvfrom(s->socket, (char*)buffer, size, 0, (sockaddr*)&udpSourceAddress, &sourceLength);
    if (count == SOCKET_ERROR)
        return 0;
    // A wait that ended at its deadline leaves whatever came last unjudged:
    // a third party's datagram, or an earlier host's late reply. Read, it is gone.
    if (s->timeout != 0 && !IsFromDestination(s, &udpSourceAddress))
        return 0;
    return count;
}

static void DropDatagram(SOCKET socket) {
    char none;
    recvfrom(socket, &none, 0, 0, NULL, NULL);
}

// A datagram is queued on a waiting slot: end the wait if it comes from the
// destination (it stays queued for UdpReceive), drop it otherwise.
static void JudgeDatagram(int slot) {
    ChannelSlot* s = &udpSlots[slot];
    sockaddr_in source = {};
    int sourceLength = sizeof source;
    // Peeks one byte more than was sent, to tell the sender's own broadcast.
    char head[sizeof s->sent + 1];
    int length = s->sentLength >= 0 ? s->sentLength + 1 : 0;
    int count = recvfrom(s->socket, head, length, MSG_PEEK, (sockaddr*)&source, &sourceLength);
    if (count == SOCKET_ERROR) {
        int error = WSAGetLastError();
        // A notification left over from an earlier read: reading now would
        // eat the answer that may be arriving at this very moment. The two
        // resets report an ICMP error of an earlier send, with no datagram
        // of their own: a read would eat the answer queued behind.
        if (error == WSAEWOULDBLOCK || error == WSAECONNRESET || error == WSAENETRESET)
            return;
        // A datagram longer than the peek is reported as too long, with its
        // source filled in; any other failure cannot be from the destination.
        if (error != WSAEMSGSIZE) {
            DropDatagram(s->socket);
            return;
        }
    }
    int ownBroadcast = s->destination.sin_addr.s_addr == INADDR_BROADCAST &&
                       count == s->sentLength && memcmp(head, s->sent, (size_t)count) == 0;
    if (IsFromDestination(s, &source) && !ownBroadcast) {
        s->waiting = 0;
        KillTimer(udpWindow, slot);
    } else {
        DropDatagram(s->socket);
    }
}

LRESULT CALLBACK UdpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        KillTimer(window, wParam);
        if (IsSlot(wParam))
            udpSlots[wParam].waiting = 0;
        return 1;
    }
    if (message == WM_DESTROY) {
        for (int slot = 1; slot <= kUdpSlotCount; slot++)
            closesocket(udpSlots[slot].socket);
        WSACleanup();
        udpWindow = NULL;
        // The slot's timer dies with the window: wake a waiting loop so that
        // it sees the window is gone now, not whenever a message next arrives.
        PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
        return 1;
    }
    if (message > WM_USER && message <= WM_USER + kUdpSlotCount) {
        int slot = (int)(message - WM_USER);
        if (WSAGETSELECTEVENT(lParam) != FD_READ)
            return 1;
        if (udpSlots[slot].waiting)
            JudgeDatagram(slot);
        else if (udpSlots[slot].timeout != 0)
            DropDatagram(udpSlots[slot].socket);
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
