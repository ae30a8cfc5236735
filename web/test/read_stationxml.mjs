// Reads a StationXML document back with seisplotjs's parser and checks it
// against what the caller expects, as a client of the station would read it.
//
// node read_stationxml.mjs FILE EXPECTED_JSON
//   EXPECTED_JSON: {"network","station","location","channels":[...],
//                   "sampleRate","sensitivity","frequency","inputUnits",
//                   "latitude","longitude","elevation","poles"}
// Prints what it read; exits 1 with the differences when they do not match.
import { readFileSync } from "node:fs";
import { JSDOM } from "jsdom";

// seisplotjs's bundle defines its page elements when it loads and its
// parser takes a DOM document: jsdom's page stands in for a browser's.
const { window } = new JSDOM("");
for (const name of ["window", "document", "DOMParser", "Element", "Node", "HTMLElement", "HTMLDivElement",
                    "HTMLInputElement", "HTMLSelectElement", "HTMLCanvasElement", "customElements"]) {
  globalThis[name] ??= name === "window" ? window : window[name];
}
const sp = await import("seisplotjs");

const [file, expectedText] = process.argv.slice(2);
const expected = JSON.parse(expectedText);
const doc = new window.DOMParser().parseFromString(readFileSync(file, "utf8"), "text/xml");
const networks = sp.stationxml.parseStationXml(doc);

const problems = [];
const check = (what, got, want, tolerance = 0) => {
  const same = typeof want === "number" ? Math.abs(got - want) <= tolerance * Math.abs(want) : got === want;
  if (!same) problems.push(`${what}: read ${JSON.stringify(got)}, expected ${JSON.stringify(want)}`);
};

check("networks", networks.length, 1);
const network = networks[0];
check("network code", network.networkCode, expected.network);
check("stations", network.stations.length, 1);
const station = network.stations[0];
check("station code", station.stationCode, expected.station);
check("latitude", station.latitude, expected.latitude, 1e-12);
check("longitude", station.longitude, expected.longitude, 1e-12);
check("elevation", station.elevation, expected.elevation, 1e-12);
check("channel codes", station.channels.map((c) => c.channelCode).join(","), expected.channels.join(","));

for (const channel of station.channels) {
  const name = `${channel.channelCode}`;
  check(`${name} location`, channel.locationCode, expected.location);
  check(`${name} sample rate`, channel.sampleRate, expected.sampleRate);
  const sensitivity = channel.response.instrumentSensitivity;
  check(`${name} sensitivity`, sensitivity.sensitivity, expected.sensitivity, 1e-12);
  check(`${name} sensitivity frequency`, sensitivity.frequency, expected.frequency);
  check(`${name} input units`, sensitivity.inputUnits, expected.inputUnits);
  check(`${name} output units`, sensitivity.outputUnits, "count");
  // The stages' gains multiply to the overall sensitivity.
  const product = channel.response.stages.reduce((p, s) => p * s.gain.value, 1);
  check(`${name} product of the stage gains`, product, expected.sensitivity, 1e-12);
  const pz = channel.response.stages.map((s) => s.filter).find((f) => f && f.poles);
  check(`${name} poles`, pz ? pz.poles.length : 0, expected.poles);
  if (pz) {
    // The normalization factor makes the poles and zeros 1 at their frequency.
    const w = 2 * Math.PI * pz.normalizationFrequency;
    let re = pz.normalizationFactor;
    let im = 0;
    const times = (a, b, c, d) => [a * c - b * d, a * d + b * c];
    for (const z of pz.zeros) [re, im] = times(re, im, -z.real(), w - z.imag());
    let denRe = 1;
    let denIm = 0;
    for (const p of pz.poles) [denRe, denIm] = times(denRe, denIm, -p.real(), w - p.imag());
    check(`${name} |A0 H(f0)|`, Math.hypot(re, im) / Math.hypot(denRe, denIm), 1, 1e-9);
  }
}

console.log(
  `${file}: ${network.networkCode}.${station.stationCode} ${station.channels.length} channels, ` +
    `sensitivity ${station.channels[0]?.response.instrumentSensitivity.sensitivity} ` +
    `${station.channels[0]?.response.instrumentSensitivity.inputUnits}->count`,
);
if (problems.length > 0) {
  console.error(problems.join("\n"));
  process.exit(1);
}
