"""The wire table both client libraries share, against the real plug-in in the simulated host."""

import json
from pathlib import Path

import pytest

from cuebridge import ScriptError
from cuebridge.host import SimulatedHost

CASES = json.loads((Path(__file__).parents[2] / "conformance.json").read_text())["cases"]


@pytest.fixture(scope="module")
def host():
    with SimulatedHost() as started:
        yield started


@pytest.mark.parametrize("case", CASES, ids=[c["name"] for c in CASES])
def test_case(host, case):
    expected = case.get("value")
    if "repeat" in case:
        expected = case["repeat"]["text"] * case["repeat"]["count"]
    seen = len(host.journal.records())
    if case["expect"] == "scriptError":
        with pytest.raises(ScriptError) as error:
            host.client.call(case["keyword"], case["argument"])
        assert error.value.text == expected and error.value.code == "script"
        return
    result = host.client.call(case["keyword"], case["argument"])
    assert result == (None if case["expect"] == "none" else expected)
    if "journal" in case:
        want = case["journal"]
        host.journal.wait_for(
            lambda j: [
                r for r in j.records()[seen:]
                if r["call"] == want["call"] and want.get("args", {}).items() <= r["args"].items()
            ]
        )


def test_typed_calls(cuebridge_host):
    client = cuebridge_host.client
    effects = client.effects()
    assert len(effects) == 46 and all(e.match_name and e.display_name and e.category for e in effects)
    assert client.language() == "en_US"
    client.select_first_item()
    client.select_next_item()
    client.set_info_text()
    client.set_info_color()
    client.execute_command(2004)
    journal = cuebridge_host.journal
    # Queued work runs at the host's next idle call, after the calls have resolved.
    first, following = journal.wait_for(lambda j: len(j.selections()) == 2 and j.selections())
    assert first["item"] != following["item"]
    journal.wait_for(lambda j: j.commands() == [2004])
    journal.wait_for(lambda j: {"PF_InfoDrawText", "PF_InfoDrawColor"} <= {w["call"] for w in j.info_writes()})
