// The page around the viewer and the importer: its keys and focus, and what
// it opens on. Its parts, loaded before this one in this order:
//   status.js    the status line, the programs' output, the overview
//   programs.js  the programs' code, compiled once, and their files
//   zoom.js      the zoom levels' files, which go with a map's
//   pieces.js    a site's map in pieces, fetched as the viewer's view needs them
//   viewer.js    starting the viewer (runViewer)
//   import.js    picking and importing files (runImporter)
//   save.js      saving the view as a picture or an animation (saveView)
//   site.js      the site's maps and the links to them
'use strict';

const kControls = 'a[href], button, input, select, textarea, summary';

function wirePage() {
  byId('again').addEventListener('click', () => {
    if (lastRun) window.runViewer(lastRun.files, lastRun.options);
  });
  byId('save-picture').addEventListener('click', () => window.saveView('picture'));
  byId('save-animation').addEventListener('click', () => window.saveView('animation'));

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

wirePage();
wirePicking();
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
