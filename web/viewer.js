// Starting the viewer: one run at a time on the page's canvas, each in a
// fresh instance given final.png, main.json and the map's view.json, if it
// has one (its animations, overview and start), which go with them wherever
// they go; a site's map in pieces is given the pieces its view asks for as
// the run goes (pieces.js).
'use strict';

const kStatusWords = {
  0: 'normal end',
  1: 'SDL could not be initialised',
  2: 'the window could not be created',
  3: 'no accelerated renderer could be created',
  4: 'the tileset final.png could not be loaded',
};
const kViewerFolder = '/viewer';
const kOverviewAfterMs = 1500;

// What the browser tests read: the current run's output lines and exit status
// (null while it runs), its frames and when the first one was drawn, the
// camera and zoom step it last reported ([x, y, z]), how many of the pieces
// its view needs it draws ([shown, in view], null for a map not in pieces),
// and the keys that reached the canvas, with the page's own times.
window.viewerLines = [];
window.viewerStatus = null;
window.viewerFrames = 0;
window.viewerFirstFrameMs = null;
window.viewerCamera = null;
window.viewerPieces = null;
window.keyLog = [];

let current = null;          // the run on screen
let queue = Promise.resolve();
let lastRun = null;          // its files and options, for "Run it again"

// A run is stopped the way a person stops it, with Esc held down: pressed at
// each of its frames until it ends, since it may not have reached its loop
// yet, and never let go, since the program reads keys as held once a frame.
function pressEscape(canvas) {
  const event = new KeyboardEvent('keydown', { key: 'Escape', code: 'Escape', keyCode: 27, bubbles: true });
  event.fromPage = true;
  canvas.dispatchEvent(event);
}

async function stopViewer() {
  if (!current || current.ended) return;
  current.stopping = true;
  await current.done;
}

// The map's files with the view the viewer starts at, {x, y, zoom}, written
// as view.json's "start" (a view.json is added to a map that has none). A
// view.json that isn't a JSON object is left as it is: the viewer ignores
// it whole and starts where it would.
function startingAt(files, place) {
  let view = {};
  if ('view.json' in files) {
    try {
      view = JSON.parse(decode(files['view.json']));
    } catch {
      return files;
    }
    if (view === null || typeof view !== 'object' || Array.isArray(view)) return files;
  }
  view.start = { x: place.x, y: place.y, zoom: place.zoom };
  return { ...files, 'view.json': new TextEncoder().encode(JSON.stringify(view)) };
}

function startViewer(files, { keepOutput = false, onCamera = null, pieces = null, earlyPieces = null } = {}) {
  // A new canvas for each instance: the last one's WebGL context goes with it.
  const old = byId('canvas');
  const canvas = old.cloneNode(false);
  old.replaceWith(canvas);
  hideEnded();

  const run = { canvas, lines: [], stopping: false, ended: false };
  current = run;
  window.viewerLines = run.lines;
  window.viewerStatus = null;
  window.viewerFrames = 0;
  window.viewerFirstFrameMs = null;
  window.viewerCamera = null;
  window.viewerPieces = null;
  if (earlyPieces === null) window.pieceRequests = [];  // else the start's, asked for already, are its first
  if (!keepOutput) clearOutput();
  print('$ tilemap-viewer', 'command');
  say('Starting the viewer…');
  canvas.focus({ preventScroll: true });

  // The status line while the viewer runs: how much of the view has
  // arrived while pieces are on their way, else how to work it.
  const running = 'view.json' in files ? 'The viewer is running: the arrow keys, the mouse or a finger move the map, ' +
                                         'the wheel, + and − (or two fingers) zoom, M shows the whole of it, ' +
                                         'Esc or Q quits.'
                                       : 'The viewer is running: the arrow keys scroll, Esc or Q quits.';
  let loading = false;
  const sayHowItRuns = () => {
    const [shown, inView] = window.viewerPieces || [0, 0];
    const wasLoading = loading;
    loading = shown < inView;
    if (loading) say(`Loading the view: ${shown} of ${inView} pieces…`);
    else if (wasLoading && window.viewerFirstFrameMs !== null) say(running);
  };
  const served = pieces === null ? null : servePieces(pieces, kViewerFolder, () => current === run && !run.ended,
                                                     earlyPieces ?? new Map());

  let finished;
  run.done = new Promise((resolve) => { finished = resolve; });
  const finish = (status, why) => {
    if (run.ended) return;
    run.ended = true;
    if (served) served.stop();
    if (current === run) {
      window.viewerStatus = status;
      const words = status in kStatusWords ? kStatusWords[status] : why || 'an unknown status';
      const text = status >= 0 ? `The viewer ended: ${words} (status ${status})`
                               : `The viewer stopped unexpectedly: ${why}`;
      say(text, status === 0 ? '' : 'error');
      // Over the frame: the status in words, and what the program said when
      // it ended at start.
      if (!run.stopping) showEnded(text, status > 0 ? run.lines[0] || '' : '', true);
    }
    finished(status);
  };

  loadScript('tilemap-viewer').then(() => createViewer({
    canvas,
    instantiateWasm: instantiateFrom('tilemap-viewer', (error) => finish(-1, String(error))),
    print: (line) => { run.lines.push(line); print(line); },
    printErr: (line) => print(line, 'error'),
    preRun: [(module) => {
      writeFiles(module.FS, kViewerFolder, files);
      if (served) served.attach(module.FS);
    }],
    onFrame: () => {
      if (current === run) {
        if (window.viewerFirstFrameMs === null) {
          window.viewerFirstFrameMs = performance.now();
          hideOverview();  // the viewer's picture takes its place
          if (!loading) say(running);
          // A map in pieces' overview comes once its view is in, or after a
          // while if a piece of it is slow.
          if (served) setTimeout(() => served.sendOverview(), kOverviewAfterMs);
        }
        window.viewerFrames += 1;
      }
      if (run.stopping) pressEscape(canvas);
    },
    // The map pixel at the canvas's centre and the zoom step: at the first
    // frame and whenever either changed.
    onCamera: (x, y, z) => {
      if (current !== run || run.stopping) return;
      window.viewerCamera = [x, y, z];
      if (onCamera) onCamera(x, y, z);
    },
    // The pieces its view wants, most wanted first, one a line; then how
    // many of those its view needs it draws from their own files.
    ...(served && {
      onWantPieces: (text) => served.want(text),
      onPieces: (shown, inView) => {
        if (current !== run || run.ended) return;
        window.viewerPieces = [shown, inView];
        if (shown === inView) served.sendOverview();
        sayHowItRuns();
      },
    }),
    onExit: (status) => finish(status),
    onAbort: (what) => finish(-1, String(what)),
  })).catch((error) => finish(-1, error.message || String(error)));
  return run.done;
}

// Resolves with the exit status when that run ends; an earlier run is ended
// first. Options: keepOutput (the importer's lines stay above the viewer's),
// onCamera(x, y, z) (told where the view is, and its zoom step, as it
// changes), pieces (the folder of a site's map in pieces, relative to the
// page, which its pieces are fetched from as the viewer asks for them),
// earlyPieces (those asked for before the viewer started: fetchStartPieces).
window.runViewer = function runViewer(files, options = {}) {
  lastRun = { files, options };
  const started = queue.then(stopViewer).then(() => ({ done: startViewer(files, options) }));
  queue = started.then(() => {}, () => {});
  return started.then((run) => run.done);
};
