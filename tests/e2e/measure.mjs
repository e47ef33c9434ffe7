// Figures of the students' page, run by hand (they are not a test):
//   node tests/e2e/measure.mjs [--runs 20] [--docs]
// Loads the page of a seated student again and again and reports the time from navigation to
// a playable board (the page's "tavlora-playable" mark) and the page's weight; --docs also
// writes the README's screenshots into docs/. TAVLORA_SERVICE names the service binary.

import fs from 'node:fs';
import path from 'node:path';
import { Service, Teacher, launchBrowser, sleep, waitFor } from './lib.mjs';

const args = process.argv.slice(2);
const runs = Number(args[args.indexOf('--runs') + 1]) || 20;
const docs = args.includes('--docs');
const DOCS = path.resolve(import.meta.dirname, '../../docs');

const service = new Service(['--engine-movetime-ms', '100']);
const teacher = new Teacher(service);
let context;
let failed = false;
try {
  await service.start();
  await teacher.signIn('teacher@measure.example');
  const room = (await teacher.get('/room/new/Chess%20club')).RoomId;
  ({ context } = await launchBrowser());
  const page = context.pages()[0] || await context.newPage();
  await page.goto(`${service.api}/student/?id=${room}`);
  await page.fill('#user-name', 'Mia');
  await page.click('#join-button');
  await page.waitForSelector('#lesson:not([hidden])');
  const users = await teacher.get(`/room/users/${room}`);
  const workplace = Object.keys(users).find((k) => users[k] === 'Mia');
  await teacher.pushTask(workplace, {
    fen: '6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1', answer: 'stockfish',
    selected: 'd81', arrows: 'd1d8', dangerArrows: 'f7f6',
  });
  const playable = async () => (await page.getAttribute('#status', 'data-reason')) === 'your_move';
  await waitFor('the task', playable);

  const times = [];
  for (let i = 0; i < runs; i++) {
    await page.reload();
    await waitFor('a playable board', playable);
    times.push(await page.evaluate(() => performance.getEntriesByName('tavlora-playable')[0].startTime));
  }
  times.sort((a, b) => a - b);
  const at = (p) => times[Math.min(times.length - 1, Math.floor(p * times.length))];
  let weight = 0;
  const files = ['/student/', '/web/student.css', '/web/student.js', '/web/board.js', '/web/pieces.pset'];
  for (const f of files) weight += (await (await fetch(service.api + f)).arrayBuffer()).byteLength;
  console.log(`page load to a playable board over ${runs} loads: median ${at(0.5).toFixed(1)} ms, ` +
              `p90 ${at(0.9).toFixed(1)} ms, max ${times[times.length - 1].toFixed(1)} ms`);
  console.log(`page weight: ${weight} bytes (${(weight / 1024).toFixed(1)} KiB) in ${files.length} files, uncompressed`);

  if (docs) {
    for (const [name, size] of [['student-desktop.png', { width: 1024, height: 860 }],
                                ['student-phone.png', { width: 390, height: 760 }]]) {
      await page.setViewportSize(size);
      await sleep(200);
      await page.screenshot({ path: path.join(DOCS, name) });
    }
    const projector = await context.newPage();
    await projector.setViewportSize({ width: 1024, height: 860 });
    await projector.goto(`${service.api}/room-code/?id=${room}`);
    await projector.screenshot({ path: path.join(DOCS, 'room-code.png') });
    console.log(`screenshots written into ${DOCS}`);
  }
} catch (error) {
  failed = true;
  throw error;
} finally {
  if (context) await context.close();
  teacher.close();
  await service.stop({ failed });
}
