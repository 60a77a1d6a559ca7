// Runs one conversion at a time with the WebAssembly engine. The engine's
// script comes first in this worker (importScripts in the static folder, the
// same text in front of this one in the single file) and defines
// createVCardEngine.
/* global createVCardEngine, vcardEngineWasm */
'use strict';

const kTargets = {iphone: 0, icloud: 1};
const kCarriers = {auto: 0, docomo: 1, au: 2, softbank: 3, none: 4};
const kLoadFailed = '変換の準備ができませんでした。ページを読み込み直してから、もう一度お試しください。';
const kConvertFailed = '変換処理中に問題が起きました。ファイルが大きすぎるか、壊れている可能性があります。';

// The engine tells its progress at most this often; the page's bar moves
// with it.
const kProgressIntervalMs = 200;
const kPhotoStep = 2;

let enginePromise = null;
let api = null;

// Forwards the engine's progress to the page: the share of the source read
// and the card being converted, or that a photo is being scaled down.
function postProgress(step, bytesRead, sourceBytes, currentCard) {
  self.postMessage({
    type: 'progress',
    stage: step === kPhotoStep ? 'photos' : 'converting',
    share: sourceBytes > 0 ? Math.min(bytesRead / sourceBytes, 1) : 0,
    card: currentCard,
  });
}

// The engine's wasm module, kept as Base64 text after its loader
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

function loadEngine() {
  if (!enginePromise) {
    // The engine's own console lines are diagnostics; the page shows only
    // the result document.
    const options = {print: () => {}, printErr: () => {}, wasmBinary: engineModuleBytes()};
    enginePromise = createVCardEngine(options).then((module) => {
      api = {
        convert: module.cwrap('vcw_convert', 'number', ['number', 'number', 'number', 'number']),
        json: module.cwrap('vcw_json', 'number', []),
        reportText: module.cwrap('vcw_report_text', 'number', []),
        outputCount: module.cwrap('vcw_output_count', 'number', []),
        outputName: module.cwrap('vcw_output_name', 'number', ['number']),
        outputData: module.cwrap('vcw_output_data', 'number', ['number']),
        outputSize: module.cwrap('vcw_output_size', 'number', ['number']),
        release: module.cwrap('vcw_release', null, []),
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

function convert(module, bytes, target, carrier) {
  const length = bytes.byteLength;
  // malloc(0) may answer null; one byte keeps the pointer real for an empty file.
  const source = unsigned(module._malloc(Math.max(length, 1)));
  if (source === 0) throw new Error('out of memory');
  try {
    // HEAPU8 is read afresh after every call: a growing memory replaces it.
    module.HEAPU8.set(bytes, source);
    api.convert(source, length, target, carrier);
    const document = JSON.parse(module.UTF8ToString(unsigned(api.json())));
    const reportText = module.UTF8ToString(unsigned(api.reportText()));
    const outputs = [];
    const count = api.outputCount();
    for (let i = 0; i < count; i++) {
      const name = module.UTF8ToString(unsigned(api.outputName(i)));
      const data = unsigned(api.outputData(i));
      const size = unsigned(api.outputSize(i));
      // slice copies out of the wasm memory, so the buffer can be handed
      // over to the page and outlives vcw_release.
      outputs.push({name, bytes: module.HEAPU8.slice(data, data + size).buffer});
    }
    return {document, reportText, outputs};
  } finally {
    api.release();
    module._free(source);
  }
}

self.onmessage = async (event) => {
  const message = event.data;
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
    result = convert(module, new Uint8Array(message.bytes), target, carrier);
  } catch (e) {
    // An engine that aborted cannot be used again; the page starts a new
    // worker for the next run.
    self.postMessage({type: 'error', message: kConvertFailed});
    return;
  }
  self.postMessage(
      {type: 'done', document: result.document, reportText: result.reportText, outputs: result.outputs},
      result.outputs.map((output) => output.bytes));
};
