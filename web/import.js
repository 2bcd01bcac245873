// Picking and importing files: the visitor's files, picked or dropped, as a
// final.png and main.json pair to view, or as maps and worlds of the tile-map
// editor that the importer, run in the page, turns into one first.
'use strict';

const kImportFolder = '/import';

// --- The importer

// One run of the importer on the files, with these arguments. Resolves with
// {status, lines, files}: files holds what `collect` reads from the
// instance's file system (in its folder) once the run ended with status 0.
function runImporterWith(files, args, collect) {
  return new Promise((resolve) => {
    const lines = [];
    let ended = false;
    const module = {
      arguments: args,
      print: (line) => { lines.push(line); print(line); },
      printErr: (line) => { lines.push(line); print(line, 'error'); },
      preRun: [(instance) => writeFiles(instance.FS, kImportFolder, files)],
      onExit: (status) => {
        if (ended) return;
        ended = true;
        resolve({ status, lines, files: status === 0 ? collect(module.FS) : {} });
      },
      onAbort: (what) => {
        if (ended) return;
        ended = true;
        lines.push(`tilemap-import stopped unexpectedly: ${what}`);
        resolve({ status: -1, lines, files: {} });
      },
    };
    module.instantiateWasm = instantiateFrom('tilemap-import', module.onAbort);
    print(`$ tilemap-import ${args.join(' ')}`, 'command');
    loadScript('tilemap-import').then(() => createImporter(module)).catch((error) => module.onAbort(error.message || error));
  });
}

// Resolves with {status, lines, files}: files holds final.png and main.json,
// and view.json, overview.png and the zoom levels when the importer wrote
// them, when the import succeeded.
window.runImporter = function runImporter(files, mapName) {
  return runImporterWith(files, [mapName, 'out'], (FS) => {
    const written = {};
    for (const name of ['final.png', 'main.json'])
      written[name] = FS.readFile(`${kImportFolder}/out/${name}`);
    for (const name of kBesideTheMap) {
      const path = `${kImportFolder}/out/${name}`;
      if (FS.analyzePath(path).exists) written[name] = FS.readFile(path);
    }
    return Object.assign(written, readZoomFiles(FS, `${kImportFolder}/out`));
  });
};

// --- Files the person picks or drops

const kMapPattern = /\.(tmx|tmj)$/i;
const kWorldPattern = /\.world$/i;
const baseName = (path) => path.slice(path.lastIndexOf('/') + 1);
const folderOf = (path) => path.slice(0, path.lastIndexOf('/') + 1);

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

// final.png and main.json, and the view.json, overview.png and zoom levels
// in main.json's folder if it has them.
function viewedPair(files) {
  const paths = Object.keys(files).sort((a, b) => a.split('/').length - b.split('/').length || byPath(a, b));
  const tileset = paths.find((path) => baseName(path) === 'final.png');
  const map = paths.find((path) => baseName(path) === 'main.json');
  if (!tileset || !map) return null;
  const pair = { 'final.png': files[tileset], 'main.json': files[map] };
  for (const name of kBesideTheMap) {
    if (folderOf(map) + name in files) pair[name] = files[folderOf(map) + name];
  }
  return Object.assign(pair, pickedZoomFiles(files, folderOf(map)));
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

// A site's map shown instead: an import still running is not shown.
function forgetPicked() {
  lastPicked = null;
  markPicked(null);
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

function wirePicking() {
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
}
