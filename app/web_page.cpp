// The page panel-sim --web serves: plain HTML and script, no outside resources.
#include "web_server.hpp"

namespace app {

const char* const kWebPage = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>panel-sim</title>
<style>
  body { font-family: sans-serif; margin: 12px; background: #f4f4f4; color: #222; }
  #layout { display: flex; flex-wrap: wrap; gap: 16px; align-items: flex-start; }
  #panel { max-width: 656px; width: 100%; }
  /* Twice the panel's size where that fits, narrower on a small screen (a phone). */
  #screen { display: block; width: 640px; max-width: calc(100% - 16px); height: auto;
            aspect-ratio: 4 / 3; image-rendering: pixelated; touch-action: none;
            border: 8px solid #333; border-radius: 6px; background: #000; cursor: crosshair; }
  #frame { position: relative; }
  #status { font-family: monospace; font-size: 12px; margin: 6px 0; white-space: pre-wrap;
            overflow-wrap: anywhere; }
  #status.error { color: #b00; font-weight: bold; }
  button { margin: 2px; }
  button.active { background: #b00; color: #fff; }
  table { border-collapse: collapse; font-size: 13px; }
  td, th { border: 1px solid #ccc; padding: 1px 6px; }
  td input { width: 64px; }
  td input.refused { border: 2px solid #b00; background: #fee; }
  #refused { display: none; margin: 6px 0; padding: 4px 8px; max-width: 360px;
             background: #fee; color: #900; border: 1px solid #b00; font-size: 13px; }
  #monitor { font-family: monospace; font-size: 11px; white-space: pre; height: 260px;
             width: 100%; overflow: auto; background: #fff; border: 1px solid #ccc; }
  #counters { font-family: monospace; font-size: 12px; overflow-wrap: anywhere; }
  /* The simulator has stopped: said at the top, the controls off, the last frame marked. */
  #banner { display: none; margin: 0 0 10px; padding: 10px 14px; background: #b00; color: #fff;
            font-weight: bold; font-size: 16px; border-radius: 4px; }
  body.stopped #banner { display: block; }
  #stale { display: none; position: absolute; left: 8px; right: 8px; top: 8px; bottom: 8px;
           pointer-events: none; align-items: center; justify-content: center;
           background: repeating-linear-gradient(45deg, rgba(80,80,80,.55) 0 12px,
                                                 rgba(40,40,40,.35) 12px 24px); }
  #stale span { background: #000; color: #fff; padding: 6px 10px; font-weight: bold;
                border-radius: 4px; text-align: center; }
  body.stopped #stale { display: flex; }
  body.stopped #screen { filter: grayscale(1); cursor: not-allowed; }
</style>
</head>
<body>
<div id="banner" role="alert"></div>
<div id="layout">
  <div id="panel">
    <div id="frame">
      <canvas id="screen" width="320" height="240"></canvas>
      <div id="stale"><span id="stale-text">stale: the last frame before the simulator stopped</span></div>
    </div>
    <div id="status">connecting...</div>
    <div id="faults">Module: </div>
    <div><button id="shot">Screenshot</button> <span id="fps"></span></div>
  </div>
  <div>
    <div id="refused" role="alert"></div>
    <table id="registers"><tr><th>Register</th><th>Name</th><th>Value</th><th>Set</th></tr></table>
  </div>
</div>
<h3>Modbus monitor</h3>
<div id="counters"></div>
<div id="monitor"></div>
<script>
"use strict";
const canvas = document.getElementById("screen");
const context = canvas.getContext("2d");
const image = context.createImageData(320, 240);
let frame = 0, frames = 0, fpsSince = performance.now();
let stopped = false, lastStatus = "";
window.panelFrame = 0;

// The simulator stopped (the firmware, or panel-sim itself): say so, switch the controls off and
// mark the frame shown as the last one; back to normal if it answers again.
function showStopped(why) {
  const banner = document.getElementById("banner");
  if (stopped && banner.textContent === why) return;
  stopped = true;
  banner.textContent = why;
  document.body.classList.add("stopped");
  const at = /t=\s*([0-9.]+ s)/.exec(lastStatus);
  document.getElementById("stale-text").textContent =
      "stale: the last frame" + (at ? ", at t=" + at[1] + " of virtual time" : "");
  for (const control of document.querySelectorAll("button, input")) control.disabled = true;
}
function showRunning() {
  if (!stopped) return;
  stopped = false;
  document.body.classList.remove("stopped");
  for (const control of document.querySelectorAll("button, input")) control.disabled = false;
}

// The live screen: each request waits on the server until a frame newer than ours exists.
async function frameLoop() {
  for (;;) {
    try {
      const response = await fetch("/frame?after=" + frame, {cache: "no-store"});
      if (response.status === 200) {
        const rgb = new Uint8Array(await response.arrayBuffer());
        for (let i = 0, j = 0; i < rgb.length; i += 3, j += 4) {
          image.data[j] = rgb[i]; image.data[j + 1] = rgb[i + 1];
          image.data[j + 2] = rgb[i + 2]; image.data[j + 3] = 255;
        }
        context.putImageData(image, 0, 0);
        frame = Number(response.headers.get("X-Frame"));
        window.panelFrame = frame;
        frames++;
      } else if (response.status !== 204) {
        // 503: too many viewers wait for frames just now.
        await new Promise(r => setTimeout(r, 1000));
      }
    } catch (e) {
      await new Promise(r => setTimeout(r, 1000));
    }
  }
}

// Finger events go out one after another, in order. What the server refuses is shown.
let queue = Promise.resolve();
function send(path, what) {
  queue = queue.then(async () => {
    if (stopped) return;
    const response = await fetch(path, {method: "POST"});
    if (!response.ok) refused((what ? what + ": " : "") + (await response.text()).trim());
    return response.ok;
  }).catch(() => false);
  return queue;
}
let refusedTimer = null;
function refused(text) {
  const box = document.getElementById("refused");
  box.textContent = "Refused: " + text;
  box.style.display = "block";
  clearTimeout(refusedTimer);
  refusedTimer = setTimeout(() => { box.style.display = "none"; }, 8000);
}
let down = false, lastPoint = "";
function point(event) {
  const box = canvas.getBoundingClientRect();
  const x = Math.min(319, Math.max(0, Math.floor((event.clientX - box.left - 8) * 320 / (box.width - 16))));
  const y = Math.min(239, Math.max(0, Math.floor((event.clientY - box.top - 8) * 240 / (box.height - 16))));
  return "x=" + x + "&y=" + y;
}
canvas.addEventListener("pointerdown", e => {
  canvas.setPointerCapture(e.pointerId);
  down = true; lastPoint = point(e); send("/touch?" + lastPoint); e.preventDefault();
});
canvas.addEventListener("pointermove", e => {
  if (!down) return;
  const p = point(e);
  if (p !== lastPoint) { lastPoint = p; send("/touch?" + p); }
});
for (const type of ["pointerup", "pointercancel"]) {
  canvas.addEventListener(type, () => { if (down) { down = false; send("/release"); } });
}

document.getElementById("shot").addEventListener("click", () => {
  canvas.toBlob(blob => {
    const link = document.createElement("a");
    link.href = URL.createObjectURL(blob);
    link.download = "panel-" + new Date().toISOString().replace(/[:.]/g, "-") + ".png";
    link.click();
  });
});

let monitorLast = 0, built = false;
function build(state) {
  const faults = document.getElementById("faults");
  for (const fault of state.faults) {
    const button = document.createElement("button");
    button.textContent = fault.label;
    button.id = "fault-" + fault.name;
    button.addEventListener("click", () => send("/fault?kind=" + fault.name));
    faults.appendChild(button);
  }
  const table = document.getElementById("registers");
  for (const r of state.registers) {
    const row = table.insertRow();
    row.insertCell().textContent = r.address;
    const name = row.insertCell();
    name.textContent = r.name;
    name.title = r.variable;  // the firmware variable that mirrors it
    const value = row.insertCell();
    value.id = "reg-" + r.address;
    const set = row.insertCell();
    const input = document.createElement("input");
    input.id = "set-" + r.address;
    input.title = r.input ? "an input: the module moves it on its own" : "";
    input.addEventListener("keydown", async e => {
      if (e.key !== "Enter") return;
      const value = input.value.trim();
      const ok = await send("/register?address=" + r.address + "&value=" + encodeURIComponent(value),
                            r.name + " = " + value);
      // A refused value stays in the field, marked, to be corrected.
      input.className = ok ? "" : "refused";
      if (ok) input.value = "";
    });
    set.appendChild(input);
  }
  built = true;
}

let failures = 0, lastAnswer = null;
async function stateLoop() {
  for (;;) {
    try {
      const state = await (await fetch("/state?after=" + monitorLast, {cache: "no-store"})).json();
      failures = 0;
      lastAnswer = new Date();
      if (!built) build(state);
      if (state.stopped) showStopped("The panel has stopped: " + state.stopped);
      else showRunning();
      const status = document.getElementById("status");
      status.textContent = state.status;
      lastStatus = state.status;
      status.className = state.dev1Error ? "error" : "";
      for (const fault of state.faults) {
        document.getElementById("fault-" + fault.name).className =
            fault.name === state.fault && fault.name !== "none" ? "active" : "";
      }
      for (const r of state.registers) {
        document.getElementById("reg-" + r.address).textContent = r.value;
      }
      const c = state.counters;
      document.getElementById("counters").textContent =
          "requests " + c.requests + "  good " + c.good + "  CRC errors " + c.crcErrors +
          "  timeouts " + c.timeouts + "  exceptions " + c.exceptions + "  late " + c.late +
          "  other " + c.other + "  unasked frames " + c.unasked;
      if (state.monitor.length > 0) {
        const monitor = document.getElementById("monitor");
        const atEnd = monitor.scrollTop + monitor.clientHeight >= monitor.scrollHeight - 4;
        monitor.textContent = (monitor.textContent + state.monitor.join("\n") + "\n")
            .split("\n").slice(-200).join("\n");
        if (atEnd) monitor.scrollTop = monitor.scrollHeight;
      }
      monitorLast = state.monitorLast;
      const now = performance.now();
      if (now - fpsSince >= 1000) {
        document.getElementById("fps").textContent = Math.round(frames * 1000 / (now - fpsSince)) + " frames/s";
        frames = 0; fpsSince = now;
      }
    } catch (e) {
      // Two misses in a row: panel-sim is gone (it was stopped, or it ended).
      if (++failures >= 2) {
        showStopped("panel-sim has stopped: no answer" +
                    (lastAnswer ? " since " + lastAnswer.toLocaleTimeString() : "") +
                    ". Start it again and reload this page.");
      }
    }
    await new Promise(r => setTimeout(r, 250));
  }
}

frameLoop();
stateLoop();
</script>
</body>
</html>
)PAGE";

}  // namespace app
