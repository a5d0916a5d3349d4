// The live view's page: renders each state the host pushes on /events and sends the
// person's actions (select an item, run a menu command or a script) as JSON POSTs.
'use strict';

const $ = (id) => document.getElementById(id);
let latest = null;

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function itemName(id) {
  const item = latest && latest.items.find((i) => i.id === id);
  return item ? item.name : '#' + id;
}

// The items nested by folder: children of parent 0 at the top.
function renderProject(state) {
  const children = new Map();
  for (const item of state.items) {
    if (!children.has(item.parent)) children.set(item.parent, []);
    children.get(item.parent).push(item);
  }
  const build = (parent) => {
    const list = el('ul');
    for (const item of children.get(parent) || []) {
      const li = el('li');
      const row = el('div', 'item');
      row.dataset.id = item.id;
      row.classList.toggle('selected', item.selected);
      row.classList.toggle('active', item.id === state.active);
      row.append(el('span', 'name', item.name), el('span', 'type', item.type));
      row.addEventListener('click', () => act('/select', { id: item.id }));
      li.append(row);
      if (children.has(item.id)) li.append(build(item.id));
      list.append(li);
    }
    return list;
  };
  $('project').replaceChildren(...build(0).childNodes);
}

function renderInfo(state) {
  const info = state.info;
  $('info-line1').textContent = info.line1;
  $('info-line2').textContent = info.line2;
  $('info-appended').replaceChildren(...info.appended.map((t) => el('div', '', t)));
  const swatch = $('swatch');
  const channels = $('channels');
  channels.replaceChildren();
  if (!info.color) {
    swatch.className = 'swatch none';
    swatch.style.background = '';
    delete swatch.dataset.rgba;
    return;
  }
  const c = info.color;
  swatch.className = 'swatch';
  swatch.style.background = `rgb(${c.red}, ${c.green}, ${c.blue})`;
  swatch.dataset.rgba = [c.red, c.green, c.blue, c.alpha].join(',');
  for (const name of ['alpha', 'red', 'green', 'blue'])
    channels.append(el('dt', '', name), el('dd', '', String(c[name])));
}

function renderHost(state) {
  const link = state.controller;
  const text = {
    listening: `listening on port ${link.port}`,
    connected: `connected (port ${link.port})`,
    stale: `port file names ${link.port}, nothing listens there`,
    none: 'not listening (no port file)',
  }[link.state];
  const controller = $('controller');
  controller.textContent = text;
  controller.className = link.state === 'connected' ? 'ok' : '';
  controller.dataset.state = link.state;
  $('idle').textContent = `${state.idle_per_second} / s`;
  $('commands-total').textContent = String(state.commands_total);
  const violations = $('violations');
  violations.textContent = String(state.violations.count);
  violations.className = state.violations.count > 0 ? 'alarm' : 'ok';
  violations.title = Object.entries(state.violations.calls).map(([k, v]) => `${k}: ${v}`).join('\n');
  $('suites').replaceChildren(
    ...state.suites.map((s) => el('li', '', `${s.name} v${s.version}${s.count > 1 ? ' ×' + s.count : ''}`)));
  const alerts = $('alerts');
  alerts.replaceChildren(...state.alerts.map((a) => el('li', 'alarm', a)));
  if (state.alerts.length === 0) alerts.append(el('li', '', 'none'));
}

function describe(entry) {
  switch (entry.kind) {
    case 'command':
      return [`${entry.number}`, `from ${entry.source}`];
    case 'script': {
      const outcome = entry.error ? `error: ${entry.error}` : `→ ${entry.result}`;
      return [`${entry.text}  ${outcome}  (${entry.ms.toFixed(2)} ms)`, entry.error ? 'error' : ''];
    }
    case 'info': {
      const i = entry.info;
      const colour = i.color ? ` colour a${i.color.alpha} r${i.color.red} g${i.color.green} b${i.color.blue}` : '';
      return [`"${i.line1}" "${i.line2}"${i.appended.map((t) => ` + "${t}"`).join('')}${colour}`];
    }
    case 'selection':
      return [`selected: ${entry.selected.map(itemName).join(', ') || 'nothing'}; active: ${
        entry.active === null ? 'none' : itemName(entry.active)}`];
    case 'trace':
      return [entry.text];
    case 'output':
      return [entry.cleared ? `${entry.to} cleared` : `${entry.to === 'info' ? 'Info panel: ' : ''}${entry.text}`];
    case 'connection':
      return [entry.messages === null
        ? `a controller connected to port ${entry.port} and left (its messages are counted when the plug-in traces)`
        : `port ${entry.port}: ${entry.messages} message${entry.messages === 1 ? '' : 's'} in ${entry.ms.toFixed(1)} ms; ${entry.end}`];
    default:
      return [JSON.stringify(entry)];
  }
}

// Newest first; a row repeated in a row shows once with its count; the filter shows one kind.
function renderLog(state) {
  const only = $('log-filter').value;
  const rows = state.log.filter((entry) => only === '' || entry.kind === only);
  $('log').replaceChildren(...rows.map((entry) => {
    const li = el('li', entry.kind);
    li.dataset.kind = entry.kind;
    li.dataset.count = String(entry.count);
    const [text, extra] = describe(entry);
    const count = entry.count > 1 ? ` ×${entry.count.toLocaleString('en-US')}` : '';
    const body = el('span', entry.error ? 'error' : '',
      (extra && entry.kind === 'command' ? `${text}  ${extra}` : text) + count);
    body.title = body.textContent;
    li.append(el('span', 'time', entry.time), el('span', 'kind', entry.kind), body);
    return li;
  }));
}

// The active composition: its playhead, its layers with switches (E enabled, S solo, Y shy,
// L locked) and selection, and the selected layers' transform values.
function renderComp(state) {
  const comp = state.comp;
  $('comp-head').textContent = comp
    ? `${comp.name}: ${comp.time.toFixed(3)} s (frame ${Math.round(comp.time * comp.frameRate)}) of ${comp.duration} s at ${comp.frameRate} fps`
    : 'No active composition.';
  $('comp-layers').replaceChildren(...(comp ? comp.layers : []).map((layer) => {
    const li = el('li', 'layer');
    li.dataset.index = layer.index;
    li.classList.toggle('selected', layer.selected);
    li.classList.toggle('inactive', !layer.active);
    const flags = [['enabled', 'E'], ['solo', 'S'], ['shy', 'Y'], ['locked', 'L']]
      .map(([key, letter]) => (layer[key] ? letter : '·')).join('');
    li.append(el('span', 'flags', flags), el('span', 'name', `${layer.index}. ${layer.name}`));
    if (layer.transform) {
      const values = Object.entries(layer.transform).map(([name, v]) =>
        `${name} ${Array.isArray(v) ? v.map((n) => +n.toFixed(2)).join(', ') : +v.toFixed(2)}`);
      li.append(el('div', 'transform', values.join(' · ')));
    }
    return li;
  }));
}

function render(state) {
  latest = state;
  renderProject(state);
  renderComp(state);
  renderInfo(state);
  renderHost(state);
  renderLog(state);
  document.body.dataset.updates = String(Number(document.body.dataset.updates || 0) + 1);
}

async function act(path, body) {
  const answer = $('answer');
  try {
    const response = await fetch(path, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(body),
    });
    const reply = await response.json();
    answer.textContent = reply.ok ? JSON.stringify(reply) : `error: ${reply.error}`;
    answer.className = reply.ok ? 'answer' : 'answer alarm';
  } catch (error) {
    answer.textContent = `error: ${error}`;
    answer.className = 'answer alarm';
  }
}

// The host's states come through one stream shared by every tab of the browser (feed.js);
// where shared workers are missing, each tab opens a stream of its own.
function connect() {
  const feed = $('feed');
  const live = () => { feed.textContent = 'live'; feed.className = 'badge on'; };
  const lost = () => { feed.textContent = 'reconnecting…'; feed.className = 'badge off'; };
  if (typeof SharedWorker === 'function') {
    const worker = new SharedWorker('/feed.js');
    worker.port.onmessage = (event) => {
      const message = event.data;
      if (message.kind === 'open') live();
      else if (message.kind === 'error') lost();
      else if (message.kind === 'state') render(JSON.parse(message.data));
    };
    worker.port.start();
    window.addEventListener('pagehide', () => worker.port.postMessage('bye'));
    return;
  }
  const events = new EventSource('/events');
  events.onopen = live;
  events.onerror = lost;
  events.onmessage = (event) => render(JSON.parse(event.data));
}

document.addEventListener('DOMContentLoaded', () => {
  $('log-filter').addEventListener('change', () => { if (latest) renderLog(latest); });
  $('command-form').addEventListener('submit', (e) => {
    e.preventDefault();
    act('/command', { number: Number($('command-number').value) });
  });
  $('script-form').addEventListener('submit', (e) => {
    e.preventDefault();
    act('/script', { text: $('script-text').value });
  });
  connect();
});
