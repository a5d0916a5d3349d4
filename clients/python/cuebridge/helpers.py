"""Helpers a controller needs on top of the calls: script templates with safely escaped
values, a jog accumulator for wheels and dials, and a poller for feedback. The jog and the
poller run on the asyncio client's loop."""

from __future__ import annotations

import asyncio
import math
import re
from typing import Any, Awaitable, Callable, Mapping, Optional

from .client import AsyncClient, State, StateChange

_PLACEHOLDER = re.compile(r"\{\{\s*([A-Za-z_][A-Za-z0-9_]*)\s*\}\}")


def literal(value: Any) -> str:
    """`value` as a literal of the host's older script dialect (ExtendScript, ECMAScript 3):
    strings are double-quoted with everything outside printable ASCII and the characters
    that could end the literal, the line or the message written as escapes (so the script
    text is pure ASCII and holds no line feed, bar or zero byte); numbers, booleans, None,
    lists and string-keyed mappings as their literals."""
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, float)):
        if isinstance(value, float) and not math.isfinite(value):
            raise ValueError(f"{value} has no literal")
        text = float.__repr__(value) if isinstance(value, float) else int.__repr__(value)
        # A negative number in parentheses, so that it cannot join the text before it
        # ("5-{{n}}" with -1 is "5-(-1)", not the decrement "5--1").
        return f"({text})" if text.startswith("-") else text
    if isinstance(value, str):
        return '"' + "".join(_escape(c) for c in value) + '"'
    if isinstance(value, (list, tuple)):
        return "[" + ", ".join(literal(v) for v in value) + "]"
    if isinstance(value, Mapping):
        return "{" + ", ".join(f"{literal(str(k))}: {literal(v)}" for k, v in value.items()) + "}"
    raise TypeError(f"no script literal for {type(value).__name__}")


def _escape(char: str) -> str:
    if char == "\\":
        return "\\\\"
    if char == '"':
        return '\\"'
    code = ord(char)
    if 0x20 <= code < 0x7F and char not in "'|":
        return char
    if code > 0xFFFF:  # outside the basic plane: a surrogate pair, as the dialect's strings hold it
        code -= 0x10000
        return f"\\u{0xD800 + (code >> 10):04x}\\u{0xDC00 + (code & 0x3FF):04x}"
    return f"\\u{code:04x}"


def template(text: str, **values: Any) -> str:
    """`text` with every {{name}} replaced by literal(values[name]). Raises KeyError for a name
    not given and ValueError for a value given but not used (a likely typo)."""
    used = set()

    def fill(match: "re.Match[str]") -> str:
        used.add(match.group(1))
        return literal(values[match.group(1)])

    filled = _PLACEHOLDER.sub(fill, text)
    unused = set(values) - used
    if unused:
        raise ValueError(f"values not used by the template: {', '.join(sorted(unused))}")
    return filled


class Jog:
    """Turns a wheel's ticks into steps: while one step is in flight, further ticks add up and
    go out as one delta once it has settled, so a fast spin never leaves a queue of stale
    steps behind it. `send(delta)` carries a step out (e.g. a script moving the playhead by
    delta frames); its failures go to `on_error` with the delta they carried."""

    def __init__(
        self,
        send: Callable[[int], Awaitable[Any]],
        on_error: Callable[[BaseException, int], Any],
    ) -> None:
        self._send = send
        self._on_error = on_error
        self._pending = 0
        self._task: Optional[asyncio.Task[None]] = None
        self._idle = asyncio.Event()
        self._idle.set()

    def tick(self, delta: int = 1) -> None:
        """Adds ticks (negative for the other way); call it from the wheel's event handler."""
        self._pending += delta
        if self._task is None and self._pending:
            self._idle.clear()
            self._task = asyncio.get_running_loop().create_task(self._run())

    async def _run(self) -> None:
        try:
            while self._pending:
                delta, self._pending = self._pending, 0
                try:
                    await self._send(delta)
                except Exception as error:
                    self._on_error(error, delta)
        finally:
            self._task = None
            self._idle.set()

    async def settled(self) -> None:
        """Returns once every tick so far has been sent and its step has settled."""
        await self._idle.wait()


class Poller:
    """Runs `query(client)` for feedback, at most once every `interval` seconds, one at a
    time, and at once after every reconnect (the plug-in pushes nothing). Each result goes to
    `on_value`, each failure to `on_error`; it polls only while connected."""

    def __init__(
        self,
        client: AsyncClient,
        query: Callable[[AsyncClient], Awaitable[Any]],
        on_value: Callable[[Any], Any],
        on_error: Callable[[BaseException], Any],
        interval: float = 0.5,
    ) -> None:
        self._client = client
        self._query = query
        self._on_value = on_value
        self._on_error = on_error
        self._interval = interval
        self._now = asyncio.Event()
        self._remove = client.on_state(self._state_changed)
        self._task = asyncio.get_running_loop().create_task(self._run())

    def _state_changed(self, change: StateChange) -> None:
        if change.state is State.CONNECTED:
            self._now.set()

    async def _run(self) -> None:
        loop = asyncio.get_running_loop()
        while True:
            await self._client.wait_for_state(State.CONNECTED, timeout=math.inf)
            self._now.clear()
            started = loop.time()
            try:
                value = await self._query(self._client)
            except Exception as error:
                self._on_error(error)
            else:
                self._on_value(value)
            try:
                await asyncio.wait_for(self._now.wait(), max(0.0, started + self._interval - loop.time()))
            except asyncio.TimeoutError:
                pass

    async def stop(self) -> None:
        self._remove()
        self._task.cancel()
        try:
            await self._task
        except asyncio.CancelledError:
            pass
