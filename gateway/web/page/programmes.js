// The section "Wochenprogramm": one editor per control file of Tessaro.ini
// (/api/programmes), its week drawn from the points as they are being edited.
// Uses el(), clock(), hhmm(), DAYS, DAY_NAMES, WEEK and weekMinute() of app.js;
// its hooks are listed at the top of app.js.
const programmes = (() => {
  const MAX_POINTS = 512;  // the server's limit, one for every day of every line
  const box = document.querySelector('#programs');
  const editors = new Map();  // file index -> editor
  let lastState = null;

  const api = (path, options = {}) => fetch(path, { credentials: 'same-origin', ...options })
    .then(async (res) => ({ status: res.status, body: await res.json().catch(() => ({})) }));

  // A line of the file: days[7] booleans, time "HH:MM" ('' while incomplete).
  const toLines = (points) => points.map((p) => ({ days: [...p.days].map((c) => c === '1'),
    time: p.time, on: p.on, comment: p.comment || '', line: p.line || 0 }));
  const toPoints = (lines) => lines.map((l) => Object.assign(
    { days: l.days.map((d) => (d ? '1' : '0')).join(''), time: l.time, on: l.on, line: l.line },
    l.comment ? { comment: l.comment } : {}));
  const rawCount = (lines) => lines.reduce((n, l) => n + l.days.filter(Boolean).length, 0);
  const minuteOf = (time) => { const [h, m] = time.split(':').map(Number); return h * 60 + m; };

  // The programme as the server reads it: one point for every day of every
  // line, in time order (file order within a minute), and a point that
  // repeats the state before it counts for nothing.
  function merged(lines) {
    const pts = [];
    for (const l of lines) {
      if (!l.time) continue;
      l.days.forEach((d, day) => { if (d) pts.push({ t: (((day * 1440 + minuteOf(l.time)) % WEEK) + WEEK) % WEEK, on: l.on }); });
    }
    pts.sort((a, b) => a.t - b.t);
    const kept = [];
    for (const p of pts) if (!kept.length || kept[kept.length - 1].on !== p.on) kept.push(p);
    return kept.map((p) => ({ day: Math.floor(p.t / 1440), minute: p.t % 1440, on: p.on }));
  }

  // The on-times of a programme as [from, to) in minutes of the week; the
  // state before the week's first point is that of its last.
  function onTimes(points) {
    const out = [];
    if (!points.length) return out;
    let on = points[points.length - 1].on, from = 0;
    for (const p of points) {
      const t = p.day * 1440 + p.minute;
      if (p.on === on) continue;
      if (on) out.push([from, t]); else from = t;
      on = p.on;
    }
    if (on) out.push([from, WEEK]);
    return out;
  }

  function drawTracks(ed) {
    const perDay = DAYS.map(() => []);
    for (const [a, b] of onTimes(merged(ed.lines))) {
      for (let d = Math.floor(a / 1440); d * 1440 < b; d++) {
        perDay[d].push([Math.max(a, d * 1440) - d * 1440, Math.min(b, (d + 1) * 1440) - d * 1440]);
      }
    }
    const now = weekMinute();
    ed.days.forEach((dayEl, d) => {
      const track = dayEl.querySelector('.track');
      track.textContent = '';
      const times = perDay[d].map(([a, b]) => clock(a) + '–' + clock(b));
      track.setAttribute('aria-label', DAY_NAMES[d] + ': ' + (times.length ? EIN + ' ' + times.join(', ') : AUS));
      for (const [a, b] of perDay[d]) {
        const bar = el('div', 'bar');
        Object.assign(bar.dataset, { from: a, to: b });
        bar.title = clock(a) + '–' + clock(b);
        bar.style.left = (a / 14.4) + '%';
        bar.style.width = ((b - a) / 14.4) + '%';
        track.append(bar);
      }
      if (Math.floor(now / 1440) === d) {
        const mark = el('div', 'now');
        mark.style.left = ((now % 1440) / 14.4) + '%';
        track.append(mark);
      }
    });
  }

  function changed(ed) {
    const dirty = JSON.stringify(toPoints(ed.lines)) !== ed.saved;
    ed.card.dataset.dirty = String(dirty);
    if (dirty && ed.lastSave) { ed.lastSave = null; renderSaved(ed); }
    ed.dirtyMark.hidden = !dirty;
    const count = rawCount(ed.lines);
    ed.count.textContent = `${count} von ${MAX_POINTS} Schaltpunkten`;
    ed.count.classList.toggle('over', count > MAX_POINTS);
    drawTracks(ed);
  }

  // The line a row may change alone: split off for its day when the line
  // holds other days too, and put right behind it.
  function own(ed, row) {
    const l = row.line;
    if (l.days.filter(Boolean).length === 1) return l;
    l.days[row.day] = false;
    const mine = { ...l, days: DAYS.map((_, d) => d === row.day) };
    ed.lines.splice(ed.lines.indexOf(l) + 1, 0, mine);
    row.line = mine;
    return mine;
  }

  function pointRow(ed, line, day) {
    const row = { line, day };
    const li = el('li', 'point');
    const time = el('input', 'time');
    Object.assign(time, { type: 'time', value: line.time, required: true });
    time.setAttribute('aria-label', `${DAY_NAMES[day]}: Uhrzeit`);
    const state = el('select', 'onoff');
    state.append(new Option(EIN, 'on'), new Option(AUS, 'off'));
    state.value = line.on ? 'on' : 'off';
    state.setAttribute('aria-label', `${DAY_NAMES[day]} ${line.time}: schaltet`);
    const remove = el('button', 'remove', '✕');
    remove.type = 'button';
    remove.title = 'Entfernen';
    remove.setAttribute('aria-label', `${DAY_NAMES[day]} ${line.time} entfernen`);
    li.append(time, state, remove);
    if (line.comment) li.append(el('span', 'comment', line.comment));
    time.addEventListener('change', () => { own(ed, row).time = time.value; changed(ed); });
    state.addEventListener('change', () => { own(ed, row).on = state.value === 'on'; changed(ed); });
    remove.addEventListener('click', () => {
      row.line.days[day] = false;
      if (!row.line.days.some(Boolean)) ed.lines.splice(ed.lines.indexOf(row.line), 1);
      renderRows(ed, day);
      changed(ed);
      ed.days[day].querySelector('button.add').focus();
    });
    return li;
  }

  function renderRows(ed, day) {
    const list = ed.days[day].querySelector('.points');
    list.textContent = '';
    ed.lines.filter((l) => l.days[day])
      .sort((a, b) => (a.time && b.time ? minuteOf(a.time) - minuteOf(b.time) : 0))
      .forEach((l) => list.append(pointRow(ed, l, day)));
  }

  // A new point on day: an hour after the day's last, switching the other way.
  function add(ed, day) {
    const mine = ed.lines.filter((l) => l.days[day] && l.time);
    const last = mine.sort((a, b) => minuteOf(a.time) - minuteOf(b.time))[mine.length - 1];
    const minute = last ? Math.min(minuteOf(last.time) + 60, 1439) : 360;
    const line = { days: DAYS.map((_, d) => d === day), time: clock(minute), on: last ? !last.on : true, comment: '', line: 0 };
    // Behind the day's last line in the file, so it stays among its neighbours.
    const at = ed.lines.map((l) => l.days[day]).lastIndexOf(true);
    ed.lines.splice(at < 0 ? ed.lines.length : at + 1, 0, line);
    renderRows(ed, day);
    changed(ed);
    const rows = [...ed.days[day].querySelectorAll('input.time')];
    const mineRow = rows.find((r) => r.value === line.time) || rows[rows.length - 1];
    if (mineRow) mineRow.focus();
  }

  function copy(ed, from, targets) {
    targets = targets.filter((d) => d !== from);
    if (!targets.length) return;
    for (const l of ed.lines) targets.forEach((d) => { l.days[d] = false; });
    ed.lines = ed.lines.filter((l) => l.days.some(Boolean));
    for (const l of ed.lines) if (l.days[from]) targets.forEach((d) => { l.days[d] = true; });
    DAYS.forEach((_, d) => renderRows(ed, d));
    changed(ed);
    ed.copyNote.textContent = `${DAY_NAMES[from]} kopiert nach ${targets.map((d) => DAYS[d]).join(', ')}.`;
  }

  function show(ed, answer) {
    ed.lines = toLines(answer.points);
    ed.version = answer.version;
    ed.saved = JSON.stringify(toPoints(ed.lines));
    ed.copyNote.textContent = '';
    DAYS.forEach((_, d) => renderRows(ed, d));
    changed(ed);
  }

  // A refusal or failure beside the editor (text), or nothing.
  function report(ed, text) {
    ed.error.hidden = !text;
    ed.error.textContent = text ? hhmm(new Date()) + ' ' + text : '';
  }

  // After a save: the replies, and the channels' next points once the
  // server has rewritten its status since the save began.
  function renderSaved(ed) {
    const s = ed.lastSave;
    ed.done.hidden = !s;
    if (!s) return;
    const outputs = new Map(((lastState && lastState.outputs) || []).map((o) => [o.n, o]));
    const reread = s.replies.filter((r) => r.ok).map((r) => outputs.get(r.n)).filter(Boolean);
    const failed = s.replies.filter((r) => !r.ok);
    let text = `Gespeichert um ${s.at}.`;
    if (reread.length) {
      text += lastState && lastState.slowid > s.slowid
        ? ' Nächste Schaltpunkte laut Tessaro: ' + reread.map((o) => `${o.n} ${o.name} ${(o.info || '').trim()}`).join(', ') + '.'
        : ' Tessaro liest die Datei neu …';
    }
    if (failed.length) {
      text += ' Nicht neu gelesen: ' + failed.map((r) => `Kanal ${r.n} (${r.reply})`).join(', ') +
        '; die Datei gilt dort ab dem nächsten Schaltpunkt.';
    }
    ed.done.textContent = text;
  }

  async function save(ed) {
    const missing = ed.lines.find((l) => !l.time);
    if (missing) return report(ed, `${DAY_NAMES[missing.days.indexOf(true)]}: Uhrzeit fehlt – nichts gespeichert.`);
    if (rawCount(ed.lines) > MAX_POINTS) return report(ed, `Mehr als ${MAX_POINTS} Schaltpunkte – nichts gespeichert.`);
    ed.buttons.forEach((b) => { b.disabled = true; });
    const slowid = lastState ? lastState.slowid : 0;
    try {
      const { status, body } = await api(`/api/programmes/${ed.n}`, {
        method: 'PUT', headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify({ version: ed.version, points: toPoints(ed.lines) }),
      });
      if (status !== 200) return report(ed, (body.error || `Fehler ${status}`) + ' Die Änderungen sind noch hier.');
      show(ed, body);
      report(ed, '');
      ed.lastSave = { at: hhmm(new Date()), slowid, replies: body.replies || [] };
      renderSaved(ed);
    } catch (e) {
      report(ed, 'Gateway nicht erreichbar – ob gespeichert wurde, zeigt „Verwerfen“. Die Änderungen sind noch hier.');
    } finally {
      ed.buttons.forEach((b) => { b.disabled = false; });
    }
  }

  // The file as it is now; quiet: only when it changed and nothing is being
  // edited, leaving what the editor reported.
  async function load(ed, quiet) {
    try {
      const { status, body } = await api(`/api/programmes/${ed.n}`);
      if (quiet) {
        if (status === 200 && body.version !== ed.version && ed.card.dataset.dirty !== 'true') show(ed, body);
        return;
      }
      if (status !== 200) return report(ed, body.error || `Fehler ${status}`);
      show(ed, body);
      report(ed, '');
      ed.lastSave = null;
      renderSaved(ed);
    } catch (e) {
      if (!quiet) report(ed, 'Gateway nicht erreichbar');
    }
  }

  // The channels that use the file, with what the server says of each.
  function renderUsers(ed) {
    ed.users.textContent = '';
    const outputs = new Map(((lastState && lastState.outputs) || []).map((o) => [o.n, o]));
    for (const c of ed.channels) {
      const o = outputs.get(c.n);
      const li = el('li');
      li.dataset.n = c.n;
      li.append(el('span', 'num', String(c.n)), ' ' + c.name + ': ');
      const info = o ? (o.info || '').trim() : '';
      li.append(el('span', 'next', !o ? 'unbekannt'
        : o.mode !== UHR ? `Modus ${o.mode} – liest die Datei, wenn er wieder auf ${UHR} steht`
          : o.timer > 0 ? `Timer, noch ${o.timer} min` : 'nächster Schaltpunkt ' + (info || '–')));
      ed.users.append(li);
    }
  }

  function editor(p) {
    const ed = { n: p.n, channels: p.channels, lines: [], saved: '[]', version: '' };
    ed.card = el('article', 'card programme');
    ed.card.dataset.file = p.n;
    const head = el('div', 'phead');
    const h = el('h3', '', 'Steuerdatei ');
    h.append(el('span', 'file', p.file));
    ed.dirtyMark = el('span', 'dirty', '● Ungespeicherte Änderungen');
    head.append(h, ed.dirtyMark);
    ed.users = el('ul', 'users');
    ed.users.setAttribute('aria-label', 'Kanäle mit dieser Datei');
    const week = el('div', 'week');
    ed.days = DAYS.map((name, d) => {
      const day = el('div', 'eday');
      day.dataset.day = d;
      const track = el('div', 'track');
      track.setAttribute('role', 'img');
      const addButton = el('button', 'add', '+ Punkt');
      Object.assign(addButton, { type: 'button', title: `Schaltpunkt am ${DAY_NAMES[d]} hinzufügen` });
      addButton.addEventListener('click', () => add(ed, d));
      const points = el('ol', 'points');
      points.setAttribute('aria-label', `Schaltpunkte ${DAY_NAMES[d]}`);
      day.append(el('span', 'dlabel', name), track, points, addButton);
      week.append(day);
      return day;
    });
    const axis = el('div', 'axis');
    const scale = el('div', 'track');
    [0, 6, 12, 18, 24].forEach((hour) => {
      const t = el('span', 'tick', String(hour));
      t.style.left = (hour / 0.24) + '%';
      scale.append(t);
    });
    axis.append(el('span', 'dlabel', 'h'), scale);
    week.append(axis);

    const copyBox = el('fieldset', 'copy');
    copyBox.append(el('legend', '', 'Tag kopieren'));
    const from = el('select', 'from');
    from.setAttribute('aria-label', 'Tag, der kopiert wird');
    DAY_NAMES.forEach((name, d) => from.append(new Option(name, String(d))));
    const checks = DAYS.map((name, d) => {
      const label = el('label', 'daycheck');
      const check = el('input');
      Object.assign(check, { type: 'checkbox', value: String(d) });
      label.append(check, name);
      return label;
    });
    const target = (text, cls, days) => {
      const b = el('button', cls, text);
      b.type = 'button';
      b.addEventListener('click', () => copy(ed, Number(from.value), days()));
      return b;
    };
    const picked = () => checks.map((c) => c.firstChild).filter((c) => c.checked).map((c) => Number(c.value));
    const row1 = el('div', 'line');
    row1.append(from, ' nach ', target('Mo–Fr', 'to-weekdays', () => [0, 1, 2, 3, 4]),
      target('Sa–So', 'to-weekend', () => [5, 6]));
    const row2 = el('div', 'line');
    row2.append(...checks, target('nach gewählten Tagen', 'to-picked', picked));
    ed.copyNote = el('p', 'note');
    ed.copyNote.setAttribute('aria-live', 'polite');
    copyBox.append(row1, row2, ed.copyNote);

    const actions = el('div', 'line actions');
    const saveButton = el('button', 'save', 'Speichern');
    const discard = el('button', 'discard', 'Verwerfen');
    ed.buttons = [saveButton, discard];
    ed.buttons.forEach((b) => { b.type = 'button'; });
    saveButton.addEventListener('click', () => save(ed));
    discard.addEventListener('click', () => load(ed));
    ed.count = el('span', 'count');
    actions.append(saveButton, discard, ed.count);
    ed.error = el('p', 'error');
    ed.error.setAttribute('role', 'alert');
    ed.done = el('p', 'saved');
    ed.done.setAttribute('role', 'status');
    ed.card.append(head, ed.users, week, copyBox, actions, ed.error, ed.done);
    report(ed, '');
    renderSaved(ed);
    changed(ed);
    renderUsers(ed);
    return ed;
  }

  async function list() {
    try {
      const { status, body } = await api('/api/programmes');
      if (status !== 200) throw new Error(status);
      box.textContent = '';
      editors.clear();
      for (const p of body.programmes) {
        const ed = editor(p);
        editors.set(p.n, ed);
        box.append(ed.card);
        load(ed);
      }
      if (!editors.size) box.append(el('p', 'empty', 'Keine Steuerdateien in Tessaro.ini.'));
    } catch (e) {
      box.textContent = 'Die Wochenprogramme können nicht geladen werden.';
    }
  }

  // A file read anew by the gateway (another editor, a text editor) comes
  // into an editor without unsaved changes.
  let programsSeen = null;
  const nofile = el('p', 'nofile');
  function update(s) {
    lastState = s;
    editors.forEach((ed) => { renderUsers(ed); renderSaved(ed); });
    const without = (s.programs || []).filter((p) => !p.file);
    nofile.textContent = without.map((p) => `Kanal ${p.n} ${p.name}: Modus ${UHR} ohne Steuerdatei`).join(' · ');
    if (without.length && !nofile.isConnected) box.append(nofile);
    nofile.hidden = !without.length;
    const key = JSON.stringify(s.programs || []);
    if (programsSeen !== null && key !== programsSeen) {
      editors.forEach((ed) => { if (ed.card.dataset.dirty !== 'true' && !ed.buttons[0].disabled) load(ed, true); });
    }
    programsSeen = key;
  }

  window.addEventListener('beforeunload', (ev) => {
    if ([...editors.values()].some((ed) => ed.card.dataset.dirty === 'true')) ev.preventDefault();
  });
  setInterval(() => editors.forEach(drawTracks), 30000);
  list();
  return { update };
})();
