// Starts the virtual phone and `zentro ui` against it, and talks to the phone's control port.
import { spawn } from 'node:child_process';
import net from 'node:net';
import http from 'node:http';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

function readyLine(child, pattern, what) {
  return new Promise((resolve, reject) => {
    let seen = '';
    const timer = setTimeout(() => reject(new Error(`${what} did not start: ${seen}`)), 30000);
    const look = (chunk) => {
      seen += chunk;
      const match = seen.match(pattern);
      if (match) { clearTimeout(timer); resolve(match); }
    };
    child.stdout.on('data', look);
    child.stderr.on('data', (chunk) => { seen += chunk; });
    child.on('exit', (code) => reject(new Error(`${what} ended (${code}): ${seen}`)));
  });
}

export async function startPhone(bin, args = []) {
  const child = spawn(bin, ['--adb-port', '0', '--control-port', '0', ...args], { stdio: ['pipe', 'pipe', 'pipe'] });
  const match = await readyLine(child, /ready adb-port=(\d+) control-port=(\d+)/, 'zentro-phone');
  return { child, adbPort: Number(match[1]), controlPort: Number(match[2]) };
}

export async function startUi(bin, adbPort) {
  // A folder of its own: the working folder, temporary files and documents of this run.
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'zentro-ui-test-'));
  const env = { ...process.env, ANDROID_ADB_SERVER_PORT: String(adbPort), HOME: home, TMPDIR: home,
    XDG_DOCUMENTS_DIR: path.join(home, 'Documents') };
  delete env.DISPLAY;
  const child = spawn(bin, ['ui', '--no-browser', '--port', '0'], { cwd: home, env, stdio: ['ignore', 'pipe', 'pipe'] });
  const match = await readyLine(child, /open (http:\/\/127\.0\.0\.1:(\d+)\/\?token=([0-9a-f]+))/, 'zentro ui');
  return { child, home, url: match[1], port: Number(match[2]), token: match[3] };
}

export function stop(child) {
  return new Promise((resolve) => {
    if (child.exitCode !== null) return resolve(child.exitCode);
    child.on('exit', (code, signal) => resolve(code ?? signal));
    child.kill('SIGINT');
  });
}

// One command line to the control port; the reply lines up to "ok"/"error"/"end".
export function control(port, line) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1');
    let reply = '';
    socket.on('connect', () => socket.write(`${line}\n`));
    socket.on('data', (chunk) => {
      reply += chunk;
      if (/(^|\n)(ok|end|error[^\n]*)\n$/.test(reply)) { socket.end(); resolve(reply); }
    });
    socket.on('error', reject);
  });
}

// A raw request, so Host and Origin can be whatever a hostile page would send.
export function rawRequest(port, { method = 'GET', path: target = '/', headers = {}, body }) {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port, method, path: target, headers }, (res) => {
      let text = '';
      res.on('data', (c) => { text += c; });
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, text }));
    });
    req.on('error', reject);
    req.end(body);
  });
}
