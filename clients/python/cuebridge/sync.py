"""A thin synchronous wrapper: the asyncio client runs on an event loop in a thread of its
own, and each method waits for its call. Any thread may call it; state listeners are called
on the library's thread."""

from __future__ import annotations

import asyncio
import threading
from typing import Any, Awaitable, Callable, Iterable, List, Optional, TypeVar

from .client import AsyncClient, BatchItem, Effect, State, StateChange

T = TypeVar("T")


class Client:
    """The synchronous client; takes the same options as AsyncClient."""

    def __init__(self, port_file: Optional[str] = None, **options: Any) -> None:
        self._loop = asyncio.new_event_loop()
        self._thread = threading.Thread(target=self._loop.run_forever, name="cuebridge", daemon=True)
        self._thread.start()

        async def make() -> AsyncClient:
            return AsyncClient(port_file, **options)

        self.async_client = self.run(make)

    def run(self, work: Callable[[], Awaitable[T]]) -> T:
        """Runs `work()` on the library's loop (where the async client lives) and waits."""

        async def go() -> T:
            return await work()

        return asyncio.run_coroutine_threadsafe(go(), self._loop).result()

    @property
    def state(self) -> State:
        return self.async_client.state

    @property
    def state_change(self) -> StateChange:
        return self.async_client.state_change

    def on_state(self, listener: Callable[[StateChange], Any]) -> Callable[[], None]:
        return self.async_client.on_state(listener)

    def connect(self, timeout: Optional[float] = None) -> None:
        self.run(lambda: self.async_client.connect(timeout))

    def close(self) -> None:
        if self._loop.is_closed():
            return
        self.run(self.async_client.close)
        self._loop.call_soon_threadsafe(self._loop.stop)
        self._thread.join()
        self._loop.close()

    def __enter__(self) -> "Client":
        try:
            self.connect()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def wait_for_state(self, *states: State, timeout: Optional[float] = None) -> StateChange:
        return self.run(lambda: self.async_client.wait_for_state(*states, timeout=timeout))

    def call(self, keyword: str, argument: str = "", *, timeout: Optional[float] = None) -> Optional[str]:
        return self.run(lambda: self.async_client.call(keyword, argument, timeout=timeout))

    def language(self, *, timeout: Optional[float] = None) -> str:
        return self.run(lambda: self.async_client.language(timeout=timeout))

    def effects(self, *, timeout: Optional[float] = None) -> List[Effect]:
        return self.run(lambda: self.async_client.effects(timeout=timeout))

    def script(self, text: str, *, timeout: Optional[float] = None) -> str:
        return self.run(lambda: self.async_client.script(text, timeout=timeout))

    def execute_command(self, command: int, *, timeout: Optional[float] = None) -> None:
        self.run(lambda: self.async_client.execute_command(command, timeout=timeout))

    def set_info_text(self, *, timeout: Optional[float] = None) -> None:
        self.run(lambda: self.async_client.set_info_text(timeout=timeout))

    def set_info_color(self, *, timeout: Optional[float] = None) -> None:
        self.run(lambda: self.async_client.set_info_color(timeout=timeout))

    def select_first_item(self, *, timeout: Optional[float] = None) -> None:
        self.run(lambda: self.async_client.select_first_item(timeout=timeout))

    def select_next_item(self, *, timeout: Optional[float] = None) -> None:
        self.run(lambda: self.async_client.select_next_item(timeout=timeout))

    def flush(self, *, timeout: Optional[float] = None) -> None:
        self.run(lambda: self.async_client.flush(timeout=timeout))

    def batch(
        self, items: Iterable[BatchItem], *, timeout: Optional[float] = None, return_exceptions: bool = False
    ) -> List[Any]:
        listed = list(items)
        return self.run(
            lambda: self.async_client.batch(listed, timeout=timeout, return_exceptions=return_exceptions)
        )

    def wait_until_ready(self, timeout: Optional[float] = None) -> List[Effect]:
        return self.run(lambda: self.async_client.wait_until_ready(timeout))
