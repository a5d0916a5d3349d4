// Every case of the wire table the client libraries share, against the real plug-in.
const assert = require("node:assert/strict");
const path = require("node:path");
const { test } = require("node:test");

const { ScriptError, useHost } = require("..");
const table = require(path.join(__dirname, "../../conformance.json"));

function expectedValue(c) {
  return c.repeat ? c.repeat.text.repeat(c.repeat.count) : c.value;
}

test("conformance table", async (t) => {
  const { client, journal } = await useHost(t);
  for (const c of table.cases) {
    await t.test(c.name, async () => {
      const before = journal.records().length;
      const call = client.call(c.keyword, c.argument);
      if (c.expect === "reply") {
        assert.equal(await call, expectedValue(c));
      } else if (c.expect === "scriptError") {
        await assert.rejects(call, (e) => e instanceof ScriptError && e.code === "script" && e.scriptMessage === c.value);
      } else {
        assert.equal(await call, undefined);
      }
      if (c.journal) {
        await journal.waitFor((records) =>
          records.slice(before).some((r) => r.call === c.journal.call &&
            Object.entries(c.journal.args ?? {}).every(([k, v]) => r.args[k] === v)));
      }
    });
  }
});

test("typed calls", async (t) => {
  const { client, journal } = await useHost(t);
  assert.equal(await client.language(), "en_US");
  const effects = await client.effects();
  assert.ok(effects.length > 0);
  assert.ok(effects.every((e) => e.matchName && e.displayName && e.category));
  assert.equal(await client.script("1 +\n2"), "3");
  await client.executeCommand(2004);
  await client.setInfoText();
  await client.setInfoColor();
  await client.selectFirstItem();
  await client.selectNextItem();
  await journal.waitFor(() =>
    journal.commandsRun().includes(2004) &&
    journal.infoPanelWrites().some((r) => r.call === "PF_InfoDrawColor") &&
    journal.selectionChanges().length >= 2);
  await assert.rejects(client.executeCommand(2 ** 31), TypeError);
  await assert.rejects(client.call("Script", "a\0b"), TypeError);
});
