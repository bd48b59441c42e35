#!/usr/bin/env python3
"""Scripted RFC 868 time servers for the end-to-end suite.

Serves every host of a JSON plan on UDP port 37 of its own address (a host
255.255.255.255 listens on every address and so hears broadcasts; it answers
from the first address of the link), logs each datagram it receives (JSON
lines), and answers as the host's behaviour says:

  offset   seconds added to this machine's time (default 0)
  reply    hex bytes sent instead of the time ("" sends an empty datagram)
  trailer  hex bytes sent after the four bytes of the time
  silent   true: never answer (but send what `third` says)
  delay    milliseconds to wait before answering
  align    false: answer at once, not early in a second
  third    {"from": address, "count": n, "seconds": s, "data": hex, "burst": b,
           "pause": ms}: first send n datagrams (or more, for s seconds) from
           another address to the client, in bursts of b (default all) with a
           pause between bursts
  after    datagrams of the same answer sent again after it

Prints "ready" once every socket is bound. Runs until killed.
"""
import json
import select
import socket
import sys
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


def answer(host, sock, client, senders):
    time.sleep(host.get("delay", 0) / 1000)
    third = host.get("third")
    if third:
        flood(third, client, senders)
    if host.get("silent"):
        return
    if third:
        time.sleep(0.2)  # the answer comes at the end, once the client could drain its queue
    if "reply" in host:
        data = bytes.fromhex(host["reply"])
    else:
        data = time_bytes(host.get("offset", 0), host.get("align", True)) + bytes.fromhex(host.get("trailer", ""))
    for _ in range(1 + host.get("after", 0)):
        sock.sendto(data, client)


def main():
    plan = json.load(open(sys.argv[1]))
    log = open(plan["log"], "a", buffering=1)
    hosts, senders = {}, {}
    for host in plan["hosts"]:
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        # Lets the broadcast listener share port 37 with the hosts' own sockets.
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        broadcast = host["address"] == "255.255.255.255"
        sock.bind(("" if broadcast else host["address"], 37))
        hosts[sock] = host
    for address in plan.get("senders", []):
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind((address, 0))
        senders[address] = sock
    print("ready", flush=True)
    while True:
        readable, _, _ = select.select(list(hosts), [], [])
        for sock in readable:
            data, client = sock.recvfrom(2048)
            host = hosts[sock]
            log.write(json.dumps({"t": time.time(), "host": host["address"], "from": client[0],
                                  "port": client[1], "data": data.hex()}) + "\n")
            answer(host, sock, client, senders)


if __name__ == "__main__":
    main()
