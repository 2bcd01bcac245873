// The site's maps and the links to them. A site written by
// `tilemap-import --site` lists its maps in maps.json and holds each in
// maps/NAME/; the page opens the one its address names, else the first; a
// site without maps.json shows the demo (named "demo" in the address). The
// address follows the view, ?map=NAME&x=X&y=Y&z=Z (the map pixel at the
// canvas's centre and the zoom step, z left out at 1:1), so that it is the
// link to that view: opened, it starts the viewer there.
'use strict';

const kSiteIndex = 'maps.json';
const kMapName = /^[A-Za-z0-9._-]+$/;  // as the importer names the folders
const kDemoName = 'demo';
// The browser refuses an address changed too often (Chromium: 200 times in
// 10 s); the view's is written at most this often, its last place always.
const kAddressEveryMs = 250;

// --- The address

const addressParameters = () => new URLSearchParams(location.search);

// The place the address names, {x, y, zoom}, or null: x and y whole
// numbers that the viewer's camera holds (32 bits, signed). Anything else
// names no place, and the map opens at its own start. z is a zoom step from
// -64 to 64 (the viewer holds it to the steps the map has); any other z, or
// none, is 1:1.
function placeInAddress(parameters) {
  const integer = (text, least, most) => {
    if (text === null || !/^-?[0-9]{1,10}$/.test(text)) return null;
    const value = Number(text);
    return value >= least && value <= most ? value : null;
  };
  const x = integer(parameters.get('x'), -(2 ** 31), 2 ** 31 - 1);
  const y = integer(parameters.get('y'), -(2 ** 31), 2 ** 31 - 1);
  const zoom = integer(parameters.get('z'), -64, 64) ?? 0;
  return x === null || y === null ? null : { x, y, zoom };
}

// What the viewer calls as its camera moves or zooms: the address names the
// map and the view, replaced (never a new history entry) while the address
// still names that map.
function followInAddress(name) {
  let latest = null;
  let due = null;
  let written = -Infinity;
  const write = () => {
    due = null;
    written = performance.now();
    if (addressParameters().get('map') !== name) return;  // another map is shown now
    const zoom = latest.z === 0 ? '' : `&z=${latest.z}`;
    history.replaceState(history.state, '', `?map=${name}&x=${latest.x}&y=${latest.y}${zoom}`);
  };
  return (x, y, z) => {
    latest = { x, y, z };
    if (due !== null) return;
    const wait = written + kAddressEveryMs - performance.now();
    if (wait <= 0) write();
    else due = setTimeout(write, wait);
  };
}

// --- Fetching a map

// Stops the run on screen and shows why nothing else is, over the canvas.
async function showProblem(text) {
  hideOverview();
  queue = queue.then(stopViewer).then(() => {}, () => {});
  await queue;
  say(text, 'error');
  showEnded(text, '', false);
}

function servedHint() {
  return location.protocol === 'file:' ? ' The page needs to be served over HTTP, e.g. by scripts/serve-web.sh.' : '';
}

// The map's files at once: {files, overview, pieces}, promises of its files
// for the viewer (a failure told for the first of them that failed), of its
// overview.png alone, shown while the rest arrive (null when it has none,
// and for a map in pieces, whose first pieces come before it),
// and of the folder its pieces are fetched from (null for a map not in
// pieces). view.json and overview.png are optional: a 404 means the map has
// none. A map whose folder holds pieces/index.json is shown from its pieces
// (pieces.js), and its final.png, main.json and zoom levels aren't fetched;
// for any other map they are, the zoom levels as soon as view.json is there.
function fetchMap(folder, place = null) {
  const fetchOne = async (name, optional = false) => {
    const response = await fetchFresh(`${folder}/${name}`);
    if (optional && response.status === 404) return null;
    if (!response.ok) throw failure(`${folder}/${name}`, response);
    return [name, new Uint8Array(await response.arrayBuffer())];
  };
  const view = fetchOne('view.json', true);
  // Any other answer than the index (a host may refuse what it doesn't hold)
  // is taken for a map not in pieces.
  const index = fetchFresh(`${folder}/${kPiecesIndex}`)
    .then(async (response) => (response.ok ? [kPiecesIndex, new Uint8Array(await response.arrayBuffer())] : null))
    .catch(() => null);
  const inPieces = index.then((entry) => entry !== null);
  // A map in pieces' overview comes after the view's first pieces (pieces.js):
  // before them it would only share their bandwidth.
  const overview = inPieces.then((streamed) => (streamed ? null : fetchOne('overview.png', true)));
  const zoom = Promise.all([view, inPieces])
    .then(([entry, streamed]) => (entry && !streamed ? fetchZoomFiles(folder, entry[1]) : {}), () => ({}));
  const files = inPieces.then((streamed) => {
    const parts = streamed ? [view, index] : [fetchOne('final.png'), fetchOne('main.json'), view, overview];
    return Promise.allSettled(parts).then(async (results) => {
      const failed = results.find((result) => result.status === 'rejected');
      if (failed) throw failed.reason;
      const fetched = Object.fromEntries(results.map((result) => result.value).filter(Boolean));
      return streamed ? streamedFiles(fetched) : Object.assign(fetched, await zoom);
    });
  });
  files.catch(() => {});  // reported when the map is shown
  // The start's pieces, asked for while the viewer's program still arrives.
  const early = Promise.all([index, view]).then(([entry, about]) =>
    (entry ? fetchStartPieces(folder, entry[1], about && about[1], place) : null), () => null);
  return { files, overview: overview.then((entry) => entry && entry[1], () => null),
           pieces: inPieces.then((streamed) => (streamed ? folder : null)), early };
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

// --- Showing a map

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

// Shows the map, its overview first; `fetched` is fetchMap's answer when the
// page asked for the map already (for `place`), and `place` where the viewer
// starts.
async function showSiteMap(maps, name, fetched = null, place = null) {
  listMaps(maps, name);
  forgetPicked();
  if (!kMapName.test(name)) {
    await showProblem(`There is no map “${name}” on this site: a map's name has only letters, digits, ` +
                      '“.”, “-” and “_”.');
    return;
  }
  say(`Loading the map ${name}…`);
  const map = fetched || fetchMap(`maps/${name}`);
  const overviewShown = showOverview(map.overview);
  let files;
  try {
    files = await map.files;
  } catch (error) {
    await showProblem(`The map “${name}” could not be loaded (${error.message}).` +
                      (maps.includes(name) ? '' : ' It is not among the maps of this site.'));
    return;
  }
  await overviewShown;
  window.runViewer(place ? startingAt(files, place) : files,
                   { onCamera: followInAddress(name), pieces: await map.pieces, earlyPieces: await map.early });
}

async function showSite() {
  const parameters = addressParameters();
  const wanted = parameters.get('map');
  const place = placeInAddress(parameters);
  // The map the address names is fetched while the list of maps is, and its
  // overview shown as soon as it is there.
  const fetched = wanted !== null && kMapName.test(wanted) ? fetchMap(`maps/${wanted}`, place) : null;
  if (fetched) showOverview(fetched.overview);
  let maps;
  try {
    maps = await fetchSiteMaps();
  } catch (error) {
    await showProblem(`The list of this site's maps could not be read (${error.message}).${servedHint()}`);
    return;
  }
  if (maps === null) {
    await showDemo(wanted === kDemoName ? place : null);
  } else if (wanted === null && maps.length === 0) {
    await showProblem(`This site has no maps yet: ${kSiteIndex} lists none.`);
  } else {
    // The address names the map shown, so that it is the link to that map.
    if (wanted === null) history.replaceState(null, '', `?map=${maps[0]}`);
    await showSiteMap(maps, wanted ?? maps[0], fetched, place);
  }
}

async function showDemo(place) {
  const demo = fetchMap('demo');
  const overviewShown = showOverview(demo.overview);
  let files;
  try {
    files = await demo.files;
  } catch (error) {
    await showProblem(`The demo map could not be loaded (${error.message}).${servedHint()}`);
    return;
  }
  await overviewShown;
  if (addressParameters().get('map') !== kDemoName) history.replaceState(null, '', `?map=${kDemoName}`);
  window.runViewer(place ? startingAt(files, place) : files,
                   { onCamera: followInAddress(kDemoName), pieces: await demo.pieces });
}
