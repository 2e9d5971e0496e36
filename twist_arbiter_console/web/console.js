// twist_arbiter console page: live frames from /api/events, commands to /api/*.
'use strict';

const WINDOW_S = 30;
const STALE_STREAM_MS = 2500;  // the server sends at least one frame a second
const PAD_PERIOD_MS = 50;      // 20 Hz while the pad is held

const $ = (id) => document.getElementById(id);
const view = {
  offset: 0,          // server clock minus ours, seconds
  lastFrameAt: 0,     // performance.now() of the newest frame
  frames: 0,
  state: null,
  series: { outLinear: [], outAngular: [], inLinear: [], inAngular: [] },
  marks: [],
  log: [],
};
window.consoleView = view;  // read by the browser test

const serverNow = () => Date.now() / 1000 + view.offset;
const clock = (t) => new Date(t * 1000).toLocaleTimeString([], { hour12: false });

// ---- plot ------------------------------------------------------------------------------
const marksPlugin = {
  id: 'marks',
  afterDatasetsDraw(chart) {
    const { ctx, chartArea, scales } = chart;
    const now = serverNow();
    ctx.save();
    ctx.font = '11px system-ui, sans-serif';
    // Labels go on the first of three rows where they overlap no earlier label.
    const rowsEnd = [-Infinity, -Infinity, -Infinity];
    for (const mark of view.marks) {
      const x = scales.x.getPixelForValue(mark.t - now);
      if (x < chartArea.left || x > chartArea.right) continue;
      const watchdog = mark.kind === 'watchdog';
      ctx.strokeStyle = watchdog ? '#f85149' : '#3ea6ff';
      ctx.setLineDash(watchdog ? [] : [4, 3]);
      ctx.lineWidth = watchdog ? 2 : 1.5;
      ctx.beginPath();
      ctx.moveTo(x, chartArea.top);
      ctx.lineTo(x, chartArea.bottom);
      ctx.stroke();
      const text = watchdog ? 'watchdog' : mark.label;
      const width = ctx.measureText(text).width;
      const left = x + 4 + width > chartArea.right ? x - 4 - width : x + 4;
      const row = rowsEnd.findIndex((end) => end < left);
      if (row < 0) continue;  // crowded: the line alone says enough
      rowsEnd[row] = left + width + 4;
      ctx.fillStyle = ctx.strokeStyle;
      ctx.fillText(text, left, chartArea.top + 11 + row * 13);
    }
    ctx.restore();
  },
};

// The output as sharp lines on top; the active input as wide translucent bands beneath, so that
// a command passed through unchanged shows as a line inside its band.
function dataset(label, color, input) {
  return {
    label, data: [], borderColor: color, backgroundColor: color, borderWidth: input ? 7 : 2,
    pointRadius: 0, stepped: 'before', parsing: false, order: input ? 1 : 0,
  };
}

const chart = new Chart($('plot'), {
  type: 'line',
  data: {
    datasets: [
      dataset('output linear x (m/s)', '#3ea6ff', false),
      dataset('output angular z (rad/s)', '#f0883e', false),
      dataset('input linear x', 'rgba(62, 166, 255, 0.28)', true),
      dataset('input angular z', 'rgba(240, 136, 62, 0.28)', true),
    ],
  },
  options: {
    animation: false, responsive: true, maintainAspectRatio: false, normalized: true,
    interaction: { mode: 'nearest', intersect: false },
    scales: {
      x: {
        type: 'linear', min: -WINDOW_S, max: 0,
        ticks: { color: '#8b98a5', callback: (v) => (v === 0 ? 'now' : `${v} s`) },
        grid: { color: '#243040' },
      },
      y: { suggestedMin: -0.5, suggestedMax: 0.5, ticks: { color: '#8b98a5' },
        grid: { color: '#243040' } },
    },
    plugins: { legend: { labels: { color: '#e6edf3', boxHeight: 2 } } },
  },
  plugins: [marksPlugin],
});
window.consoleChart = chart;

function redraw() {
  const now = serverNow();
  const names = ['outLinear', 'outAngular', 'inLinear', 'inAngular'];
  names.forEach((name, i) => {
    chart.data.datasets[i].data = view.series[name].map(([t, v]) => ({ x: t - now, y: v }));
  });
  chart.update('none');
}

// ---- frames ------------------------------------------------------------------------------
function prune(now) {
  const oldest = now - WINDOW_S;
  for (const name of Object.keys(view.series)) {
    const s = view.series[name];
    let drop = 0;
    while (drop < s.length && s[drop][0] < oldest) drop++;
    if (drop) s.splice(0, drop);
  }
  view.marks = view.marks.filter((m) => m.t >= oldest);
}

function takeData(data, full) {
  if (full) {
    view.series = { outLinear: [], outAngular: [], inLinear: [], inAngular: [] };
    view.marks = [];
    view.log = [];
  }
  view.series.outLinear.push(...data.output.linear);
  view.series.outAngular.push(...data.output.angular);
  view.series.inLinear.push(...data.input.linear);
  view.series.inAngular.push(...data.input.angular);
  view.marks.push(...data.marks);
  view.log.push(...data.log);
  if (view.log.length > 50) view.log.splice(0, view.log.length - 50);
  if (data.log.length || full) renderLog();
}

function renderLog() {
  const list = $('log');
  list.replaceChildren(...view.log.slice().reverse().map((line) => {
    const item = document.createElement('li');
    item.className = `lvl-${line.level}`;
    const t = document.createElement('span');
    t.className = 't';
    t.textContent = clock(line.t);
    item.append(t, document.createTextNode(line.text));
    return item;
  }));
  if (!view.log.length) list.textContent = 'No log lines from the controller yet.';
}

function renderState(s) {
  view.state = s;
  $('controller').textContent = s.controller;
  const mode = s.mode;
  $('mode-name').textContent = mode ? mode.name : '—';
  $('mode-id').textContent = mode ? `id ${mode.id}` : '';
  $('mode-since').textContent = !mode ? (s.reachable ? 'reading the mode…' : 'mode unknown') :
    mode.since ? `since ${clock(mode.since)}` : 'since before the console started';
  const stop = $('stop-state');
  stop.classList.toggle('hidden', !s.stop);
  if (s.stop) {
    const engaged = s.stop.engaged;
    stop.className = `stop ${engaged ? 'engaged' : 'released'}`;
    stop.textContent = engaged === null ? 'Stop input: state unknown' :
      engaged ? 'Stop input ENGAGED: output held at zero' : 'Stop input released';
  }
  const usable = s.reachable && s.configured;
  const wanted = mode ? mode.transitions : [];
  const box = $('transitions');
  const current = Array.from(box.children).map((b) => b.dataset.mode).join(',');
  if (current !== wanted.join(',')) {
    box.replaceChildren(...wanted.map((name) => {
      const b = document.createElement('button');
      b.textContent = name;
      b.dataset.mode = name;
      b.id = `to-${name}`;
      b.addEventListener('click', () => command('/api/mode', { mode: name }, `switch to ${name}`));
      return b;
    }));
  }
  if (!wanted.length) box.textContent = usable ? 'no switch allowed from here' : '';
  for (const b of box.querySelectorAll('button')) b.disabled = !usable;
  $('previous').disabled = !usable || !mode;
  // Stop stays pressable whenever the controller can hear it, even in none.
  $('stop').disabled = !usable || !mode;
  renderPadState();
}

function renderConnection() {
  const s = view.state;
  const pill = $('connection');
  const streamAlive = view.frames > 0 && performance.now() - view.lastFrameAt < STALE_STREAM_MS;
  let text; let kind;
  if (!streamAlive) {
    text = 'console connection lost'; kind = 'bad';
  } else if (!s.reachable) {
    text = 'controller gone'; kind = 'bad';
  } else if (s.answering === false) {
    text = 'controller not answering'; kind = 'bad';
  } else if (!s.configured) {
    text = s.problem ? `controller unusable: ${s.problem}` : 'reading the controller…';
    kind = 'wait';
  } else {
    text = 'controller reachable'; kind = 'ok';
  }
  pill.textContent = text;
  pill.className = `pill pill-${kind}`;
  const age = $('data-age');
  if (s && s.last_output) {
    const seconds = Math.max(0, serverNow() - s.last_output);
    const shown = seconds < 10 ? seconds.toFixed(1) : Math.round(seconds);
    age.textContent = `last output ${shown} s ago`;
  } else {
    age.textContent = 'no output seen yet';
  }
  if (!streamAlive) padRelease();
}

function onFrame(event) {
  const frame = JSON.parse(event.data);
  view.offset = frame.now - Date.now() / 1000;
  view.lastFrameAt = performance.now();
  view.frames++;
  takeData(frame.data, frame.full);
  prune(frame.now);
  renderState(frame);
  renderConnection();
  redraw();
}

const stream = new EventSource('/api/events');
stream.onmessage = onFrame;
stream.onerror = () => { padRelease(); renderConnectionSafe(); };
function renderConnectionSafe() { if (view.state) renderConnection(); }
setInterval(() => { renderConnectionSafe(); if (view.state) redraw(); }, 500);

// ---- commands ------------------------------------------------------------------------------
async function post(path, body) {
  const response = await fetch(path, {
    method: 'POST', headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(body || {}), credentials: 'same-origin', cache: 'no-store',
  });
  let answer = {};
  try { answer = await response.json(); } catch (e) { answer = { message: response.statusText }; }
  return { status: response.status, success: !!answer.success, message: answer.message || '' };
}

async function command(path, body, what) {
  const box = $('answer');
  box.className = 'answer muted';
  box.textContent = `${what}…`;
  try {
    const a = await post(path, body);
    box.className = `answer ${a.success ? 'ok' : 'refused'}`;
    const detail = a.message ? ` (${a.message})` : '';
    box.textContent = `${what}: ${a.success ? 'done' : 'refused'}${detail}`;
  } catch (e) {
    box.className = 'answer refused';
    box.textContent = `${what}: no answer from the console`;
  }
}

$('previous').addEventListener('click', () => command('/api/previous',
  view.state && view.state.mode ? { from: view.state.mode.name } : {}, 'previous mode'));
$('stop').addEventListener('click', () => command('/api/stop', {}, 'stop (reset to none)'));

// ---- drive pad -----------------------------------------------------------------------------
const pad = { held: false, linear: 0, angular: 0, timer: null, pointer: null };

function padEnabled() {
  const s = view.state;
  return !!(s && s.drive && s.mode && s.mode.name === s.drive.mode && s.reachable);
}

function renderPadState() {
  const s = view.state;
  $('pad-card').classList.toggle('hidden', !(s && s.drive));
  if (!s || !s.drive) return;
  $('pad-info').textContent = `on ${s.drive.mode}: ±${s.drive.max_linear} m/s, ` +
    `±${s.drive.max_angular} rad/s`;
  const enabled = padEnabled();
  $('pad').classList.toggle('disabled', !enabled);
  if (!enabled && pad.held) padRelease();
  if (!pad.held) {
    $('pad-state').textContent = enabled ? 'Hold and drag to drive; let go to stop.' :
      `Switch to ${s.drive.mode} to drive.`;
  }
}

function padPosition(event) {
  const r = $('pad').getBoundingClientRect();
  let dx = (event.clientX - (r.left + r.width / 2)) / (r.width / 2);
  let dy = (event.clientY - (r.top + r.height / 2)) / (r.height / 2);
  const n = Math.hypot(dx, dy);
  if (n > 1) { dx /= n; dy /= n; }
  const s = view.state.drive;
  pad.linear = -dy * s.max_linear;
  pad.angular = -dx * s.max_angular;
  $('pad-knob').style.transform = `translate(${dx * 82}px, ${dy * 82}px)`;
}

function padSend() {
  if (!pad.held) return;
  post('/api/pad', { linear: pad.linear, angular: pad.angular }).then((a) => {
    if (a.status !== 200 && pad.held) {
      $('pad-state').textContent = `refused: ${a.message}`;
      padRelease();
    }
  }).catch(() => padRelease());
  $('pad-state').textContent =
    `driving ${pad.linear.toFixed(2)} m/s, ${pad.angular.toFixed(2)} rad/s`;
}

function padRelease() {
  if (!pad.held) return;
  pad.held = false;
  clearInterval(pad.timer);
  pad.timer = null;
  $('pad').classList.remove('active');
  $('pad-knob').style.transform = '';
  post('/api/pad/release', {}).catch(() => {});
  renderPadState();
}

$('pad').addEventListener('pointerdown', (event) => {
  if (!padEnabled()) return;
  event.preventDefault();
  $('pad').setPointerCapture(event.pointerId);
  pad.held = true;
  pad.pointer = event.pointerId;
  $('pad').classList.add('active');
  padPosition(event);
  padSend();
  pad.timer = setInterval(padSend, PAD_PERIOD_MS);
});
$('pad').addEventListener('pointermove', (event) => {
  if (pad.held && event.pointerId === pad.pointer) padPosition(event);
});
for (const type of ['pointerup', 'pointercancel', 'lostpointercapture']) {
  $('pad').addEventListener(type, () => padRelease());
}
document.addEventListener('visibilitychange', () => { if (document.hidden) padRelease(); });
window.addEventListener('blur', () => padRelease());
window.addEventListener('pagehide', () => {
  if (pad.held) {
    pad.held = false;
    navigator.sendBeacon('/api/pad/release',
      new Blob(['{}'], { type: 'application/json' }));
  }
});
