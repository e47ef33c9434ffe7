// Helpers of the end-to-end tests: the real tavlora-service on free loopback ports, a teacher
// that speaks plain HTTP and WebSocket as the application does, and a headless Chromium.

import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { PNG } from 'pngjs';
import WebSocket from 'ws';

export const SERVICE = process.env.TAVLORA_SERVICE ||
  path.resolve(import.meta.dirname, '../../build/release/service/tavlora-service');
export const CHROMIUM = process.env.TAVLORA_CHROMIUM || '/usr/bin/chromium';
// Screenshots go beside the build, never into a fresh folder of /tmp per run.
export const OUT = process.env.TAVLORA_E2E_OUT ||
  path.resolve(import.meta.dirname, '../../build/release/tests/e2e/out');

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export async function waitFor(what, predicate, timeoutMs = 10000) {
  const end = Date.now() + timeoutMs;
  for (;;) {
    const value = await predicate();
    if (value) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await sleep(20);
  }
}

export function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.unref();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// The service on fixed ports, so a restart keeps the addresses the page knows.
export class Service {
  constructor(extraArgs = []) {
    this.dataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'tavlora-e2e-'));
    this.extraArgs = extraArgs;
  }

  async start() {
    if (!this.apiPort) {
      this.apiPort = await freePort();
      this.wsPort = await freePort();
    }
    const log = fs.openSync(path.join(this.dataDir, 'service.log'), 'a');
    this.proc = spawn(SERVICE, [
      '--data', this.dataDir, '--listen', '127.0.0.1',
      '--api-port', String(this.apiPort), '--ws-port', String(this.wsPort),
      '--keep-alive-seconds', '2', ...this.extraArgs,
    ], { stdio: ['ignore', 'pipe', log] });
    let out = '';
    await waitFor('the service to listen', () => {
      const chunk = this.proc.stdout.read();
      if (chunk) out += chunk.toString();
      if (this.proc.exitCode !== null) throw new Error('the service ended: ' + this.log());
      return /listening api=\d+ ws=\d+/.test(out);
    }, 15000);
    this.api = `http://127.0.0.1:${this.apiPort}`;
    this.ws = `ws://127.0.0.1:${this.wsPort}`;
  }

  // Ends the service. Its data folder goes too, unless it starts again on it (restart) or
  // something failed: then the folder stays and its path is printed.
  async stop({ restart = false, failed = false } = {}) {
    if (this.proc && this.proc.exitCode === null && this.proc.signalCode === null) {
      const ended = new Promise((resolve) => this.proc.once('exit', resolve));
      this.proc.kill('SIGTERM');
      await ended;
    }
    if (restart) return;
    if (failed) {
      console.error(`the service's data folder is kept: ${this.dataDir}`);
      return;
    }
    fs.rmSync(this.dataDir, { recursive: true, force: true });
  }

  log() {
    try { return fs.readFileSync(path.join(this.dataDir, 'service.log'), 'utf8'); } catch { return ''; }
  }

  command(...args) {
    return execFileSync(SERVICE, ['--data', this.dataDir, ...args], { encoding: 'utf8' }).trim();
  }

  newestCode() {
    const outbox = path.join(this.dataDir, 'outbox');
    const names = fs.readdirSync(outbox).filter((n) => n.endsWith('.eml')).sort();
    const mail = fs.readFileSync(path.join(outbox, names[names.length - 1]), 'utf8');
    return /X-Tavlora-Code: (\d{6})/.exec(mail)[1];
  }
}

// Position and parameter texts in paths as the application writes them: "/" is "~", and a
// position's blanks are "_"; the HTTP client percent-encodes the rest.
export const paramSegment = (value) => encodeURIComponent(value.replaceAll('/', '~'));
export const positionSegment = (fen) => encodeURIComponent(fen.replaceAll(' ', '_').replaceAll('/', '~'));
export const unescapePosition = (text) => text.replaceAll('$', '#').replaceAll('_', ' ').replaceAll('~', '/');

export class Teacher {
  constructor(service) {
    this.service = service;
    this.words = [];
  }

  async get(p) {
    const headers = { 'Accept-Charset': 'UTF-8' };
    if (this.token) headers.TVLToken = this.token;
    const response = await fetch(this.service.api + p, { headers });
    return response.json();
  }

  async signIn(email) {
    this.regCode = this.service.command('account', 'add', email);
    if ((await this.get(`/user/code/new/${this.regCode}`)).success !== 1) throw new Error('no code');
    const check = await this.get(`/user/code/check/${this.regCode}/${this.service.newestCode()}`);
    this.token = check.token;
    this.connectionId = (await this.get(`/user/token/${this.regCode}`)).connection_id;
    if (!/^\d{10}$/.test(this.connectionId)) throw new Error('no connection id');
  }

  // The live link: every message is Base64 of the event words.
  async openLink() {
    this.link = new WebSocket(`${this.service.ws}/ws/${this.connectionId}`);
    this.link.on('message', (data) => {
      this.words.push(Buffer.from(data.toString(), 'base64').toString('utf8'));
    });
    await new Promise((resolve, reject) => { this.link.once('open', resolve); this.link.once('error', reject); });
    await this.get(`/workplace/active/${this.connectionId}`);
  }

  heard(words) {
    return this.words.includes(words);
  }

  async waitHeard(words, timeoutMs = 5000) {
    return waitFor(`"${words}" on the live link`, () => this.heard(words), timeoutMs);
  }

  async setParameter(workplace, name, value) {
    const reply = await this.get(`/workplace/setParameter/${workplace}/${name}/${paramSegment(value)}`);
    if (reply.success !== 1) throw new Error(`${name}: ${JSON.stringify(reply)}`);
  }

  // The task push of the teacher's board, in its order: marks, the four arrow lists, the
  // rules, the caption, the orientation, the position, and the reload last.
  async pushTask(workplace, task) {
    const white = task.fen.includes(' w ');
    await this.setParameter(workplace, 'selected', task.selected || '-');
    await this.setParameter(workplace, 'arrows', task.arrows || '-');
    await this.setParameter(workplace, 'danger_arrows', task.dangerArrows || '-');
    await this.setParameter(workplace, 'white_arrows', task.whiteArrows || '-');
    await this.setParameter(workplace, 'black_arrows', task.blackArrows || '-');
    await this.setParameter(workplace, 'answer', task.answer || 'manual');
    await this.setParameter(workplace, 'count_max_moves', String(task.count || 999));
    await this.setParameter(workplace, 'en_moves', task.moves === false ? '0' : '1');
    await this.setParameter(workplace, 'markers', task.markers === false ? '0' : '1');
    await this.setParameter(workplace, 'puzzle_task', task.caption || (white ? 'White move' : 'Black move') + '<br>Mates');
    await this.setParameter(workplace, 'orientation', white ? 'w' : 'b');
    await this.setParameter(workplace, 'position', task.fen);
    const reply = await this.get(`/workplace/reloadPosition/${workplace}`);
    if (reply.success !== 1) throw new Error('reload: ' + JSON.stringify(reply));
  }

  async snapshot(workplace) {
    const reply = await this.get(`/workplace/download/${workplace}`);
    if (reply.success !== 1) throw new Error('snapshot: ' + JSON.stringify(reply));
    return {
      position: unescapePosition(reply.data.current_position),
      status: reply.data.status,
      moves: unescapePosition(reply.data.moves),
      raw: reply.data,
    };
  }

  close() {
    if (this.link) this.link.close();
  }
}

export const LAUNCH_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

// A fresh profile each time: Debian's Chromium, no browser download. Closing the context
// removes the profile.
export async function launchBrowser(options = {}) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tavlora-chromium-'));
  const removeProfile = () => fs.rmSync(profile, { recursive: true, force: true, maxRetries: 5 });
  let context;
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM,
      headless: true,
      args: LAUNCH_ARGS,
      viewport: { width: 1024, height: 900 },
      hasTouch: true,
      ...options,
    });
  } catch (error) {
    removeProfile();
    throw error;
  }
  const close = context.close.bind(context);
  context.close = async (...args) => {
    try {
      await close(...args);
    } finally {
      removeProfile();
    }
  };
  return { context, profile };
}

// Pixels of a PNG screenshot.
export function pixels(buffer) {
  const png = PNG.sync.read(buffer);
  return {
    width: png.width,
    height: png.height,
    data: png.data,
    at(x, y) {
      const i = (Math.round(y) * png.width + Math.round(x)) * 4;
      return [png.data[i], png.data[i + 1], png.data[i + 2]];
    },
  };
}

export const near = (a, b, tolerance = 30) => a.every((v, i) => Math.abs(v - b[i]) <= tolerance);
