// Reads the host's public type definitions (the pinned types-for-adobe package) with the
// TypeScript compiler API and writes the list of members of the scripting object model that
// a controller script can reach: hostsim/scripting/members.json.
//
// Usage: node extract.mjs [--version 26.0] [--out ../../hostsim/scripting/members.json] [--check]
//
// --check compares with the existing output file instead of writing it and exits 1 on a
// difference, so that a stale list is caught after a package update.
//
// Only members declared on a class itself are listed; inherited members are found through
// the class's `base`. Output order is alphabetical everywhere so that regenerating after a
// package update gives a diff of exactly what changed.

import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const require = createRequire(import.meta.url);
const ts = require('typescript');

const here = path.dirname(fileURLToPath(import.meta.url));
const pkgDir = path.dirname(require.resolve('types-for-adobe/package.json'));
const pkg = JSON.parse(fs.readFileSync(path.join(pkgDir, 'package.json'), 'utf8'));

// The newest AfterEffects folder unless one is named.
function newestVersion() {
  const folders = fs
    .readdirSync(path.join(pkgDir, 'AfterEffects'))
    .filter((f) => /^\d+(\.\d+)*$/.test(f));
  const key = (v) => v.split('.').map(Number);
  folders.sort((a, b) => {
    const [x, y] = [key(a), key(b)];
    for (let i = 0; i < Math.max(x.length, y.length); i++) {
      if ((x[i] ?? 0) !== (y[i] ?? 0)) return (x[i] ?? 0) - (y[i] ?? 0);
    }
    return 0;
  });
  return folders[folders.length - 1];
}

function option(name, fallback) {
  const i = process.argv.indexOf(name);
  return i >= 0 && i + 1 < process.argv.length ? process.argv[i + 1] : fallback;
}

const aeVersion = option('--version', newestVersion());
const outFile = path.resolve(
  option('--out', path.join(here, '..', '..', 'hostsim', 'scripting', 'members.json')),
);
const aeFile = path.join('AfterEffects', aeVersion, 'index.d.ts');

// The classes of the host's model that controller scripts reach: the application and its
// project, items and their collections, footage sources, every layer class, the property tree,
// keyframe ease, markers, text documents, mask shapes, viewers, settings and the system object.
// Render queue, output modules, fonts, preferences and text ranges are left out: controller
// scripts do not drive them.
const CONTROLLER_CLASSES = [
  'Application',
  'AVItem',
  'AVLayer',
  'CameraLayer',
  'Collection',
  'CompItem',
  'FileSource',
  'FolderItem',
  'FootageItem',
  'FootageSource',
  'Item',
  'ItemCollection',
  'KeyframeEase',
  'Layer',
  'LayerCollection',
  'LightLayer',
  'MarkerValue',
  'MaskPropertyGroup',
  'PlaceholderItem',
  'PlaceholderSource',
  'Project',
  'Property',
  'PropertyBase',
  'PropertyGroup',
  'Settings',
  'Shape',
  'ShapeLayer',
  'SolidSource',
  'System',
  'TextDocument',
  'TextLayer',
  'ThreeDModelLayer',
  'View',
  'Viewer',
  'ViewOptions',
];

// The script environment as a controller script sees it, from the package's shared files:
// the ExtendScript `$` object, the file system objects and ScriptUI's keyboard state.
const ENVIRONMENT_CLASSES = {
  $: 'shared/JavaScript.d.ts',
  File: 'shared/JavaScript.d.ts',
  FileConstructor: 'shared/JavaScript.d.ts',
  Folder: 'shared/JavaScript.d.ts',
  FolderConstructor: 'shared/JavaScript.d.ts',
  ScriptUI: 'shared/ScriptUI.d.ts',
  Environment: 'shared/ScriptUI.d.ts',
  KeyboardState: 'shared/ScriptUI.d.ts',
};
// ScriptUI's own members are dialogs and widgets; only the environment is listed.
const ENVIRONMENT_ONLY = { ScriptUI: new Set(['environment']) };

// Global functions and objects a controller script calls without a receiver.
const GLOBAL_FILES = [aeFile, 'shared/global.d.ts'];
const GLOBAL_NAMES = new Set([
  'alert',
  'app',
  'clearOutput',
  'confirm',
  'currentFormatToTime',
  'generateRandomNumber',
  'getEnumAsString',
  'isValid',
  'prompt',
  'system',
  'timeToCurrentFormat',
  'write',
  'writeLn',
]);

const parsed = new Map();
function source(rel) {
  if (!parsed.has(rel)) {
    const text = fs.readFileSync(path.join(pkgDir, rel), 'utf8');
    parsed.set(rel, ts.createSourceFile(rel, text, ts.ScriptTarget.Latest, true));
  }
  return parsed.get(rel);
}

const hasModifier = (node, kind) => (node.modifiers ?? []).some((m) => m.kind === kind);
const nameOf = (node) => (node.name ? node.name.getText() : undefined);

// min/max argument counts of one signature; max is null when a rest parameter takes any number.
function arity(params) {
  let min = 0;
  let max = 0;
  for (const p of params) {
    if (p.dotDotDotToken) return { min, max: null };
    if (!p.questionToken && !p.initializer) min = max + 1;
    max += 1;
  }
  return { min, max };
}

// Overloads merge into the widest range: fewest required, most accepted.
function widen(a, b) {
  if (!a) return b;
  return {
    min: Math.min(a.min, b.min),
    max: a.max === null || b.max === null ? null : Math.max(a.max, b.max),
  };
}

// Type names a declaration mentions, for finding the enums and named groups it reaches.
function referencedNames(node, into) {
  const visit = (n) => {
    if (ts.isTypeReferenceNode(n)) {
      const t = n.typeName;
      into.add(ts.isQualifiedName(t) ? t.left.getText() : t.getText());
    }
    ts.forEachChild(n, visit);
  };
  if (node.type) visit(node.type);
  for (const p of node.parameters ?? []) visit(p);
  return into;
}

function functionType(type) {
  return type && ts.isFunctionTypeNode(type) ? type : undefined;
}

// Collects one class (or interface) from every declaration of that name in the given files.
function collectClass(name, files, only) {
  const cls = { base: null, members: new Map(), refs: new Set() };
  let found = false;
  for (const rel of files) {
    for (const stmt of source(rel).statements) {
      if (!(ts.isClassDeclaration(stmt) || ts.isInterfaceDeclaration(stmt))) continue;
      if (nameOf(stmt) !== name) continue;
      found = true;
      for (const clause of stmt.heritageClauses ?? []) {
        if (clause.token === ts.SyntaxKind.ExtendsKeyword && !cls.base) {
          cls.base = clause.types[0].expression.getText();
        }
      }
      for (const m of stmt.members) addMember(cls, m, only);
    }
  }
  if (!found) throw new Error(`${name}: not declared in ${files.join(', ')}`);
  return cls;
}

function addMember(cls, m, only) {
  if (ts.isCallSignatureDeclaration(m)) {
    cls.callable = widen(cls.callable, arity(m.parameters));
    referencedNames(m, cls.refs);
    return;
  }
  if (ts.isConstructorDeclaration(m) || ts.isConstructSignatureDeclaration(m)) {
    cls.construct = widen(cls.construct, arity(m.parameters));
    return;
  }
  if (ts.isIndexSignatureDeclaration(m)) {
    cls.indexed = true;
    referencedNames(m, cls.refs);
    return;
  }
  const name = nameOf(m);
  if (name === undefined || (only && !only.has(name))) return;
  const entry = cls.members.get(name) ?? { name };
  if (hasModifier(m, ts.SyntaxKind.StaticKeyword)) entry.static = true;
  if (ts.isMethodDeclaration(m) || ts.isMethodSignature(m)) {
    entry.kind = 'method';
    const range = widen(entry.min === undefined ? undefined : entry, arity(m.parameters));
    entry.min = range.min;
    entry.max = range.max;
  } else if (ts.isPropertyDeclaration(m) || ts.isPropertySignature(m)) {
    entry.kind = hasModifier(m, ts.SyntaxKind.ReadonlyKeyword) ? 'readonly' : 'attribute';
  } else if (ts.isGetAccessor(m) || ts.isSetAccessor(m)) {
    const settable = ts.isSetAccessor(m) || entry.kind === 'attribute';
    entry.kind = settable ? 'attribute' : 'readonly';
  } else {
    throw new Error(`${name}: unexpected member kind ${ts.SyntaxKind[m.kind]}`);
  }
  referencedNames(m, cls.refs);
  cls.members.set(name, entry);
}

function collectGlobals() {
  const members = new Map();
  const refs = new Set();
  const add = (name, node, kind, params) => {
    if (!GLOBAL_NAMES.has(name)) return;
    const entry = members.get(name) ?? { name, kind };
    if (params) {
      const range = widen(entry.min === undefined ? undefined : entry, arity(params));
      entry.min = range.min;
      entry.max = range.max;
    }
    referencedNames(node, refs);
    members.set(name, entry);
  };
  for (const rel of GLOBAL_FILES) {
    for (const stmt of source(rel).statements) {
      if (ts.isFunctionDeclaration(stmt)) {
        add(nameOf(stmt), stmt, 'method', stmt.parameters);
      } else if (ts.isVariableStatement(stmt)) {
        const constant = stmt.declarationList.flags & ts.NodeFlags.Const;
        for (const decl of stmt.declarationList.declarations) {
          const fn = functionType(decl.type);
          if (fn) add(nameOf(decl), fn, 'method', fn.parameters);
          else add(nameOf(decl), decl, constant ? 'readonly' : 'attribute');
        }
      }
    }
  }
  const missing = [...GLOBAL_NAMES].filter((n) => !members.has(n));
  if (missing.length) throw new Error(`globals not declared: ${missing.join(', ')}`);
  return { base: null, members, refs };
}

// Every enum of the AfterEffects file, by name, with its members in declaration order.
function collectEnums() {
  const enums = new Map();
  for (const stmt of source(aeFile).statements) {
    if (!ts.isEnumDeclaration(stmt)) continue;
    const values = [];
    for (const m of stmt.members) {
      const entry = { name: m.name.getText() };
      if (m.initializer) {
        const text = m.initializer.getText();
        entry.value = /^-?\d+(\.\d+)?$/.test(text) ? Number(text) : text;
      }
      values.push(entry);
    }
    values.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
    enums.set(nameOf(stmt), { const: hasModifier(stmt, ts.SyntaxKind.ConstKeyword), values });
  }
  return enums;
}

// Interfaces of the AfterEffects file that describe a property group's named attributes
// (`layer.transform.position`), reached from the classes above.
function namedGroupInterfaces() {
  const names = new Set();
  for (const stmt of source(aeFile).statements) {
    if (!ts.isInterfaceDeclaration(stmt)) continue;
    const base = stmt.heritageClauses?.[0]?.types[0]?.expression.getText();
    if (base === 'PropertyGroup' && nameOf(stmt) !== 'PropertyGroup') names.add(nameOf(stmt));
  }
  return names;
}

const classes = new Map();
for (const name of CONTROLLER_CLASSES) classes.set(name, collectClass(name, [aeFile]));

// Named groups are followed transitively: a group's attribute may itself be a named group.
const groupNames = namedGroupInterfaces();
const groups = new Map();
const pending = [...classes.values()].flatMap((c) => [...c.refs]);
while (pending.length) {
  const name = pending.pop();
  if (!groupNames.has(name) || groups.has(name)) continue;
  const g = collectClass(name, [aeFile]);
  groups.set(name, g);
  pending.push(...g.refs);
}

const environment = new Map();
for (const [name, rel] of Object.entries(ENVIRONMENT_CLASSES)) {
  environment.set(name, collectClass(name, [rel], ENVIRONMENT_ONLY[name]));
}
const globals = collectGlobals();

// Enums a listed class, group or global mentions in a member's type or parameters.
const allEnums = collectEnums();
const usedEnums = new Set();
for (const c of [...classes.values(), ...groups.values(), globals]) {
  for (const r of c.refs) if (allEnums.has(r)) usedEnums.add(r);
}
// Global enums a script passes as numbers although no member's type names them.
for (const name of ['PropertyValueType', 'KeyframeInterpolationType', 'TimeDisplayType']) {
  if (allEnums.has(name)) usedEnums.add(name);
}

// ---- output: sorted, one member per line ----

const sortedKeys = (map) => [...map.keys()].sort((a, b) => (a < b ? -1 : a > b ? 1 : 0));
const j = (v) => JSON.stringify(v);

function memberLine(m) {
  const out = { name: m.name, kind: m.kind };
  if (m.kind === 'method') {
    out.min = m.min;
    out.max = m.max;
  }
  if (m.static) out.static = true;
  return j(out);
}

function classBlock(name, c, indent) {
  const pad = ' '.repeat(indent);
  const lines = [`${pad}${j(name)}: {`, `${pad}  "base": ${j(c.base)},`];
  if (c.callable) lines.push(`${pad}  "callable": ${j(c.callable)},`);
  if (c.construct) lines.push(`${pad}  "construct": ${j(c.construct)},`);
  if (c.indexed) lines.push(`${pad}  "indexed": true,`);
  const members = sortedKeys(c.members).map((k) => `${pad}    ${memberLine(c.members.get(k))}`);
  if (members.length === 0) {
    lines.push(`${pad}  "members": []`);
  } else {
    lines.push(`${pad}  "members": [`, members.join(',\n'), `${pad}  ]`);
  }
  lines.push(`${pad}}`);
  return lines.join('\n');
}

function section(title, map) {
  const blocks = sortedKeys(map).map((k) => classBlock(k, map.get(k), 4));
  return `  ${j(title)}: {\n${blocks.join(',\n')}\n  }`;
}

function enumSection() {
  const blocks = [...usedEnums].sort().map((name) => {
    const e = allEnums.get(name);
    const values = e.values.map((v) => `      ${j(v)}`).join(',\n');
    return `    ${j(name)}: [\n${values}\n    ]`;
  });
  return `  "enums": {\n${blocks.join(',\n')}\n  }`;
}

const header = {
  generator: 'tools/object-model/extract.mjs',
  package: `${pkg.name}@${pkg.version}`,
  file: aeFile.split(path.sep).join('/'),
  selection:
    'classes: the host classes a controller script reaches (application, project, items and ' +
    'collections, footage sources, every layer class, the property tree, keyframe ease, ' +
    'markers, text documents, mask shapes, viewers, settings, system); groups: the interfaces ' +
    "naming a property group's attributes, reached from those classes; globals: functions and " +
    "objects called without a receiver; environment: ExtendScript's $, File, Folder and " +
    "ScriptUI's keyboard state from the package's shared files; enums: those a listed member " +
    'names, plus PropertyValueType, KeyframeInterpolationType and TimeDisplayType. Members are ' +
    'the ones declared on the class itself; inherited ones come from its base.',
  excluded: sortedKeys(
    new Map(
      source(aeFile)
        .statements.filter((s) => ts.isClassDeclaration(s) && !classes.has(nameOf(s)))
        .map((s) => [nameOf(s), true]),
    ),
  ),
};

const headerLines = Object.entries(header).map(([k, v]) => `  ${j(k)}: ${j(v)}`);
const text =
  '{\n' +
  [
    ...headerLines,
    section('classes', classes),
    section('groups', groups),
    section('globals', new Map([['global', globals]])),
    section('environment', environment),
    enumSection(),
  ].join(',\n') +
  '\n}\n';

JSON.parse(text); // the hand-written layout must stay valid JSON
if (process.argv.includes('--check')) {
  const current = fs.existsSync(outFile) ? fs.readFileSync(outFile, 'utf8') : '';
  if (current !== text) {
    console.error(`${outFile} is out of date; run node tools/object-model/extract.mjs`);
    process.exit(1);
  }
} else {
  fs.mkdirSync(path.dirname(outFile), { recursive: true });
  fs.writeFileSync(outFile, text);
}

const count = (map) => [...map.values()].reduce((n, c) => n + c.members.size, 0);
console.log(
  `${pkg.name}@${pkg.version} ${header.file}: ` +
    `${classes.size} classes (${count(classes)} members), ` +
    `${groups.size} named groups (${count(groups)}), ` +
    `${globals.members.size} globals, ` +
    `${environment.size} environment classes (${count(environment)}), ` +
    `${usedEnums.size} enums -> ${path.relative(process.cwd(), outFile)}`,
);
