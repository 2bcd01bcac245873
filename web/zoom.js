// A map's zoom levels (zoom/L/ beside its view.json), which go with its
// files wherever they go: fetched with a site's map, read back from the
// importer's output, picked among dropped files. Their names follow from
// view.json's "zoom" and each level's level.json: the blocks in pages of
// 4096 (blocks-P.png), the cells in pieces of 64 x 64 (C_R.json).
'use strict';

const kZoomFolder = 'zoom/';
const kLevelPieceCells = 64;
const kPageBlocks = kLevelPieceCells * kLevelPieceCells;

// The levels a view.json names, from its first to its last; none for a
// view.json that can't be read (the viewer says why).
function zoomLevelsOf(viewBytes) {
  try {
    const zoom = JSON.parse(decode(viewBytes)).zoom;
    const last = zoom.levels, first = zoom.first ?? 1;
    if (!Number.isInteger(last) || !Number.isInteger(first) || first < 1 || last > 16) return [];
    return Array.from({ length: Math.max(0, last - first + 1) }, (_, i) => first + i);
  } catch {
    return [];
  }
}

// The names of a level's pages and pieces, from its level.json.
function levelFileNames(level, aboutBytes) {
  const about = JSON.parse(decode(aboutBytes));
  const names = [];
  const ok = (n) => Number.isInteger(n) && n >= 0 && n <= 1 << 26;
  if (!ok(about.width) || !ok(about.height) || !ok(about.blocks)) return names;
  for (let page = 0; page * kPageBlocks < about.blocks; ++page) {
    names.push(`${kZoomFolder}${level}/blocks-${page}.png`);
  }
  for (let row = 0; row * kLevelPieceCells < about.height; ++row)
    for (let column = 0; column * kLevelPieceCells < about.width; ++column)
      names.push(`${kZoomFolder}${level}/${column}_${row}.json`);
  return names;
}

// The zoom files of the map in `folder` (a site's), as {name: bytes}: what
// can't be fetched is left out, and the viewer then does without that
// level and the coarser ones.
async function fetchZoomFiles(folder, viewBytes) {
  const files = {};
  const fetchInto = async (name) => {
    const response = await fetchFresh(`${folder}/${name}`);
    if (!response.ok) throw failure(`${folder}/${name}`, response);
    files[name] = new Uint8Array(await response.arrayBuffer());
    return files[name];
  };
  await Promise.all(zoomLevelsOf(viewBytes).map(async (level) => {
    try {
      const about = await fetchInto(`${kZoomFolder}${level}/level.json`);
      await Promise.all(levelFileNames(level, about).map(fetchInto));
    } catch {
      // left to the viewer, which names the level it leaves out
    }
  }));
  return files;
}

// The zoom files under `folder` of an instance's file system.
function readZoomFiles(FS, folder) {
  const files = {};
  const walk = (path, name) => {
    if (FS.isDir(FS.stat(path).mode)) {
      for (const entry of FS.readdir(path)) {
        if (entry !== '.' && entry !== '..') walk(`${path}/${entry}`, `${name}/${entry}`);
      }
    } else {
      files[name] = FS.readFile(path);
    }
  };
  if (FS.analyzePath(`${folder}/zoom`).exists) walk(`${folder}/zoom`, 'zoom');
  return files;
}

// The zoom files among picked files, beside main.json in `mapFolder`.
function pickedZoomFiles(files, mapFolder) {
  const picked = {};
  for (const path of Object.keys(files))
    if (path.startsWith(mapFolder + kZoomFolder)) picked[path.slice(mapFolder.length)] = files[path];
  return picked;
}
