"""The controller helpers against the host: template values stay inside their literals, and
the jog wheel's steps add up to its ticks."""

import asyncio
import json

from cuebridge import Jog, template
from cuebridge.host import SimulatedHost

HOSTILE = [
    "'", '"', "\\", "\\'", '\\"', "\n", "\r", "\r\n", "|", "*|*", "1|Script|x", "\u2028", "\u2029",
    "\0", "a\0b", "\x7f\x01\x1f", "'; throw 1; '", '" + nosuch() + "', "</script>", " HTTP/1.1",
    "\ud83c\udfac", "\ud800", "\U0001f3ac", "é\u00a0\ufeff", "", "\\u0041", "${x}", "{{v}}",
]
CODES = "var a = []; for (var i = 0; i < v.length; i++) a.push(v.charCodeAt(i)); a.join(',')"


def utf16_codes(text):
    data = text.encode("utf-16-le", "surrogatepass")
    return ",".join(str(int.from_bytes(data[i : i + 2], "little")) for i in range(0, len(data), 2))


def test_hostile_values_stay_inside_their_literals():
    with SimulatedHost() as host:
        scripts = [("Script", template("var v = {{v}}; var after = 1; " + CODES, v=value)) for value in HOSTILE]
        assert host.client.batch(scripts) == [utf16_codes(v) for v in HOSTILE]
        # A negative number cannot join the text before it ("5--1" would be a decrement).
        negatives = [("Script", template("5-{{n}}", n=n)) for n in (-1, -2.5, -0.0)]
        assert host.client.batch(negatives) == ["6", "7.5", "5"]
    # JSON is a later addition to the host's language: only the modern dialect has it.
    with SimulatedHost(args=["--script-dialect", "modern"]) as host:
        structured = {"list": [1, 2.5, True, None, "x|y"], "nested": {"k'": ["\n"]}}
        result = host.client.script(template("JSON.stringify({{v}})", v=structured))
        assert json.loads(result) == structured


# The README's jog step: the active composition's playhead moves by whole frames, within it.
MOVE = """var c = app.project.activeItem;
if (c instanceof CompItem) {
    var last = Math.round(c.duration / c.frameDuration) - 1;
    c.time = Math.max(0, Math.min(last, Math.round(c.time / c.frameDuration) + {{frames}})) * c.frameDuration;
}"""
FRAME = "var c = app.project.activeItem; Math.round(c.time / c.frameDuration)"


def test_jog_under_a_fast_spin_sends_fewer_larger_steps_and_loses_no_tick():
    with SimulatedHost(connect=False) as host:
        async def spin():
            async with host.async_client() as client:
                deltas, errors = [], []

                def step(frames):
                    deltas.append(frames)
                    return client.script(template(MOVE, frames=frames))

                jog = Jog(step, lambda e, d: errors.append(e))
                for tick in range(300):
                    jog.tick(-1 if tick % 7 == 3 else 1)
                    if tick % 10 == 0:
                        await asyncio.sleep(0.001)
                await jog.settled()
                assert errors == []
                assert sum(deltas) == 300 - 2 * 43 and 1 < len(deltas) < 300
                assert await client.script(FRAME) == str(300 - 2 * 43)
                return len(deltas)

        steps = asyncio.run(spin())
        assert len([s for s in host.journal.scripts() if s["script"].startswith("var c = app.project.activeItem;\r")]) == steps
