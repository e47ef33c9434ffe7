// The students' page: join a room, sit at a workplace, follow the teacher's task and play it.
// The service keeps the game; this page shows it and sends moves. A live link brings every
// change at once; while it is down the page asks by itself, and it comes back on its own.

import { Board, parseArrows, parseMarks, parsePieceSet } from './board.js';

const STORE_KEY = 'tavlora.workplace';
const $ = (id) => document.getElementById(id);

const view = {
  join: $('join'), lesson: $('lesson'), form: $('join-form'), room: $('room-code'),
  name: $('user-name'), joinButton: $('join-button'), joinError: $('join-error'),
  studentName: $('student-name'), roomLabel: $('room-label'), link: $('link-state'),
  leave: $('leave-button'), caption: $('caption'), svg: $('board'), status: $('status'),
  message: $('message'), movesLeft: $('moves-left'), moves: $('moves'),
};

let seat = null;   // { room, workplace, key, name }
let board = null;
let state = null;  // the newest state from the service
let socket = null;
let socketLive = false;
let reconnectDelay = 500;
let reconnectTimer = 0;
let pollTimer = 0;
let lastHeard = 0;
let aliveSeconds = 15;
let messageTimer = 0;

// --- room codes ---

const digits = (text) => (text || '').replace(/\D/g, '');
const grouped = (code) => [code.slice(0, 3), code.slice(3, 6), code.slice(6, 10)]
  .filter(Boolean).join(' ');

view.room.addEventListener('input', () => {
  view.room.value = grouped(digits(view.room.value).slice(0, 10));
});

// --- the service ---

async function call(path) {
  const headers = seat ? { TVLStudent: seat.key } : {};
  const response = await fetch(path, { headers, cache: 'no-store' });
  return response.json();
}

function loadSeat() {
  try {
    const s = JSON.parse(localStorage.getItem(STORE_KEY) || 'null');
    if (s && /^\d{10}$/.test(s.room) && /^\d{10}$/.test(s.workplace) && s.key) return s;
  } catch (e) { /* a damaged entry is forgotten */ }
  return null;
}

function saveSeat() {
  try {
    if (seat) localStorage.setItem(STORE_KEY, JSON.stringify(seat));
    else localStorage.removeItem(STORE_KEY);
  } catch (e) { /* private windows may refuse storage; the seat lives until the page closes */ }
}

// --- screens ---

function showJoin(room, name, error) {
  view.lesson.hidden = true;
  view.join.hidden = false;
  view.room.value = grouped(room || '');
  view.name.value = name || '';
  view.joinError.textContent = error || '';
  view.joinButton.disabled = false;
  (room ? view.name : view.room).focus();
}

view.form.addEventListener('submit', async (event) => {
  event.preventDefault();
  const room = digits(view.room.value);
  const name = view.name.value.trim();
  if (room.length !== 10) { view.joinError.textContent = 'The room code has ten digits.'; return; }
  if (!name) { view.joinError.textContent = 'Please type your name.'; return; }
  view.joinButton.disabled = true;
  view.joinError.textContent = '';
  try {
    seat = null;
    const reply = await call(`/student/join/${room}/${encodeURIComponent(name)}`);
    if (reply.success !== 1) {
      view.joinButton.disabled = false;
      view.joinError.textContent = reply.errorDescription === 'Not found'
        ? 'There is no lesson with this code. Check it with your teacher.'
        : reply.errorDescription === 'The room is full' ? 'This lesson is full.'
        : 'That did not work: ' + (reply.errorDescription || 'unknown error');
      return;
    }
    seat = { room, workplace: reply.workplace_id, key: reply.student_key, name };
    saveSeat();
    enterLesson();
  } catch (e) {
    view.joinButton.disabled = false;
    view.joinError.textContent = 'The lesson cannot be reached. Try again in a moment.';
  }
});

view.leave.addEventListener('click', async () => {
  const leaving = seat;
  closeSocket();
  clearTimeout(pollTimer);
  seat = null;
  state = null;
  saveSeat();
  if (leaving) {
    try {
      await fetch(`/student/leave/${leaving.workplace}`, { headers: { TVLStudent: leaving.key } });
    } catch (e) { /* the teacher sees the seat go quiet anyway */ }
  }
  showJoin(leaving ? leaving.room : '', leaving ? leaving.name : '');
});

// first: a state already fetched, or nothing.
function enterLesson(first) {
  view.join.hidden = true;
  view.lesson.hidden = false;
  view.studentName.textContent = seat.name;
  view.roomLabel.textContent = 'Room ' + grouped(seat.room);
  state = null;
  if (first && first.success === 1) apply(first);
  else resync();
  if (!socket) openSocket();
}

// --- the live link ---

function wsUrl() {
  const meta = document.querySelector('meta[name="tavlora-ws-port"]');
  const port = meta && /^\d+$/.test(meta.content) ? meta.content : '13207';
  const scheme = location.protocol === 'https:' ? 'wss' : 'ws';
  return `${scheme}://${location.hostname}:${port}/ws/student/${seat.workplace}`;
}

function setLink(live) {
  socketLive = live;
  view.link.dataset.state = live ? 'live' : 'lost';
  view.link.title = live ? 'Connected to the lesson' : 'Reconnecting…';
  // Without the link the page asks for the state by itself.
  clearTimeout(pollTimer);
  if (!live && seat) pollTimer = setTimeout(poll, 3000);
}

async function poll() {
  if (!seat || socketLive) return;
  await resync();
  if (!socketLive && seat) pollTimer = setTimeout(poll, 3000);
}

function openSocket() {
  closeSocket();
  if (!seat) return;
  let ws;
  try { ws = new WebSocket(wsUrl()); } catch (e) { scheduleReconnect(); return; }
  socket = ws;
  ws.onopen = () => { if (socket === ws && seat) ws.send('key ' + seat.key); };
  ws.onmessage = (event) => {
    if (socket !== ws) return;
    lastHeard = Date.now();
    let data;
    try { data = JSON.parse(event.data); } catch (e) { return; }
    if (data.type === 'welcome') {
      aliveSeconds = data.alive_seconds || aliveSeconds;
      reconnectDelay = 500;
      setLink(true);
      resync(); // whatever changed while the link was down
    } else if (data.type === 'state') {
      apply(data);
    }
  };
  ws.onclose = () => {
    if (socket !== ws) return;
    socket = null;
    setLink(false);
    scheduleReconnect();
  };
}

function closeSocket() {
  clearTimeout(reconnectTimer);
  if (socket) {
    const ws = socket;
    socket = null;
    ws.onclose = null;
    ws.close();
  }
  socketLive = false;
}

function scheduleReconnect() {
  clearTimeout(reconnectTimer);
  if (!seat) return;
  reconnectTimer = setTimeout(openSocket, reconnectDelay);
  reconnectDelay = Math.min(reconnectDelay * 2, 5000);
}

// A link that has gone quiet is dead even when the system has not noticed yet.
setInterval(() => {
  if (socket && socketLive && Date.now() - lastHeard > (3 * aliveSeconds + 5) * 1000) {
    const ws = socket;
    socket = null;
    ws.onclose = null;
    ws.close();
    setLink(false);
    scheduleReconnect();
  }
}, 5000);

window.addEventListener('online', () => { if (seat && !socketLive) openSocket(); });
document.addEventListener('visibilitychange', () => {
  if (document.visibilityState === 'visible' && seat) {
    if (!socketLive) openSocket();
    resync();
  }
});

async function resync() {
  if (!seat) return;
  const current = seat;
  try {
    const reply = await call(`/student/state/${current.workplace}`);
    if (seat !== current) return;
    if (reply.success === 1) { apply(reply); return; }
    if (reply.errorDescription === 'Not found') {
      // The seat is gone (the room was closed or the key is stale): join again.
      closeSocket();
      seat = null;
      saveSeat();
      showJoin(current.room, current.name, 'Your seat is no longer there. Please join again.');
    }
  } catch (e) {
    if (!socketLive) setLink(false);
  }
}

// --- the game ---

function apply(next) {
  if (state && next.version < state.version) return; // an older state overtaken by a newer
  const first = !state;
  const reloaded = state && next.reload_seq !== state.reload_seq;
  const asked = state && next.update_seq !== state.update_seq;
  state = next;
  if (reloaded) flash('A new task!', 'good');
  if (asked) call(`/student/alive/${seat.workplace}`).catch(() => {});
  render(first);
}

function caption(text) {
  // Only "<br>" breaks the line; everything else is text, never markup.
  view.caption.textContent = '';
  (text || '').split('<br>').forEach((part, i) => {
    if (i) view.caption.appendChild(document.createElement('br'));
    view.caption.appendChild(document.createTextNode(part));
  });
}

const SIDE = { w: 'White', b: 'Black' };

function statusLine(s) {
  if (s.status === 'checkmate') {
    return s.to_move !== s.student_side
      ? ['Checkmate! Well done!', 'good'] : ['Checkmate. This time the other side won.', 'stop'];
  }
  if (s.status === 'draw') return ["It's a draw.", 'wait'];
  switch (s.reason) {
    case 'no_task': return ['Waiting for the teacher to send a task…', 'wait'];
    case 'moves_off': return ['Moves are off — watch the board.', 'wait'];
    case 'limit': return ['No moves left in this task.', 'wait'];
    case 'no_moves': return ['No moves are possible.', 'wait'];
    case 'waiting':
      if (s.waiting === 'engine') return ['The computer is thinking…', 'wait'];
      if (s.waiting === 'teacher') return ['Waiting for the teacher…', 'wait'];
      if (s.waiting === 'unavailable') return ['No answer will come: the computer is not available.', 'stop'];
      return [`${SIDE[s.to_move]} to move`, 'wait'];
    default: break;
  }
  const who = s.to_move === s.student_side ? `Your move (${SIDE[s.to_move]})` : `Move for ${SIDE[s.to_move]}`;
  return [s.check ? `Check! ${who}` : who, s.check ? 'stop' : 'good'];
}

function render() {
  if (!board) return; // the piece set is still on its way; the state waits in `state`
  const p = state.parameters || {};
  // The teacher may rename the student.
  view.studentName.textContent = state.user_name || seat.name;
  caption(p.puzzle_task || '');
  const arrows = [
    ...parseArrows(p.arrows, 0), ...parseArrows(p.danger_arrows, 1),
    ...parseArrows(p.white_arrows, 2), ...parseArrows(p.black_arrows, 3),
  ];
  const orientation = p.orientation === 'b' || p.orientation === 'w' ? p.orientation : state.student_side;
  board.set({
    fen: state.current_position,
    white: orientation !== 'b',
    marks: parseMarks(p.selected),
    arrows,
    legal: state.legal || null,
    lastMove: state.last_move || '',
    check: state.check === 1,
    interactive: state.may_move === 1,
    toMove: state.to_move,
  });
  const [text, tone] = statusLine(state);
  view.status.textContent = text;
  view.status.dataset.tone = tone;
  view.status.dataset.reason = state.status || state.reason || (state.may_move ? 'your_move' : '');
  view.movesLeft.textContent = state.moves_left > 0 && state.may_move
    ? `Moves left: ${state.moves_left}` : '';
  view.moves.textContent = state.moves || '';
  // When the board first becomes playable after the page loaded: the measure of a fast page.
  if (state.may_move === 1 && !performance.getEntriesByName('tavlora-playable').length)
    performance.mark('tavlora-playable');
}

function flash(text, tone) {
  view.message.textContent = text;
  view.message.style.color = tone === 'good' ? 'var(--good)' : '';
  clearTimeout(messageTimer);
  messageTimer = setTimeout(() => { view.message.textContent = ''; }, 3500);
}

const REFUSALS = {
  'Illegal move': 'That move is not allowed.',
  'Moves are off': 'Moves are off right now.',
  'Not your move': 'Please wait for the answer.',
  'No moves are left in this task': 'No moves left in this task.',
  'The game is over': 'The game is over.',
  'No position to move on': 'Wait for the task.',
};

async function onMove(move, refusedLocally) {
  if (!move) {
    if (refusedLocally) flash(REFUSALS['Illegal move']);
    return;
  }
  const current = seat;
  try {
    const reply = await call(`/student/move/${current.workplace}/${move.from}${move.to}${move.promotion.toLowerCase()}`);
    if (seat !== current) return;
    if (reply.success === 1) {
      view.message.textContent = '';
      apply(reply);
    } else {
      board.refused();
      flash(REFUSALS[reply.errorDescription] || 'The move was not taken.');
      resync();
    }
  } catch (e) {
    board.refused();
    flash('The lesson cannot be reached; the move was not sent.');
  }
}

// --- start ---

async function start() {
  const wanted = digits(new URLSearchParams(location.search).get('id'));
  const roomParam = wanted.length === 10 ? wanted : '';
  const stored = loadSeat();
  const resume = stored && (!roomParam || roomParam === stored.room);
  // The piece set, the state and the live link all at once: a returning student plays sooner.
  const piecesText = fetch('/web/pieces.pset', { mode: 'cors', credentials: 'same-origin' })
    .then((r) => r.text()).catch(() => '');
  if (resume) {
    seat = stored;
    openSocket();
  }
  const first = resume ? call(`/student/state/${seat.workplace}`).catch(() => null) : null;
  board = new Board(view.svg, parsePieceSet(await piecesText), onMove);
  if (!resume) {
    showJoin(roomParam, stored ? stored.name : '');
    return;
  }
  enterLesson(await first);
}

start();
