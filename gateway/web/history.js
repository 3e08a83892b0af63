// The section "Verlauf": the sensors' history and the channels' on-times from
// /api/history, drawn with uPlot over one time axis in local time. Uses el(),
// number() and state of app.js; its hooks are listed at the top of app.js.
(() => {
  const HOUR = 36e5, DAY = 24 * HOUR;
  const RANGES = { '1d': DAY, '7d': 7 * DAY, '30d': 30 * DAY, '1y': 365 * DAY };
  const MONTHS = { MMM: 'Jan Feb Mär Apr Mai Jun Jul Aug Sep Okt Nov Dez'.split(' ') };
  // uPlot's table of time labels: smallest tick step, label, then the label
  // at a new year, month, day, hour, minute, second, and 1: append them.
  const TICKS = [
    [365 * DAY, '{YYYY}', null, null, null, null, null, null, 1],
    [28 * DAY, '{MMM}', '\n{YYYY}', null, null, null, null, null, 1],
    [DAY, '{D}.{M}.', '\n{YYYY}', null, null, null, null, null, 1],
    [60e3, '{HH}:{mm}', '\n{D}.{M}.{YYYY}', null, '\n{D}.{M}.', null, null, null, 1],
  ];
  // The tank's percentage is its content on another scale: an axis, not a line.
  const TANK = { liter: { label: 'Inhalt', unit: 'l', digits: 0 }, percent: { label: 'Füllstand', unit: '%', digits: 0, axis: 1 },
    level: { label: 'Füllhöhe', unit: 'cm', digits: 1 } };
  // Series name -> its group and how it is shown; rank orders it in the group.
  const KINDS = [
    [/^ai\.(\d+)\.(\d+)$/, (m) => ({ key: `ai.${m[1]}`, title: `Analogeingänge (dev${m[1]})`, label: `Eingang ${m[2]}`,
      unit: 'V', digits: 3, rank: +m[2] })],
    [/^tank\.(\d+)\.(liter|percent|level)$/, (m) => ({ key: `tank.${m[1]}`, title: `Tank (dev${m[1]})`, ...TANK[m[2]],
      rank: Object.keys(TANK).indexOf(m[2]) })],
    [/^klp\.(\d+)\.tmp\.(\d+)$/, (m) => ({ key: `klp.${m[1]}.tmp`, title: `Temperaturen (dev${m[1]})`, label: `Kanal ${m[2]}`,
      unit: '°C', digits: 1, rank: +m[2] })],
    [/^klp\.(\d+)\.hum\.(\d+)$/, (m) => ({ key: `klp.${m[1]}.hum`, title: `Feuchte (dev${m[1]})`, label: `Kanal ${m[2]}`,
      unit: '%', digits: 0, rank: +m[2] })],
  ];
  const section = document.querySelector('#history');
  const box = section.querySelector('.charts'), bandBox = section.querySelector('.bands');
  const empty = section.querySelector('.empty'), buttons = section.querySelectorAll('button[data-range]');
  const view = { range: '1d', from: 0, to: 0 };
  const charts = new Map();  // group -> its card, uPlot and links
  let bands = { sig: '', rows: [] }, generation = 0;

  const formats = {};
  const fmt = (v, digits, unit) => (formats[digits] ||= number(digits)).format(v) + '\u00a0' + unit;
  const decimals = (step) => Math.min(3, (String(+step.toPrecision(6)).split('.')[1] || '').length);
  const url = (name, csv) => `/api/history?series=${encodeURIComponent(name)}&from=${view.from}&to=${view.to}` +
    (csv ? '&format=csv' : '');
  const csvLink = (name, text) => Object.assign(el('a', 'csv', text), { download: '', href: url(name, true) });

  function theme() {
    const css = getComputedStyle(document.documentElement), v = (name) => css.getPropertyValue(name).trim();
    return { muted: v('--muted'), line: v('--line'), on: v('--bar'), off: v('--off-bg'), colors: v('--series').split(/\s+/) };
  }

  function base(t, width, height, xAxis) {
    const grid = { stroke: t.line, width: 1 };
    return { width, height, ms: 1, fmtDate: (tpl) => uPlot.fmtDate(tpl, MONTHS),
      cursor: { sync: { key: 'verlauf' }, y: false, drag: { x: false, y: false } },
      scales: { x: { time: true, range: () => [view.from, view.to] } },
      axes: [{ show: xAxis, stroke: t.muted, grid, ticks: { ...grid, size: 4 }, values: TICKS, space: 64, size: 40 }] };
  }

  function groupsOf(names) {
    const groups = new Map();
    for (const name of names) {
      KINDS.forEach(([re, describe], kind) => {
        const m = name.match(re);
        if (!m) return;
        const s = { name, ...describe(m) };
        if (!groups.has(s.key)) groups.set(s.key, { key: s.key, title: s.title, order: kind * 1e4 + +m[1], series: [] });
        groups.get(s.key).series.push(s);
      });
    }
    const list = [...groups.values()].sort((a, b) => a.order - b.order);
    list.forEach((g) => g.series.sort((a, b) => a.rank - b.rank));
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

  function makeChart(g, t) {
    const c = { card: el('article', 'card chart-card'), holder: el('div', 'chart'), none: el('p', 'empty', 'Keine Daten in diesem Zeitraum.') };
    c.holder.dataset.seriesGroup = g.key;
    const links = el('p', 'csv-links', 'CSV: ');
    c.links = g.series.map((s) => { const a = csvLink(s.name, s.label); links.append(a, ' '); return a; });
    c.card.append(el('h3', '', g.title), c.holder, c.none, links);
    box.append(c.card);
    // Units beyond the first two (the tank's height) have no axis and start hidden.
    const units = [...new Set(g.series.map((s) => s.unit))];
    const o = base(t, c.holder.clientWidth, c.holder.clientWidth < 500 ? 200 : 240, true);
    units.slice(0, 2).forEach((unit, i) => o.axes.push({ ...o.axes[0], show: true, scale: unit, side: i ? 1 : 3,
      space: 30, grid: { ...o.axes[0].grid, show: !i }, size: (u, vals) => 12 + 7 * Math.max(3, ...(vals || []).map((x) => x.length)),
      values: (u, splits, a, space, step) => splits.map((v) => fmt(v, decimals(step), unit)) }));
    o.series = [{ label: 'Zeit', value: '{DD}.{MM}.{YYYY} {HH}:{mm}' }, ...g.series.map((s, i) => ({
      label: s.label, scale: s.unit, show: units.indexOf(s.unit) < 2, stroke: t.colors[i % t.colors.length], width: 1.5,
      value: (u, v) => (v == null ? '–' : fmt(v, s.digits, s.unit)) }))];
    c.u = new uPlot(o, [[], ...g.series.map(() => [])], c.holder);
    return c;
  }

  function drawCharts(groups, data) {
    const t = theme(), keep = new Set();
    groups.forEach((g, i) => {
      const sig = g.series.map((s) => s.name).join();
      let c = charts.get(g.key);
      if (c && c.sig !== sig) { c.u.destroy(); c.card.remove(); c = null; }
      if (!c) charts.set(g.key, c = Object.assign(makeChart(g, t), { sig }));
      if (box.children[i] !== c.card) box.insertBefore(c.card, box.children[i] || null);
      keep.add(g.key);
      const tables = g.series.map((s) => table(data.get(s.name)));
      const points = tables.reduce((n, [, ys]) => n + ys.filter((v) => v !== null).length, 0);
      c.u.setData(uPlot.join(tables));
      c.holder.dataset.points = points;
      c.none.hidden = points > 0;
      g.series.forEach((s, k) => { c.links[k].href = url(s.name, true); });
    });
    for (const [key, c] of charts) if (!keep.has(key)) { c.u.destroy(); c.card.remove(); charts.delete(key); }
  }

  // The state holds from each change to the next, the last one until now.
  function drawBands(outs, data) {
    const t = theme(), sig = outs.join();
    if (bands.sig !== sig) {
      bands.rows.forEach((r) => r.u.destroy());
      bandBox.textContent = '';
      bands = { sig, rows: outs.map((n, i) => {
        const r = { n, row: el('div', 'band'), name: el('span', 'bname'), plot: el('div', 'bplot') };
        r.row.dataset.channel = n;
        r.row.append(r.name, r.plot);
        bandBox.append(r.row);
        const last = i === outs.length - 1, o = base(t, r.plot.clientWidth, last ? 60 : 20, last);
        const paths = uPlot.paths.stepped({ align: 1 });
        o.legend = { show: false };
        o.cursor.points = { show: false };
        o.scales.y = { range: [0, 1] };
        o.axes.push({ show: false });
        o.series = [{}, { fill: t.on, width: 0, paths }, { fill: t.off, width: 0, paths }];
        r.u = new uPlot(o, [[], [], []], r.plot);
        return r;
      }) };
    }
    const names = new Map(((typeof state !== 'undefined' && state && state.outputs) || []).map((o) => [o.n, o.name]));
    for (const r of bands.rows) {
      const xs = [], on = [];
      for (const [t, v] of ((data.get(`out.${r.n}.value`) || {}).points) || []) { xs.push(Math.max(t, view.from)); on.push(v ? 1 : 0); }
      if (xs.length) { xs.push(view.to); on.push(on[on.length - 1]); }
      let onMs = 0;
      for (let i = 0; i + 1 < xs.length; i++) if (on[i]) onMs += xs[i + 1] - xs[i];
      r.u.setData([xs, on, on.map((v) => 1 - v)]);
      r.name.textContent = '';
      r.name.append(el('span', 'num', String(r.n)), ` ${names.get(r.n) || 'Kanal'} `,
        el('span', 'ontime', `ein ${fmt(onMs / HOUR, 1, 'h')}`), ' ', csvLink(`out.${r.n}.value`, 'CSV'));
    }
    bandBox.hidden = !outs.length;
  }

  async function load() {
    const gen = ++generation;
    view.to = Date.now();
    view.from = view.to - RANGES[view.range];
    let names = [];
    try {
      const res = await fetch('/api/history', { credentials: 'same-origin' });
      if (res.ok) names = (await res.json()).series || [];
      else if (res.status !== 404) return;
    } catch (e) {
      return;  // the gateway is away: the banner says so, the charts stay
    }
    const groups = groupsOf(names);
    const outs = names.map((s) => s.match(/^out\.(\d+)\.value$/)).filter(Boolean).map((m) => +m[1]).sort((a, b) => a - b);
    const wanted = groups.flatMap((g) => g.series.map((s) => s.name)).concat(outs.map((n) => `out.${n}.value`));
    const answers = await Promise.all(wanted.map((name) => fetch(url(name), { credentials: 'same-origin' })
      .then((res) => (res.ok ? res.json() : null)).catch(() => null)));
    if (gen !== generation) return;
    empty.textContent = 'Keine Aufzeichnung.';
    empty.hidden = wanted.length > 0;
    section.querySelector('.ranges').hidden = !wanted.length;
    const data = new Map(wanted.map((name, i) => [name, answers[i]]));
    drawCharts(groups, data);
    drawBands(outs, data);
  }

  function run() {
    load().catch((e) => console.error('Verlauf', e));
  }

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
    for (const c of charts.values()) c.u.setSize({ width: c.holder.clientWidth, height: c.holder.clientWidth < 500 ? 200 : 240 });
    for (const r of bands.rows) r.u.setSize({ width: r.plot.clientWidth, height: r.u.height });
  }).observe(section);
  // Colours come from the theme: a change of it draws everything anew.
  matchMedia('(prefers-color-scheme: dark)').addEventListener('change', () => {
    for (const c of charts.values()) { c.u.destroy(); c.card.remove(); }
    charts.clear();
    bands.sig = null;
    run();
  });
  run();
  setInterval(run, 60000);
})();
