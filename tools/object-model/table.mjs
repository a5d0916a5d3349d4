// Renders docs/object-model.md: for every class, named group, global, environment object and
// enum of hostsim/scripting/members.json, which members the simulated host models.
//
// Usage: node table.mjs --report <status.json> [--members <members.json>] [--out <file.md>]
//        [--source <text>] [--check]
//
// The report is what a live simulated host says about each member it was asked about:
//   {"CompItem": {"duration": "modelled", "renderer": "not-modelled"}, "global": {...}, ...}
// Class names are those of members.json (globals under "global", enums under their own name
// with their value names as members). A listed member the report leaves out is shown as
// "unreported" and counts as not modelled: the host must answer for every member. Names the
// report gives that the list lacks are shown at the end so that a typo cannot pass unseen.
// --check compares with the existing output file instead of writing it and exits 1 on a
// difference.

import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.join(here, '..', '..');

function option(name, fallback) {
  const i = process.argv.indexOf(name);
  return i >= 0 && i + 1 < process.argv.length ? process.argv[i + 1] : fallback;
}

const membersFile = option('--members', path.join(root, 'hostsim', 'scripting', 'members.json'));
const reportFile = option('--report');
const outFile = option('--out', path.join(root, 'docs', 'object-model.md'));
// How the table names where the statuses came from: given, or the report's path when it lies in
// the repository (a temporary dump elsewhere must not make the output differ run to run).
if (!reportFile) {
  console.error('usage: node table.mjs --report <status.json> [--members f] [--out f] [--check]');
  process.exit(2);
}

const list = JSON.parse(fs.readFileSync(membersFile, 'utf8'));
const report = JSON.parse(fs.readFileSync(reportFile, 'utf8'));

const STATUSES = new Set(['modelled', 'not-modelled']);
for (const [cls, members] of Object.entries(report)) {
  if (members === null || typeof members !== 'object' || Array.isArray(members)) {
    throw new Error(`report: "${cls}" must map member names to a status`);
  }
  for (const [name, status] of Object.entries(members)) {
    if (!STATUSES.has(status)) {
      throw new Error(`report: ${cls}.${name} is "${status}", not "modelled" or "not-modelled"`);
    }
  }
}

const rel = (file) => path.relative(root, path.resolve(file)).split(path.sep).join('/');
const inRepo = (file) => !rel(file).startsWith('..') && !path.isAbsolute(rel(file));
const source =
  option('--source') ??
  (inRepo(reportFile) ? `\`${rel(reportFile)}\`` : 'a status report of the simulated host');
const label = { modelled: 'modelled', 'not-modelled': 'not modelled', unreported: '**unreported**' };

// A live object answers for the members it inherits, so a report may give a member under the
// class that declares it or under any class derived from it. children: class -> direct subclasses.
const children = new Map();
for (const key of ['classes', 'groups', 'environment']) {
  for (const [name, c] of Object.entries(list[key])) {
    if (!c.base) continue;
    if (!children.has(c.base)) children.set(c.base, []);
    children.get(c.base).push(name);
  }
}
function lineage(cls) {
  const out = [cls];
  for (let i = 0; i < out.length; i++) out.push(...(children.get(out[i]) ?? []));
  return out;
}

const used = new Map(); // class -> Set of member names the table has shown from the report

// The status of a declared member and, when derived classes disagree, which class said what.
function status(cls, name) {
  const answers = [];
  for (const c of lineage(cls)) {
    const s = report[c]?.[name];
    if (s === undefined) continue;
    if (!used.has(c)) used.set(c, new Set());
    used.get(c).add(name);
    answers.push([c, s]);
  }
  if (answers.length === 0) return { s: 'unreported', text: label.unreported };
  const kinds = new Set(answers.map(([, s]) => s));
  if (kinds.size === 1) return { s: answers[0][1], text: label[answers[0][1]] };
  // Modelled on some classes only: counted as not modelled, with the detail shown.
  const on = (want) =>
    answers
      .filter(([, s]) => s === want)
      .map(([c]) => `\`${c}\``)
      .join(', ');
  return { s: 'not-modelled', text: `modelled on ${on('modelled')}; not on ${on('not-modelled')}` };
}

function tally() {
  return { classes: 0, members: 0, modelled: 0, 'not-modelled': 0, unreported: 0 };
}
function add(total, part) {
  for (const k of Object.keys(total)) total[k] += part[k];
}
const percent = (t) => (t.members ? ((100 * t.modelled) / t.members).toFixed(1) + '%' : '–');

function args(m) {
  if (m.kind !== 'method') return '';
  if (m.max === null) return `${m.min} or more`;
  return m.min === m.max ? String(m.min) : `${m.min}–${m.max}`;
}

function arityText(r) {
  if (r.max === null) return `${r.min} or more arguments`;
  const n = r.min === r.max ? String(r.min) : `${r.min}–${r.max}`;
  return `${n} argument${r.max === 1 && r.min === 1 ? '' : 's'}`;
}

// One table per class; returns the lines and the class's counts.
function classTable(name, c) {
  const t = tally();
  t.classes = 1;
  const rows = [];
  for (const m of c.members) {
    const { s, text } = status(name, m.name);
    t.members += 1;
    t[s] += 1;
    const kind = m.static ? `static ${m.kind}` : m.kind;
    rows.push(`| \`${m.name}\` | ${kind} | ${args(m)} | ${text} |`);
  }
  const title = name === 'global' ? 'Global functions and objects' : `\`${name}\``;
  const lines = [`### ${title}`, ''];
  const notes = [];
  if (c.base) notes.push(`Extends \`${c.base}\`.`);
  if (c.callable) notes.push(`Callable (${arityText(c.callable)}).`);
  if (c.construct) notes.push(`Constructed with \`new\` (${arityText(c.construct)}).`);
  if (c.indexed) notes.push('Indexed by number.');
  notes.push(`${t.modelled} of ${t.members} members modelled.`);
  lines.push(notes.join(' '), '');
  if (rows.length) {
    lines.push('| Member | Kind | Arguments | Status |', '|---|---|---|---|', ...rows, '');
  }
  return { lines, t };
}

function enumTable(name, values) {
  const t = tally();
  t.classes = 1;
  const rows = values.map((v) => {
    const { s, text } = status(name, v.name);
    t.members += 1;
    t[s] += 1;
    return `| \`${v.name}\` | ${v.value ?? ''} | ${text} |`;
  });
  const lines = [
    `### \`${name}\``,
    '',
    `${t.modelled} of ${t.members} values modelled.`,
    '',
    '| Name | Value | Status |',
    '|---|---|---|',
    ...rows,
    '',
  ];
  return { lines, t };
}

const SECTIONS = [
  ['classes', 'Classes', 'The host classes a controller script reaches.'],
  ['groups', 'Named property groups', "Interfaces naming a property group's attributes."],
  ['globals', 'Globals', 'Functions and objects a script calls without a receiver.'],
  ['environment', 'Script environment', "ExtendScript's `$`, `File`, `Folder`, ScriptUI."],
  ['enums', 'Enumerations', 'The global enumerations and their values.'],
];

const body = [];
const summary = [];
const grand = tally();
const totals = {};
for (const [key, title, blurb] of SECTIONS) {
  const sectionTotal = tally();
  const parts = [];
  for (const name of Object.keys(list[key]).sort()) {
    const { lines, t } =
      key === 'enums' ? enumTable(name, list[key][name]) : classTable(name, list[key][name]);
    parts.push(...lines);
    add(sectionTotal, t);
  }
  add(grand, sectionTotal);
  totals[key] = sectionTotal;
  body.push(`## ${title}`, '', blurb, '', ...parts);
  const s = sectionTotal;
  summary.push(
    `| ${title} | ${s.classes} | ${s.members} | ${s.modelled} | ${s['not-modelled']} | ` +
      `${s.unreported} | ${percent(s)} |`,
  );
}

// Names the report gives that the list does not have.
const extra = [];
for (const [cls, members] of Object.entries(report)) {
  for (const name of Object.keys(members)) {
    if (!used.get(cls)?.has(name)) extra.push(`- \`${cls}.${name}\`: ${label[members[name]]}`);
  }
}
if (extra.length) {
  console.error(`${extra.length} reported names are not in ${rel(membersFile)}`);
  body.push(
    '## Reported names not in the type definitions',
    '',
    'The host answered for these, but the type definitions do not list them.',
    '',
    ...extra.sort(),
    '',
  );
}

const g = grand;
const out = [
  '# Scripting object model: what the simulated host models',
  '',
  '<!-- Generated by tools/object-model/table.mjs; do not edit by hand. -->',
  '',
  `Members listed in \`${rel(membersFile)}\`, extracted from \`${list.package}\` ` +
    `(\`${list.file}\`); status from ${source}. ` +
    'A member that is not modelled throws the one "not modelled" error on read, write and ' +
    'call. **Unreported** means the host gave no answer for a listed member, which is a fault.',
  '',
  `Classes: **${percent(totals.classes)}** of their members modelled. ` +
    `Everything listed: ${g.modelled} of ${g.members} members (${percent(g)}).`,
  '',
  '| Section | Classes | Members | Modelled | Not modelled | Unreported | Modelled |',
  '|---|---|---|---|---|---|---|',
  ...summary,
  `| **Total** | ${g.classes} | ${g.members} | ${g.modelled} | ${g['not-modelled']} | ` +
    `${g.unreported} | ${percent(g)} |`,
  '',
  ...body,
]
  .join('\n')
  .replace(/\n+$/, '\n');

if (process.argv.includes('--check')) {
  const current = fs.existsSync(outFile) ? fs.readFileSync(outFile, 'utf8') : '';
  if (current !== out) {
    console.error(`${rel(outFile)} is out of date; run node tools/object-model/table.mjs`);
    process.exit(1);
  }
} else {
  fs.mkdirSync(path.dirname(outFile), { recursive: true });
  fs.writeFileSync(outFile, out);
}
console.log(
  `${g.classes} classes, ${g.members} members: ${g.modelled} modelled, ` +
    `${g['not-modelled']} not modelled, ${g.unreported} unreported (${percent(g)}) -> ${rel(outFile)}`,
);
