#!/usr/bin/env python3
"""Scripted time servers for the end-to-end suite.

Serves every host of a JSON plan on its own address: UDP port 37 with the
Time Protocol (RFC 868), or port 123 with SNTPv4 when the host has "ntp". A
host 255.255.255.255 listens on every address and so hears broadcasts; it
answers from the first address of the link, or from `reply_from`. Logs each
datagram it receives (JSON lines), and answers as the host's behaviour says:

  offset   seconds added to this machine's time (default 0; SNTP: a fraction too)
  reply    hex bytes sent instead of the time ("" sends an empty datagram)
  trailer  hex bytes sent after the four bytes of the time
  silent   true: never answer (but send what `third` says)
  delay    milliseconds to wait before answering
  align    false: answer at once, not early in a second
  third    {"from": address, "count": n, "seconds": s, "data": hex, "burst": b,
           "pause": ms}: first send n datagrams (or more, for s seconds) from
           another address to the client, in bursts of b (default all) with a
           pause between bursts
  then     the same as third, sent after the answer
  after    datagrams of the same answer sent again after it
  reply_from  the address the answer comes from (one of the senders; RFC 868)
SNTP only:
  kiss     a Kiss-o'-Death code ("RATE"): stratum 0, leap indicator 3
  kiss_after  SNTP: answers this many requests, then sends the Kiss-o'-Death `kiss` (RATE)
  leap, stratum   the reply's fields (default 0 and 1)
  dispersion   the root dispersion in seconds (default 1/2048)
  forged   a reply an hour off, with a wrong origin timestamp, 50 ms before the answer
  relay    {"to": address, "delay": ms[, "queue": mean ms, "seed": n]}: forwards each request to that
           address's port 123 and its reply back, each way `delay` late

An address may be IPv6 (fd37::2). Prints "ready" once every socket is bound.
Runs until killed.
"""
import json
import random
import select
import socket
import struct
import sys
import threading
import time

SECONDS_1900_TO_1970 = 2208988800


def time_bytes(offset, align):
    # Answer early in a second, so that the client's reading a few
    # milliseconds later falls in the same second and the drift is exact.
    fraction = time.time() % 1
    if align and fraction > 0.7:
        time.sleep(1.02 - fraction)
    seconds = int(time.time()) + offset + SECONDS_1900_TO_1970
    return (seconds % 2**32).to_bytes(4, "big")


def ntp_stamp(t):
    """The 64-bit NTP timestamp of a time in seconds since 1970."""
    whole = int(t // 1)
    return ((whole + SECONDS_1900_TO_1970) % 2**32) << 32 | int((t - whole) * 2**32)


def sntp_reply(host, request, received):
    if len(request) < 48:
        return None
    offset = host.get("offset", 0)
    origin = request[40:48]
    host["answered"] = host.get("answered", 0) + 1
    if "kiss" in host or host["answered"] > host.get("kiss_after", host["answered"]):
        head = struct.pack(">BBbb", 3 << 6 | 4 << 3 | 4, 0, 0, -20) + b"\0" * 8
        head += host.get("kiss", "RATE").encode().ljust(4, b"\0")[:4]
    else:
        head = struct.pack(">BBbbII", host.get("leap", 0) << 6 | 4 << 3 | 4,
                           host.get("stratum", 1), 0, -20, 0,
                           round(host.get("dispersion", 1 / 2048) * 65536)) + b"SCRP"
    stamps = struct.pack(">Q", ntp_stamp(received + offset))  # reference time
    stamps += origin + struct.pack(">Q", ntp_stamp(received + offset))
    return head + stamps + struct.pack(">Q", ntp_stamp(time.time() + offset))


def flood(third, client, senders):
    data = bytes.fromhex(third.get("data", "00"))
    count = third.get("count", 1)
    burst = third.get("burst", count)
    until = time.monotonic() + third.get("seconds", 0)
    sent = 0
    while sent < count or time.monotonic() < until:
        if sent and sent % burst == 0:
            time.sleep(third.get("pause", 0) / 1000)
        senders[third["from"]].sendto(data, client)
        sent += 1


def answer(host, sock, client, senders, request, received):
    time.sleep(host.get("delay", 0) / 1000)
    third = host.get("third")
    if third:
        flood(third, client, senders)
    if host.get("silent"):
        return
    if third:
        time.sleep(0.2)  # the answer comes at the end, once the client could drain its queue
    out = senders[host["reply_from"]] if "reply_from" in host else sock
    if host.get("ntp"):
        if host.get("forged"):
            forged = bytearray(sntp_reply(dict(host, offset=host.get("offset", 0) + 3600),
                                          request, received) or b"")
            forged[24] ^= 0xFF  # an hour off, and not the origin the client sent
            out.sendto(bytes(forged), client)
            time.sleep(0.05)
        data = sntp_reply(host, request, received)
        if data is None:
            return
    elif "reply" in host:
        data = bytes.fromhex(host["reply"])
    else:
        data = time_bytes(host.get("offset", 0), host.get("align", True)) + bytes.fromhex(host.get("trailer", ""))
    for _ in range(1 + host.get("after", 0)):
        out.sendto(data, client)
    if host.get("then"):
        flood(host["then"], client, senders)


def relay(host, sock, client, request):
    """Forwards one request and its reply, each way `delay` late, off the main loop;
    with "queue", each way also waits a random queue of that mean (ms, exponential,
    from the seeded generator "seed"), as on a busy path."""
    hop = host["relay"]
    if "queue" in hop and "random" not in hop:
        hop["random"] = random.Random(hop.get("seed", 0))

    def late():
        queued = hop["random"].expovariate(1 / hop["queue"]) if "queue" in hop else 0
        return (hop["delay"] + queued) / 1000

    out, back = late(), late()

    def run():
        time.sleep(out)
        upstream = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        upstream.settimeout(5)
        upstream.sendto(request, (hop["to"], 123))
        try:
            data, _ = upstream.recvfrom(2048)
        except socket.timeout:
            return
        time.sleep(back)
        sock.sendto(data, client)

    threading.Thread(target=run, daemon=True).start()


def main():
    plan = json.load(open(sys.argv[1]))
    log = open(plan["log"], "a", buffering=1)
    hosts, senders = {}, {}
    for host in plan["hosts"]:
        family = socket.AF_INET6 if ":" in host["address"] else socket.AF_INET
        sock = socket.socket(family, socket.SOCK_DGRAM)
        # Lets the broadcast listeners share their port with the hosts' own sockets.
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        broadcast = host["address"] == "255.255.255.255"
        sock.bind(("" if broadcast else host["address"], 123 if host.get("ntp") else 37))
        hosts[sock] = host
    for address in plan.get("senders", []):
        sock = socket.socket(socket.AF_INET6 if ":" in address else socket.AF_INET,
                             socket.SOCK_DGRAM)
        sock.bind((address, 0))
        senders[address] = sock
    print("ready", flush=True)
    while True:
        readable, _, _ = select.select(list(hosts), [], [])
        for sock in readable:
            data, client = sock.recvfrom(2048)
            received = time.time()
            host = hosts[sock]
            log.write(json.dumps({"t": received, "host": host["address"], "from": client[0],
                                  "port": client[1], "data": data.hex()}) + "\n")
            if "relay" in host:
                relay(host, sock, client, data)
            else:
                answer(host, sock, client, senders, data, received)


if __name__ == "__main__":
    main()
