// The station's page: live traces over the station's own SeedLink
// WebSocket, its state of health from status.json, the last day of one
// channel as a helicorder (a SeedLink time window the station fills from its
// archive) and the noise medians against the low and high noise models.
// Everything comes from the port that served this page; nothing is loaded
// from anywhere else.
import * as sp from "./seisplotjs.js";

const { DateTime, Duration, Interval } = sp.luxon;

const LIVE_MINUTES = 5;           // what the live traces show, backfilled on connect
const STATUS_EVERY_MS = 5000;     // the station rewrites its status every few seconds
const RECONNECT_AFTER_MS = 3000;
const HELI_REFRESH_MS = 10 * 60 * 1000;

// The station's own state-of-health channels (clock error and quality,
// temperature, satellites): shown in the state of health, not as traces.
const HEALTH_CHANNELS = new Set(["LCE", "LCQ", "LKI", "GNS"]);

const origin = `${location.protocol}//${location.host}/`;
const seedlinkUrl = `${location.protocol === "https:" ? "wss:" : "ws:"}//${location.host}/seedlink`;
const $ = (id) => document.getElementById(id);

// What a test (or a curious person in the console) can read of the page.
const state = { packets: {}, statusLoaded: false, heliPackets: 0, connected: false, reconnects: 0 };
window.voxa = state;

function setBadge(element, text, colour) {
  element.textContent = text;
  element.className = `badge ${colour}`;
}

function setCell(id, text, colour) {
  const value = $(id);
  value.textContent = text;
  value.parentElement.className = value.parentElement.className.replace(/ ?(lime|yellow|red|silver|aqua)\b/g, "");
  if (colour) value.parentElement.classList.add(colour);
}

function bytesText(bytes) {
  if (bytes == null) return "–";
  const units = ["B", "kB", "MB", "GB", "TB"];
  let value = bytes, unit = 0;
  while (value >= 1000 && unit < units.length - 1) { value /= 1000; ++unit; }
  return `${value.toFixed(unit ? 1 : 0)} ${units[unit]}`;
}

function ageText(seconds) {
  if (seconds < 120) return `${Math.round(seconds)} s`;
  if (seconds < 7200) return `${Math.round(seconds / 60)} min`;
  return `${(seconds / 3600).toFixed(1)} h`;
}

// ---- The station's identity and streams, as ringserver's clients read them.

async function streamList() {
  const ring = new sp.ringserverweb4.RingserverConnection(origin);
  const [id, streams] = await Promise.all([ring.pullId(), ring.pullStreams()]);
  const channels = [];
  for (const stream of streams.stream) {
    const sid = sp.fdsnsourceid.FDSNSourceId.parse(stream.id.replace(/\/MSEED$/, ""));
    if (HEALTH_CHANNELS.has(sid.formChannelCode())) continue;
    channels.push({ network: sid.networkCode, station: sid.stationCode, location: sid.locationCode,
                    channel: sid.formChannelCode(), end: stream.end_time });
  }
  channels.sort((a, b) => a.channel.localeCompare(b.channel));
  return { id, channels };
}

// ---- Live traces.

let live = null;       // the realtime display
let liveLink = null;   // the SeedLink connection
let lastEnd = null;    // end of the newest packet, where a reconnect resumes

function startLive(station) {
  if (!live) {
    live = sp.animatedseismograph.createRealtimeDisplay({
      duration: Duration.fromObject({ minutes: LIVE_MINUTES }),
      removeTrend: true,
    });
    const config = live.organizedDisplay.seismographConfig;
    config.title = sp.seismographconfig.DEFAULT_TITLE;
    config.doGain = true;
    config.margin.left = 54;
    $("traces").appendChild(live.organizedDisplay);
    live.animationScaler.animate();
    $("live-window").textContent = `last ${LIVE_MINUTES} min`;
  }
  connectLive(station);
}

function connectLive(station) {
  setBadge($("connection"), "connecting", "silver");
  $("connection").dataset.state = "connecting";
  const link = new sp.seedlink.SeedlinkConnection(
    seedlinkUrl, [`STATION ${station.station} ${station.network}`], (packet) => {
      const header = packet.miniseed.header;
      if (HEALTH_CHANNELS.has(header.chanCode)) return;
      live.packetHandler(packet);
      state.packets[header.chanCode] = (state.packets[header.chanCode] ?? 0) + 1;
      const end = header.endTime ?? header.startTime;
      if (!lastEnd || end > lastEnd) lastEnd = end;
      if (!state.connected) {
        state.connected = true;
        setBadge($("connection"), "live", "lime");
        $("connection").dataset.state = "live";
      }
      showPacketCounts();
    }, (error) => disconnected(station, error.message));
  link.setOnClose(() => disconnected(station, "connection closed"));
  // Backfill: from where the last connection left off, or the last minutes.
  const from = lastEnd ? lastEnd : DateTime.utc().minus({ minutes: LIVE_MINUTES });
  link.setTimeCommand(from.toUTC());
  liveLink = link;
  link.connect();
}

let reconnectTimer = null;
function disconnected(station, why) {
  state.connected = false;
  setBadge($("connection"), "disconnected — retrying", "red");
  $("connection").dataset.state = "disconnected";
  $("connection").title = why;
  if (liveLink) { liveLink.setOnClose(() => {}); liveLink.close(); liveLink = null; }
  if (reconnectTimer) return;
  reconnectTimer = setTimeout(() => {
    reconnectTimer = null;
    ++state.reconnects;
    connectLive(station);
  }, RECONNECT_AFTER_MS);
}

function showPacketCounts() {
  const box = $("channels");
  for (const [channel, count] of Object.entries(state.packets)) {
    let chip = box.querySelector(`[data-channel="${channel}"]`);
    if (!chip) {
      chip = document.createElement("span");
      chip.dataset.channel = channel;
      box.appendChild(chip);
    }
    chip.dataset.packets = count;
    chip.textContent = `${channel} · ${count} packets`;
  }
}

// ---- Helicorder.

let heli = null;
async function loadHelicorder(station, channel) {
  const end = DateTime.utc().endOf("hour").plus({ milliseconds: 1 });
  const span = Interval.before(end, Duration.fromObject({ hours: 24 }));
  const config = new sp.helicorder.HelicorderConfig(span);
  config.title = `${station.network}.${station.station}.${channel.location}.${channel.channel}`;
  const segments = [];
  $("heli-state").textContent = "loading…";
  const draw = () => {
    if (segments.length === 0) return;
    const seismogram = new sp.seismogram.Seismogram(segments.slice());
    const data = sp.seismogram.SeismogramDisplayData.fromSeismogram(seismogram);
    if (!heli) {
      heli = new sp.helicorder.Helicorder([data], config);
      $("helicorder").replaceChildren(heli);
    } else {
      heli.heliConfig = config;
      heli.seisData = [data];
    }
    $("heli-state").textContent = `${state.heliPackets} packets`;
  };
  let drawTimer = null;
  state.heliPackets = 0;
  await new Promise((resolve) => {
    const select = channel.location ? `${channel.location}${channel.channel}.D` : `${channel.channel}.D`;
    const link = new sp.seedlink.SeedlinkConnection(
      seedlinkUrl, [`STATION ${station.station} ${station.network}`, `SELECT ${select}`], (packet) => {
        segments.push(sp.miniseed.createSeismogramSegment(packet.miniseed));
        ++state.heliPackets;
        if (!drawTimer) drawTimer = setTimeout(() => { drawTimer = null; draw(); }, 1000);
      }, (error) => { $("heli-state").textContent = `not loaded: ${error.message}`; resolve(); });
    const fmt = "yyyy,LL,dd,HH,mm,ss";
    // A closed window: the station sends what its archive and ring hold of
    // it and then closes the connection.
    link.command = `TIME ${span.start.toFormat(fmt)} ${DateTime.utc().toFormat(fmt)}`;
    link.setOnClose(() => resolve());
    link.connect();
  });
  if (drawTimer) { clearTimeout(drawTimer); drawTimer = null; }
  draw();
  if (segments.length === 0) $("heli-state").textContent = "no data in the last 24 h";
}

// ---- State of health.

let models = null;
async function loadStatus() {
  try {
    const response = await fetch("status.json", { cache: "no-store" });
    if (!response.ok) throw new Error(`status.json: ${response.status}`);
    showStatus(await response.json());
  } catch (error) {
    setBadge($("phase"), "no status", "red");
    $("problem").hidden = false;
    $("problem").textContent = `The state of health cannot be read (${error.message}).`;
  }
}

function showStatus(s) {
  const phaseColour = { receiving: "lime", waiting: "silver", reconnecting: "red", stopped: "yellow" }[s.phase] ?? "yellow";
  setBadge($("phase"), s.phase || "unknown", phaseColour);
  $("updated").textContent = s.updated ? `status ${s.updated.replace("T", " ").slice(0, 19)} UTC` : "";

  const gps = s.gps ?? {};
  setCell("gps-clock", gps.clock || "–", gps.clock ? "aqua" : "silver");
  const age = gps.fix_age_seconds;
  setCell("fix-age", age == null ? "no fix" : ageText(age), age == null ? "red" : age <= 120 ? "lime" : age <= 3600 ? "yellow" : "red");
  const satellites = Number.parseInt(gps.satellites, 10);
  setCell("satellites", gps.satellites || "–", Number.isNaN(satellites) ? "silver" : satellites >= 4 ? "lime" : satellites > 0 ? "yellow" : "red");
  setCell("temperature", s.temperature ? `${s.temperature} °C` : "–", "silver");
  setCell("shift", s.shift || "–", "silver");
  const e = s.errors ?? {};
  const total = (e.block ?? 0) + (e.second ?? 0) + (e.sample_rate ?? 0);
  setCell("errors", `${e.block ?? 0} · ${e.second ?? 0} · ${e.sample_rate ?? 0}`, total === 0 ? "lime" : "yellow");
  const recording = s.recording ?? {};
  setCell("recording", recording.name ? `${recording.name} (${bytesText(recording.bytes)})` : "not recording", recording.name ? "lime" : "silver");
  const disk = s.disk ?? {};
  setCell("disk", bytesText(disk.free_bytes), { ok: "lime", low: "yellow" }[disk.state] ?? "red");
  const seedlink = s.seedlink ?? {};
  const clients = seedlink.clients ?? [];
  setCell("clients", seedlink.serving === false ? "off" : `${clients.length}`, "silver");
  $("clients").title = clients.map((c) => `${c.address}: ${c.packets_sent} packets`).join("\n");
  $("problem").hidden = !s.last_problem;
  $("problem").textContent = s.last_problem ?? "";
  showNoise(s.noise);
  state.statusLoaded = true;
  document.body.dataset.statusLoaded = "true";
}

// The medians, in dB, per channel at the models' periods; a median between
// the low and high models is a quiet, working sensor.
function showNoise(noise) {
  if (!Array.isArray(noise) || noise.length === 0 || !models) return;
  const table = document.createElement("table");
  const head = table.createTHead().insertRow();
  head.insertCell().outerHTML = "<th>Channel</th>";
  for (const period of models.periods) head.insertCell().outerHTML = `<th>${period} s</th>`;
  const modelRow = (name, values) => {
    const row = table.insertRow();
    row.className = "model";
    row.insertCell().textContent = name;
    for (const value of values) row.insertCell().textContent = value.toFixed(1);
  };
  modelRow("NLNM", models.low_db);
  for (const channel of noise) {
    const row = table.insertRow();
    row.insertCell().textContent = `${channel.stream}${channel.acceleration === false ? " (V²/Hz)" : ""}`;
    models.periods.forEach((period, i) => {
      const value = Array.isArray(channel.median_db) ? channel.median_db[i] : channel.median_db?.[String(period)];
      const cell = row.insertCell();
      cell.textContent = value == null ? "–" : value.toFixed(1);
      if (value != null && channel.acceleration !== false) {
        cell.className = value < models.low_db[i] || value > models.high_db[i] ? "yellow" : "lime";
      }
    });
  }
  modelRow("NHNM", models.high_db);
  $("noise").replaceChildren(table);
}

// ---- Start.

async function start() {
  models = await fetch("noise_models.json").then((r) => r.json()).catch(() => null);
  loadStatus();
  setInterval(loadStatus, STATUS_EVERY_MS);
  let station;
  for (;;) {
    try {
      station = await streamList();
      if (station.channels.length > 0) break;
      setBadge($("connection"), "no streams yet", "yellow");
    } catch (error) {
      setBadge($("connection"), "station not reachable", "red");
    }
    await new Promise((resolve) => setTimeout(resolve, RECONNECT_AFTER_MS));
  }
  const first = station.channels[0];
  const codes = { network: first.network, station: first.station };
  $("station-name").textContent = `${codes.network}.${codes.station}`;
  document.title = `${codes.network}.${codes.station} · VOXA station`;
  const choose = $("heli-channel");
  for (const channel of station.channels) {
    const option = document.createElement("option");
    option.value = channel.channel;
    option.textContent = `${channel.location ? channel.location + "." : ""}${channel.channel}`;
    choose.appendChild(option);
  }
  const heliChannel = () => station.channels.find((c) => c.channel === choose.value) ?? first;
  choose.addEventListener("change", () => loadHelicorder(codes, heliChannel()));
  startLive(codes);
  loadHelicorder(codes, heliChannel());
  setInterval(() => loadHelicorder(codes, heliChannel()), HELI_REFRESH_MS);
}

start();
