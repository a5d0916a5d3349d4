// The packed package installed into an empty folder and used as a newcomer would.
const assert = require("node:assert/strict");
const { execFileSync } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { test } = require("node:test");

test("npm pack makes a package that installs and works on its own", async (t) => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "cuebridge-pack-"));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  const npm = (args, cwd) => execFileSync("npm", [...args, "--no-audit", "--no-fund", "--offline"], { cwd, encoding: "utf8" });
  const packed = JSON.parse(npm(["pack", "--json", "--pack-destination", dir], path.join(__dirname, "..")));
  const files = packed[0].files.map((f) => f.path);
  assert.ok(files.includes("dist/index.d.ts") && files.includes("dist/index.js"));
  assert.ok(!files.some((f) => f.startsWith("src/") || f.startsWith("test/")));

  const app = path.join(dir, "app");
  fs.mkdirSync(app);
  fs.writeFileSync(path.join(app, "package.json"), '{ "name": "app", "private": true }');
  npm(["install", path.join(dir, packed[0].filename)], app);
  fs.writeFileSync(
    path.join(app, "main.js"),
    `const { startHost } = require("cuebridge");
     startHost().then(async (host) => {
       const language = await host.client.language();
       await host.client.executeCommand(2004);
       await host.journal.waitFor(() => host.journal.commandsRun().includes(2004));
       await host.stop();
       console.log(language);
     });`,
  );
  const hostsim = path.resolve(__dirname, "../../../build/default/bin/cuebridge-hostsim");
  const output = execFileSync(process.execPath, ["main.js"], {
    cwd: app,
    encoding: "utf8",
    env: { ...process.env, CUEBRIDGE_HOSTSIM: process.env.CUEBRIDGE_HOSTSIM ?? hostsim },
    timeout: 60_000,
  });
  assert.equal(output.trim(), "en_US");
});
