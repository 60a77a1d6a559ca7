// The worker that runs the engine, and the messages the page and it
// exchange. The engine runs there so that the page keeps answering while a
// large file is converted; nothing leaves the browser. A worker is ended
// after each run and a fresh one loads the engine for the next.
const engineWorker = (() => {
  // What the worker is made of (the view's workerScripts()).
  let scripts = null;
  let worker = null;
  let workerUrl = null;
  // The engine's module as the first worker compiled it, handed to every
  // later one.
  let compiledEngine = null;

  function setScripts(made) {
    scripts = made;
  }

  // The worker is made from a blob so that it runs under this page's
  // Content-Security-Policy: the engine's and the worker's text, or one
  // line that imports both from the folder.
  function workerSource() {
    if (scripts.texts) return [scripts.texts[0], '\n;\n', scripts.texts[1]];
    return ['importScripts(' + scripts.urls.map((url) => JSON.stringify(url)).join(', ') + ');\n'];
  }

  function startWorker() {
    if (worker) return worker;
    workerUrl = URL.createObjectURL(new Blob(workerSource(), {type: 'text/javascript'}));
    worker = new Worker(workerUrl);
    worker.addEventListener('message', (event) => {
      if (event.data && event.data.type === 'compiled') compiledEngine = event.data.module;
    });
    return worker;
  }

  // Has the worker load the engine ahead of the run. isIdle tells whether
  // no run is under way.
  function prepare(isIdle) {
    try {
      const w = startWorker();
      if (!w.prepared) {
        w.prepared = true;
        // A worker that cannot start (its scripts refused) is dropped
        // between runs, so that the run starts one of its own and says why;
        // during a run, the run's own handler tells it.
        w.addEventListener('error', (event) => {
          if (worker !== w || !isIdle()) return;
          event.preventDefault();
          drop();
        });
      }
      w.postMessage({type: 'load', module: compiledEngine});
    } catch (e) {
      // The run will start the worker again and say what failed.
    }
  }

  // A worker that failed may hold a broken engine; the next run starts afresh.
  function drop() {
    if (worker) worker.terminate();
    if (workerUrl) URL.revokeObjectURL(workerUrl);
    worker = null;
    workerUrl = null;
  }

  // Converts the file in the worker, which reads it itself a slice at a
  // time: the page never holds its bytes. spool is where the worker keeps
  // the outputs (pageStorage.reserve), or null for memory. progress gets
  // the worker's progress messages; the promise gives its 'done' message, or
  // fails with the text to tell.
  function convert(file, target, carrier, spool, progress, texts) {
    return new Promise((resolve, reject) => {
      let w;
      try {
        w = startWorker();
      } catch (e) {
        reject(new Error(texts.workerFailed));
        return;
      }
      const finish = () => {
        w.onmessage = null;
        w.onerror = null;
      };
      w.onmessage = (event) => {
        const message = event.data;
        if (message.type === 'progress') {
          progress(message);
        } else if (message.type === 'read-for-me') {
          // The worker may not read the file itself: the page reads it
          // whole and hands it over.
          file.arrayBuffer().then((bytes) => w.postMessage({type: 'bytes', bytes}, [bytes]),
                                  () => w.postMessage({type: 'bytes', bytes: null}));
        } else if (message.type === 'done') {
          finish();
          // The engine's memory grew with the file and a wasm memory never
          // shrinks: the worker that holds it is ended.
          drop();
          resolve(message);
        } else if (message.type === 'error') {
          finish();
          drop();
          reject(new Error(message.message));
        }
      };
      w.onerror = (event) => {
        event.preventDefault();
        finish();
        drop();
        // The folder's worker imports its scripts by URL, which browsers
        // refuse for pages opened from disk.
        reject(new Error(scripts.fromDisk ? texts.openedFromDisk : texts.workerFailed));
      };
      w.postMessage({type: 'convert', file, target, carrier, spool, module: compiledEngine});
    });
  }

  return {setScripts, prepare, convert};
})();
