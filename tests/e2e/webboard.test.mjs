// The whole lesson loop: the real service with the real engine, a teacher speaking HTTP and
// WebSocket as the application does, and a student in a headless Chromium.
//
//   node --test webboard.test.mjs
// Environment: TAVLORA_SERVICE (the service binary), TAVLORA_E2E_OUT (screenshots).
// The speed figures of the page come from measure.mjs, not from here.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, afterEach, before, test } from 'node:test';
import jsQR from 'jsqr';
import { PNG } from 'pngjs';
import {
  OUT, Service, Teacher, launchBrowser, near, pixels, positionSegment, sleep, waitFor,
} from './lib.mjs';

const MATE_IN_ONE = '6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1';

let service, teacher, browser, page, room, workplace;
let failed = false;
const pageErrors = [];

// Centre of a square in page pixels, for a board with White at the bottom unless told.
async function squarePoint(square, white = true) {
  const box = await page.locator('#board').boundingBox();
  const col = 'abcdefgh'.indexOf(square[0]);
  const row = Number(square[1]) - 1;
  const dc = white ? col : 7 - col;
  const dr = white ? 7 - row : row;
  const unit = box.width / 180;
  return { x: box.x + (10 + dc * 20 + 10) * unit, y: box.y + (10 + dr * 20 + 10) * unit };
}

async function drag(from, to) {
  const a = await squarePoint(from);
  const b = await squarePoint(to);
  await page.mouse.move(a.x, a.y);
  await page.mouse.down();
  await page.mouse.move((a.x + b.x) / 2, (a.y + b.y) / 2, { steps: 4 });
  await page.mouse.move(b.x, b.y, { steps: 4 });
  await page.mouse.up();
}

const pieceOn = (square) => page.locator(`.layer-pieces use[data-square="${square}"]`).getAttribute('data-piece', { timeout: 1000 }).catch(() => null);
const status = () => page.locator('#status').getAttribute('data-reason');
const seat = () => page.evaluate(() => JSON.parse(localStorage.getItem('tavlora.workplace')));

async function studentCall(p) {
  const s = await seat();
  const response = await fetch(service.api + p, { headers: { TVLStudent: s.key } });
  return response.json();
}

before(async () => {
  fs.mkdirSync(OUT, { recursive: true });
  service = new Service(['--engine-movetime-ms', '100', '--engine-pause-ms', '150']);
  await service.start();
  teacher = new Teacher(service);
  await teacher.signIn('teacher@school.example');
  await teacher.openLink();
  room = (await teacher.get('/room/new/Chess%20club')).RoomId;
  assert.match(room, /^\d{10}$/);
  ({ context: browser } = await launchBrowser());
  page = browser.pages()[0] || await browser.newPage();
  page.on('pageerror', (error) => pageErrors.push(String(error)));
});

// A failed set-up fails every test, so this sees that too.
afterEach((t) => { if (!t.passed) failed = true; });

after(async () => {
  if (browser) await browser.close();
  if (teacher) teacher.close();
  if (service) await service.stop({ failed });
});

test('a student joins from the student link', async () => {
  await page.goto(`${service.api}/student/?id=${room}`);
  // The link fills in the code, grouped 3-3-4.
  assert.equal(await page.inputValue('#room-code'), `${room.slice(0, 3)} ${room.slice(3, 6)} ${room.slice(6)}`);
  await page.fill('#user-name', 'Mia');
  await page.click('#join-button');
  await page.waitForSelector('#lesson:not([hidden])');
  await teacher.waitHeard(`room ${room}`);
  const users = await teacher.get(`/room/users/${room}`);
  workplace = Object.keys(users).find((k) => users[k] === 'Mia');
  assert.match(workplace, /^\d{10}$/);
  assert.equal((await seat()).workplace, workplace);
  await waitFor('the live link', async () => (await page.getAttribute('#link-state', 'data-state')) === 'live');
  // While the page holds its link the teacher's program reads the student as connected now.
  const check = await teacher.get(`/workplace/${workplace}`);
  assert.equal(check.connected, '1');
  assert.equal(check.mark, check.current);
  assert.equal(await status(), 'no_task');
});

test('the mate-in-one task shows with its marks, arrows and caption', async () => {
  teacher.words.length = 0;
  await teacher.pushTask(workplace, {
    fen: MATE_IN_ONE, answer: 'manual', markers: true,
    selected: 'd81g70', arrows: 'd1d4', dangerArrows: 'g8h8', blackArrows: 'f2f4',
    caption: 'White move<br>Back rank <script>window.pwned = 1</script><b>bold</b>',
  });
  await teacher.waitHeard(`updated ${workplace}`);
  await waitFor('the task on the page', async () => (await pieceOn('d1')) === 'R');
  assert.equal(await pieceOn('g8'), 'k');
  assert.equal(await status(), 'your_move');
  assert.equal(await page.textContent('#status'), 'Your move (White)');

  // Marks: a red ring on d8, a blue one on g7; arrows in their kinds' colours.
  const mark = page.locator('.layer-marks circle[data-square="d8"]');
  assert.equal(await mark.getAttribute('data-kind'), '1');
  assert.equal(await mark.getAttribute('stroke'), '#FF0000');
  assert.equal(await page.locator('.layer-marks circle[data-square="g7"]').getAttribute('stroke'), '#4169E1');
  assert.equal(await page.locator('.arrow[data-from="d1"][data-to="d4"] line').getAttribute('stroke'), '#4169E1');
  assert.equal(await page.locator('.arrow[data-from="g8"][data-to="h8"] line').getAttribute('stroke'), '#FF0000');
  assert.equal(await page.locator('.arrow[data-from="f2"][data-to="f4"] line').getAttribute('stroke'), '#000000');

  // The caption: one line break, everything else text.
  assert.equal(await page.locator('#caption br').count(), 1);
  assert.equal(await page.locator('#caption script, #caption b').count(), 0);
  assert.equal(await page.textContent('#caption'), 'White moveBack rank <script>window.pwned = 1</script><b>bold</b>');
  assert.equal(await page.evaluate(() => window.pwned), undefined);

  // On the screenshot: the arrow's shaft over d3 (a light square) is blue at 0.7, the red ring
  // on d8 (dark) red at 0.7, the light and dark squares the application's colours.
  const shot = pixels(await page.locator('#board').screenshot({ path: path.join(OUT, 'task.png') }));
  const box = await page.locator('#board').boundingBox();
  const u = shot.width / 180;
  const centre = (col, row) => [(10 + (col - 1) * 20 + 10) * u, (10 + (8 - row) * 20 + 10) * u];
  const [d3x, d3y] = centre(4, 3);
  assert.ok(near(shot.at(d3x, d3y), [0x41 * 0.7 + 255 * 0.3, 0x69 * 0.7 + 255 * 0.3, 0xe1 * 0.7 + 255 * 0.3]), `arrow ${shot.at(d3x, d3y)}`);
  const [d8x, d8y] = centre(4, 8);
  const ring = shot.at(d8x, d8y - 20 * 0.4 * u);
  assert.ok(near(ring, [255 * 0.7 + 0x9c * 0.3, 0x9c * 0.3, 0x9c * 0.3]), `mark ${ring}`);
  const [b5x, b5y] = centre(2, 5); // empty light square
  assert.ok(near(shot.at(b5x + 6 * u, b5y + 6 * u), [255, 255, 255], 2));
  const [a5x, a5y] = centre(1, 5); // empty dark square
  assert.ok(near(shot.at(a5x + 6 * u, a5y + 6 * u), [0x9c, 0x9c, 0x9c], 2));
  assert.ok(box.width > 300);
});

test('legal-target markers show for a picked piece', async () => {
  const d1 = await squarePoint('d1');
  await page.touchscreen.tap(d1.x, d1.y);
  await waitFor('markers', async () => (await page.locator('.marker').count()) > 0);
  const targets = await page.locator('.marker').evaluateAll((nodes) => nodes.map((n) => n.dataset.square).sort());
  assert.deepEqual(targets, ['a1', 'b1', 'c1', 'd2', 'd3', 'd4', 'd5', 'd6', 'd7', 'd8', 'e1', 'f1']);
  await page.touchscreen.tap(d1.x, d1.y); // the same piece again puts it down
  await waitFor('no markers', async () => (await page.locator('.marker').count()) === 0);
});

test('an illegal move is refused, by the page and by the service', async () => {
  teacher.words.length = 0;
  await drag('d1', 'e3');
  await waitFor('the refusal', async () => (await page.textContent('#message')) === 'That move is not allowed.');
  assert.equal(await pieceOn('d1'), 'R');
  assert.equal(await pieceOn('e3'), null);
  // The service never trusts the page.
  const reply = await studentCall(`/student/move/${workplace}/d1e3`);
  assert.equal(reply.success, 0);
  assert.equal(reply.errorDescription, 'Illegal move');
  const black = await studentCall(`/student/move/${workplace}/g8h8`);
  assert.equal(black.errorDescription, 'Illegal move');
  assert.equal((await teacher.snapshot(workplace)).position, MATE_IN_ONE);
  assert.ok(!teacher.words.includes(`updated ${workplace}`));
});

test('the legal mate ends the task with "checkmate" and an "updated" to the teacher', async () => {
  teacher.words.length = 0;
  await drag('d1', 'd8');
  await teacher.waitHeard(`updated ${workplace}`);
  const snapshot = await teacher.snapshot(workplace);
  assert.equal(snapshot.status, 'checkmate');
  assert.equal(snapshot.position, '3R2k1/5ppp/8/8/8/8/5PPP/6K1 b - - 1 1');
  assert.equal(snapshot.moves, '1. Rd8#');
  assert.equal(snapshot.raw.moves, '1._Rd8$');
  await waitFor('the mate on the page', async () => (await status()) === 'checkmate');
  assert.equal(await page.textContent('#status'), 'Checkmate! Well done!');
  assert.equal(await pieceOn('d8'), 'R');
  await page.screenshot({ path: path.join(OUT, 'mate.png') });
  const again = await studentCall(`/student/move/${workplace}/g1f1`);
  assert.equal(again.errorDescription, 'The game is over');
});

test('in "stockfish" mode the engine answers the student', async () => {
  teacher.words.length = 0;
  await teacher.pushTask(workplace, { fen: '4k3/8/8/8/8/8/4P3/4K3 w - - 0 1', answer: 'stockfish' });
  await waitFor('the new task', async () => (await pieceOn('e2')) === 'P');
  await drag('e2', 'e4');
  await waitFor('the engine to be thinking or done', async () => ['waiting', 'your_move'].includes(await status()));
  await waitFor('the engine\'s answer', async () => (await teacher.snapshot(workplace)).position.includes(' w '), 10000);
  const snapshot = await teacher.snapshot(workplace);
  assert.match(snapshot.moves, /^1\. e4 K[a-h][1-8]$/);
  assert.ok(teacher.words.some((w) => /^move \d{10} 4k3~8~8~8~4P3~8~8~4K3_b_-_(-|e3) e8[a-h][1-8]$/.test(w)), teacher.words.join('|'));
  await waitFor('the student\'s turn again', async () => (await status()) === 'your_move');
  const moves = await page.textContent('#moves');
  assert.equal(moves, snapshot.moves);
  // The teacher's own question to the engine comes back in the reply and is announced.
  teacher.words.length = 0;
  const fen = '6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -';
  const best = await teacher.get(`/robot/move/${teacher.connectionId}/${positionSegment(fen)}`);
  assert.equal(best.success, 1);
  assert.equal(best.move, 'd1d8');
  await teacher.waitHeard(`move ${teacher.connectionId} 6k1~5ppp~8~8~8~8~5PPP~3R2K1_w_-_- d1d8`);
});

test('with moves off the page refuses to move', async () => {
  await teacher.pushTask(workplace, { fen: MATE_IN_ONE, answer: 'manual', moves: false });
  await waitFor('moves off', async () => (await status()) === 'moves_off');
  assert.equal(await page.textContent('#status'), 'Moves are off — watch the board.');
  await drag('d1', 'd8');
  await sleep(300);
  assert.equal(await pieceOn('d1'), 'R');
  assert.equal(await pieceOn('d8'), null);
  const reply = await studentCall(`/student/move/${workplace}/d1d8`);
  assert.equal(reply.errorDescription, 'Moves are off');
  assert.equal((await teacher.snapshot(workplace)).position, MATE_IN_ONE);
});

test('the move limit, the teacher\'s manual answer, promotion and a turned board', async () => {
  // Black to move: the board turns; the student has one move, the teacher answers it.
  await teacher.pushTask(workplace, { fen: '4k3/7p/8/8/8/8/1p4K1/8 b - - 0 1', answer: 'manual', count: 1 });
  await waitFor('the turned board', async () => (await pieceOn('b2')) === 'p');
  const b2 = await squarePoint('b2', false);
  const b1 = await squarePoint('b1', false);
  await page.mouse.click(b2.x, b2.y);
  await page.mouse.click(b1.x, b1.y);
  await page.waitForSelector('.promotion-choice[data-piece="N"]');
  await page.click('.promotion-choice[data-piece="N"]');
  await waitFor('the promotion', async () => (await pieceOn('b1')) === 'n');
  await waitFor('waiting for the teacher', async () => (await page.textContent('#status')) === 'Waiting for the teacher…');
  const snapshot = await teacher.snapshot(workplace);
  assert.equal(snapshot.moves, '1... b1=N');
  const answer = await teacher.get(`/workplace/move/${workplace}/g2g3/${positionSegment(snapshot.position)}/1`);
  assert.equal(answer.success, 1);
  await waitFor('the limit', async () => (await status()) === 'limit');
  assert.equal((await studentCall(`/student/move/${workplace}/e8d8`)).errorDescription, 'No moves are left in this task');
});

test('a reload and a lost service bring the student back to the same workplace', async () => {
  await teacher.pushTask(workplace, { fen: MATE_IN_ONE, answer: 'manual' });
  await page.reload();
  await waitFor('the board after the reload', async () => (await status()) === 'your_move');
  assert.equal((await seat()).workplace, workplace);
  assert.equal(await page.isHidden('#join'), true);

  // The service goes away and comes back: the page reconnects and catches up by itself.
  await service.stop({ restart: true });
  await waitFor('the lost link', async () => (await page.getAttribute('#link-state', 'data-state')) === 'lost');
  await service.start();
  await waitFor('the link again', async () => (await page.getAttribute('#link-state', 'data-state')) === 'live', 15000);
  await teacher.openLink();
  await teacher.setParameter(workplace, 'puzzle_task', 'After the break');
  await waitFor('the change pushed after the reconnect', async () => (await page.textContent('#caption')) === 'After the break');
  const users = await teacher.get(`/room/users/${room}`);
  assert.equal(Object.values(users).filter((name) => name === 'Mia').length, 1);
});

test('the room code page shows the grouped code and a QR code of the student link', async () => {
  const projector = await browser.newPage();
  await projector.goto(`${service.api}/room-code/?id=${room}`);
  assert.equal(await projector.textContent('#room-code-big'), `${room.slice(0, 3)} ${room.slice(3, 6)} ${room.slice(6)}`);
  const shot = PNG.sync.read(await projector.locator('#room-qr svg').screenshot());
  const code = jsQR(new Uint8ClampedArray(shot.data), shot.width, shot.height);
  assert.ok(code, 'the QR code reads');
  assert.equal(code.data, `${service.api}/student/?id=${room}`);
  await projector.close();
});

test('the student leaves', async () => {
  teacher.words.length = 0;
  await page.click('#leave-button');
  await page.waitForSelector('#join:not([hidden])');
  await teacher.waitHeard(`room ${room}`);
  assert.ok(!(workplace in (await teacher.get(`/room/users/${room}`))));
  assert.equal(await page.evaluate(() => localStorage.getItem('tavlora.workplace')), null);
  assert.equal(await page.inputValue('#user-name'), 'Mia');
});

test('the page ran without a script error', () => {
  assert.deepEqual(pageErrors, []);
});
