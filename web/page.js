// The page around the viewer and the importer, both built with Emscripten as
// factories (createViewer, createImporter). Each run is a fresh instance:
// the programs end by exiting, and an instance's memory and files go with it.
// Files are read in the page and written into the instance's own in-memory
// file system; nothing leaves the browser. A site written by
// `tilemap-import --site` lists its maps in maps.json and holds each in
// maps/NAME/; the page opens the one its address names (?map=NAME), else the
// first; a site without maps.json shows the demo. Beside final.png and
// main.json a map may have view.json (its animations), which goes with them
// wherever they go.
'use strict';

const kStatusWords = {
  0: 'normal end',
  1: 'SDL could not be initialised',
  2: 'the window could not be created',
  3: 'no accelerated renderer could be created',
  4: 'the tileset final.png could not be loaded',
};
const kViewerFolder = '/viewer';
const kImportFolder = '/import';
const kSiteIndex = 'maps.json';
const kMapName = /^[A-Za-z0-9._-]+$/;  // as the importer names the folders

// What the browser tests read: the current run's output lines and exit status
// (null while it runs), its frames and when the first one was drawn, and the
// keys that reached the canvas, with the page's own times.
window.viewerLines = [];
window.viewerStatus = null;
window.viewerFrames = 0;
window.viewerFirstFrameMs = null;
window.keyLog = [];

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

// A map imported again is fetched anew, not taken from the browser's cache
// (the server still answers "not modified" for one that wasn't).
const fetchFresh = (path) => fetch(path, { cache: 'no-cache' });
const failure = (path, response) => new Error(`${path}: ${response.status} ${response.statusText}`.trim());

// --- Files into an instance's file system

function normalize(path) {
  const parts = [];
  for (const part of path.split('/')) {
    if (part === '..') parts.pop();  // above the root is the root, as for the program
    else if (part !== '' && part !== '.') parts.push(part);
  }
  return '/' + parts.join('/');
}

function writeFiles(FS, folder, files) {
  FS.mkdirTree(folder);
  for (const [name, bytes] of Object.entries(files)) {
    const path = normalize(folder + '/' + name);
    if (/^\/(dev|proc|tmp)(\/|$)/.test(path)) continue;  // the runtime's own folders
    FS.mkdirTree(path.slice(0, path.lastIndexOf('/')) || '/');
    FS.writeFile(path, bytes);
  }
  FS.chdir(folder);
}

// --- The programs' code, downloaded and compiled once for all their runs

const compiled = {};

function compileProgram(name) {
  if (!compiled[name]) {
    compiled[name] = fetch(`${name}.wasm`).then((response) => {
      if (!response.ok) throw failure(`${name}.wasm`, response);
      // Compiled as it arrives, when the server says what it is.
      if ((response.headers.get('Content-Type') || '').startsWith('application/wasm')) {
        return WebAssembly.compileStreaming(response);
      }
      return response.arrayBuffer().then((bytes) => WebAssembly.compile(bytes));
    });
    compiled[name].catch(() => { delete compiled[name]; });  // tried again at the next run
  }
  return compiled[name];
}

// Emscripten's hook for making the instance, from the module compiled above.
function instantiateFrom(name, fail) {
  return (imports, receiveInstance) => {
    compileProgram(name).then((module) => WebAssembly.instantiate(module, imports)
      .then((instance) => receiveInstance(instance, module))).catch(fail);
    return {};
  };
}

// A program's script, added to the page once: the viewer's at the start, the
// importer's when the page first imports.
const scripts = {};

function loadScript(name) {
  if (!scripts[name]) {
    scripts[name] = new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = `${name}.js`;
      script.onload = resolve;
      script.onerror = () => {
        delete scripts[name];  // tried again at the next run
        script.remove();
        reject(new Error(`${name}.js did not load`));
      };
      document.head.append(script);
    });
  }
  return scripts[name];
}

// --- The viewer

let current = null;          // the run on screen
let queue = Promise.resolve();
let lastFiles = null;

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

// The message in the canvas's frame, over the greyed canvas.
function showEnded(text, said, again) {
  byId('ended-text').textContent = text;
  byId('ended-said').textContent = said;
  byId('ended-said').hidden = said === '';
  byId('again').hidden = !again;
  byId('ended').hidden = false;
  stage.classList.add('over');
}

function startViewer(files, keepOutput) {
  // A new canvas for each instance: the last one's WebGL context goes with it.
  const old = byId('canvas');
  const canvas = old.cloneNode(false);
  old.replaceWith(canvas);
  byId('ended').hidden = true;
  byId('again').hidden = false;
  stage.classList.remove('over');

  const run = { canvas, lines: [], stopping: false, ended: false };
  current = run;
  lastFiles = files;
  window.viewerLines = run.lines;
  window.viewerStatus = null;
  window.viewerFrames = 0;
  window.viewerFirstFrameMs = null;
  if (!keepOutput) clearOutput();
  print('$ tilemap-viewer', 'command');
  say('Starting the viewer…');
  canvas.focus({ preventScroll: true });

  let finished;
  run.done = new Promise((resolve) => { finished = resolve; });
  const finish = (status, why) => {
    if (run.ended) return;
    run.ended = true;
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
    preRun: [(module) => writeFiles(module.FS, kViewerFolder, files)],
    onFrame: () => {
      if (current === run) {
        if (window.viewerFirstFrameMs === null) {
          window.viewerFirstFrameMs = performance.now();
          say('The viewer is running: the arrow keys scroll, Esc or Q quits.');
        }
        window.viewerFrames += 1;
      }
      if (run.stopping) pressEscape(canvas);
    },
    onExit: (status) => finish(status),
    onAbort: (what) => finish(-1, String(what)),
  })).catch((error) => finish(-1, error.message || String(error)));
  return run.done;
}

// Resolves with the exit status when that run ends; an earlier run is ended first.
window.runViewer = function runViewer(files, { keepOutput = false } = {}) {
  const started = queue.then(stopViewer).then(() => ({ done: startViewer(files, keepOutput) }));
  queue = started.then(() => {}, () => {});
  return started.then((run) => run.done);
};

// --- The importer

// Resolves with {status, lines, files}: files holds final.png and main.json,
// and view.json when the importer wrote one, when the import succeeded.
window.runImporter = function runImporter(files, mapName) {
  return new Promise((resolve) => {
    const lines = [];
    let ended = false;
    const module = {
      arguments: [mapName, 'out'],
      print: (line) => { lines.push(line); print(line); },
      printErr: (line) => { lines.push(line); print(line, 'error'); },
      preRun: [(instance) => writeFiles(instance.FS, kImportFolder, files)],
      onExit: (status) => {
        if (ended) return;
        ended = true;
        const written = {};
        if (status === 0) {
          for (const name of ['final.png', 'main.json'])
            written[name] = module.FS.readFile(`${kImportFolder}/out/${name}`);
          const view = `${kImportFolder}/out/view.json`;
          if (module.FS.analyzePath(view).exists) written['view.json'] = module.FS.readFile(view);
        }
        resolve({ status, lines, files: written });
      },
      onAbort: (what) => {
        if (ended) return;
        ended = true;
        lines.push(`tilemap-import stopped unexpectedly: ${what}`);
        resolve({ status: -1, lines, files: {} });
      },
    };
    module.instantiateWasm = instantiateFrom('tilemap-import', module.onAbort);
    print(`$ tilemap-import ${mapName} out`, 'command');
    loadScript('tilemap-import').then(() => createImporter(module)).catch((error) => module.onAbort(error.message || error));
  });
};

// --- Files the person picks or drops

const kMapPattern = /\.(tmx|tmj)$/i;
const kWorldPattern = /\.world$/i;
const baseName = (path) => path.slice(path.lastIndexOf('/') + 1);
const folderOf = (path) => path.slice(0, path.lastIndexOf('/') + 1);
const decode = (bytes) => new TextDecoder().decode(bytes);

function isEditorJsonMap(bytes) {
  try {
    const json = JSON.parse(decode(bytes));
    return Array.isArray(json.layers) && (json.type === 'map' || 'orientation' in json);
  } catch {
    return false;
  }
}

// The files the editor's formats name: tilesets, images and templates.
function namedFiles(path, bytes) {
  const text = decode(bytes);
  const names = [];
  if (/\.(tmx|tsx|tx|xml)$/i.test(path)) {
    for (const match of text.matchAll(/\b(?:source|template)\s*=\s*("([^"]*)"|'([^']*)')/g)) {
      names.push((match[2] ?? match[3]).replace(/&quot;/g, '"').replace(/&apos;/g, "'")
        .replace(/&lt;/g, '<').replace(/&gt;/g, '>').replace(/&amp;/g, '&'));
    }
  } else if (/\.(tmj|tsj|tj|json|world)$/i.test(path)) {
    for (const match of text.matchAll(/"(?:image|source|template|fileName)"\s*:\s*("(?:[^"\\]|\\.)*")/g)) {
      try { names.push(JSON.parse(match[1])); } catch { /* not a string after all */ }
    }
  }
  return names;
}

// Files picked one by one lose their folders: a map that names
// "../tiles/grass.png" finds it only where it names it. A picked file of that
// name is copied there (in the importer's file system only).
function placeNamedFiles(files) {
  const placed = { ...files };
  const byName = new Map();
  for (const path of Object.keys(files)) {
    if (!byName.has(baseName(path))) byName.set(baseName(path), path);
  }
  const toRead = Object.keys(placed);
  for (let i = 0; i < toRead.length && i < 1000; i++) {
    const from = toRead[i];
    for (const name of namedFiles(from, placed[from])) {
      if (name === '' || name.startsWith('/') || /^[a-z]+:/i.test(name)) continue;
      // Where the importer will look: relative to the naming file, in its folder.
      const target = normalize(`${kImportFolder}/${folderOf(from)}${name}`);
      const present = Object.keys(placed).some((path) => normalize(`${kImportFolder}/${path}`) === target);
      const source = byName.get(baseName(target));
      if (present || source === undefined) continue;
      const relative = relativeTo(target, kImportFolder);
      placed[relative] = files[source];
      toRead.push(relative);
    }
  }
  return placed;
}

function relativeTo(path, folder) {
  const from = folder.split('/').filter(Boolean);
  const to = path.split('/').filter(Boolean);
  let same = 0;
  while (same < from.length && same < to.length && from[same] === to[same]) same++;
  return [...Array(from.length - same).fill('..'), ...to.slice(same)].join('/');
}

// Paths in the order a person reads them: "level2" before "level10".
const byPath = (a, b) => a.localeCompare(b, undefined, { numeric: true });

// The editor's maps and worlds among the files, worlds first.
function findMaps(files) {
  const paths = Object.keys(files).sort(byPath);
  return paths.filter((path) => kWorldPattern.test(path))
    .concat(paths.filter((path) => kMapPattern.test(path) ||
                                   (/\.json$/i.test(path) && isEditorJsonMap(files[path]))));
}

// final.png and main.json, and the view.json in main.json's folder if there is one.
function viewedPair(files) {
  const paths = Object.keys(files).sort((a, b) => a.split('/').length - b.split('/').length || byPath(a, b));
  const tileset = paths.find((path) => baseName(path) === 'final.png');
  const map = paths.find((path) => baseName(path) === 'main.json');
  if (!tileset || !map) return null;
  const view = folderOf(map) + 'view.json';
  const pair = { 'final.png': files[tileset], 'main.json': files[map] };
  return view in files ? { ...pair, 'view.json': files[view] } : pair;
}

// Imports run one after the other; one picked while another runs replaces
// it, and only the last picked is shown.
let importing = Promise.resolve();
let lastPicked = null;

function importPicked(files, map) {
  const picked = {};
  lastPicked = picked;
  importing = importing.then(async () => {
    if (lastPicked !== picked) return;
    markPicked(map);
    clearOutput();
    say(`Importing ${map}…`);
    const result = await window.runImporter(placeNamedFiles(files), map);
    if (lastPicked !== picked) return;
    if (result.status !== 0) {
      const oneByOne = !Object.keys(files).some((path) => path.includes('/'));
      say(`The importer could not import ${map} (status ${result.status}): its message is below.` +
          (oneByOne ? ' Picking the whole folder keeps the files where the map names them.' : ''), 'error');
      return;
    }
    window.runViewer(result.files, { keepOutput: true });
  });
}

// Several maps or worlds: listed above the window, as a site's maps are,
// each imported when it is picked. Their paths are shown inside the picked
// folder.
function listPicked(files, found) {
  const top = found[0].slice(0, found[0].indexOf('/') + 1);
  const shown = (path) => (top && found.every((other) => other.startsWith(top)) ? path.slice(top.length) : path);
  const worlds = found.filter((path) => kWorldPattern.test(path)).length;
  const maps = found.length - worlds;
  const counted = (n, what) => n > 0 && `${n} ${what}${n === 1 ? '' : 's'}`;
  const title = `Your files hold ${[counted(maps, 'map'), counted(worlds, 'world')].filter(Boolean).join(' and ')}: ` +
                'pick one to view.';
  byId('picked-title').textContent = title;
  const list = byId('picked-list');
  list.textContent = '';
  for (const path of found) {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = shown(path);
    button.dataset.path = path;
    button.addEventListener('click', () => importPicked(files, path));
    const item = document.createElement('li');
    item.append(button);
    list.append(item);
  }
  byId('picked').hidden = false;
  say(title);
  list.querySelector('button').focus({ preventScroll: true });
}

function markPicked(map) {
  for (const button of byId('picked-list').querySelectorAll('button')) {
    if (button.dataset.path === map) button.setAttribute('aria-current', 'true');
    else button.removeAttribute('aria-current');
  }
}

async function openPicked(entries) {
  if (entries.length === 0) return;
  const files = {};
  for (const { path, file } of entries) files[path] = new Uint8Array(await file.arrayBuffer());
  const found = findMaps(files);
  lastPicked = null;  // an import still running is not shown
  byId('picked').hidden = found.length < 2;
  if (found.length > 1) {
    listPicked(files, found);
  } else if (found.length === 1) {
    importPicked(files, found[0]);
  } else if (viewedPair(files)) {
    window.runViewer(viewedPair(files));
  } else {
    clearOutput();
    say('Nothing to show among those files: pick final.png and main.json together, ' +
        'or a map (.tmx, .tmj or .json) or a world (.world) with its tilesets and images.', 'error');
  }
}

// Dropped folders are walked, keeping each file's path inside them.
async function droppedEntries(dataTransfer) {
  const roots = [...dataTransfer.items].map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry())
    .filter(Boolean);
  if (roots.length === 0) return [...dataTransfer.files].map((file) => ({ path: file.name, file }));
  const entries = [];
  const walk = async (entry) => {
    if (entry.isFile) {
      const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
      entries.push({ path: entry.fullPath.replace(/^\/+/, ''), file });
    } else if (entry.isDirectory) {
      const reader = entry.createReader();
      for (;;) {
        const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
        if (batch.length === 0) break;
        for (const child of batch) await walk(child);
      }
    }
  };
  for (const root of roots) await walk(root);
  return entries;
}

const kControls = 'a[href], button, input, select, textarea, summary';

function wirePage() {
  const drop = byId('drop');
  byId('pick-files').addEventListener('change', (event) => {
    openPicked([...event.target.files].map((file) => ({ path: file.name, file })));
    event.target.value = '';
  });
  byId('pick-folder').addEventListener('change', (event) => {
    openPicked([...event.target.files].map((file) => ({ path: file.webkitRelativePath || file.name, file })));
    event.target.value = '';
  });
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    drop.classList.add('dragging');
  });
  document.addEventListener('dragleave', (event) => {
    if (event.relatedTarget === null) drop.classList.remove('dragging');
  });
  document.addEventListener('drop', async (event) => {
    event.preventDefault();
    drop.classList.remove('dragging');
    openPicked(await droppedEntries(event.dataTransfer));
  });

  byId('again').addEventListener('click', () => {
    if (lastFiles) window.runViewer(lastFiles);
  });

  // The viewer takes its keys from the whole page (SDL listens on the
  // window), and keeps the arrow keys, Tab, Enter and Space from the
  // browser. Tab is let through to the browser, so that the page's controls
  // can be reached, and Enter and Space on a control, so that they work it.
  for (const type of ['keydown', 'keypress', 'keyup']) {
    window.addEventListener(type, (event) => {
      if (event.key === 'Tab' || ((event.key === 'Enter' || event.key === ' ') &&
                                  event.target instanceof Element && event.target.closest(kControls))) {
        event.stopPropagation();
      }
    }, true);
  }
  for (const type of ['keydown', 'keyup']) {
    window.addEventListener(type, (event) => {
      if (event.fromPage) return;
      if (event.target.id === 'canvas') window.keyLog.push({ type, key: event.key, time: performance.now() });
      // Nor do the other keys that scroll the page, when they are meant for the map.
      if (event.target.id === 'canvas' && [' ', 'PageUp', 'PageDown', 'Home', 'End'].includes(event.key)) {
        event.preventDefault();
      }
    }, true);
  }
  stage.addEventListener('pointerdown', () => byId('canvas').focus({ preventScroll: true }));
  stage.addEventListener('focusin', () => stage.classList.remove('unfocused'));
  stage.addEventListener('focusout', () => stage.classList.add('unfocused'));
}

// --- What the page opens on: a map of the site, else the demo

// Stops the run on screen and shows why nothing else is, over the canvas.
async function showProblem(text) {
  queue = queue.then(stopViewer).then(() => {}, () => {});
  await queue;
  say(text, 'error');
  showEnded(text, '', false);
}

function servedHint() {
  return location.protocol === 'file:' ? ' The page needs to be served over HTTP, e.g. by scripts/serve-web.sh.' : '';
}

// The files at once; a failure is told for the first of them that failed.
// view.json is optional: a 404 means the map has none.
async function fetchFiles(folder) {
  const fetchOne = async (name, optional = false) => {
    const response = await fetchFresh(`${folder}/${name}`);
    if (optional && response.status === 404) return null;
    if (!response.ok) throw failure(`${folder}/${name}`, response);
    return [name, new Uint8Array(await response.arrayBuffer())];
  };
  const results = await Promise.allSettled([fetchOne('final.png'), fetchOne('main.json'), fetchOne('view.json', true)]);
  const failed = results.find((result) => result.status === 'rejected');
  if (failed) throw failed.reason;
  return Object.fromEntries(results.map((result) => result.value).filter(Boolean));
}

// The site's maps; null when it has none (a site that shows the demo).
async function fetchSiteMaps() {
  const asked = window.siteMapsResponse;  // asked for by the page's head, the first time
  window.siteMapsResponse = null;
  const response = await (asked || fetchFresh(kSiteIndex));
  if (response.status === 404) return null;
  if (!response.ok) throw failure(kSiteIndex, response);
  const maps = (await response.json()).maps;
  if (!Array.isArray(maps)) throw new Error(`${kSiteIndex} holds no list of maps`);
  return maps.filter((name) => typeof name === 'string' && kMapName.test(name));
}

function listMaps(maps, shown) {
  const list = byId('map-list');
  list.textContent = '';
  for (const name of maps) {
    const link = document.createElement('a');
    link.href = `?map=${name}`;
    link.textContent = name;
    if (name === shown) link.setAttribute('aria-current', 'page');
    link.addEventListener('click', (event) => {
      if (event.button !== 0 || event.ctrlKey || event.metaKey || event.shiftKey) return;  // a new tab
      event.preventDefault();
      if (name === shown) return;
      history.pushState(null, '', link.href);
      showSiteMap(maps, name);
    });
    const item = document.createElement('li');
    item.append(link);
    list.append(item);
  }
  byId('maps').hidden = maps.length === 0;
}

async function showSiteMap(maps, name, filesSoon) {
  listMaps(maps, name);
  lastPicked = null;  // an import of the visitor's still running is not shown
  markPicked(null);
  if (!kMapName.test(name)) {
    await showProblem(`There is no map “${name}” on this site: a map's name has only letters, digits, ` +
                      '“.”, “-” and “_”.');
    return;
  }
  say(`Loading the map ${name}…`);
  let files;
  try {
    files = await (filesSoon || fetchFiles(`maps/${name}`));
  } catch (error) {
    await showProblem(`The map “${name}” could not be loaded (${error.message}).` +
                      (maps.includes(name) ? '' : ' It is not among the maps of this site.'));
    return;
  }
  window.runViewer(files);
}

async function showSite() {
  const wanted = new URLSearchParams(location.search).get('map');
  // The map the address names is fetched while the list of maps is.
  const filesSoon = wanted !== null && kMapName.test(wanted) ? fetchFiles(`maps/${wanted}`) : null;
  if (filesSoon) filesSoon.catch(() => {});  // reported when it is shown
  let maps;
  try {
    maps = await fetchSiteMaps();
  } catch (error) {
    await showProblem(`The list of this site's maps could not be read (${error.message}).${servedHint()}`);
    return;
  }
  if (maps === null) {
    await showDemo();
  } else if (wanted === null && maps.length === 0) {
    await showProblem(`This site has no maps yet: ${kSiteIndex} lists none.`);
  } else {
    // The address names the map shown, so that it is the link to that map.
    if (wanted === null) history.replaceState(null, '', `?map=${maps[0]}`);
    await showSiteMap(maps, wanted ?? maps[0], filesSoon);
  }
}

async function showDemo() {
  let files;
  try {
    files = await fetchFiles('demo');
  } catch (error) {
    await showProblem(`The demo map could not be loaded (${error.message}).${servedHint()}`);
    return;
  }
  window.runViewer(files);
}

wirePage();
// The viewer's code is on its way while the page finds out what to show.
loadScript('tilemap-viewer').catch(() => {});  // failures are told by the run that needs it
compileProgram('tilemap-viewer').catch(() => {});
window.addEventListener('popstate', () => {
  if (!new URLSearchParams(location.search).has('manual')) showSite();
});
if (new URLSearchParams(location.search).has('manual')) {
  say('Ready: pick or drop a map below.');
  byId('canvas').focus({ preventScroll: true });
} else {
  showSite();
}
