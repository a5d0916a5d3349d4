"""The synchronous client: each call does its I/O on the caller's thread over a blocking socket,
so a round trip costs what a hand-written socket client's does. Calls from several threads take
turns (one exchange at a time). A keeper thread of the client's own connects, reconnects after
a loss with a capped back-off, and notices a lost connection while nobody calls, so the state
stays true between calls. State listeners are called on whichever of these threads made the
change, never under the client's locks."""

from __future__ import annotations

import contextlib
import errno
import os
import select
import socket
import struct
import sys
import threading
import time
from typing import Any, Callable, Iterable, List, Optional, Tuple, Union

from . import wire
from .client import (
    DEFAULT_TIMEOUT,
    BatchItem,
    Convert,
    Effect,
    Failure,
    State,
    StateChange,
    debug_log_wanted,
    port_file_failure,
    refused,
    reply_value,
    shown,
    wire_log,
)
from .errors import CallTimeout, ConnectionFailed, CuebridgeError, ProtocolError
from .portfile import default_port_file, read_port_file

# The keeper looks at the socket only once nobody has called for this long, so that it never
# competes with a run of calls for the socket.
_IDLE = 0.05
# A socket that finished an exchange this recently is not checked again before the next one:
# the check costs a system call, and a loss in so short a gap fails that call as it would a
# call in flight. A call made any later is checked, so the first call after a host restart
# goes to the new host.
_FRESH = 0.001

# Where the kernel bounds a blocking socket's waits (SO_RCVTIMEO, SO_SNDTIMEO), a send or a
# receive is one system call; a Python socket timeout adds a poll before each. Elsewhere the
# Python timeout is used.
_KERNEL_TIMEOUTS = sys.platform != "win32" and hasattr(socket, "SO_RCVTIMEO")


class _Request:
    """One line of an exchange and, once answered, its result bytes (None: never answered)."""

    __slots__ = ("tag", "line", "replies", "fence", "result", "convert")

    def __init__(self, keyword: str, argument: str, convert: Optional[Convert] = None) -> None:
        self.tag = wire.new_tag()
        self.line = wire.request_line(self.tag, keyword, argument)
        self.replies = keyword in wire.REPLYING
        self.fence = keyword == wire.SCRIPT and argument == ""
        self.result: Optional[bytes] = None
        self.convert = convert

    def value(self) -> Any:
        return None if self.result is None else reply_value(self.result, self.convert)


# A line of an exchange: a caller's request, or the fence that ends the write.
_Line = Union[_Request, wire.Fence]


class Client:
    """The synchronous client; takes the same options as AsyncClient. Any thread may call it."""

    def __init__(
        self,
        port_file: Optional[str] = None,
        *,
        timeout: float = DEFAULT_TIMEOUT,
        backoff: Tuple[float, float] = (0.01, 1.0),
        report_after: float = 0.25,
        max_reply_bytes: int = 256 << 20,
    ) -> None:
        self.port_file = port_file if port_file is not None else default_port_file()
        self.timeout = timeout
        self._backoff = backoff
        self._report_after = report_after
        self._max_reply = max_reply_bytes
        self._debug = debug_log_wanted()
        # Guarded by _lock: the state, the current socket, whether closed, the keeper.
        self._lock = threading.Condition()
        self._state = StateChange(State.DISCONNECTED, "not-started", "connect() not called yet")
        self._sock: Optional[socket.socket] = None
        self._poll: Optional["select.poll"] = None  # the current socket's; used under _io only
        self._sock_timeout = -1.0  # the current socket's timeout; used under _io only
        self._closed = False
        self._keeper: Optional[threading.Thread] = None
        # Written by close() to end the keeper's pending connect at once.
        self._wake_keeper: Optional[Tuple[socket.socket, socket.socket]] = None
        # Whether the current connection has delivered a reply: set by a call's thread under _io,
        # read by the keeper once the connection has ended.
        self._delivered = False
        # Held for a whole exchange: by a call, or by the keeper looking at an idle socket.
        self._io = threading.Lock()
        self._calling = False  # written under _io; the keeper reads it to keep off
        self._last_use = 0.0
        self._listeners: List[Callable[[StateChange], Any]] = []

    # ---- state (any thread) -----------------------------------------------------------

    @property
    def state(self) -> State:
        return self._state.state

    @property
    def state_change(self) -> StateChange:
        return self._state

    def on_state(self, listener: Callable[[StateChange], Any]) -> Callable[[], None]:
        """Calls `listener` with every change; returns a function that removes it."""
        self._listeners.append(listener)
        return lambda: self._listeners.remove(listener)

    def _change(self, state: State, reason: str, detail: str) -> Optional[StateChange]:
        """Under _lock: records the change; the caller reports it once the lock is released.
        Closed is final: nothing under way when close() was called changes it."""
        if (state, reason) == (self._state.state, self._state.reason) or self._state.state is State.CLOSED:
            return None
        self._state = StateChange(state, reason, detail, self._state.state)
        self._lock.notify_all()
        return self._state

    def _report(self, change: Optional[StateChange]) -> None:
        if change is not None:
            for listener in list(self._listeners):
                listener(change)

    def _set_state(self, state: State, reason: str, detail: str) -> None:
        with self._lock:
            change = self._change(state, reason, detail)
        self._report(change)

    def wait_for_state(self, *states: State, timeout: Optional[float] = None) -> StateChange:
        """Waits until the state is one of `states`; raises CallTimeout after `timeout`."""
        with self._lock:
            if self._lock.wait_for(lambda: self._state.state in states, self._limit(timeout)):
                return self._state
            raise CallTimeout(
                f"state still {self._state.state.value} ({self._state.detail}) "
                f"after waiting for {', '.join(s.value for s in states)}"
            )

    def _limit(self, timeout: Optional[float]) -> float:
        return self.timeout if timeout is None else timeout

    # ---- connection -------------------------------------------------------------------

    def connect(self, timeout: Optional[float] = None) -> None:
        """Starts keeping the connection and waits until it is up. On timeout raises
        ConnectionFailed with the reason; the client keeps trying until close(). close() ends
        the wait at once with ConnectionFailed."""
        with self._lock:
            if self._closed:
                raise ConnectionFailed("the client is closed")
            if self._keeper is None:
                self._wake_keeper = socket.socketpair()
                self._keeper = threading.Thread(target=self._keep, name="cuebridge-keeper", daemon=True)
                self._keeper.start()
        try:
            reached = self.wait_for_state(State.CONNECTED, State.CLOSED, timeout=timeout)
        except CallTimeout:
            change = self._state
            raise ConnectionFailed(f"not connected: {change.state.value}, {change.reason}: {change.detail}") from None
        if reached.state is State.CLOSED:
            raise ConnectionFailed("the client was closed")

    def close(self) -> None:
        """Stops for good, at once: a pending connect is abandoned, the connection is closed,
        and a call in flight and a waiting connect() fail with ConnectionFailed."""
        with self._lock:
            if self._closed:
                return
            self._closed = True
            sock, self._sock = self._sock, None
            change = self._change(State.CLOSED, "closed", "close() was called")
            keeper, wake = self._keeper, self._wake_keeper
        self._report(change)
        if sock is not None:
            _shut(sock)  # wakes a call blocked on it; the keeper closes it
        if wake is not None:
            with contextlib.suppress(OSError):  # the keeper closes it as it ends
                wake[1].send(b"x")  # ends a pending connect
        if keeper is not None and keeper is not threading.current_thread():
            keeper.join()

    def __enter__(self) -> "Client":
        try:
            self.connect()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    # keeper thread
    def _keep(self) -> None:
        try:
            self._keep_connected()
        finally:
            assert self._wake_keeper is not None
            for end in self._wake_keeper:
                end.close()

    # keeper thread
    def _keep_connected(self) -> None:
        low, high = self._backoff
        pause, failing_since = low, time.monotonic()
        self._set_state(State.CONNECTING, "connect", f"looking for the plug-in via {self.port_file}")
        while not self._closed:
            sock, failure = self._attempt()
            if sock is not None:
                connected_at = time.monotonic()
                self._watch(sock)
                with self._io:  # a call woken by the drop has let go of it
                    sock.close()
                failing_since = time.monotonic()
                if self._delivered or failing_since - connected_at >= high:
                    pause = low
                    continue
                # Ended at once without a reply (a peer that accepts and closes): a failed
                # attempt, retried after the back-off.
            elif time.monotonic() - failing_since >= self._report_after:
                assert failure is not None
                self._set_state(*failure)
            with self._lock:
                self._lock.wait_for(lambda: self._closed, pause)
            pause = min(pause * 2, high)

    # keeper thread
    def _attempt(self) -> Tuple[Optional[socket.socket], Optional[Failure]]:
        """One connect through the port file: the socket, now current, or why not."""
        found = read_port_file(self.port_file)
        if found.port is None:
            return None, port_file_failure(self.port_file, found.problem)
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            error = self._connect(sock, found.port)
            if error == errno.ECONNREFUSED:
                sock.close()
                return None, refused(found.port)
            if error:
                raise OSError(error, os.strerror(error))
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        except OSError as error:
            sock.close()
            return None, (State.DISCONNECTED, "connect-failed", f"connect to port {found.port} failed: {error!r}")
        with self._lock:
            if self._closed:
                change = None
            else:
                self._sock_timeout = -1.0  # none set for a call yet
                self._delivered = False
                sock.setblocking(True)  # _set_wait bounds each send and receive
                self._poll = select.poll()
                self._poll.register(sock, select.POLLIN)
                self._sock = sock
                change = self._change(State.CONNECTED, "connected", f"connected to 127.0.0.1:{found.port}")
        self._report(change)
        return sock, None

    # keeper thread
    def _connect(self, sock: socket.socket, port: int) -> int:
        """Connects `sock` to the port: 0, or the error number. A connect still pending after
        the client's timeout (at most 5 s), or when close() is called, fails with ETIMEDOUT."""
        assert self._wake_keeper is not None
        sock.setblocking(False)
        error = sock.connect_ex(("127.0.0.1", port))
        if error in (errno.EINPROGRESS, errno.EWOULDBLOCK, getattr(errno, "WSAEWOULDBLOCK", errno.EWOULDBLOCK)):
            writable = select.select([self._wake_keeper[0]], [sock], [sock], min(self.timeout, 5.0))[1:]
            if not any(writable):
                return errno.ETIMEDOUT
            error = sock.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR)
        return error

    # keeper thread
    def _watch(self, sock: socket.socket) -> None:
        """Returns once `sock` is no longer current. While nobody calls, a peer's close (or
        bytes nobody asked for) is seen here, and the connection dropped."""
        while True:
            with self._lock:
                if self._sock is not sock:
                    return
                quiet_for = time.monotonic() - self._last_use
                if self._calling or quiet_for < _IDLE:
                    self._lock.wait(_IDLE)
                    continue
            try:
                readable = select.select([sock], [], [], _IDLE)[0]
            except (OSError, ValueError):
                readable = [sock]
            if readable and self._io.acquire(blocking=False):
                try:
                    problem = _idle_problem(sock, self._poll) if self._sock is sock else None
                    if problem is not None:
                        self._lost(sock, *problem)
                finally:
                    self._io.release()

    def _lost(self, sock: socket.socket, reason: str, detail: str) -> None:
        """Drops `sock` if it is still current; the keeper then closes it and reconnects."""
        with self._lock:
            if self._sock is not sock:
                return
            self._sock = None
            change = self._change(State.CONNECTING, reason, f"{detail}; reconnecting")
        _shut(sock)
        self._report(change)

    # ---- calls (any thread) -------------------------------------------------------------

    def _exchange(self, calls: List[_Request], timeout: Optional[float]) -> None:
        """Sends `calls` and a fence in one write and reads until the fence is answered."""
        deadline = time.monotonic() + self._limit(timeout)
        requests: List[_Line] = [*calls]
        if not requests[-1].fence:
            requests.append(wire.Fence())
        data = b"".join([r.line for r in requests])
        while True:
            sock = self._current(deadline)
            with self._io:
                if self._sock is not sock:
                    continue  # dropped while this call waited for its turn
                fresh = time.monotonic() - self._last_use < _FRESH
                problem = None if fresh else _idle_problem(sock, self._poll)
                if problem is not None:  # gone before this call was sent: nothing lost
                    self._lost(sock, *problem)
                    continue
                self._calling = True
                try:
                    return self._run(sock, requests, data, deadline)
                finally:
                    self._calling = False
                    self._last_use = time.monotonic()

    def _current(self, deadline: float) -> socket.socket:
        sock = self._sock  # read without the lock: the caller checks it again under _io
        if sock is not None:
            return sock
        with self._lock:
            self._lock.wait_for(lambda: self._closed or self._sock is not None, deadline - time.monotonic())
            if self._closed:
                raise ConnectionFailed("the client is closed")
            if self._sock is None:
                change = self._state
                waiting = f"{change.state.value}, {change.reason}: {change.detail}"
                raise ConnectionFailed(f"not connected within the call's timeout ({waiting})")
            return self._sock

    # under _io
    def _run(self, sock: socket.socket, requests: List[_Line], data: bytes, deadline: float) -> None:
        if self._debug:
            for request in requests:
                wire_log.debug("> %s", shown(request.line[:-1]))
        try:
            # The first read waits as long as the write may; later ones what is left. A call
            # with the client's own timeout finds the socket set for it already, within 1%
            # (setting it costs two system calls).
            left = deadline - time.monotonic()
            if abs(self._sock_timeout - left) > min(0.1, left / 100):
                self._set_wait(sock, left)
            sock.sendall(data)
            if len(requests) == 2:
                self._read_one(sock, requests[0], requests[1], deadline)
            else:
                self._read_framed(sock, requests, deadline)
        except (socket.timeout, BlockingIOError):  # BlockingIOError: a kernel timeout ran out
            self._lost(sock, "timeout", "a call timed out")
            raise CallTimeout("no reply within the call's timeout; reconnecting") from None
        except ProtocolError as error:
            self._lost(sock, "protocol", str(error))
            raise
        except OSError as error:
            self._lost(sock, "connection-lost", f"the connection was lost: {error!r}")
            raise ConnectionFailed(f"the connection to the plug-in was lost: {error!r}") from None

    # under _io
    def _set_wait(self, sock: socket.socket, seconds: float) -> None:
        """Bounds each later send and receive on `sock` to `seconds`."""
        seconds = min(max(seconds, 1e-3), 2.0**31 - 1)
        self._sock_timeout = seconds
        if not _KERNEL_TIMEOUTS:
            sock.settimeout(seconds)
            return
        whole = int(seconds)
        # struct timeval; on 64-bit macOS its microseconds are an int, padded to a long's size
        bound = struct.pack("@ll", whole, int((seconds - whole) * 1e6))
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVTIMEO, bound)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDTIMEO, bound)

    def _read(self, sock: socket.socket, deadline: float, again: bool) -> bytes:
        if again:
            left = deadline - time.monotonic()
            if left <= 0:
                raise socket.timeout()
            self._set_wait(sock, left)
        chunk = sock.recv(1 << 16)
        if not chunk:
            raise ConnectionResetError("the plug-in closed the connection")
        self._delivered = True
        return chunk

    # under _io
    def _read_framed(self, sock: socket.socket, requests: List[_Line], deadline: float) -> None:
        framer = wire.Framer(self._max_reply)
        for request in requests:
            framer.add(request)
        fence, answered, again = requests[-1], False, False
        while not answered:
            for entry, result in framer.feed(self._read(sock, deadline, again)):
                assert isinstance(entry, (_Request, wire.Fence))
                entry.result = result
                if self._debug and result is not None:
                    wire_log.debug("< %s", shown(entry.tag + b"|" + result))
                answered = entry is fence
            again = True

    # under _io
    def _read_one(self, sock: socket.socket, request: _Line, fence: _Line, deadline: float) -> None:
        """One request and its fence: the bytes are the request's `tag|` and result (when it
        is answered), then the fence's `tag|`, and nothing else."""
        head = (request.tag if request.replies else fence.tag) + b"|"
        end = fence.tag + b"|"
        first = self._read(sock, deadline, False)
        # Most replies arrive in one read; a long one grows in place (linear, held once).
        received: Union[bytes, bytearray] = first
        while len(received) < len(head) or not received.endswith(end):
            if not head.startswith(received[: len(head)]):
                break  # out of step: told below
            if len(received) > self._max_reply:
                raise ProtocolError(f"a reply grew past {self._max_reply} bytes")
            if received is first:
                received = bytearray(first)
            received += self._read(sock, deadline, True)
        if not received.startswith(head) or (not request.replies and len(received) != len(end)):
            raise ProtocolError(f"expected the reply to {head[:-1].decode()}, got {bytes(received[:40])!r}")
        if request.replies and received is first:
            request.result = first[len(head) : len(first) - len(end)]
        elif request.replies:
            with memoryview(received) as view:  # one copy of a long reply, not two
                request.result = bytes(view[len(head) : len(received) - len(end)])
            if self._debug:
                wire_log.debug("< %s", shown(bytes(received[: len(received) - len(end)])))
        if self._debug:
            wire_log.debug("< %s", shown(end))

    def _one(self, keyword: str, argument: str, timeout: Optional[float], convert: Optional[Convert] = None) -> Any:
        request = _Request(keyword, argument, convert)
        self._exchange([request], timeout)
        return request.value()

    def call(self, keyword: str, argument: str = "", *, timeout: Optional[float] = None) -> Optional[str]:
        """Any keyword: the result text, or None for a keyword that is never answered."""
        return self._one(keyword, argument, timeout)  # type: ignore[no-any-return]

    def language(self, *, timeout: Optional[float] = None) -> str:
        return self._one(wire.LANGUAGE, "", timeout)  # type: ignore[no-any-return]

    def effects(self, *, timeout: Optional[float] = None) -> List[Effect]:
        return self._one(wire.EFFECTS, "", timeout, _effects)  # type: ignore[no-any-return]

    def script(self, text: str, *, timeout: Optional[float] = None) -> str:
        """Runs ExtendScript on the host's main thread; line feeds are sent as carriage returns."""
        return self._one(wire.SCRIPT, text.replace("\r\n", "\r").replace("\n", "\r"), timeout)  # type: ignore[no-any-return]

    def execute_command(self, command: int, *, timeout: Optional[float] = None) -> None:
        if not -(2**31) <= command < 2**31:
            raise ValueError(f"command {command} is outside the 32-bit signed range")
        self._one(wire.EXECUTE_COMMAND, str(int(command)), timeout)

    def set_info_text(self, *, timeout: Optional[float] = None) -> None:
        self._one(wire.INFO_PANEL_COMMAND, "SetInfoText", timeout)

    def set_info_color(self, *, timeout: Optional[float] = None) -> None:
        self._one(wire.INFO_PANEL_COMMAND, "SetInfoColor", timeout)

    def select_first_item(self, *, timeout: Optional[float] = None) -> None:
        self._one(wire.NAVIGATE_COMMAND, "First", timeout)

    def select_next_item(self, *, timeout: Optional[float] = None) -> None:
        self._one(wire.NAVIGATE_COMMAND, "Next", timeout)

    def flush(self, *, timeout: Optional[float] = None) -> None:
        """Returns once the plug-in has handled everything sent before it."""
        self._one(wire.SCRIPT, "", timeout, lambda _: None)

    def batch(
        self, items: Iterable[BatchItem], *, timeout: Optional[float] = None, return_exceptions: bool = False
    ) -> List[Any]:
        """Sends the calls in one write; their results in order (None for those never answered).
        A failed script raises its ScriptError, or is returned in its place with
        return_exceptions."""
        requests = [_Request(*((item, "") if isinstance(item, str) else item)) for item in items]
        if not requests:
            return []
        self._exchange(requests, timeout)
        results: List[Any] = []
        for request in requests:
            try:
                results.append(request.value())
            except CuebridgeError as error:
                if not return_exceptions:
                    raise
                results.append(error)
        return results

    def wait_until_ready(self, timeout: Optional[float] = None, interval: float = 0.05) -> List[Effect]:
        """Waits until the plug-in has stored the installed-effects list; returns it."""
        deadline = time.monotonic() + self._limit(timeout)
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise CallTimeout("the plug-in did not store its installed-effects list in time")
            effects = self.effects(timeout=left)
            if effects:
                return effects
            time.sleep(min(interval, max(0.0, deadline - time.monotonic())))


def _effects(text: str) -> List[Effect]:
    return [Effect(*record) for record in wire.parse_effects(text)]


def _idle_problem(sock: socket.socket, poll: Optional["select.poll"]) -> Optional[Tuple[str, str]]:
    """Whether a socket nobody is reading from has been closed by the peer or holds bytes
    nobody asked for: the reason code and a sentence, or None while it is sound. `poll` has
    the socket registered for reading."""
    try:
        if poll is not None and not poll.poll(0):
            return None
        data = sock.recv(1, socket.MSG_PEEK | socket.MSG_DONTWAIT)
    except BlockingIOError:
        return None
    except (OSError, ValueError) as error:
        return "connection-lost", f"the connection was lost: {error!r}"
    if not data:
        return "connection-lost", "the plug-in closed the connection"
    return "protocol", "bytes arrived that no request asked for"


def _shut(sock: socket.socket) -> None:
    try:
        sock.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
