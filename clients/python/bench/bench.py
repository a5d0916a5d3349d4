"""The library beside a raw socket in Python, in one run against the simulated host: query
round trip, script round trip, pipelined commands per second. The synchronous Client is set
beside a blocking socket, the AsyncClient beside the least an asyncio protocol can do. All do
what the protocol asks of a correct controller (each exchange ends with an empty-script
marker). Blocks of each are interleaved so that a change in the machine's load falls on all.

    python3 bench/bench.py [--rounds 15] [--calls 700] [--commands 10000] [--unpinned]

The host runs on the first CPU this process may use and the clients on the second.
"""

from __future__ import annotations

import argparse
import asyncio
import os
import socket
import statistics
import sys
import time
from typing import Awaitable, Callable, Dict, List

BLOCKS = 3  # pipelined blocks per round and client

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

from cuebridge import AsyncClient, Client, SimulatedHost  # noqa: E402
from cuebridge.wire import new_tag  # noqa: E402


class Raw:
    """A blocking socket speaking the protocol by hand: request and marker in one write, read
    until the bytes end with the marker's reply."""

    def __init__(self, host: SimulatedHost) -> None:
        # A refused connect delivered nothing: retried while the plug-in re-listens.
        deadline = time.monotonic() + 10
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", host.wait_for_port()))
                break
            except ConnectionRefusedError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.01)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def exchange(self, lines: bytes) -> bytes:
        marker = new_tag()
        self.sock.sendall(lines + marker + b"|Script|\n")
        end = marker + b"|"
        received = bytearray()
        while not received.endswith(end):
            chunk = self.sock.recv(1 << 16)
            if not chunk:
                raise ConnectionError("the plug-in closed the connection")
            received += chunk
        return bytes(received[: -len(end)])

    def close(self) -> None:
        self.sock.close()


def raw_rounds(host: SimulatedHost, calls: int, commands: int) -> Dict[str, List[float]]:
    raw = Raw(host)
    try:
        timings: Dict[str, List[float]] = {}
        for name, line in (("query", b"|GetAfterEffectLanguage|\n"), ("script", b"|Script|1+1\n")):
            timings[name] = []
            for _ in range(calls):
                start = time.perf_counter()
                raw.exchange(new_tag() + line)
                timings[name].append(time.perf_counter() - start)
        timings["commands"] = []
        for _ in range(BLOCKS):
            start = time.perf_counter()
            raw.exchange(b"".join(new_tag() + b"|ExecuteCommand|100000\n" for _ in range(commands)))
            timings["commands"].append(commands / (time.perf_counter() - start))
        return timings
    finally:
        raw.close()


class _Bare(asyncio.Protocol):
    """The least an asyncio controller can do: collect bytes until they end with the marker."""

    def __init__(self) -> None:
        self.buffer = bytearray()
        self.end = b""
        self.done: "asyncio.Future[None] | None" = None

    def data_received(self, data: bytes) -> None:
        self.buffer += data
        if self.buffer.endswith(self.end) and self.done is not None:
            self.done.set_result(None)


async def bare_rounds(host: SimulatedHost, calls: int, commands: int) -> Dict[str, List[float]]:
    loop = asyncio.get_running_loop()
    deadline = time.monotonic() + 10
    while True:
        try:
            transport, bare = await loop.create_connection(_Bare, "127.0.0.1", host.wait_for_port())
            break
        except ConnectionRefusedError:
            if time.monotonic() > deadline:
                raise
            await asyncio.sleep(0.01)

    async def exchange(lines: bytes) -> None:
        marker = new_tag()
        bare.buffer, bare.end, bare.done = bytearray(), marker + b"|", loop.create_future()
        transport.write(lines + marker + b"|Script|\n")
        await bare.done

    timings: Dict[str, List[float]] = {}
    for name, line in (("query", b"|GetAfterEffectLanguage|\n"), ("script", b"|Script|1+1\n")):
        timings[name] = []
        for _ in range(calls):
            start = time.perf_counter()
            await exchange(new_tag() + line)
            timings[name].append(time.perf_counter() - start)
    timings["commands"] = []
    for _ in range(BLOCKS):
        start = time.perf_counter()
        await exchange(b"".join(new_tag() + b"|ExecuteCommand|100000\n" for _ in range(commands)))
        timings["commands"].append(commands / (time.perf_counter() - start))
    transport.close()
    return timings


async def library_rounds(port_file: str, calls: int, commands: int) -> Dict[str, List[float]]:
    async with AsyncClient(port_file) as client:
        timings: Dict[str, List[float]] = {}
        work: Dict[str, Callable[[], Awaitable[str]]] = {
            "query": client.language,
            "script": lambda: client.script("1+1"),
        }
        for name, call in work.items():
            timings[name] = []
            for _ in range(calls):
                start = time.perf_counter()
                await call()
                timings[name].append(time.perf_counter() - start)
        timings["commands"] = []
        for _ in range(BLOCKS):
            start = time.perf_counter()
            await asyncio.gather(*(client.execute_command(100000) for _ in range(commands)))
            timings["commands"].append(commands / (time.perf_counter() - start))
        return timings


def sync_rounds(port_file: str, calls: int, commands: int) -> Dict[str, List[float]]:
    with Client(port_file) as client:
        timings: Dict[str, List[float]] = {}
        work: Dict[str, Callable[[], object]] = {"query": client.language, "script": lambda: client.script("1+1")}
        for name, call in work.items():
            timings[name] = []
            for _ in range(calls):
                start = time.perf_counter()
                call()
                timings[name].append(time.perf_counter() - start)
        timings["commands"] = []
        for _ in range(BLOCKS):
            start = time.perf_counter()
            client.batch([("ExecuteCommand", "100000")] * commands)
            timings["commands"].append(commands / (time.perf_counter() - start))
        return timings


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--calls", type=int, default=700)
    parser.add_argument("--commands", type=int, default=10000)
    parser.add_argument("--unpinned", action="store_true", help="let the system place host and clients")
    parser.add_argument("--long-mib", type=int, default=32, help="size of the long reply timed at the end")
    options = parser.parse_args()
    runs: Dict[str, List[Dict[str, List[float]]]] = {"raw": [], "sync": [], "asyncio": [], "library": []}
    cpus = sorted(os.sched_getaffinity(0))
    pin = not options.unpinned and len(cpus) >= 2
    if pin:  # the host on one CPU, the clients on another: less migration noise, same for all
        os.sched_setaffinity(0, {cpus[0]})
    with SimulatedHost(connect=False) as host:
        if pin:
            os.sched_setaffinity(0, {cpus[1]})
        for _ in range(options.rounds):
            runs["raw"].append(raw_rounds(host, options.calls, options.commands))
            runs["sync"].append(sync_rounds(host.port_file, options.calls, options.commands))
            runs["asyncio"].append(asyncio.run(bare_rounds(host, options.calls, options.commands)))
            runs["library"].append(asyncio.run(library_rounds(host.port_file, options.calls, options.commands)))
        # A long reply to the synchronous Client, alone and in a batch: both assembled in linear time.
        long_reply = f"var s = 'x'; while (s.length < {options.long_mib << 20}) s = s + s; s"
        with Client(host.port_file, timeout=600) as client:
            start = time.perf_counter()
            client.script(long_reply)
            alone = time.perf_counter() - start
            start = time.perf_counter()
            client.batch([("Script", long_reply)])
            batched = time.perf_counter() - start
    print(f"{options.rounds} interleaved rounds of {options.calls} calls and {options.commands} commands; medians")
    print(f"{'':26}{'socket':>10}{'Client':>10}{'/socket':>9}{'asyncio':>10}{'AsyncClient':>12}{'/asyncio':>9}")
    labels = {"query": "query round trip", "script": "script round trip", "commands": "pipelined commands"}
    for name, unit, scale in (("query", "us", 1e6), ("script", "us", 1e6), ("commands", "/s", 1.0)):
        # Round trips: the median of every call of every round; throughput: of every block.
        raw, sync, bare, lib = (statistics.median(t for r in runs[k] for t in r[name]) for k in runs)
        figures = f"{raw * scale:10.1f}{sync * scale:10.1f}{sync / raw:9.2f}{bare * scale:10.1f}{lib * scale:12.1f}{lib / bare:9.2f}"
        print(f"{labels[name] + ' (' + unit + ')':26}{figures}")
    print(f"a {options.long_mib} MiB reply to the Client: {alone:.2f} s alone, {batched:.2f} s in a batch")


if __name__ == "__main__":
    main()
