// Runs one conversion at a time with the WebAssembly engine. The engine's
// scripts come first in this worker (importScripts in the static folder, the
// same texts in front of this one in the single file): its loader, which
// defines createVCardEngine, and, unless the page hands over the module
// compiled, the module itself.
/* global createVCardEngine, vcardEngineWasm */
'use strict';

const kTargets = {iphone: 0, icloud: 1};
const kCarriers = {auto: 0, docomo: 1, au: 2, softbank: 3, none: 4};
const kLoadFailed = '変換の準備ができませんでした。ページを読み込み直してから、もう一度お試しください。';
const kConvertFailed = '変換処理中に問題が起きました。ファイルが大きすぎるか、壊れている可能性があります。';
// The engine's own text, filled in from its header when the page is built.
const kOutOfMemoryAlert = '@text:kOutOfMemoryAlert@';

// The engine tells its progress at most this often; the page's bar moves
// with it.
const kProgressIntervalMs = 200;
const kPhotoStep = 2;

let enginePromise = null;
let api = null;
// The page's compiled copy of the engine's module, when it has one: a
// worker that starts from it skips the compiling, which in some engines
// takes seconds.
let compiledModule = null;
// The run under way: the chosen file, how it is read and the output blocks
// kept so far.
let run = null;

// Forwards the engine's progress to the page: the share of the source read
// and the card being converted, or that a photo is being scaled down.
function postProgress(step, bytesRead, sourceBytes, currentCard) {
  if (run) run.engineTold = true;
  self.postMessage({
    type: 'progress',
    stage: step === kPhotoStep ? 'photos' : 'converting',
    share: sourceBytes > 0 ? Math.min(bytesRead / sourceBytes, 1) : 0,
    card: currentCard,
  });
}

// The share of the file read, told while the engine reads a large file
// through before converting it (its first look at the whole, twice for a
// file that turns out not to be UTF-8), until the engine tells its own
// progress. The bar never goes back: a second look shows the furthest
// share read.
function postReading(end) {
  run.furthest = Math.max(run.furthest, end);
  const now = Date.now();
  if (run.engineTold || now - run.toldAt < kProgressIntervalMs || run.file.size === 0) return;
  run.toldAt = now;
  self.postMessage({type: 'progress', stage: 'reading', share: Math.min(run.furthest / run.file.size, 1)});
}

// The file is read a window at a time, far more than the engine asks for
// at once: each read of a slice costs much the same whatever its size (in
// some engines it crosses to another process), and a large file is read
// through twice. The window is all of the file the worker holds.
const kReadWindowBytes = 8 << 20;

// count bytes of the chosen file from offset (fewer at its end).
function sourceBytes(offset, count) {
  if (run.whole) return run.whole.subarray(offset, offset + count);
  let held = run.held;
  const end = held ? held.at + held.bytes.byteLength : 0;
  if (!held || offset < held.at || offset > end || (offset + count > end && end < run.file.size)) {
    const slice = run.file.slice(offset, offset + Math.max(kReadWindowBytes, count));
    held = run.held = {at: offset, bytes: new Uint8Array(run.reader.readAsArrayBuffer(slice))};
  }
  return held.bytes.subarray(offset - held.at, offset - held.at + count);
}

// vcw_read_fn: a slice of the chosen file into the engine's memory.
function readSource(module, offset, out, count) {
  try {
    const bytes = sourceBytes(offset, count);
    // HEAPU8 is read afresh on every call: a growing memory replaces it.
    module.HEAPU8.set(bytes, out);
    postReading(offset + bytes.byteLength);
    return bytes.byteLength;
  } catch (e) {
    return -1;
  }
}

// vcw_keep_fn: a block of an output file, copied out of the engine's
// memory: onto the run's spool on disk when it has one, or into a Blob of
// its own, which the browser may keep outside the worker's memory. A block
// the spool refuses (its storage full) is kept as a Blob.
function keepBlock(module, at, size) {
  try {
    const bytes = module.HEAPU8.subarray(at, at + size);
    run.blocks.push(spoolBlock(run.spool, bytes) || new Blob([bytes]));
    return run.blocks.length - 1;
  } catch (e) {
    return -1;
  }
}

// The spool: one file in the page's private storage that takes every output
// block of a run in turn, so that the outputs live on disk, not in memory,
// however large they are. The page names it and deletes it once the run's
// links are gone (storage.js).
async function openSpool(place) {
  if (!place) return null;
  try {
    const root = await navigator.storage.getDirectory();
    const folder = await root.getDirectoryHandle(place.folder, {create: true});
    const handle = await folder.getFileHandle(place.name, {create: true});
    const access = await handle.createSyncAccessHandle();
    return {handle, access, end: 0, broken: false};
  } catch (e) {
    return null;
  }
}

// The place of bytes on the spool, or null when they could not all be
// written there (then nothing more goes to it).
function spoolBlock(spool, bytes) {
  if (!spool || spool.broken) return null;
  try {
    const written = spool.access.write(bytes, {at: spool.end});
    if (written === bytes.byteLength) {
      const block = {at: spool.end, size: written};
      spool.end += written;
      return block;
    }
  } catch (e) {
    // Out of room or quota: the rest of the run is kept in memory.
  }
  spool.broken = true;
  return null;
}

// The spool's file once written, closed for good, or null; its blocks are
// then slices of that file, which the browser reads from disk.
async function closeSpool(spool) {
  if (!spool) return null;
  try {
    await spool.access.flush();
    await spool.access.close();
    return spool.end > 0 ? await spool.handle.getFile() : null;
  } catch (e) {
    return null;
  }
}

// The engine's wasm module, kept as Base64 text in a script of its own
// (vcardEngineWasm), as bytes. Handed to the loader, they spare it a fetch of
// its own, which the page's policy would refuse. The stand-in engine has no
// module.
function engineModuleBytes() {
  if (typeof vcardEngineWasm !== 'string') return undefined;
  if (typeof Uint8Array.fromBase64 === 'function') return Uint8Array.fromBase64(vcardEngineWasm);
  const binary = atob(vcardEngineWasm);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

// Compiles the module, or takes the page's compiled copy, and instantiates
// it; a module compiled here goes to the page for the next worker. The
// loader waits for receive, so a failure goes to fail.
function instantiateEngine(imports, receive, fail) {
  const compiled = compiledModule ? Promise.resolve(compiledModule)
                                  : WebAssembly.compile(engineModuleBytes()).then((module) => {
                                    try {
                                      self.postMessage({type: 'compiled', module});
                                    } catch (e) {
                                      // An engine that cannot hand a module on compiles each time.
                                    }
                                    return module;
                                  });
  compiled.then((module) => WebAssembly.instantiate(module, imports).then((instance) => {
    receive(instance, module);
  })).catch((e) => {
    compiledModule = null;
    fail(e);
  });
  return {};
}

function loadEngine() {
  if (!enginePromise) {
    // The engine's own console lines are diagnostics; the page shows only
    // the result document.
    const options = {print: () => {}, printErr: () => {}};
    const failed = new Promise((resolve, reject) => {
      if (typeof vcardEngineWasm === 'string' || compiledModule) {
        options.instantiateWasm = (imports, receive) => instantiateEngine(imports, receive, reject);
      }
    });
    enginePromise = Promise.race([createVCardEngine(options), failed]).then((module) => {
      api = {
        convert: module.cwrap('vcw_convert', 'number', ['number', 'number', 'number', 'number', 'number']),
        json: module.cwrap('vcw_json', 'number', []),
        reportText: module.cwrap('vcw_report_text', 'number', []),
        outputCount: module.cwrap('vcw_output_count', 'number', []),
        outputName: module.cwrap('vcw_output_name', 'number', ['number']),
        blockCount: module.cwrap('vcw_output_block_count', 'number', ['number']),
        block: module.cwrap('vcw_output_block', 'number', ['number', 'number']),
        release: module.cwrap('vcw_release', null, []),
        outOfMemory: module.cwrap('vcw_out_of_memory', 'number', []),
        read: module.addFunction((offset, out, count) => readSource(module, offset, unsigned(out), count), 'idii'),
        keep: module.addFunction((at, size) => keepBlock(module, unsigned(at), size), 'iii'),
      };
      // The engine calls back into JavaScript while vcw_convert runs; the
      // messages reach the page at once, as the page's thread is not the
      // one converting.
      const progress = module.addFunction(postProgress, 'vidddd');
      module.ccall('vcw_set_progress', null, ['number', 'number'], [progress, kProgressIntervalMs]);
      return module;
    });
  }
  return enginePromise;
}

// Pointers and sizes come back as signed 32-bit numbers; above 2 GiB of
// memory they would read as negative.
function unsigned(value) {
  return value >>> 0;
}

// The page's answer to a request for the file's bytes.
let bytesArrived = null;

// The file's bytes as the page reads them.
function bytesFromPage() {
  return new Promise((resolve) => {
    bytesArrived = resolve;
    self.postMessage({type: 'read-for-me'});
  });
}

// How the file is read: in slices as the engine asks for them, or whole
// beforehand by the page where a worker may not read it at all (WebKit, for
// the single file opened from disk). Bytes that cannot be had either way
// fail the engine's first read, which says the file cannot be read.
async function sourceOf(file) {
  const reader = new FileReaderSync();
  try {
    if (file.size > 0) reader.readAsArrayBuffer(file.slice(0, 1));
    return {file, reader, whole: null};
  } catch (e) {
    return {file, reader, whole: await bytesFromPage()};
  }
}

// Converts the file, reading it in slices; each output is a Blob made of
// the blocks the engine handed over while writing it.
async function convert(module, source, spool, target, carrier) {
  const file = source.file;
  const blocks = [];
  run = {...source, spool, held: null, blocks, toldAt: Date.now(), furthest: 0, engineTold: false};
  let document;
  let reportText;
  const written = [];
  try {
    api.convert(file.size, target, carrier, api.read, api.keep);
    document = JSON.parse(module.UTF8ToString(unsigned(api.json())));
    reportText = module.UTF8ToString(unsigned(api.reportText()));
    for (let i = 0, count = api.outputCount(); i < count; i++) {
      const parts = [];
      for (let j = 0, blockCount = api.blockCount(i); j < blockCount; j++) parts.push(api.block(i, j));
      written.push({name: module.UTF8ToString(unsigned(api.outputName(i))), parts});
    }
  } finally {
    api.release();
    run = null;
  }
  const spooled = await closeSpool(spool);
  const part = (index) => {
    const block = blocks[index];
    if (block instanceof Blob) return block;
    if (!spooled) throw new Error('the spool was lost');
    return spooled.slice(block.at, block.at + block.size);
  };
  const outputs = written.map(({name, parts}) => ({name, blob: new Blob(parts.map(part), {type: 'text/vcard'})}));
  return {document, reportText, outputs};
}

// Whether the last conversion ended for want of memory. The module's
// functions still answer after it aborted: its memory is as it was.
function ranOutOfMemory() {
  try {
    return Boolean(api && api.outOfMemory());
  } catch (e) {
    return false;
  }
}

self.onmessage = async (event) => {
  const message = event.data;
  if (message && message.module instanceof WebAssembly.Module) compiledModule = message.module;
  if (message && message.type === 'bytes' && bytesArrived) {
    bytesArrived(message.bytes ? new Uint8Array(message.bytes) : null);
    bytesArrived = null;
    return;
  }
  // The page asks for the engine as soon as a file is chosen: compiling the
  // module is most of a first run's time in some engines, and goes on while
  // the person picks the options. A failure here is told by the run.
  if (message && message.type === 'load') {
    loadEngine().catch(() => {
      enginePromise = null;
    });
    return;
  }
  if (!message || message.type !== 'convert') return;
  self.postMessage({type: 'progress', stage: 'loading'});
  let module;
  try {
    module = await loadEngine();
  } catch (e) {
    enginePromise = null;
    self.postMessage({type: 'error', message: kLoadFailed});
    return;
  }
  self.postMessage({type: 'progress', stage: 'converting'});
  let result;
  try {
    const target = kTargets[message.target] ?? kTargets.iphone;
    const carrier = kCarriers[message.carrier] ?? kCarriers.auto;
    const source = await sourceOf(message.file);
    result = await convert(module, source, await openSpool(message.spool), target, carrier);
  } catch (e) {
    // An engine that aborted cannot be used again; the page starts a new
    // worker for the next run. The module cannot unwind, so running out of
    // memory ends it too; the engine noted that first.
    self.postMessage({type: 'error', message: ranOutOfMemory() ? kOutOfMemoryAlert : kConvertFailed});
    return;
  }
  self.postMessage({
    type: 'done',
    document: result.document,
    reportText: result.reportText,
    outputs: result.outputs,
    engineBytes: module.HEAPU8 ? module.HEAPU8.byteLength : 0,
  });
};
