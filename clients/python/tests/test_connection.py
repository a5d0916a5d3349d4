"""Finding, losing and finding again the plug-in: restarts, another controller, stale and
missing port files, timeouts."""

import asyncio
import contextlib
import logging
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import pytest

from cuebridge import AsyncClient, CallTimeout, Client, ConnectionFailed, Poller, State, default_port_file
from cuebridge.portfile import port_is_held
from cuebridge.host import SimulatedHost

BUSY = "var t = +new Date(); while (+new Date() - t < {ms}) {{}} 'done'"


async def until(condition, timeout=5.0):
    async def poll():
        while not condition():
            await asyncio.sleep(0.01)

    await asyncio.wait_for(poll(), timeout)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def write_port_file(home, content):
    path = default_port_file(home)
    os.makedirs(os.path.dirname(path))
    if content is None:
        os.mkfifo(path)
    else:
        with open(path, "w") as file:
            file.write(content)
    return path


@pytest.mark.parametrize(
    "content, state, reason",
    [
        (lambda: str(free_port()), State.DISCONNECTED, "stale-port-file"),
        (lambda: "12x", State.DISCONNECTED, "bad-port-file"),
        (lambda: None, State.DISCONNECTED, "bad-port-file"),  # a FIFO: never opened for reading
        (lambda: False, State.DISCONNECTED, "no-port-file"),
    ],
)
def test_state_says_why_there_is_no_plugin(content, state, reason):
    async def check(home):
        value = content()
        path = write_port_file(home, value) if value is not False else default_port_file(home)
        client = AsyncClient(path, timeout=0.5)
        with pytest.raises(ConnectionFailed, match="not connected"):
            await client.connect()
        assert (client.state, client.state_change.reason) == (state, reason)
        with pytest.raises(ConnectionFailed, match=reason):
            await client.language(timeout=0.3)
        await client.close()
        assert client.state is State.CLOSED

    with tempfile.TemporaryDirectory() as home:
        asyncio.run(check(home))


def test_held_by_another_controller_then_free():
    with SimulatedHost() as host:
        port = host.wait_for_port()
        host.client.close()
        other = socket.create_connection(("127.0.0.1", host.wait_for_port(not_port=port)))

        async def check():
            client = host.async_client()
            changes = []
            client.on_state(changes.append)
            task = asyncio.ensure_future(client.connect(timeout=10))
            await client.wait_for_state(State.HELD, timeout=5)
            other.close()
            await task
            assert await client.language() == "en_US"
            await client.close()
            assert [c.state for c in changes][-3:] == [State.HELD, State.CONNECTED, State.CLOSED]

        asyncio.run(check())


def test_host_restart_fails_the_call_in_flight_and_reconnects_to_the_new_port():
    with SimulatedHost(connect=False) as host:
        async def check():
            client = host.async_client()
            await client.connect()
            old = host.wait_for_port()
            values, errors = [], []
            # Rate-limited far beyond the test: only a reconnect makes it run again.
            poller = Poller(client, lambda c: c.language(), values.append, errors.append, interval=60)
            await until(lambda: values)
            in_flight = client.script(BUSY.format(ms=5000))
            await asyncio.sleep(0.2)
            host.kill()
            with pytest.raises(ConnectionFailed):
                await in_flight
            assert client.state in (State.CONNECTING, State.DISCONNECTED)
            host.start(connect=False)
            new = host.wait_for_port(not_port=old)
            assert await client.language() == "en_US"
            assert client.state_change.detail.endswith(f":{new}")
            await until(lambda: len(values) == 2)
            await poller.stop()
            assert (values, errors) == (["en_US", "en_US"], [])
            await client.close()

        asyncio.run(check())


def test_timeout_drops_the_stream_and_the_next_call_succeeds():
    with SimulatedHost(connect=False) as host:
        async def check():
            client = host.async_client(timeout=5)
            await client.connect()
            slow = client.script(BUSY.format(ms=1500), timeout=0.3)
            behind = client.language()
            for call in (slow, behind):
                with pytest.raises(CallTimeout):
                    await call
            assert await client.language() == "en_US"
            await client.close()

        asyncio.run(check())


def test_debug_variable_logs_every_line_sent_and_received(monkeypatch, caplog):
    monkeypatch.setenv("CUEBRIDGE_DEBUG", "1")
    with SimulatedHost(connect=False) as host, caplog.at_level(logging.DEBUG, "cuebridge.wire"):
        async def check():
            async with host.async_client() as client:
                await client.language()

        asyncio.run(check())
    lines = [r.getMessage() for r in caplog.records if r.name == "cuebridge.wire"]
    assert [line[:2] for line in lines] == ["> ", "> ", "< ", "< "]
    assert lines[0].endswith("|GetAfterEffectLanguage|") and lines[2].endswith("|en_US")


@pytest.mark.parametrize(
    "local, state, held",
    [("0100007F:C350", "0A", True), ("00000000000000000000000001000000:C350", "01", True),
     ("0100007F:C350", "08", True), ("0100007F:C350", "06", False), ("0100007F:C351", "0A", False)],
)
def test_port_is_held_by_any_socket_but_one_in_time_wait(tmp_path, local, state, held):
    table = tmp_path / "tcp"
    table.write_text(
        "  sl  local_address rem_address   st tx_queue rx_queue\n"
        f"   0: {local} 0100007F:9C40 {state} 00000000:00000000 00:00000000 00000000  1000\n"
    )
    assert port_is_held(50000, (str(table),)) is held


# ---- the synchronous client: its own socket and keeper thread ----------------------------


def test_sync_client_reconnects_after_a_restart_and_fails_the_call_in_flight():
    with SimulatedHost(connect=False) as host:
        client = host.new_client()
        old = host.wait_for_port()
        assert client.language() == "en_US"
        failed = []

        def in_flight():
            try:
                client.script(BUSY.format(ms=5000))
            except ConnectionFailed as error:
                failed.append(error)

        thread = threading.Thread(target=in_flight)
        thread.start()
        time.sleep(0.2)
        host.kill()
        thread.join(10)
        assert len(failed) == 1 and not thread.is_alive()
        host.start(connect=False)
        new = host.wait_for_port(not_port=old)
        assert client.language() == "en_US"
        assert client.state_change.detail.endswith(f":{new}")
        # Killed while idle: the keeper sees the loss, and the next call goes to the new host.
        client.wait_for_state(State.CONNECTED)
        host.kill()
        client.wait_for_state(State.CONNECTING, State.DISCONNECTED, timeout=5)
        host.start(connect=False)
        assert client.language() == "en_US"


def test_sync_client_held_timeout_and_stale_port_file():
    with SimulatedHost() as host:
        port = host.wait_for_port()
        host.client.close()
        other = socket.create_connection(("127.0.0.1", host.wait_for_port(not_port=port)))
        client = Client(host.port_file, timeout=5)
        changes = []
        client.on_state(changes.append)
        with pytest.raises(ConnectionFailed, match="not connected"):
            client.connect(timeout=0)  # starts the keeper
        client.wait_for_state(State.HELD, timeout=5)
        other.close()
        client.wait_for_state(State.CONNECTED, timeout=5)
        assert [c.state for c in changes][-2:] == [State.HELD, State.CONNECTED]
        with pytest.raises(CallTimeout):
            client.script(BUSY.format(ms=1500), timeout=0.3)
        assert client.language() == "en_US"
        client.close()
        assert client.state is State.CLOSED
        with pytest.raises(ConnectionFailed, match="closed"):
            client.language()
    with tempfile.TemporaryDirectory() as home:
        client = Client(write_port_file(home, str(free_port())), timeout=0.5)
        with pytest.raises(ConnectionFailed, match="stale-port-file"):
            client.connect()
        client.close()


# ---- fake plug-ins that misbehave, against both clients ------------------------------------

KINDS = ["Client", "AsyncClient"]


def serve(handle):
    """A listener on a free port that runs handle(connection) on a thread for each one."""
    server = socket.create_server(("127.0.0.1", 0))

    def accept():
        while True:
            try:
                connection, _ = server.accept()
            except OSError:
                return
            threading.Thread(target=handle, args=(connection,), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    return server


def port_file(tmp_path, server):
    path = tmp_path / "socket.port"
    path.write_text(str(server.getsockname()[1]))
    return str(path)


def run_client(kind, path, body, **options):
    """Runs body(client) (a coroutine function for the AsyncClient), then closes the client."""
    if kind == "Client":
        client = Client(path, **options)
        try:
            body(client)
        finally:
            client.close()
        return

    async def run():
        client = AsyncClient(path, **options)
        try:
            await body(client)
        finally:
            await client.close()

    asyncio.run(run())


@pytest.mark.parametrize("kind", KINDS)
def test_a_peer_that_accepts_and_closes_at_once_is_retried_with_the_back_off(tmp_path, kind):
    connects = []
    server = serve(lambda connection: (connects.append(1), connection.close()))
    path = port_file(tmp_path, server)

    def sync(client):
        with contextlib.suppress(ConnectionFailed):
            client.connect(timeout=0)
        time.sleep(1)

    async def asynchronous(client):
        with contextlib.suppress(ConnectionFailed):
            await client.connect(timeout=0)
        await asyncio.sleep(1)

    run_client(kind, path, sync if kind == "Client" else asynchronous)
    server.close()
    # 10 ms doubled up to 1 s: 7 attempts in the first second.
    assert len(connects) <= 10, f"{len(connects)} connects in 1 s"


@pytest.mark.parametrize("kind", KINDS)
def test_close_ends_a_pending_connect_at_once_and_for_good(tmp_path, kind):
    # A listener that accepts nothing, its queue full: a further connect stays pending.
    stalled = socket.create_server(("127.0.0.1", 0), backlog=0)
    fillers = [socket.socket() for _ in range(2)]
    for filler in fillers:
        filler.setblocking(False)
        filler.connect_ex(stalled.getsockname())
    path = port_file(tmp_path, stalled)
    reached = []
    later = serve(reached.append)  # the plug-in found next must never see the closed client
    took = {}

    def sync(client):
        failed = []
        waiting = threading.Thread(target=lambda: failed.append(pytest.raises(ConnectionFailed, client.connect)))
        waiting.start()
        time.sleep(0.2)
        started = time.monotonic()
        client.close()
        took["close"] = time.monotonic() - started
        waiting.join()
        took["connect"] = time.monotonic() - started
        assert "closed" in str(failed[0].value)

    async def asynchronous(client):
        waiting = asyncio.ensure_future(client.connect())
        await asyncio.sleep(0.2)
        started = time.monotonic()
        await client.close()
        took["close"] = time.monotonic() - started
        with pytest.raises(ConnectionFailed, match="closed"):
            await waiting
        took["connect"] = time.monotonic() - started

    states = []

    def body(client):
        client.on_state(states.append)
        return (sync if kind == "Client" else asynchronous)(client)

    run_client(kind, path, body, timeout=3)
    Path(path).write_text(str(later.getsockname()[1]))
    time.sleep(0.3)
    assert took["close"] < 0.5 and took["connect"] < 0.5, took
    assert states[-1].state is State.CLOSED and reached == []
    for end in (stalled, later, *fillers):
        end.close()


def endless_reply(connection):
    """Answers the first request with its tag and then bytes without end."""
    tag = connection.recv(16)
    piece = b"x" * (1 << 20)
    with contextlib.suppress(OSError):
        connection.sendall(tag + b"|")
        while True:
            connection.sendall(piece)


MEASURE = """
import asyncio, resource, sys
from cuebridge import AsyncClient, Client, ProtocolError
kind, path, bound = sys.argv[1], sys.argv[2], int(sys.argv[3])
peak = lambda: resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
async def run_async():
    async with AsyncClient(path, max_reply_bytes=bound) as client:
        await client.script("1")
before = peak()  # the connect's own growth counts too
try:
    if kind == "Client":
        with Client(path, max_reply_bytes=bound) as client:
            client.script("1")
    else:
        asyncio.run(run_async())
except ProtocolError:
    print(peak() - before)
"""


@pytest.mark.parametrize("kind", KINDS)
def test_an_endless_reply_holds_the_process_to_the_reply_bound(tmp_path, kind):
    server = serve(endless_reply)
    bound = 64 << 20
    run = subprocess.run(
        [sys.executable, "-c", MEASURE, kind, port_file(tmp_path, server), str(bound)],
        env={**os.environ, "PYTHONPATH": str(Path(__file__).parents[1])},
        capture_output=True, text=True, timeout=60,
    )
    server.close()
    assert run.returncode == 0 and run.stdout, run.stderr
    grew = int(run.stdout)
    assert grew < 1.25 * bound, f"the process grew by {grew >> 20} MiB for a bound of {bound >> 20} MiB"
