"""The wire format: request lines, tags, and cutting the unterminated reply stream into
replies. No I/O here; the connection feeds received bytes in and writes what it is given."""

from __future__ import annotations

import random
from collections import deque
from typing import Deque, Dict, List, Optional, Protocol, Tuple, Union

from .errors import ProtocolError

SCRIPT = "Script"
LANGUAGE = "GetAfterEffectLanguage"
EFFECTS = "GetInstalledAfterEffectEffects"
EXECUTE_COMMAND = "ExecuteCommand"
INFO_PANEL_COMMAND = "InfoPanelCommand"
NAVIGATE_COMMAND = "NavigateCommand"
# Only these keywords are ever answered; every other line (the three commands, unknown or
# mistyped keywords) is taken without a reply.
REPLYING = frozenset({SCRIPT, LANGUAGE, EFFECTS})
SCRIPT_ERROR_PREFIX = "SCRIPT ERROR: "
EFFECT_RECORD_END = "*|*"
# The plug-in drops a longer message whole, without a reply.
MAX_MESSAGE_BYTES = 64 << 20

_random = random.Random()  # seeded from the system's entropy


def new_tag() -> bytes:
    """16 random hexadecimal digits: a real result is most unlikely to contain them."""
    return b"%016x" % _random.getrandbits(64)


# Each keyword's `|keyword|` bytes, checked once (a client uses a handful of keywords).
_keyword_parts: Dict[str, bytes] = {}


def request_line(tag: bytes, keyword: str, argument: str) -> bytes:
    """`tag|keyword|argument` and its line feed. Raises ValueError for what the plug-in would
    cut, drop or misread: a line feed or zero byte anywhere, a bar in the keyword, an empty
    keyword, a message over the plug-in's bound."""
    part = _keyword_parts.get(keyword)
    if part is None:
        if not keyword or "|" in keyword:
            raise ValueError(f"invalid keyword {keyword!r}: it must be non-empty and hold no bar")
        if "\n" in keyword or "\0" in keyword:
            raise ValueError("a request cannot hold a line feed or a zero byte")
        part = b"|" + keyword.encode() + b"|"
        if len(part) > MAX_MESSAGE_BYTES:
            raise ValueError(f"a request is at most {MAX_MESSAGE_BYTES} bytes")
        if len(_keyword_parts) < 256 and len(part) <= 64:
            _keyword_parts[keyword] = part
    if not argument:
        return tag + part + b"\n"
    if "\n" in argument or "\0" in argument:
        raise ValueError("a request cannot hold a line feed or a zero byte")
    encoded = argument.encode()
    if len(tag) + len(part) + len(encoded) > MAX_MESSAGE_BYTES:
        raise ValueError(f"a request is at most {MAX_MESSAGE_BYTES} bytes")
    return tag + part + encoded + b"\n"


class Entry(Protocol):
    """A request as the framer sees it: its tag, whether it is answered, and whether it is a
    fence (an empty script, answered with exactly its tag and a bar)."""

    tag: bytes
    replies: bool
    fence: bool


_FENCE_REST = b"|" + SCRIPT.encode() + b"|\n"


class Fence:
    """The empty script that ends a write, so that the reply before it has an end. Nobody
    waits for it: when it fails, so do the calls it follows, and they report it."""

    __slots__ = ("tag", "line", "result")
    replies = True
    fence = True

    def __init__(self) -> None:
        self.tag = new_tag()
        self.line = self.tag + _FENCE_REST
        self.result: Optional[bytes] = None

    def fail(self, error: BaseException) -> None:
        pass

    def settle(self, result: Optional[bytes]) -> None:
        pass


class Framer:
    """Matches the received stream to the requests written, in order. A reply runs from its
    `tag|` to the next answered request's `tag|`; every write ends with a fence, so each reply
    has a successor that marks its end. A request without a reply is settled once the reply of
    a later request begins (the plug-in handles messages strictly in order)."""

    def __init__(self, max_reply_bytes: int) -> None:
        self._sent: Deque[Entry] = deque()
        self._replying: Deque[Entry] = deque()
        self._buffer = bytearray()
        self._current: Optional[Entry] = None
        self._search_from = 0
        self._max_reply = max_reply_bytes

    def add(self, entry: Entry) -> None:
        self._sent.append(entry)
        if entry.replies:
            self._replying.append(entry)

    @property
    def busy(self) -> bool:
        """Whether a request written is still waiting for its reply."""
        return bool(self._sent) or self._current is not None

    def pending(self) -> List[Entry]:
        """The requests written and not yet settled, in order (the one whose reply is
        arriving first)."""
        return ([self._current] if self._current is not None else []) + list(self._sent)

    def feed(self, data: bytes) -> List[Tuple[Entry, Optional[bytes]]]:
        """The requests settled by `data`, in order, each with its result bytes (None for a
        request without a reply). Raises ProtocolError for bytes that match no request."""
        buffer: Union[bytes, bytearray] = self._buffer
        if self._buffer:
            self._buffer += data
        else:
            buffer = data  # most often a whole exchange arrives in one read: no copy
        settled: List[Tuple[Entry, Optional[bytes]]] = []
        replying, sent = self._replying, self._sent
        at = 0  # what is before it has been matched; the buffer is cut once, at the end
        size = len(buffer)
        try:
            while True:
                if self._current is None:
                    if not replying:
                        if at < size:
                            raise ProtocolError(f"{size - at} bytes arrived that no request asked for")
                        return settled
                    head = replying[0]
                    header = head.tag + b"|"
                    have = min(size - at, len(header))
                    if buffer[at : at + have] != header[:have]:
                        raise ProtocolError(
                            f"expected the reply to {head.tag.decode()}, got {bytes(buffer[at : at + 40])!r}"
                        )
                    if have < len(header):
                        return settled
                    at += len(header)
                    replying.popleft()
                    while (entry := sent.popleft()) is not head:
                        settled.append((entry, None))
                    if head.fence:
                        settled.append((head, b""))
                    else:
                        self._current = head
                        self._search_from = at
                else:
                    if not replying:
                        return settled  # cannot happen: every write ends with a fence
                    marker = replying[0].tag + b"|"
                    end = buffer.find(marker, self._search_from)
                    if end < 0:
                        if size - at > self._max_reply:
                            raise ProtocolError(f"a reply grew past {self._max_reply} bytes")
                        self._search_from = max(at, size - len(marker) + 1)
                        return settled
                    if buffer is data:
                        result = data[at:end]
                    else:
                        with memoryview(buffer) as view:  # one copy of a long reply, not two
                            result = bytes(view[at:end])
                    settled.append((self._current, result))
                    at = end
                    self._current = None
        finally:
            self._search_from -= at
            if at >= size:
                self._buffer = bytearray()
            elif buffer is data:
                self._buffer = bytearray(data[at:])
            else:
                del self._buffer[:at]


def parse_effects(text: str) -> List[Tuple[str, str, str]]:
    """The installed-effects list: records `match|display|category*|*` back to back. The match
    name runs to a record's first bar and the category from its last bar, so a display name
    may hold bars."""
    records = []
    for record in text.split(EFFECT_RECORD_END):
        if not record:
            continue
        first, last = record.find("|"), record.rfind("|")
        if first < 0 or first == last:
            raise ProtocolError(f"malformed effect record {record!r}")
        records.append((record[:first], record[first + 1 : last], record[last + 1 :]))
    return records
