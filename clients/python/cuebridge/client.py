"""The asyncio client: one long-lived connection to the plug-in, re-established by itself,
with an explicit state, pipelined calls matched to their replies, and a timeout per call.
Everything here runs on the event loop's thread: create the client and make its calls there."""

from __future__ import annotations

import asyncio
import enum
import logging
import os
import time
from collections import deque
from dataclasses import dataclass
from typing import Any, Callable, Deque, Iterable, List, Optional, Sequence, Tuple, Union

from . import wire
from .errors import CallTimeout, ConnectionFailed, CuebridgeError, ProtocolError, ScriptError
from .portfile import default_port_file, port_is_held, read_port_file

log = logging.getLogger("cuebridge")
wire_log = logging.getLogger("cuebridge.wire")

DEFAULT_TIMEOUT = 10.0
# Calls queued in one turn of the loop go out once this many are waiting (a fence each time).
_WRITE_AT = 256
DEBUG_VARIABLE = "CUEBRIDGE_DEBUG"


class State(str, enum.Enum):
    DISCONNECTED = "disconnected"
    CONNECTING = "connecting"
    CONNECTED = "connected"
    HELD = "held"
    CLOSED = "closed"


@dataclass(frozen=True)
class StateChange:
    """One change of state. `reason` is a short code ("connected", "connection-lost",
    "timeout", "protocol", "no-port-file", "bad-port-file", "stale-port-file", "held",
    "connect-failed", "closed", "not-started"); `detail` says it in a sentence."""

    state: State
    reason: str
    detail: str
    previous: Optional[State] = None


@dataclass(frozen=True)
class Effect:
    match_name: str
    display_name: str
    category: str


# What a batch item is: a keyword, or a keyword and its argument.
BatchItem = Union[str, Tuple[str, str]]
Convert = Callable[[str], Any]


Failure = Tuple[State, str, str]


def port_file_failure(path: str, problem: Optional[str]) -> Failure:
    """Why a port file names no port, as a state, its reason code and a sentence."""
    if problem == "missing":
        return State.DISCONNECTED, "no-port-file", f"no port file at {path}"
    what = "not a regular file" if problem == "not-regular" else "not a port number"
    return State.DISCONNECTED, "bad-port-file", f"{path} is {what}"


def refused(port: int) -> Failure:
    """Why a connect to `port` was refused: another controller holds it, or nothing does."""
    if port_is_held(port):
        return State.HELD, "held", f"port {port} is held: another controller has the plug-in"
    return (
        State.DISCONNECTED,
        "stale-port-file",
        f"the port file names port {port}, which no socket holds (the plug-in is not running)",
    )


def reply_value(result: bytes, convert: Optional[Convert]) -> Any:
    """A reply's result as the caller gets it; raises ScriptError for a failed script."""
    text = result.decode("utf-8", errors="replace")
    if text.startswith(wire.SCRIPT_ERROR_PREFIX):
        raise ScriptError(text[len(wire.SCRIPT_ERROR_PREFIX) :])
    return convert(text) if convert is not None else text


class _Call:
    """One request: its line, its tag, how its result is converted, and its future."""

    __slots__ = ("tag", "line", "replies", "fence", "future", "deadline", "convert")

    def __init__(
        self,
        loop: asyncio.AbstractEventLoop,
        keyword: str,
        argument: str,
        deadline: float,
        convert: Optional[Convert],
    ) -> None:
        self.tag = wire.new_tag()
        self.line = wire.request_line(self.tag, keyword, argument)
        self.replies = keyword in wire.REPLYING
        self.fence = keyword == wire.SCRIPT and argument == ""
        self.future: asyncio.Future[Any] = loop.create_future()
        self.deadline = deadline
        self.convert = convert

    def fail(self, error: BaseException) -> None:
        if not self.future.done():
            self.future.set_exception(error)

    def settle(self, result: Optional[bytes]) -> None:
        future = self.future
        if future.done():
            return
        if result is None:
            future.set_result(None)
            return
        try:
            future.set_result(reply_value(result, self.convert))
        except CuebridgeError as error:
            future.set_exception(error)


def debug_log_wanted() -> bool:
    """Whether the environment asks for the wire log; if so, it goes to stderr unless the
    application has given the logger a handler of its own."""
    if os.environ.get(DEBUG_VARIABLE, "") in ("", "0"):
        return False
    if not wire_log.handlers:
        handler = logging.StreamHandler()
        handler.setFormatter(logging.Formatter("cuebridge %(message)s"))
        wire_log.addHandler(handler)
        wire_log.setLevel(logging.DEBUG)
    return True


def shown(data: bytes, limit: int = 2000) -> str:
    text = repr(data[:limit])[2:-1]
    return text if len(data) <= limit else f"{text}... ({len(data)} bytes)"


class _Wire(asyncio.Protocol):
    """The transport's callbacks, handed to the client."""

    def __init__(self, client: "AsyncClient") -> None:
        self.client = client
        self.transport: Optional[asyncio.Transport] = None
        self.lost = False

    def connection_made(self, transport: asyncio.BaseTransport) -> None:
        assert isinstance(transport, asyncio.Transport)
        self.transport = transport

    def data_received(self, data: bytes) -> None:
        self.client._received(self, data)

    def eof_received(self) -> Optional[bool]:
        return False  # close our side too

    def connection_lost(self, exc: Optional[Exception]) -> None:
        self.lost = True
        self.client._lost(self, exc)


class AsyncClient:
    """A client for the plug-in.

    port_file: where the plug-in publishes its port (default: under $HOME, as the protocol
    says). timeout: seconds each call may take, from the moment it is made (a call made while
    disconnected waits for the connection within it). backoff: first and largest pause between
    connect attempts; report_after: how long attempts may fail before the state says why
    (the plug-in re-listens on a new port a moment after each connection ends).
    """

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
        self._state = StateChange(State.DISCONNECTED, "not-started", "connect() not called yet")
        self._listeners: List[Callable[[StateChange], Any]] = []
        self._outbox: Deque[_Call] = deque()
        self._wire: Optional[_Wire] = None
        self._framer = wire.Framer(max_reply_bytes)
        self._write_scheduled = False
        self._watch: Optional[asyncio.TimerHandle] = None
        self._watch_at = float("inf")
        self._manager: Optional[asyncio.Task[None]] = None
        self._wake = asyncio.Event()
        self._changed = asyncio.Event()
        self._loop: Optional[asyncio.AbstractEventLoop] = None
        self._debug = debug_log_wanted()
        self._delivered = False  # whether the current connection has delivered any reply

    # ---- state ------------------------------------------------------------------------

    @property
    def state(self) -> State:
        return self._state.state

    @property
    def state_change(self) -> StateChange:
        """The latest change: the state with its reason and detail."""
        return self._state

    def on_state(self, listener: Callable[[StateChange], Any]) -> Callable[[], None]:
        """Calls `listener` (on the loop, soon after) with every change; returns a function
        that removes it."""
        self._listeners.append(listener)
        return lambda: self._listeners.remove(listener)

    def _set_state(self, state: State, reason: str, detail: str) -> None:
        # Closed is final: nothing under way when close() was called changes it.
        if (state, reason) == (self._state.state, self._state.reason) or self._state.state is State.CLOSED:
            return
        change = StateChange(state, reason, detail, self._state.state)
        self._state = change
        log.debug("state %s (%s): %s", state.value, reason, detail)
        self._changed.set()
        self._changed = asyncio.Event()
        loop = self._get_loop()
        for listener in list(self._listeners):
            loop.call_soon(listener, change)

    async def wait_for_state(self, *states: State, timeout: Optional[float] = None) -> StateChange:
        """Waits until the state is one of `states`; raises CallTimeout after `timeout`."""
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        while self._state.state not in states:
            left = deadline - time.monotonic()
            if left <= 0:
                raise CallTimeout(
                    f"state still {self._state.state.value} ({self._state.detail}) "
                    f"after waiting for {', '.join(s.value for s in states)}"
                )
            try:
                if left == float("inf"):
                    await self._changed.wait()
                else:
                    await asyncio.wait_for(self._changed.wait(), left)
            except asyncio.TimeoutError:
                pass
        return self._state

    # ---- connection -------------------------------------------------------------------

    def _get_loop(self) -> asyncio.AbstractEventLoop:
        if self._loop is None:
            self._loop = asyncio.get_running_loop()
        return self._loop

    async def connect(self, timeout: Optional[float] = None) -> None:
        """Starts keeping the connection and waits until it is up. On timeout raises
        ConnectionFailed with the reason; the client keeps trying until close(). close() ends
        the wait at once with ConnectionFailed."""
        if self._state.state is State.CLOSED:
            raise ConnectionFailed("the client is closed")
        loop = self._get_loop()
        if self._manager is None:
            self._manager = loop.create_task(self._keep_connected())
        try:
            reached = await self.wait_for_state(State.CONNECTED, State.CLOSED, timeout=timeout)
        except CallTimeout:
            raise ConnectionFailed(
                f"not connected: {self._state.state.value}, {self._state.reason}: {self._state.detail}"
            ) from None
        if reached.state is State.CLOSED:
            raise ConnectionFailed("the client was closed")

    async def close(self) -> None:
        """Stops for good, at once: a pending connect is abandoned, the connection is closed,
        and every unsettled call and a waiting connect() fail with ConnectionFailed."""
        if self._state.state is State.CLOSED:
            return
        self._set_state(State.CLOSED, "closed", "close() was called")
        if self._manager is not None:
            self._manager.cancel()
            try:
                await self._manager
            except asyncio.CancelledError:
                pass
        self._drop(ConnectionFailed("the client was closed"))
        while self._outbox:
            self._outbox.popleft().fail(ConnectionFailed("the client was closed"))

    async def __aenter__(self) -> "AsyncClient":
        try:
            await self.connect()
        except BaseException:
            await self.close()
            raise
        return self

    async def __aexit__(self, *exc: object) -> None:
        await self.close()

    async def _keep_connected(self) -> None:
        low, high = self._backoff
        pause = low
        failing_since = time.monotonic()
        self._set_state(State.CONNECTING, "connect", f"looking for the plug-in via {self.port_file}")
        while True:
            failure = await self._attempt()
            if failure is None:
                connected_at = time.monotonic()
                self._wake.clear()
                await self._wake.wait()  # set when the connection is lost
                failing_since = time.monotonic()
                if self._delivered or failing_since - connected_at >= high:
                    pause = low
                    continue
                # Ended at once without a reply (a peer that accepts and closes): a failed
                # attempt, retried after the back-off.
            elif time.monotonic() - failing_since >= self._report_after:
                self._set_state(*failure)
            self._wake.clear()
            try:
                await asyncio.wait_for(self._wake.wait(), pause)
            except asyncio.TimeoutError:
                pass
            pause = min(pause * 2, high)

    async def _attempt(self) -> Optional[Failure]:
        """One connect through the port file: None when connected, else why not."""
        found = read_port_file(self.port_file)
        if found.port is None:
            return port_file_failure(self.port_file, found.problem)
        loop = self._get_loop()
        try:
            _, protocol = await asyncio.wait_for(
                loop.create_connection(lambda: _Wire(self), "127.0.0.1", found.port),
                min(self.timeout, 5.0),
            )
        except ConnectionRefusedError:
            return refused(found.port)
        except (OSError, asyncio.TimeoutError) as error:
            return State.DISCONNECTED, "connect-failed", f"connect to port {found.port} failed: {error!r}"
        if protocol.lost:  # reset before the connect returned (the listener closing)
            return State.DISCONNECTED, "connect-failed", f"port {found.port} reset the new connection"
        self._wire = protocol
        self._delivered = False
        self._framer = wire.Framer(self._max_reply)
        self._set_state(State.CONNECTED, "connected", f"connected to 127.0.0.1:{found.port}")
        self._schedule_write()
        return None

    def _drop(self, error: CuebridgeError) -> None:
        """Ends the connection and fails every call written on it with `error`."""
        current, self._wire = self._wire, None
        for entry in self._framer.pending():
            assert isinstance(entry, (_Call, wire.Fence))
            entry.fail(error)
        self._framer = wire.Framer(self._max_reply)
        if current is not None and current.transport is not None:
            current.transport.abort()

    def _lost(self, protocol: _Wire, exc: Optional[Exception]) -> None:
        if protocol is not self._wire:
            return  # already dropped
        why = f": {exc!r}" if exc else ""
        self._drop(ConnectionFailed(f"the connection to the plug-in was lost{why}"))
        if self._state.state is not State.CLOSED:
            self._set_state(State.CONNECTING, "connection-lost", f"the connection was lost{why}; reconnecting")
            self._wake.set()

    def _received(self, protocol: _Wire, data: bytes) -> None:
        if protocol is not self._wire:
            return
        self._delivered = True
        try:
            settled = self._framer.feed(data)
        except ProtocolError as error:
            self._drop(error)
            self._set_state(State.CONNECTING, "protocol", f"{error}; reconnecting")
            self._wake.set()
            return
        debug = self._debug
        for entry, result in settled:
            assert isinstance(entry, (_Call, wire.Fence))
            if debug and result is not None:
                wire_log.debug("< %s", shown(entry.tag + b"|" + result))
            entry.settle(result)

    # ---- writing and timeouts ---------------------------------------------------------

    def _schedule_write(self) -> None:
        """Writes what is queued: at once when nothing is on the wire (a lone call waits for
        nothing), else at the end of this turn of the loop, so that the calls made in one turn
        (a batch, a gather of many calls) go out together in one write."""
        if self._wire is None or not self._outbox:
            return
        if not self._framer.busy:
            self._write_queued()
        elif not self._write_scheduled:
            self._write_scheduled = True
            self._get_loop().call_soon(self._write_out)

    def _write_out(self) -> None:
        self._write_scheduled = False
        self._write_queued()

    def _write_queued(self) -> None:
        """Writes every queued call in one write, ending with a fence unless the last one is."""
        if self._wire is None or self._wire.transport is None or not self._outbox:
            return
        calls: List[Union[_Call, wire.Fence]] = list(self._outbox)
        self._outbox.clear()
        if not calls[-1].fence:
            calls.append(wire.Fence())
        add = self._framer.add
        for call in calls:
            add(call)
        if self._debug:
            for call in calls:
                wire_log.debug("> %s", shown(call.line[:-1]))
        self._wire.transport.write(b"".join([call.line for call in calls]))

    def _enqueue(self, calls: Sequence[_Call]) -> None:
        self._outbox.extend(calls)
        deadline = calls[0].deadline if len(calls) == 1 else min(call.deadline for call in calls)
        if deadline < self._watch_at:
            self._watch_deadline(deadline)
        if len(self._outbox) >= _WRITE_AT:
            self._write_queued()  # the plug-in starts on these while more are being made
        self._schedule_write()

    def _watch_deadline(self, deadline: float) -> None:
        if self._watch is not None:
            self._watch.cancel()
        self._watch_at = deadline
        self._watch = self._get_loop().call_at(deadline, self._check_deadlines)

    def _check_deadlines(self) -> None:
        """Fails the calls past their deadline: unsent ones alone (they never left); written
        ones by dropping the connection, since the replies behind them are out of step."""
        self._watch, self._watch_at = None, float("inf")
        now = self._get_loop().time()
        if any(call.deadline <= now for call in self._outbox):
            waiting = f"{self._state.state.value}, {self._state.reason}: {self._state.detail}"
            kept: Deque[_Call] = deque()
            for call in self._outbox:
                if call.deadline <= now:
                    call.fail(ConnectionFailed(f"not connected within the call's timeout ({waiting})"))
                else:
                    kept.append(call)
            self._outbox = kept
        written = [entry for entry in self._framer.pending() if isinstance(entry, _Call)]
        if any(call.deadline <= now and not call.future.done() for call in written):
            self._drop(CallTimeout("no reply within the call's timeout; reconnecting"))
            self._set_state(State.CONNECTING, "timeout", "a call timed out; reconnecting")
            self._wake.set()
            written = []
        live = [c.deadline for c in list(self._outbox) + written if not c.future.done()]
        if live:
            self._watch_at = min(live)
            self._watch = self._get_loop().call_at(self._watch_at, self._check_deadlines)

    # ---- calls ------------------------------------------------------------------------

    def _new_call(
        self, keyword: str, argument: str, timeout: Optional[float], convert: Optional[Convert]
    ) -> _Call:
        if self._state.state is State.CLOSED:
            raise ConnectionFailed("the client is closed")
        loop = self._get_loop()
        return _Call(loop, keyword, argument, loop.time() + (self.timeout if timeout is None else timeout), convert)

    def _submit(
        self, keyword: str, argument: str = "", timeout: Optional[float] = None, convert: Optional[Convert] = None
    ) -> "asyncio.Future[Any]":
        call = self._new_call(keyword, argument, timeout, convert)
        self._enqueue((call,))
        return call.future

    def call(self, keyword: str, argument: str = "", *, timeout: Optional[float] = None) -> "asyncio.Future[Optional[str]]":
        """Any keyword: resolves with the result text (the reply without its tag), or with None
        for a keyword that is never answered, once the plug-in has taken it."""
        return self._submit(keyword, argument, timeout)

    def language(self, *, timeout: Optional[float] = None) -> "asyncio.Future[str]":
        """The host's user-interface language, e.g. "en_US"."""
        return self._submit(wire.LANGUAGE, "", timeout)

    def effects(self, *, timeout: Optional[float] = None) -> "asyncio.Future[List[Effect]]":
        """The installed effects (empty until the plug-in has stored the list at start-up)."""
        return self._submit(wire.EFFECTS, "", timeout, lambda text: [Effect(*r) for r in wire.parse_effects(text)])

    def script(self, text: str, *, timeout: Optional[float] = None) -> "asyncio.Future[str]":
        """Runs ExtendScript on the host's main thread; its result as text. Line ends are sent
        as carriage returns (a line feed would end the message). Raises ScriptError."""
        return self._submit(wire.SCRIPT, text.replace("\r\n", "\r").replace("\n", "\r"), timeout)

    def execute_command(self, command: int, *, timeout: Optional[float] = None) -> "asyncio.Future[None]":
        """Runs a host menu command by number (32-bit signed)."""
        if not -(2**31) <= command < 2**31:
            raise ValueError(f"command {command} is outside the 32-bit signed range")
        return self._submit(wire.EXECUTE_COMMAND, str(int(command)), timeout)

    def set_info_text(self, *, timeout: Optional[float] = None) -> "asyncio.Future[None]":
        return self._submit(wire.INFO_PANEL_COMMAND, "SetInfoText", timeout)

    def set_info_color(self, *, timeout: Optional[float] = None) -> "asyncio.Future[None]":
        return self._submit(wire.INFO_PANEL_COMMAND, "SetInfoColor", timeout)

    def select_first_item(self, *, timeout: Optional[float] = None) -> "asyncio.Future[None]":
        """Selects the item after the project's first item (in the host's order), if any."""
        return self._submit(wire.NAVIGATE_COMMAND, "First", timeout)

    def select_next_item(self, *, timeout: Optional[float] = None) -> "asyncio.Future[None]":
        """Moves the Project panel's selection one item on."""
        return self._submit(wire.NAVIGATE_COMMAND, "Next", timeout)

    def flush(self, *, timeout: Optional[float] = None) -> "asyncio.Future[None]":
        """Resolves once the plug-in has handled everything sent before it."""
        return self._submit(wire.SCRIPT, "", timeout, lambda _: None)

    async def batch(
        self, items: Iterable[BatchItem], *, timeout: Optional[float] = None, return_exceptions: bool = False
    ) -> List[Any]:
        """Sends the calls in one write; their results in order (None for those never answered).
        The first failure is raised once all have settled, or returned in its place with
        return_exceptions."""
        calls = []
        for item in items:
            keyword, argument = (item, "") if isinstance(item, str) else item
            calls.append(self._new_call(keyword, argument, timeout, None))
        if not calls:
            return []
        self._enqueue(calls)
        results = await asyncio.gather(*(c.future for c in calls), return_exceptions=True)
        if not return_exceptions:
            for result in results:
                if isinstance(result, BaseException):
                    raise result
        return list(results)

    async def wait_until_ready(self, timeout: Optional[float] = None, interval: float = 0.05) -> List[Effect]:
        """Waits until the plug-in has stored the installed-effects list; returns it."""
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise CallTimeout("the plug-in did not store its installed-effects list in time")
            effects = await self.effects(timeout=left)
            if effects:
                return effects
            await asyncio.sleep(min(interval, max(0.0, deadline - time.monotonic())))
