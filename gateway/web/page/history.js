// The section "Verlauf": the sensors' history and the channels' on-times from
// /api/history, drawn with uPlot over one time axis in local time. Uses el(),
// number() and state of app.js; its hooks are listed at the top of app.js.
(() => {
  const HOUR = 36e5, DAY = 24 * HOUR;
  const RANGES = { '1d': DAY, '7d': 7 * DAY, '30d': 30 * DAY, '1y': 365 * DAY };
  const MONTHS = { MMM: 'Jan Feb Mär Apr Mai Jun Jul Aug Sep Okt Nov Dez'.split(' ') };
  // uPlot's time labels: smallest tick step, label, the label at a new year,
  // month, day, hour, minute, second, and 1: appended to the label.
  const TICKS = [
    [365 * DAY, '{YYYY}', null, null, null, null, null, null, 1],
    [28 * DAY, '{MMM}', '\n{YYYY}', null, null, null, null, null, 1],
    [DAY, '{D}.{M}.', '\n{YYYY}', null, null, null, null, null, 1],
    [60e3, '{HH}:{mm}', '\n{D}.{M}.', null, '\n{D}.{M}.', null, null, null, 1],
  ];
  // Series name -> its chart, the chart's title, its label, unit, digits. The
  // tank's percentage is its content on another scale: an axis, not a line.
  const KINDS = [
    [/^ai\.(\d+)\.(\d+)$/, 'ai.$1', 'Analogeingänge (dev$1)', 'Eingang $2', 'V', 3],
    [/^tank\.(\d+)\.liter$/, 'tank.$1', 'Tank (dev$1)', 'Inhalt', 'l', 0],
    [/^tank\.(\d+)\.percent$/, 'tank.$1', 'Tank (dev$1)', 'Füllstand', '%', 0, true],
    [/^tank\.(\d+)\.level$/, 'tank.$1', 'Tank (dev$1)', 'Füllhöhe', 'cm', 1],
    [/^klp\.(\d+)\.tmp\.(\d+)$/, 'klp.$1.tmp', 'Temperaturen (dev$1)', 'Kanal $2', '°C', 1],
    [/^klp\.(\d+)\.hum\.(\d+)$/, 'klp.$1.hum', 'Feuchte (dev$1)', 'Kanal $2', '%', 0],
  ];
  const section = document.querySelector('#history'), box = section.querySelector('.charts');
  const bandBox = section.querySelector('.bands'), empty = section.querySelector('.empty');
  const buttons = section.querySelectorAll('button[data-range]');
  const view = { range: '1d', from: 0, to: 0 };
  let charts = [], bands = [], shown = '', generation = 0;  // shown: the series drawn, as JSON

  const formats = {};
  const fmt = (v, digits, unit) => (formats[digits] ||= number(digits)).format(v) + '\u00a0' + unit;
  const decimals = (step) => Math.min(3, (String(+step.toPrecision(6)).split('.')[1] || '').length);
  const url = (name, csv) =>
    `/api/history?series=${encodeURIComponent(name)}&from=${view.from}&to=${view.to}${csv ? '&format=csv' : ''}`;
  const csvLink = (name, text) => Object.assign(el('a', 'csv', text), { download: '', href: url(name, true) });
  const chartHeight = (width) => (width < 500 ? 200 : 240);
  const get = (path) => fetch(path, { credentials: 'same-origin' })
    .then((res) => (res.ok ? res.json() : Promise.reject(res.status)));
  const cssVar = (name) => getComputedStyle(document.documentElement).getPropertyValue(name).trim();
  const sum = (res) => ((res && res.points) || []).reduce((n, [, v]) => n + v, 0);

  function base(width, height) {
    const grid = { stroke: cssVar('--line'), width: 1 };
    return { width, height, ms: 1, fmtDate: (tpl) => uPlot.fmtDate(tpl, MONTHS),
      cursor: { sync: { key: 'verlauf' }, y: false, drag: { x: false, y: false } },
      scales: { x: { time: true, range: () => [view.from, view.to] } },
      axes: [{ stroke: cssVar('--muted'), grid, ticks: { ...grid, size: 4 }, values: TICKS, space: 64, size: 40 }] };
  }

  function groupsOf(names) {
    const groups = new Map();
    for (const name of names) {
      const k = KINDS.findIndex(([re]) => re.test(name));
      if (k < 0) continue;
      const [re, ...texts] = KINDS[k];
      const [key, title, label, unit, digits, axis] =
        texts.map((x) => (typeof x === 'string' ? name.replace(re, x) : x));
      if (!groups.has(key)) groups.set(key, { key, title, k, dev: +name.split('.')[1], series: [] });
      groups.get(key).series.push({ name, k, label, unit, digits, axis });
    }
    // The names come sorted and channel numbers have one digit: only the kinds need an order.
    const list = [...groups.values()].filter((g) => g.series.some((s) => !s.axis));
    list.sort((a, b) => a.k - b.k || a.dev - b.dev);
    list.forEach((g) => g.series.sort((a, b) => a.k - b.k));
    return list;
  }

  // A missing sample is a gap: a null one step after the last point before it.
  function table(res) {
    const xs = [], ys = [], step = (res && res.step_ms) || 0;
    for (const [t, v] of (res && res.points) || []) {
      if (step && xs.length && t - xs[xs.length - 1] > 1.5 * step) { xs.push(xs[xs.length - 1] + step); ys.push(null); }
      xs.push(t);
      ys.push(v);
    }
    return [xs, ys];
  }

  function makeChart(g) {
    const c = { card: el('article', 'card chart-card'), holder: el('div', 'chart'), ratio: 0,
      none: el('p', 'empty', 'Keine Daten in diesem Zeitraum.'), lines: g.series.filter((s) => !s.axis) };
    c.holder.dataset.seriesGroup = g.key;
    const links = el('p', 'csv-links', 'CSV: ');
    c.links = g.series.map((s) => csvLink(s.name, s.label));
    c.links.forEach((a) => links.append(a, ' '));
    c.card.append(el('h3', '', g.title), c.holder, c.none, links);
    box.append(c.card);
    const o = base(c.holder.clientWidth, chartHeight(c.holder.clientWidth));
    const when = uPlot.fmtDate('{DD}.{MM}.{YYYY} {HH}:{mm}');
    const axis = (scale, side, values) => ({ ...o.axes[0], scale, side, space: 30,
      grid: { ...o.axes[0].grid, show: side === 3 },
      size: (u, vals) => 12 + 7 * Math.max(3, ...(vals || []).map((x) => x.length)),
      values: (u, splits, i, space, step) => splits.map((v) => values(v, step)) });
    // Two units get an axis each; a further one (the tank's height) starts hidden.
    const units = [...new Set(c.lines.map((s) => s.unit))], scaled = g.series.find((s) => s.axis);
    const axed = scaled ? 1 : 2;
    units.slice(0, axed).forEach((unit, i) =>
      o.axes.push(axis(unit, i ? 1 : 3, (v, step) => fmt(v, decimals(step), unit))));
    if (scaled) {
      o.axes.push(axis(units[0], 1, (v, step) =>
        (c.ratio ? fmt(v / c.ratio, Math.min(1, decimals(step / c.ratio)), scaled.unit) : '')));
    }
    const colors = cssVar('--series').split(/\s+/);
    o.series = [{ label: 'Zeit', value: (u, v) => (v == null ? '–' : when(new Date(v))) },
      ...c.lines.map((s, i) => ({ label: s.label, scale: s.unit, show: units.indexOf(s.unit) < axed,
        stroke: colors[i % colors.length], width: 1.5,
        value: (u, v) => (v == null ? '–' : fmt(v, s.digits, s.unit)) }))];
    c.u = new uPlot(o, [[], ...c.lines.map(() => [])], c.holder);
    return c;
  }

  function makeBand(n, last) {
    const r = { n, row: el('div', 'band'), name: el('span', 'bname'), plot: el('div', 'bplot') };
    r.row.dataset.channel = n;
    r.row.append(r.name, r.plot);
    bandBox.append(r.row);
    // Only the last row shows the time axis; fixed margins align the others with it.
    const o = base(r.plot.clientWidth, last ? 60 : 20);
    const paths = uPlot.paths.stepped({ align: 1 }), points = { show: false };
    Object.assign(o.axes[0], { show: last, grid: { show: false } });
    Object.assign(o, { padding: [0, 20, 0, 20], legend: { show: false } });
    o.cursor.points = points;
    o.scales.y = { range: [0, 1] };
    o.axes.push({ show: false });
    o.series = [{}, ...['--bar', '--off-bg'].map((v) => ({ fill: cssVar(v), width: 0, paths, points }))];
    r.u = new uPlot(o, [[], [], []], r.plot);
    return r;
  }

  // Built anew when the recorded series change, else only given new data.
  function draw(groups, outs, data) {
    const sig = JSON.stringify([groups.map((g) => g.series.map((s) => s.name)), outs]);
    if (sig !== shown) {
      shown = sig;
      [...charts, ...bands].forEach((x) => x.u.destroy());
      box.textContent = '';
      bandBox.hidden = !outs.length;  // shown before the rows measure their width
      bandBox.replaceChildren(el('h3', '', 'Ein-Zeiten der Kanäle'));
      charts = groups.map((g) => makeChart(g));
      bands = outs.map((n, i) => makeBand(n, i === outs.length - 1));
    }
    groups.forEach((g, i) => {
      const c = charts[i], scaled = g.series.find((s) => s.axis);
      const ratio = scaled ? sum(data.get(c.lines[0].name)) / sum(data.get(scaled.name)) : 0;
      c.ratio = Number.isFinite(ratio) ? ratio : 0;
      const tables = c.lines.map((s) => table(data.get(s.name)));
      const points = tables.reduce((n, [, ys]) => n + ys.filter((v) => v !== null).length, 0);
      c.u.setData(uPlot.join(tables));
      c.holder.dataset.points = points;
      c.none.hidden = points > 0;
      g.series.forEach((s, k) => { c.links[k].href = url(s.name, true); });
    });
    // A channel's value holds from each change to the next, the last one until now.
    const names = new Map(((typeof state !== 'undefined' && state && state.outputs) || []).map((o) => [o.n, o.name]));
    for (const r of bands) {
      const xs = [], on = [];
      for (const [t, v] of (data.get(`out.${r.n}.value`) || {}).points || []) {
        xs.push(Math.max(t, view.from));
        on.push(v ? 1 : 0);
      }
      if (xs.length) { xs.push(view.to); on.push(on[on.length - 1]); }
      let onMs = 0;
      for (let i = 0; i + 1 < xs.length; i++) onMs += on[i] * (xs[i + 1] - xs[i]);
      r.u.setData([xs, on, on.map((v) => 1 - v)]);
      r.name.replaceChildren(el('span', 'num', String(r.n)), ` ${names.get(r.n) || ''} `,
        el('span', 'ontime', `${EIN} ${fmt(onMs / HOUR, 1, 'h')}`), ' ', csvLink(`out.${r.n}.value`, 'CSV'));
    }
  }

  async function load() {
    const gen = ++generation;
    view.to = Date.now();
    view.from = view.to - RANGES[view.range];
    let names = [];
    try {
      names = (await get('/api/history')).series || [];
    } catch (status) {
      if (status !== 404) return;  // the gateway is away: the banner says so, the charts stay
    }
    const groups = groupsOf(names);
    const outs = names.map((s) => s.match(/^out\.(\d+)\.value$/)).filter(Boolean).map((m) => +m[1]);
    outs.sort((a, b) => a - b);
    const wanted = groups.flatMap((g) => g.series.map((s) => s.name)).concat(outs.map((n) => `out.${n}.value`));
    const answers = await Promise.all(wanted.map((name) => get(url(name)).catch(() => null)));
    if (gen !== generation) return;
    empty.textContent = 'Keine Aufzeichnung.';
    empty.hidden = wanted.length > 0;
    section.querySelector('.ranges').hidden = !wanted.length;
    const data = new Map(wanted.map((name, i) => [name, answers[i]]));
    draw(groups, outs, data);
  }

  const run = () => load().catch((e) => console.error('Verlauf', e));
  if (typeof uPlot === 'undefined') {
    empty.textContent = 'Diagramme nicht verfügbar.';
    return;
  }
  buttons.forEach((b) => b.addEventListener('click', () => {
    view.range = b.dataset.range;
    buttons.forEach((x) => x.setAttribute('aria-pressed', String(x === b)));
    run();
  }));
  let width = 0;
  new ResizeObserver(() => {
    if (section.clientWidth === width) return;
    width = section.clientWidth;
    for (const c of charts) c.u.setSize({ width: c.holder.clientWidth, height: chartHeight(c.holder.clientWidth) });
    for (const r of bands) r.u.setSize({ width: r.plot.clientWidth, height: r.u.height });
  }).observe(section);
  // The colours are the theme's: a change of it draws everything anew.
  matchMedia('(prefers-color-scheme: dark)').addEventListener('change', () => { shown = ''; run(); });
  run();
  setInterval(run, 60000);
})();
