// The programs, built with Emscripten as factories (createViewer,
// createImporter): their code downloaded and compiled once for all their
// runs, and the files each run is given. Each run is a fresh instance: the
// programs end by exiting, and an instance's memory and files go with it.
// Files are read in the page and written into the instance's own in-memory
// file system; nothing leaves the browser.
'use strict';

// A map imported again is fetched anew, not taken from the browser's cache
// (the server still answers "not modified" for one that wasn't).
const fetchFresh = (path) => fetch(path, { cache: 'no-cache' });
const failure = (path, response) => new Error(`${path}: ${response.status} ${response.statusText}`.trim());
const decode = (bytes) => new TextDecoder().decode(bytes);

// What may lie beside a map's final.png and main.json and goes with them
// wherever they go: its view (animations, overview, start) and its overview.
const kBesideTheMap = ['view.json', 'overview.png'];

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
