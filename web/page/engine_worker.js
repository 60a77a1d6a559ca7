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
  // How long a finished worker goes on before it is ended (retire), when its
  // engine's memory and the file it read were at most these sizes.
  const kCoolingMs = 1000;
  const kCoolingMaxEngineBytes = 64 << 20;
  const kCoolingMaxFileBytes = 16 << 20;

  function setScripts(made) {
    scripts = made;
  }

  // The worker is made from a blob so that it runs under this page's
  // Content-Security-Policy: the engine's and the worker's text, or one
  // line that imports them from the folder. The engine's module comes as
  // text only to a worker that has to compile it: its megabytes took a
  // worker 20-40 ms to read, a third of a small run.
  function workerSource(withModule) {
    const parts = withModule ? ['engine', 'module', 'worker'] : ['engine', 'worker'];
    if (scripts.texts) return parts.flatMap((part) => [scripts.texts[part], '\n;\n']);
    return ['importScripts(' + parts.map((part) => JSON.stringify(scripts.urls[part])).join(', ') + ');\n'];
  }

  function startWorker() {
    if (worker) return worker;
    const source = workerSource(!compiledEngine);
    workerUrl = URL.createObjectURL(new Blob(source, {type: 'text/javascript'}));
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

  // A worker that failed may hold a broken engine; the next run starts
  // afresh, compiling the module again in case the module was what failed.
  function drop() {
    compiledEngine = null;
    endWorker(0);
  }

  // Lets go of the current worker and ends it, after ms or at once.
  function endWorker(ms) {
    const done = worker;
    const url = workerUrl;
    worker = null;
    workerUrl = null;
    const end = () => {
      if (done) done.terminate();
      if (url) URL.revokeObjectURL(url);
    };
    if (ms > 0) setTimeout(end, ms);
    else end();
  }

  // A worker whose run is done is ended: its memory grows with the largest
  // card or photo, and a wasm memory never shrinks. One that converted a
  // small file goes on for a moment first. Some engines (WebKit's) are
  // still optimising the module's hottest code in the background then, and
  // that code goes with the compiled module to the next worker only once it
  // is finished: a worker ended at once leaves the next one the slow code
  // (10,000 cards took 190 ms in WebKit instead of 125 ms). A large file's
  // run is long enough for that work to be done, and its worker holds the
  // garbage of the reading, which should not add to the next run's peak.
  function retire(engineBytes, fileBytes) {
    const small = engineBytes > 0 && engineBytes <= kCoolingMaxEngineBytes && fileBytes <= kCoolingMaxFileBytes;
    endWorker(small ? kCoolingMs : 0);
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
          retire(message.engineBytes, file.size);
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
