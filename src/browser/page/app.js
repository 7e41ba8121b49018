// Kelvo's browser remote: the page shown's twelve carts, the two time displays, Fade, Stop and
// the page buttons. State comes from Kelvo over a WebSocket on every change (never polled); the
// countdown runs here and is corrected by the heartbeat that comes every second and tells the
// link is alive, and without one for 2.5 s the page says
// "Connection lost" and reconnects. A press is sent once, with a sequence number, and never
// again after a reconnection: a second press would stop the cart.
'use strict';

const TOKEN = 'kelvo-token';
const $ = (id) => document.getElementById(id);
let socket = null;
let seq = 0;
let lastBeat = 0;
let state = null;
let stateAt = 0;
let blinkRed = true;
// Kelvo's clock less this page's, as closely as its messages tell (the least delayed one is the
// closest); commands carry Kelvo's time of sending, so that one it reads late is dropped.
let clockOffset = null;

const carts = [];
for (let n = 0; n < 12; n++) {
  const button = document.createElement('button');
  button.type = 'button';
  button.textContent = 'Track';
  button.disabled = true;
  button.addEventListener('pointerdown', (event) => {
    event.preventDefault();
    send({ type: 'press', slot: n + 1 });
  });
  // Keyboards and screen readers press without a pointer.
  button.addEventListener('click', (event) => {
    if (event.detail === 0) send({ type: 'press', slot: n + 1 });
  });
  $('carts').appendChild(button);
  carts.push(button);
}
const commandButton = (id, message) => {
  $(id).addEventListener('pointerdown', (event) => { event.preventDefault(); send(message()); });
  $(id).addEventListener('click', (event) => { if (event.detail === 0) send(message()); });
};
commandButton('fade', () => ({ type: 'fade' }));
commandButton('stop', () => ({ type: 'stop' }));
commandButton('stop-all', () => ({ type: 'stopall' }));
commandButton('go', () => ({ type: 'go' }));
commandButton('previous', () => ({ type: 'page', page: state ? state.page - 1 : 1 }));
commandButton('next', () => ({ type: 'page', page: state ? state.page + 1 : 1 }));

function send(message) {
  if (!socket || socket.readyState !== WebSocket.OPEN || !state) return;
  message.seq = ++seq;
  if (clockOffset !== null) message.at = Math.max(0, Math.round(performance.now() + clockOffset));
  socket.send(JSON.stringify(message));
}

function timeText(seconds) {
  const hundredths = Math.max(0, Math.round(seconds * 100));
  const whole = Math.floor(hundredths / 100);
  const minutes = Math.floor(whole / 60);
  const rest = whole % 60;
  return String(minutes).padStart(2, '0') + '.' + String(rest).padStart(2, '0');
}

function online(yes) {
  $('banner').hidden = yes;
  document.body.classList.toggle('offline', !yes);
  if (!yes) for (const b of document.querySelectorAll('#remote button')) b.disabled = true;
  else render();
}

function render() {
  if (!state) return;
  // Offline, everything stays greyed and still: what it showed may no longer be true.
  const offline = !$('banner').hidden;
  if (offline) return;
  $('page-name').textContent = state.pages > 1 ? `Page ${state.page} of ${state.pages}: ${state.pageName}`
                                                : state.pageName;
  $('previous').disabled = state.page <= 1;
  $('next').disabled = state.page >= state.pages;
  const onAir = state.playing || state.slot > 0;
    $('fade').disabled = $('stop').disabled = $('stop-all').disabled = !onAir;
  // A page run in order: GO, and the cue it fires next.
  $('order').hidden = !state.runningOrder;
  $('go').disabled = !state.next;
  $('next-cue').textContent = !state.runningOrder ? ''
    : state.next ? `Next: ${state.next.caption}${state.next.note ? ' \u2014 ' + state.next.note : ''}`
      : 'Next: end of the running order';
  // Every cart on air on the page shown blinks, where carts play together.
  const lit = new Set((state.playingCarts || []).filter((c) => c.page === state.page).map((c) => c.slot));
  if (state.slot > 0 && state.playingPage === state.page) lit.add(state.slot);
  state.carts.forEach((cart, n) => {
    const button = carts[n];
    button.textContent = cart.caption;
    button.disabled = !cart.enabled;
        const playing = lit.has(n + 1);
    button.classList.toggle('red', playing && blinkRed);
    button.classList.toggle('blue', playing && !blinkRed);
        button.classList.toggle('locked', onAir && !cart.enabled && !playing);
    button.setAttribute('aria-pressed', playing ? 'true' : 'false');
  });
  $('total').textContent = timeText(state.total);
  const elapsed = onAir ? (performance.now() - stateAt) / 1000 : 0;
  $('remaining').textContent = timeText(onAir ? state.remaining - elapsed : state.remaining);
}

function connect(first) {
  if (socket) {
    socket.onclose = socket.onmessage = socket.onopen = null;
    socket.close();
  }
  const token = localStorage.getItem(TOKEN);
  if (!token && !first) {
    showPairing('');
    return;
  }
  seq = 0; // a new connection: nothing of the old one is sent again
  clockOffset = null; // and perhaps another Kelvo, with a clock of its own
  socket = new WebSocket(`ws://${location.host}/ws`);
  socket.onopen = () => socket.send(JSON.stringify(first || { type: 'hello', token }));
  socket.onmessage = (event) => {
    lastBeat = performance.now();
    let message;
    try { message = JSON.parse(event.data); } catch { return; }
    if (typeof message.now === 'number') {
      const offset = message.now - performance.now();
      if (clockOffset === null || offset > clockOffset) clockOffset = offset;
    }
    if (message.type === 'paired') {
      localStorage.setItem(TOKEN, message.token);
    } else if (message.type === 'refused') {
      // A wrong PIN, or a token Kelvo no longer knows: pair (again).
      if (!first) localStorage.removeItem(TOKEN);
      socket.onclose = null;
      state = null;
      showPairing(message.reason);
    } else if (message.type === 'tick' && state && typeof message.remaining === 'number') {
      state.remaining = message.remaining; // the countdown, corrected each second
      stateAt = performance.now();
    } else if (message.type === 'state') {
      state = message;
      stateAt = performance.now();
      $('pairing').hidden = true;
      $('remote').hidden = false;
      online(true);
      render();
    }
  };
  socket.onclose = () => lost();
}

function showPairing(note) {
  online(true);
  $('remote').hidden = true;
  $('pairing').hidden = false;
  $('pairing-note').textContent = note;
}

let nextTry = 0;
// Lost: said at once, and tried again at once, then every 2 s.
function lost() {
  if (!state) return;
  online(false);
  const now = performance.now();
  if (now >= nextTry) {
    nextTry = now + 2000;
    connect(null);
  }
}

$('pairing').addEventListener('submit', (event) => {
  event.preventDefault();
  const name = (navigator.userAgentData && navigator.userAgentData.platform) || navigator.platform || 'A';
  connect({ type: 'pair', pin: $('pin').value.trim(), name: `${name} browser` });
});

// The heartbeat: Kelvo says something every second; 2.5 s of silence and the link is lost,
// whatever the socket believes.
setInterval(() => {
  if (state && performance.now() - lastBeat > 2500) lost();
}, 250);

// The blink and the countdown between Kelvo's own updates.
setInterval(() => {
  blinkRed = !blinkRed;
  render();
}, 250);

const recheck = () => {
  if (state && performance.now() - lastBeat > 2500) {
    nextTry = 0;
    lost();
  }
};
document.addEventListener('visibilitychange', () => { if (!document.hidden) recheck(); });
window.addEventListener('pageshow', recheck);

// The code on Kelvo's screen carries a pairing key: it pairs at once, and leaves the address.
const scanned = /^#pair=([0-9a-f]{32})$/.exec(location.hash);
if (scanned) {
  history.replaceState(null, '', location.pathname);
  const name = (navigator.userAgentData && navigator.userAgentData.platform) || navigator.platform || 'A';
  connect({ type: 'pair', key: scanned[1], name: `${name} browser` });
} else if (localStorage.getItem(TOKEN)) connect(null);
else showPairing('');
