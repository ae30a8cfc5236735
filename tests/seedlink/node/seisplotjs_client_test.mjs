// seisplotjs's SeedLink client under node, over WebSocket, against the test
// station: a time window that starts before the station's ring (so it comes
// partly from the archive) must decode to the archive's own samples.
//   node seisplotjs_client_test.mjs PATH/TO/seedlink_test_station
import { spawn } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { createRequire } from "node:module";

const require = createRequire(path.join(process.env.NODE_PATH ?? "", "x.js"));
// The library's node build still declares its page elements when loaded;
// empty stand-ins are enough for the SeedLink client and the miniSEED parser.
globalThis.HTMLElement ??= class {};
globalThis.HTMLDivElement ??= class {};
globalThis.customElements ??= { define() {}, get() { return undefined; } };
let WebSocket, seisplotjs;
try {
  WebSocket = require("ws");
  seisplotjs = await import(path.join(process.env.NODE_PATH ?? "", "seisplotjs/dist/index_node.mjs"));
} catch (e) {
  console.error(`seisplotjs or ws is missing (${e.message}): run scripts/setup.sh, which runs npm ci --prefix web`);
  process.exit(1);
}
globalThis.WebSocket = WebSocket;

const fail = (message) => {
  console.error("FAIL: " + message);
  process.exitCode = 1;
};

const work = fs.mkdtempSync(path.join(os.tmpdir(), "voxa-seisplotjs-"));
const station = spawn(process.argv[2], [work], { stdio: ["pipe", "pipe", "inherit"] });
const timer = setTimeout(() => {
  fail("no result within 60 s");
  station.stdin.end();
  process.exit(1);
}, 60000);
const port = await new Promise((resolve, reject) => {
  let text = "";
  station.stdout.on("data", (chunk) => {
    text += chunk;
    const found = text.match(/PORT (\d+) ARCHIVE/);
    if (found) resolve(Number(found[1]));
  });
  station.on("exit", (code) => reject(new Error(`station ended with ${code}`)));
});

// What the archive holds of EHZ: time in ms -> sample.
const archive = new Map();
const root = path.join(work, "sds");
const walk = (dir) => fs.readdirSync(dir, { withFileTypes: true }).flatMap((e) =>
  e.isDirectory() ? walk(path.join(dir, e.name)) : [path.join(dir, e.name)]);
for (const file of walk(root).filter((f) => f.includes(".EHZ.D."))) {
  const bytes = fs.readFileSync(file);
  for (const record of seisplotjs.miniseed.parseDataRecords(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length))) {
    const samples = record.decompress();
    const start = record.header.startTime.toMillis();
    for (let i = 0; i < samples.length; ++i) archive.set(start + (i * 1000) / record.header.sampleRate, samples[i]);
  }
}

const received = [];
await new Promise((resolve) => {
  const connection = new seisplotjs.seedlink.SeedlinkConnection(
    `ws://127.0.0.1:${port}/seedlink`,
    ["STATION V015 XX", "SELECT EHZ.D"],
    (packet) => received.push(packet),
    (error) => {
      fail("client error: " + error.message);
      resolve();
    },
  );
  connection.command = "TIME 2026,12,07,09,30,21 2026,12,07,09,30,39";
  connection.setOnClose(() => resolve());
  connection.connect();
});

let compared = 0;
const times = new Set();
for (const packet of received) {
  const record = packet.miniseed;
  if (record.header.chanCode !== "EHZ") fail("unexpected channel " + record.header.chanCode);
  const samples = record.decompress();
  const start = record.header.startTime.toMillis();
  for (let i = 0; i < samples.length; ++i) {
    const t = start + (i * 1000) / record.header.sampleRate;
    if (archive.get(t) !== samples[i]) fail(`sample at ${new Date(t).toISOString()}: ${samples[i]}, archive ${archive.get(t)}`);
    times.add(t);
    ++compared;
  }
}
const first = Date.UTC(2026, 11, 7, 9, 30, 21), last = Date.UTC(2026, 11, 7, 9, 30, 38, 990);
for (let t = first; t <= last; t += 10) if (!times.has(t)) { fail("missing sample at " + new Date(t).toISOString()); break; }
if (received.length === 0) fail("no packets");
console.log(`${received.length} packets, ${compared} samples equal to the archive's`);
clearTimeout(timer);
station.stdin.end();
fs.rmSync(work, { recursive: true, force: true });
