// The station's page in headless Chromium against a live simulated station:
// it must draw packets of every channel, fill the state of health and the
// helicorder, at a laptop's width and a phone's, and say when the station
// goes away. Screenshots go to VOXA_SCREENSHOT_DIR (or a temporary folder).
//   node station_page.mjs PATH/TO/web_test_station WEBFOLDER CHROMIUM
import { spawn } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import puppeteer from "puppeteer-core";

const [stationProgram, webFolder, chromium] = process.argv.slice(2);
const PACKETS_PER_CHANNEL = Number(process.env.VOXA_PAGE_PACKETS || 5);
const CHANNELS = ["EHE", "EHN", "EHZ"];
const problems = [];
const check = (ok, what) => { if (!ok) problems.push(what); };

const work = fs.mkdtempSync(path.join(os.tmpdir(), "voxa-page-"));
const shots = process.env.VOXA_SCREENSHOT_DIR || work;
const station = spawn(stationProgram, [work, webFolder], { stdio: ["pipe", "pipe", "ignore"] });
const deadline = setTimeout(() => { console.error("FAIL: no result within 150 s"); cleanUp(1); }, 150000);
let browser = null;
async function cleanUp(code) {
  clearTimeout(deadline);
  if (browser) await browser.close().catch(() => {});
  station.stdin.end();
  station.kill();
  fs.rmSync(work, { recursive: true, force: true });
  process.exit(code);
}

const port = await new Promise((resolve, reject) => {
  let text = "";
  station.stdout.on("data", (chunk) => {
    text += chunk;
    const found = text.match(/PORT (\d+)/);
    if (found) resolve(Number(found[1]));
  });
  station.on("exit", (code) => reject(new Error(`station ended with ${code}`)));
});
const url = `http://127.0.0.1:${port}/`;

browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  userDataDir: fs.mkdtempSync(path.join(work, "profile-")),
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync"],
});

// Nothing the page asks for may leave the station's port.
const foreign = [];
async function open(width, height, mobile) {
  const page = await browser.newPage();
  await page.setViewport({ width, height, deviceScaleFactor: mobile ? 2 : 1, isMobile: mobile, hasTouch: mobile });
  page.on("request", (request) => {
    if (!request.url().startsWith(url) && !request.url().startsWith(`ws://127.0.0.1:${port}/`)) foreign.push(request.url());
  });
  page.on("pageerror", (error) => problems.push(`page error: ${error.message}`));
  await page.goto(url, { waitUntil: "load" });
  // Real time: the traces animate on the page's clock, not a virtual one.
  await page.waitForFunction((channels, count) => window.voxa?.statusLoaded &&
      channels.every((c) => (window.voxa.packets[c] ?? 0) >= count) && window.voxa.heliPackets > 0 &&
      document.querySelector("#helicorder sp-helicorder") !== null &&
      Number(document.getElementById("clients").textContent) >= 1 &&
      // A real station's first status may come before its first fix.
      document.getElementById("gps-clock").textContent !== "–",
    { timeout: 60000, polling: 250 }, CHANNELS, PACKETS_PER_CHANNEL);
  return page;
}

try {
  const page = await open(1280, 1100, false);
  const dom = await page.evaluate(() => ({
    station: document.getElementById("station-name").textContent,
    connection: document.getElementById("connection").dataset.state,
    chips: [...document.querySelectorAll("#channels [data-channel]")].map((c) => [c.dataset.channel, Number(c.dataset.packets)]),
    fields: Object.fromEntries(["gps-clock", "fix-age", "satellites", "temperature", "shift", "errors", "recording",
                                "disk", "clients"].map((id) => [id, document.getElementById(id).textContent])),
    errorsColour: document.getElementById("errors").parentElement.className,
    traces: document.querySelector("#traces sp-organized-display")?.seisData?.length ?? 0,
    heliOptions: [...document.querySelectorAll("#heli-channel option")].map((o) => o.value),
    noiseRows: document.querySelectorAll("#noise tr").length,
  }));
  console.log(JSON.stringify(dom));
  check(dom.station === "XX.V015", `station name ${dom.station}`);
  check(dom.connection === "live", `connection ${dom.connection}`);
  for (const channel of CHANNELS) {
    const chip = dom.chips.find(([c]) => c === channel);
    check(chip && chip[1] >= PACKETS_PER_CHANNEL, `${channel}: ${chip?.[1]} packets drawn`);
  }
  check(dom.traces === CHANNELS.length, `${dom.traces} traces drawn`);
  check(/^\d\d:\d\d:\d\d$/.test(dom.fields["gps-clock"]), `GPS clock "${dom.fields["gps-clock"]}"`);
  check(dom.fields.satellites === "07", `satellites "${dom.fields.satellites}"`);
  check(dom.fields.temperature.startsWith("+23.5"), `temperature "${dom.fields.temperature}"`);
  const errorCounts = dom.fields.errors.split(" · ").map(Number);
  check(errorCounts.length === 3 && errorCounts.every(Number.isInteger), `errors "${dom.fields.errors}"`);
  check(dom.errorsColour.includes(errorCounts.every((n) => n === 0) ? "lime" : "yellow"), `errors coloured ${dom.errorsColour}`);
  // The test harness reports a fixed disk; a real station its own.
  check(process.env.VOXA_REAL_STATION === "1" ? /\d+(\.\d+)? [KMGT]?B/.test(dom.fields.disk) : dom.fields.disk === "52.0 GB",
        `disk "${dom.fields.disk}"`);
  check(Number(dom.fields.clients) >= 1, `clients "${dom.fields.clients}"`);
  check(dom.heliOptions.join() === CHANNELS.join(), `helicorder channels ${dom.heliOptions}`);
  check(dom.noiseRows >= 2, `${dom.noiseRows} noise rows`);
  // Draw once more now, so the screenshot shows the newest second.
  await page.evaluate(() => document.querySelector("#traces sp-organized-display").draw());
  await page.screenshot({ path: path.join(shots, "station-page.png"), fullPage: true });

  const phone = await open(390, 844, true);
  const overflow = await phone.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
  check(overflow <= 0, `the phone's page is ${overflow} px wider than the screen`);
  await phone.screenshot({ path: path.join(shots, "station-page-phone.png"), fullPage: true });

  // The station goes away: the page says so.
  station.stdin.end();
  await page.waitForFunction(() => document.getElementById("connection").dataset.state === "disconnected",
                             { timeout: 20000, polling: 250 });
  check(foreign.length === 0, `requests off the station's port: ${foreign.join(", ")}`);
} catch (error) {
  problems.push(error.message);
}
if (problems.length > 0) {
  for (const problem of problems) console.error("FAIL: " + problem);
  await cleanUp(1);
}
console.log(`the page drew every channel and its state of health; screenshots in ${shots}`);
await cleanUp(0);
