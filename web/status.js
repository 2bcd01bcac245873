// What the page shows around the viewer: the status line, the programs'
// output, the message over the frame when a run ends, and the map's
// overview in the frame until the viewer's first picture.
'use strict';

const byId = (id) => document.getElementById(id);
const statusLine = byId('status');
const output = byId('output');
const stage = byId('stage');

function say(text, kind = '') {
  statusLine.textContent = text;
  statusLine.className = kind;
}

function print(line, kind = '') {
  const span = document.createElement('span');
  span.className = kind;
  span.textContent = line + '\n';
  output.append(span);
  output.scrollTop = output.scrollHeight;
}

function clearOutput() {
  output.textContent = '';
}

// The message in the canvas's frame, over the greyed canvas.
function showEnded(text, said, again) {
  byId('ended-text').textContent = text;
  byId('ended-said').textContent = said;
  byId('ended-said').hidden = said === '';
  byId('again').hidden = !again;
  byId('ended').hidden = false;
  stage.classList.add('over');
}

function hideEnded() {
  byId('ended').hidden = true;
  byId('again').hidden = false;
  stage.classList.remove('over');
}

// --- The overview: the whole map, small, at once

// A map's overview.png (written beside its main.json) is shown in the
// canvas's frame as soon as it arrives, while the map's own files arrive and
// the viewer starts; the viewer's first frame takes its place. A map without
// one shows nothing meanwhile. Each call forgets the overview asked before,
// so one that arrives late is never shown over the viewer's picture.
const overview = byId('overview');
let overviewAsked = null;  // the promise of the overview's bytes being shown
let overviewOnScreen = Promise.resolve();

// When the last overview was on screen (for the tests and the benchmark).
window.overviewShownMs = null;

// `bytes`: a promise of overview.png's bytes, or of null for a map without
// one. Resolves once the overview is on screen, or once it is known that
// none will be: the viewer is started after that, since its start holds the
// page's thread for a while.
function showOverview(bytes) {
  if (bytes !== overviewAsked) {
    hideOverview();
    window.overviewShownMs = null;
    overviewAsked = bytes;
    overviewOnScreen = putOverview(bytes);
  }
  return overviewOnScreen;
}

async function putOverview(bytes) {
  const stillAsked = () => overviewAsked === bytes;
  try {
    const png = await bytes;
    if (!png || !stillAsked()) return;
    overview.src = URL.createObjectURL(new Blob([png], { type: 'image/png' }));
    await overview.decode();  // shown whole, not drawn as it decodes
  } catch {
    return;  // not a picture: nothing is shown
  }
  if (!stillAsked()) return;
  overview.hidden = false;
  // On screen once the browser has drawn the next frame.
  await new Promise((resolve) => requestAnimationFrame(() => {
    if (stillAsked()) window.overviewShownMs = performance.now();
    setTimeout(resolve);
  }));
}
function hideOverview() {
  overviewAsked = null;
  overview.hidden = true;
  if (overview.src) {
    URL.revokeObjectURL(overview.src);
    overview.removeAttribute('src');
  }
}
