// Saving the view: the picture the window shows as a PNG, and its animation
// as a WebP that loops, made in the page by the importer from the map's own
// files (final.png, main.json, view.json), which the page holds already
// (a site's map in pieces has them fetched when the view is first saved):
// nothing leaves the browser.
'use strict';

const kHalfWindow = { x: 640, y: 360 };
const kSaved = { picture: ['view.png', 'image/png'], animation: ['view.webp', 'image/webp'] };

// The part of the map's picture the window shows with the camera [x, y, z]
// at its centre, zoom step z showing each map pixel 2^(z/4) window pixels
// wide: in the picture's own pixels ("X,Y,W,H"), every map pixel the window
// shows any of, or null for none. The picture lies where view.json's
// overview says, else it is the whole grid.
function viewRegion(files, camera) {
  const doc = JSON.parse(decode(files['main.json']));
  let picture = { x: 0, y: 0, width: doc.width * 32, height: doc.height * 32 };
  try {
    const overview = JSON.parse(decode(files['view.json'])).overview;
    if (['x', 'y', 'width', 'height'].every((key) => Number.isInteger(overview[key]))) picture = overview;
  } catch { /* no view.json, or not one to go by: the whole grid */ }
  const scale = 2 ** (camera[2] / 4);
  // Zoomed, the view's centre lies anywhere in the camera's map pixel: the
  // part of it right of and below the camera's corner, which the viewer
  // doesn't tell, may show a pixel more.
  const part = camera[2] === 0 ? 0 : 1;
  const left = Math.max(Math.floor(camera[0] - kHalfWindow.x / scale), picture.x);
  const top = Math.max(Math.floor(camera[1] - kHalfWindow.y / scale), picture.y);
  const right = Math.min(Math.ceil(camera[0] + part + kHalfWindow.x / scale), picture.x + picture.width);
  const bottom = Math.min(Math.ceil(camera[1] + part + kHalfWindow.y / scale), picture.y + picture.height);
  if (right <= left || bottom <= top) return null;
  return `${left - picture.x},${top - picture.y},${right - left},${bottom - top}`;
}

// Where the viewer's camera is and its zoom step, [x, y, z]: as it last
// said, else where it starts (a start's zoom held to the steps the viewer
// has at all, 1/256 to 8 x).
function cameraNow(files) {
  if (window.viewerCamera) return window.viewerCamera;
  try {
    const start = JSON.parse(decode(files['view.json'])).start;
    const zoom = Number.isInteger(start.zoom) ? Math.min(Math.max(start.zoom, -32), 12) : 0;
    if (Number.isInteger(start.x) && Number.isInteger(start.y)) return [start.x, start.y, zoom];
  } catch { /* the viewer's own start */ }
  return [2000, 2100, 0];
}

// kind: 'picture' or 'animation'. Resolves with the file's name once it is
// offered for download, or null (the reason on the status line). The last
// one stays in window.savedFile for the tests.
window.saveView = async function saveView(kind) {
  if (!lastRun) return null;
  const [name, type] = kSaved[kind];
  const run = lastRun;
  let files = {};
  if (run.options.pieces) {
    say(`Saving the ${kind}: fetching the whole map…`);
    // Once a run: its viewer only had the pieces its views needed.
    if (!run.whole) {
      run.whole = fetchWholeMap(run.options.pieces);
      run.whole.catch(() => { run.whole = null; });  // asked for again at the next save
    }
    try {
      files = await run.whole;
    } catch (error) {
      say(`The ${kind} could not be saved: ${error.message}`, 'error');
      return null;
    }
  } else {
    for (const file of ['final.png', 'main.json', 'view.json']) if (file in run.files) files[file] = run.files[file];
  }
  // Where the view is: the run's own view.json has the start a link gave it.
  const region = viewRegion(files, cameraNow(run.files));
  if (!region) {
    say('The window shows none of the map: there is nothing to save.', 'error');
    return null;
  }
  say(`Saving the ${kind}…`);
  const result = await runImporterWith(files, [`--${kind}`, name, '--region', region, 'main.json'],
                                       (FS) => ({ [name]: FS.readFile(`${kImportFolder}/${name}`) }));
  if (result.status !== 0) {
    say(`The ${kind} could not be saved: ${result.lines[result.lines.length - 1] || 'the importer failed'}`, 'error');
    return null;
  }
  window.savedFile = { name, bytes: result.files[name] };
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([result.files[name]], { type }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  say(`Saved ${name}: ${result.lines[0] || ''}`);
  return name;
};
