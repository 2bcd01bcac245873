// A site's map in pieces (pieces/ beside its view.json, written by
// `tilemap-import --site`): the viewer starts at once on stand-ins and the
// overview, says which pieces its view wants, and the page fetches just those
// into its folder, so that a large map shows without its whole picture being
// downloaded first. Pieces are named by their content: the browser's cache
// keeps them as it keeps any file, and one fetched before comes from there.
'use strict';

const kPiecesIndex = 'pieces/index.json';
// pieces/L/C_R-HASH, as the viewer names them: nothing else is fetched or written.
const kPiecePath = /^pieces\/[0-9]{1,2}\/[0-9]{1,6}_[0-9]{1,6}-[0-9a-f]{16}$/;
const kPiecesAtOnce = 6;  // as many as a browser asks one server for at once
const kRetryFirstMs = 500;
const kRetryMostMs = 8000;

// What the tests read: every piece file the current run asked for, in order.
window.pieceRequests = [];

// The viewer's tileset until pieces arrive: a 96 x 32 PNG, RGBA, every pixel
// transparent (three blocks the viewer never shows: the map it is given has
// no layers).
const kStandInTileset = Uint8Array.from(atob(
  'iVBORw0KGgoAAAANSUhEUgAAAGAAAAAgCAYAAADtwH1UAAAAI0lEQVR42u3BAQ0AAADCoPdPbQ43oAAAAAAAAAAAAAAAgHcDMCAA' +
  'AYyETjsAAAAASUVORK5CYII='), (c) => c.charCodeAt(0));
const kStandInMap = new TextEncoder().encode('{"layers": []}');

// The files the viewer starts a streamed map with, from the map's own
// view.json, overview.png and pieces/index.json ({name: bytes}). Each piece
// carries its own animations: view.json's are left out, so that the viewer
// doesn't take them for the stand-in map's. A view.json that isn't a JSON
// object is given as it is, for the viewer to say what is wrong with it.
function streamedFiles(files) {
  const streamed = { ...files, 'final.png': kStandInTileset, 'main.json': kStandInMap };
  if ('view.json' in files) {
    try {
      const view = JSON.parse(decode(files['view.json']));
      if (view !== null && typeof view === 'object' && !Array.isArray(view)) {
        delete view.animations;
        streamed['view.json'] = new TextEncoder().encode(JSON.stringify(view));
      }
    } catch { /* given as it is */ }
  }
  return streamed;
}

// The map's whole files, for what needs the whole map (saving the view): a
// streamed map's viewer never had them.
async function fetchWholeMap(folder) {
  const entries = await Promise.all(['final.png', 'main.json', 'view.json'].map(async (name) => {
    const response = await fetchFresh(`${folder}/${name}`);
    if (name === 'view.json' && response.status === 404) return null;
    if (!response.ok) throw failure(`${folder}/${name}`, response);
    return [name, new Uint8Array(await response.arrayBuffer())];
  }));
  return Object.fromEntries(entries.filter(Boolean));
}

// A piece's two files, [png, json], from the map's `folder`.
function fetchPieceFiles(folder, piece) {
  return Promise.all(['png', 'json'].map(async (kind) => {
    const url = `${folder}/${piece}.${kind}`;
    window.pieceRequests.push(url);
    const response = await fetch(url);  // content-named: the cache may answer
    if (!response.ok) throw failure(url, response);
    return new Uint8Array(await response.arrayBuffer());
  }));
}

// The level 0 pieces of the view the viewer starts at (`place`, else
// view.json's start), asked for while the viewer's program is still on its
// way: {piece: promise of its files}, for servePieces. None when it starts
// zoomed, or the files can't be read (the viewer asks for what it needs).
function fetchStartPieces(folder, indexBytes, viewBytes, place) {
  const early = new Map();
  window.pieceRequests = [];
  try {
    const view = viewBytes ? JSON.parse(decode(viewBytes)) : {};
    const start = place ?? (Number.isInteger(view?.start?.x) && Number.isInteger(view?.start?.y)
      ? { x: view.start.x, y: view.start.y, zoom: view.start.zoom ?? 0 } : { x: 2000, y: 2100, zoom: 0 });
    if (start.zoom !== 0) return early;
    const named = new Map(JSON.parse(decode(indexBytes)).levels[0].pieces.map((name) => [name.split('-')[0], name]));
    const side = 32 * 32;  // a piece's map pixels
    for (let row = Math.floor((start.y - 360) / side); row <= Math.floor((start.y + 360) / side); ++row)
      for (let column = Math.floor((start.x - 640) / side); column <= Math.floor((start.x + 640) / side); ++column) {
        const name = named.get(`${column}_${row}`);
        if (!name) continue;
        const files = fetchPieceFiles(folder, `pieces/0/${name}`);
        files.catch(() => {});  // told when the viewer asks for it
        early.set(`pieces/0/${name}`, files);
      }
  } catch { /* the viewer asks for what it needs */ }
  return early;
}

// Serves one run's pieces from the map's `folder` (relative to the page) into
// the instance's file system under `into`, while `live()` holds. want(text)
// takes the viewer's latest list; attach(FS) the instance's file system,
// once it has one; stop() ends it all.
function servePieces(folder, into, live, early = new Map()) {
  let FS = null;
  let stopped = false;
  let wanted = [];                  // the latest list, most wanted first
  let wantedSet = new Set();
  const fetching = new Set();
  const written = new Set();        // written, and not yet seen taken by the viewer
  const failures = new Map();       // piece -> {count, retryAt}
  const timers = new Set();

  const fileOf = (piece, kind) => `${into}/${piece}.${kind}`;
  const there = (path) => FS.analyzePath(path).exists;
  const serving = () => !stopped && FS !== null && live();

  function remove(piece) {
    for (const kind of ['png', 'json']) if (there(fileOf(piece, kind))) FS.unlink(fileOf(piece, kind));
  }

  function pump() {
    if (!serving()) return;
    const now = performance.now();
    for (const piece of wanted) {
      if (fetching.size >= kPiecesAtOnce) break;
      if (fetching.has(piece) || written.has(piece) || (failures.get(piece)?.retryAt ?? 0) > now) continue;
      fetchPiece(piece);
    }
  }

  function later(ms) {
    const timer = setTimeout(() => { timers.delete(timer); pump(); }, ms);
    timers.add(timer);
  }

  async function fetchPiece(piece) {
    fetching.add(piece);
    try {
      const asked = early.get(piece) ?? fetchPieceFiles(folder, piece);
      early.delete(piece);
      const [png, json] = await asked;
      failures.delete(piece);
      // The viewer takes a piece once its .json is there: the picture first.
      if (serving() && wantedSet.has(piece)) {
        FS.mkdirTree(fileOf(piece, 'png').replace(/\/[^/]*$/, ''));
        FS.writeFile(fileOf(piece, 'png'), png);
        FS.writeFile(fileOf(piece, 'json'), json);
        written.add(piece);
      }
    } catch {
      if (serving() && wantedSet.has(piece)) {
        const count = (failures.get(piece)?.count ?? 0) + 1;
        const wait = Math.min(kRetryFirstMs * 2 ** (count - 1), kRetryMostMs);
        failures.set(piece, { count, retryAt: performance.now() + wait });
        later(wait);
      }
    } finally {
      fetching.delete(piece);
    }
    pump();
  }

  function want(text) {
    if (!serving()) return;
    wanted = [...new Set(String(text).split('\n').filter((line) => kPiecePath.test(line)))];
    wantedSet = new Set(wanted);
    for (const piece of written) {
      if (!wantedSet.has(piece)) {
        remove(piece);  // no longer wanted, and perhaps never taken
        written.delete(piece);
      } else if (!there(fileOf(piece, 'json'))) {
        written.delete(piece);  // taken, and wanted again since: fetched again
      }
    }
    for (const piece of failures.keys()) if (!wantedSet.has(piece)) failures.delete(piece);
    pump();
  }

  // The map's overview, once the view's pieces are in: the viewer takes it
  // from its folder (the stand-in where a piece is missing, and M's picture).
  let overviewAsked = false;
  async function sendOverview() {
    if (overviewAsked || !serving()) return;
    overviewAsked = true;
    try {
      const response = await fetchFresh(`${folder}/overview.png`);
      if (response.ok && serving()) FS.writeFile(`${into}/overview.png`, new Uint8Array(await response.arrayBuffer()));
    } catch { /* the viewer does without */ }
  }

  return {
    want,
    sendOverview,
    attach(fileSystem) { FS = fileSystem; pump(); },
    stop() {
      stopped = true;
      for (const timer of timers) clearTimeout(timer);
      timers.clear();
    },
  };
}
