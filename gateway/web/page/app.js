// The gateway's page: renders /api/state and the `state` events of /api/events,
// and sends the commands of the JSON API. No framework; texts are German.
//
// Hooks a browser test can rely on:
//   #banner                 health banner; hidden when all is well, data-reason "dead"
//                           (alive false) or "offline" (event stream broken)
//   #stand                  time of the last state received; #user the logged-in user
//   #enable                 output-enable checkbox; #enable-word its word,
//                           #enable-error its command error; #freigabe has data-enabled
//   #channels > .channel    one per output, data-channel="N", data-mode, data-state
//                           ("on"/"off"), data-valid ("true"/"false"), data-timer (minutes)
//     .state                the word for on or off (class on/off)   .name   number and name
//     .invalid              the "nicht bestätigt" mark (hidden while valid)
//     .device               the device ("dev0 dummy_io")
//     select.mode           the mode (those of /api/protocol); changing it sends the command
//     .next                 "nächster Schaltpunkt: …" (the time switch's mode only)
//     .timer                running timer, hidden without one
//     input.minutes, button.timer-on, button.timer-off, button.timer-end (hidden without timer)
//     .error                the last refused or failed command of this channel, hidden when none
//   #sensors > .sensor      .ai / .tank / .klp, data-dev, data-valid; class stale and a
//                           .stale-tag "veraltet" when valid is false
//     .ai-ch[data-ch]       one per analog channel, data-value the volts as sent
//     .tank meter, .tank [data-field=percent|liter|level|dist] (data-value as sent)
//     .klp tr[data-ch] > td.tmp / td.hum, data-value as sent ("" for null)
//   #programs > .programme  one editor per control file (programmes.js), data-file=N its
//                           index in /api/programmes, data-dirty "true" with unsaved edits
//     .file                 the file's name; .users > li[data-n=N] channel N, which uses
//                           it, with .next: what the server says of its next point
//     .eday[data-day=0..6]  a day (0 = Monday): .track with .bar elements (data-from/
//                           data-to: minutes of the day, from the points being edited),
//                           .now on today's; .points > li.point (input.time, select.onoff
//                           on/off, button.remove); button.add
//     .copy                 select.from, button.to-weekdays / .to-weekend, checkboxes
//                           with button.to-picked
//     button.save, button.discard, .count; .dirty (hidden when saved); .error (a
//                           refusal, the edits stay); .saved (after saving)
//   #programs > .nofile     channels in the time switch's mode without a control file
//   #log > li               the log lines, oldest first
//   #history                the history (history.js); #history > .empty says "Keine
//                           Aufzeichnung." when there is none (404 or no series), else hidden
//     button[data-range=1d|7d|30d|1y]   the span, aria-pressed="true" on the one shown
//     .chart[data-series-group=G]       one chart per G: ai.D, tank.D, klp.D.tmp, klp.D.hum;
//                           holds a canvas once drawn; data-points: the points of all its
//                           lines, hidden ones too (0: "Keine Daten in diesem Zeitraum.")
//     a.csv                 CSV download of one series over the span shown
//     .band[data-channel=N] channel N's on-times from out.N.value, with its name
// Numbers are shown in German notation (12,345 V); data-value keeps them as sent.

// The channel modes in the server's order, from /api/protocol before anything
// is drawn; the first two are also the page's words for off and on.
let MODES = [];
let AUS = '', EIN = '', UHR = '';
let TIMER_MAX = 0;  // minutes, the longest timer a command may start
const DAYS = ['Mo', 'Di', 'Mi', 'Do', 'Fr', 'Sa', 'So'];
const DAY_NAMES = ['Montag', 'Dienstag', 'Mittwoch', 'Donnerstag', 'Freitag', 'Samstag', 'Sonntag'];
const WEEK = 7 * 1440;  // minutes

const $ = (sel) => document.querySelector(sel);
const number = (digits) => new Intl.NumberFormat('de-DE',
  { minimumFractionDigits: digits, maximumFractionDigits: digits });
const f3 = number(3), f1 = number(1), f0 = number(0);
const two = (x) => String(x).padStart(2, '0');
const hhmm = (d) => two(d.getHours()) + ':' + two(d.getMinutes());
const hhmmss = (d) => hhmm(d) + ':' + two(d.getSeconds());
const clock = (minute) => two(Math.floor(minute / 60)) + ':' + two(minute % 60);

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

let state = null;      // the last state received
let stand = null;      // when it was received
let offline = false;   // the event stream is broken
const rows = new Map();  // channel number -> its elements
const shown = {};      // what each redrawn section shows now, as JSON

// ---- commands ----

function showError(errEl, text) {
  errEl.textContent = text ? hhmm(new Date()) + ' ' + text : '';
  errEl.hidden = !text;
}

// The change itself arrives through the event stream; until then the controls
// show the state as the server last reported it.
async function command(url, body, controls, errEl) {
  controls.forEach((c) => { c.disabled = true; });
  showError(errEl, '');
  try {
    const res = await fetch(url, {
      method: 'POST', credentials: 'same-origin',
      headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body),
    });
    let answer = {};
    try { answer = await res.json(); } catch (e) { /* not JSON: the status says enough */ }
    if (!res.ok || answer.reply !== 'ok') {
      showError(errEl, answer.reply || answer.error || `Fehler ${res.status} ${res.statusText}`);
    }
  } catch (e) {
    showError(errEl, 'Gateway nicht erreichbar');
  } finally {
    controls.forEach((c) => { c.disabled = false; });
    if (state) render(state);
  }
}

// ---- channels ----

function channelRow(n) {
  const r = { row: el('article', 'card channel') };
  r.row.dataset.channel = n;
  const head = el('div', 'head');
  r.state = el('span', 'state');
  r.name = el('h3', 'name');
  r.invalid = el('span', 'invalid', '⚠ nicht bestätigt');
  r.invalid.title = 'Das Gerät hat den letzten Schreibvorgang nicht angenommen';
  head.append(r.state, r.name, r.invalid);
  r.device = el('p', 'device');
  const modeLabel = el('label', 'mode-label', 'Modus ');
  r.select = el('select', 'mode');
  MODES.forEach((m) => r.select.append(new Option(m, m)));
  modeLabel.append(r.select);
  r.next = el('span', 'next');
  const line = el('div', 'line');
  line.append(modeLabel, r.next);
  r.timer = el('p', 'timer');
  const controls = el('div', 'line timer-controls');
  const minLabel = el('label', 'minutes-label');
  r.minutes = el('input', 'minutes');
  Object.assign(r.minutes, { type: 'number', min: 1, max: TIMER_MAX, step: 1, value: 30, inputMode: 'numeric' });
  r.minutes.setAttribute('aria-label', `Timer-Minuten Kanal ${n}`);
  minLabel.append(r.minutes, ' min');
  r.on = el('button', 'timer-on', 'Ein für');
  r.off = el('button', 'timer-off', 'Aus für');
  r.end = el('button', 'timer-end', 'Timer beenden');
  const buttons = [r.on, r.off, r.end];
  buttons.forEach((b) => { b.type = 'button'; });
  controls.append(minLabel, ...buttons);
  r.error = el('p', 'error');
  r.error.setAttribute('aria-live', 'polite');
  r.error.hidden = true;
  r.row.append(head, r.device, line, r.timer, controls, r.error);

  r.select.addEventListener('change', () =>
    command(`/api/outputs/${n}/mode`, { mode: r.select.value }, [r.select], r.error));
  const startTimer = (on) => {
    const minutes = Number(r.minutes.value);
    if (!Number.isInteger(minutes) || minutes < 1 || minutes > TIMER_MAX) {
      showError(r.error, `Minuten: eine ganze Zahl von 1 bis ${TIMER_MAX}`);
      return;
    }
    command(`/api/outputs/${n}/timer`, { minutes, on }, buttons, r.error);
  };
  r.on.addEventListener('click', () => startTimer(true));
  r.off.addEventListener('click', () => startTimer(false));
  r.end.addEventListener('click', () => command(`/api/outputs/${n}/timer`,
    { minutes: 0, on: r.row.dataset.timerOutput === 'true' }, buttons, r.error));
  return r;
}

function updateRow(r, o) {
  Object.assign(r.row.dataset, { mode: o.mode, state: o.value ? 'on' : 'off',
    valid: String(o.valid), timer: String(o.timer), timerOutput: String(o.timer_output) });
  r.state.textContent = o.value ? EIN : AUS;
  r.state.className = 'state ' + (o.value ? 'on' : 'off');
  r.name.textContent = '';
  r.name.append(el('span', 'num', String(o.n)), ' ' + o.name);
  r.invalid.hidden = o.valid;
  r.device.textContent = o.device;
  if (!MODES.includes(o.mode) && ![...r.select.options].some((x) => x.value === o.mode)) {
    r.select.append(new Option(o.mode, o.mode));
  }
  if (!r.select.disabled) r.select.value = o.mode;
  const info = (o.info || '').trim();
  r.next.textContent = o.mode === UHR && o.timer === 0 && info ? 'nächster Schaltpunkt: ' + info : '';
  r.timer.hidden = o.timer <= 0;
  if (o.timer > 0) {
    // The timer ends at the o.timer-th change of minute from now.
    const end = new Date(stand);
    end.setSeconds(0, 0);
    end.setMinutes(end.getMinutes() + o.timer);
    r.timer.textContent = `Timer: ${o.timer_output ? EIN : AUS}, noch ${o.timer} min (bis ca. ${hhmm(end)})`;
  }
  r.end.hidden = o.timer <= 0;
}

function renderChannels(outputs) {
  const box = $('#channels');
  for (const c of [...box.children]) if (!c.dataset.channel) c.remove();
  const seen = new Set();
  outputs.forEach((o, i) => {
    seen.add(o.n);
    if (!rows.has(o.n)) rows.set(o.n, channelRow(o.n));
    const r = rows.get(o.n);
    updateRow(r, o);
    // Moving a row would take the focus from its controls.
    if (box.children[i] !== r.row) box.insertBefore(r.row, box.children[i] || null);
  });
  for (const [n, r] of rows) {
    if (!seen.has(n)) { r.row.remove(); rows.delete(n); }
  }
  if (!outputs.length) box.append(el('p', 'empty', 'Keine Kanäle.'));
}

// ---- sensors, programmes, log: redrawn whole when they change ----

function sensorCard(kind, title, entry) {
  const card = el('article', `card sensor ${kind}`);
  card.dataset.dev = entry.dev;
  card.dataset.valid = String(entry.valid);
  const h = el('h3', '', title + (entry.dev >= 0 ? ` (dev${entry.dev})` : ''));
  if (!entry.valid) {
    card.classList.add('stale');
    h.append(' ', el('span', 'stale-tag', 'veraltet'));
  }
  card.append(h);
  return card;
}

function field(name, label, value, text) {
  const d = el('div', 'field');
  d.dataset.field = name;
  d.dataset.value = value;
  d.append(el('span', 'label', label), el('span', 'value', text));
  return d;
}

function renderSensors(box, [ai, tank, klp]) {
  box.textContent = '';
  for (const a of ai || []) {
    const card = sensorCard('ai', 'Analogeingänge', a);
    const grid = el('div', 'ai-grid');
    a.ch.forEach((v, i) => {
      const c = field('ch', `AI ${i + 1}`, v, f3.format(v) + ' V');
      c.className = 'field ai-ch';
      c.dataset.ch = i + 1;
      grid.append(c);
    });
    card.append(grid);
    box.append(card);
  }
  for (const t of tank || []) {
    const card = sensorCard('tank', 'Tank ' + t.id, t);
    const meter = el('meter');
    Object.assign(meter, { min: 0, max: 100, low: 15, optimum: 100, value: t.percent });
    meter.setAttribute('aria-label', 'Füllgrad');
    const gauge = el('div', 'gauge');
    const percent = el('span', 'percent', f0.format(t.percent) + ' %');
    Object.assign(percent.dataset, { field: 'percent', value: t.percent });
    gauge.append(meter, percent);
    const fields = el('div', 'fields');
    fields.append(field('liter', 'Inhalt', t.liter, f0.format(t.liter) + ' l'),
      field('level', 'Füllhöhe', t.level, f1.format(t.level)),
      field('dist', 'Abstand', t.dist, f1.format(t.dist)));
    card.append(gauge, fields);
    box.append(card);
  }
  for (const k of klp || []) {
    const card = sensorCard('klp', 'Klima', k);
    if (k.last) card.append(el('p', 'last', 'letzte Messung: ' + k.last));
    const table = el('table');
    const head = el('tr');
    ['Kanal', 'Temperatur', 'Feuchte'].forEach((t) => head.append(el('th', '', t)));
    table.append(head);
    const count = Math.max(k.tmp.length, k.hum.length);
    for (let i = 0; i < count; i++) {
      const tr = el('tr');
      tr.dataset.ch = i;
      const cell = (cls, v, unit, f) => {
        const td = el('td', cls, v === null || v === undefined ? '–' : f.format(v) + unit);
        td.dataset.value = v === null || v === undefined ? '' : v;
        return td;
      };
      tr.append(el('td', 'ch', String(i)), cell('tmp', k.tmp[i], ' °C', f1), cell('hum', k.hum[i], ' %', f0));
      table.append(tr);
    }
    card.append(table);
    box.append(card);
  }
  if (!box.children.length) box.textContent = 'Keine Sensoren.';
}

function renderLog(box, messages) {
  const atEnd = box.scrollTop + box.clientHeight >= box.scrollHeight - 4;
  box.textContent = '';
  for (const m of messages || []) box.append(el('li', '', m));
  if (atEnd) box.scrollTop = box.scrollHeight;
}

function redraw(id, data, fn) {
  const key = JSON.stringify(data);
  if (shown[id] !== key) { shown[id] = key; fn($('#' + id), data); }
}

function weekMinute() {
  const d = new Date();
  return ((d.getDay() + 6) % 7) * 1440 + d.getHours() * 60 + d.getMinutes();
}

// ---- the whole page ----

function updateBanner() {
  const banner = $('#banner');
  let reason = '', text = '';
  if (offline) {
    reason = 'offline';
    text = 'Gateway nicht erreichbar' + (stand ? ` – Werte veraltet (Stand ${hhmmss(stand)})` : '');
  } else if (state && !state.alive) {
    reason = 'dead';
    text = 'Tessaro läuft nicht oder hängt – Werte veraltet';
  }
  banner.hidden = !reason;
  banner.dataset.reason = reason;
  banner.textContent = text;
  document.body.classList.toggle('stale-all', Boolean(reason));
}

function render(s) {
  state = s;
  $('#stand').textContent = 'Stand: ' + hhmmss(stand);
  $('#user').textContent = s.user ? 'angemeldet: ' + s.user + ' · ' : '';
  const enable = $('#enable');
  if (!enable.disabled) enable.checked = s.enaoutp;
  $('#enable-word').textContent = s.enaoutp ? EIN + ' – die Hardware wird geschrieben'
    : AUS + ' – die Hardware wird nicht geschrieben';
  $('#freigabe').dataset.enabled = String(s.enaoutp);
  renderChannels(s.outputs || []);
  redraw('sensors', [s.ai, s.tank, s.klp], renderSensors);
  if (typeof programmes !== 'undefined') programmes.update(s);
  redraw('log', s.messages, renderLog);
  updateBanner();
}

function received(s) {
  stand = new Date();
  render(s);
}

// EventSource retries by itself only after a network error; after an HTTP
// error (a 502 from a proxy, a 404) it closes, so it is opened again here.
let retry = 1000;
function connect() {
  const es = new EventSource('/api/events');
  es.addEventListener('state', (ev) => {
    offline = false;
    retry = 1000;
    try { received(JSON.parse(ev.data)); } catch (e) { console.error('state', e); }
  });
  es.addEventListener('error', () => {
    offline = true;
    updateBanner();
    if (es.readyState === EventSource.CLOSED) {
      setTimeout(connect, retry);
      retry = Math.min(retry * 2, 30000);
    }
  });
}

$('#enable').addEventListener('change', (ev) =>
  command('/api/enable', { enabled: ev.target.checked }, [ev.target], $('#enable-error')));
$('#enable-error').hidden = true;
const getJson = (path) => fetch(path, { credentials: 'same-origin' })
  .then((res) => (res.ok ? res.json() : Promise.reject(new Error(res.status))));
// The words first: nothing is drawn without them. Until the gateway answers,
// the banner says it cannot be reached.
function start() {
  getJson('/api/protocol').then((p) => {
    MODES = p.modes;
    [AUS, EIN, UHR] = MODES;
    TIMER_MAX = p.timer_minutes_max;
    getJson('/api/state').then((s) => { if (!state) received(s); })
      .catch(() => { /* the event stream reports the gateway's absence */ });
    connect();
  }).catch(() => {
    offline = true;
    updateBanner();
    setTimeout(start, retry);
    retry = Math.min(retry * 2, 30000);
  });
}
start();
