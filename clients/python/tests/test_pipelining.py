"""Many calls in flight at once, and batches, run in order (checked in the host's journal);
the framer cuts the stream right however it is split."""

import asyncio
from types import SimpleNamespace

import pytest

from cuebridge import ProtocolError, ScriptError
from cuebridge.host import SimulatedHost
from cuebridge.wire import Framer

BASE = 100000  # command numbers no hook of the plug-in acts on


def test_ten_thousand_pipelined_commands_and_a_batch_run_in_order():
    with SimulatedHost(connect=False) as host:
        async def run():
            async with host.async_client() as client:
                done = await asyncio.gather(*(client.execute_command(BASE + i) for i in range(10000)))
                assert done == [None] * 10000
                results = await client.batch(
                    [
                        ("ExecuteCommand", str(BASE - 1)),
                        "GetAfterEffectLanguage",
                        ("Script", "'a|b'"),
                        ("Script", "nosuch()"),
                        ("ExecuteCommand", str(BASE - 2)),
                        ("Script", "String.fromCharCode(10)"),
                    ],
                    return_exceptions=True,
                )
                assert results[:3] == [None, "en_US", "a|b"] and results[4:] == [None, "\n"]
                assert isinstance(results[3], ScriptError)
                with pytest.raises(ScriptError):
                    await client.batch([("Script", "nosuch()"), "GetAfterEffectLanguage"])

        asyncio.run(run())
        expected = [BASE + i for i in range(10000)] + [BASE - 1, BASE - 2]
        host.journal.wait_for(lambda j: len(j.commands()) >= len(expected), timeout=30)
        assert host.journal.commands() == expected


def entry(tag, replies=True, fence=False):
    return SimpleNamespace(tag=tag.encode(), replies=replies, fence=fence)


@pytest.mark.parametrize(
    "stream, results",
    [
        (b"a|x|y\nzf|", [b"x|y\nz", None, b""]),
        (b"a|f|", [b"", None, b""]),
        (b"a|b|f|", [b"b|", None, b""]),  # a result that ends like a tag
    ],
)
def test_framer_cuts_the_stream_wherever_it_is_split(stream, results):
    for cut in range(1, len(stream)):
        framer = Framer(1 << 20)
        entries = [entry("a"), entry("b", replies=False), entry("f", fence=True)]
        for e in entries:
            framer.add(e)
        first = framer.feed(stream[:cut])
        assert framer.pending() == entries[len(first) :]  # a connection lost now fails these
        settled = first + framer.feed(stream[cut:])
        assert [e for e, _ in settled] == entries
        assert [r for _, r in settled] == results


@pytest.mark.parametrize("stream", [b"x|", b"a|rf|extra", b"a|" + b"z" * 100])
def test_framer_refuses_bytes_that_match_no_request(stream):
    framer = Framer(64)
    framer.add(entry("a"))
    framer.add(entry("f", fence=True))
    with pytest.raises(ProtocolError):
        framer.feed(stream)
