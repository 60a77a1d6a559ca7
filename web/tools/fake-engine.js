// A stand-in for vcard-engine.js, for trying the page without the WebAssembly
// build. It is never shipped and converts nothing: it only has the engine's
// shape (createVCardEngine, a heap, cwrap/ccall, UTF8ToString, addFunction
// and the vcw_* functions) and answers with documents of the real form. It
// reads the source through the page's read function in small slices and
// hands each output back through keep in small blocks.
//
// What it answers, by the source's bytes:
//   no BEGIN:VCARD            "出力対象データが1件もありませんでした。", no output
//   a line X-FAKE-ENCODING    exit 1 with the unsupported-encoding alert
//   a line X-FAKE-ABORT       throws inside vcw_convert, as an aborted engine would
//   X-FAKE-OUT-OF-MEMORY      the same, as the engine does when memory runs out
//   a line X-FAKE-SLOW        takes three seconds, spread over the cards
//   X-FAKE-SLOW-READ first    takes three seconds to read, spread over the slices
//   properties X-…            listed in the report as left out
//   VERSION:5.0               that card is skipped and named in the report
// Output: the cards as UTF-16LE with BOM and CR LF; for iCloud.com more than
// three cards are split into PC→iCloud-1.vcf, PC→iCloud-2.vcf, …
// Progress, once vcw_set_progress has a function: as the engine tells it, at
// most once an interval and at the end, with the photo step before each card
// with a PHOTO line when converting for iCloud.com.
'use strict';

var createVCardEngine = function (options) {
  const module = {};
  let heap = new Uint8Array(1 << 16);
  let top = 8;
  module.HEAPU8 = heap;

  // Grows the heap by replacing it, as a growing wasm memory replaces HEAPU8.
  function ensure(size) {
    if (size <= heap.length) return;
    let length = heap.length;
    while (length < size) length *= 2;
    const grown = new Uint8Array(length);
    grown.set(heap);
    heap = grown;
    module.HEAPU8 = heap;
  }

  function malloc(size) {
    const at = (top + 7) & ~7;
    ensure(at + size);
    top = at + size;
    return at;
  }

  function allocBytes(bytes) {
    const at = malloc(bytes.length + 1);
    heap.set(bytes, at);
    heap[at + bytes.length] = 0;
    return at;
  }
  function allocString(text) {
    return allocBytes(new TextEncoder().encode(text));
  }

  module.UTF8ToString = function (ptr) {
    let end = ptr;
    while (heap[end] !== 0) end++;
    return new TextDecoder().decode(heap.subarray(ptr, end));
  };

  let result = null;
  const functions = [null];
  let progress = null;
  let progressInterval = 0;

  // The real table refuses a call through a function of another type, so
  // the stand-in refuses any type but those of vcw_progress_fn, vcw_read_fn
  // and vcw_keep_fn.
  module.addFunction = function (fn, signature) {
    if (!['vidddd', 'idii', 'iii'].includes(signature)) throw new Error('signature mismatch: ' + signature);
    functions.push(fn);
    return functions.length - 1;
  };
  module._vcw_set_progress = function (fn, intervalMs) {
    progress = functions[fn] || null;
    progressInterval = Math.max(intervalMs, 0);
  };

  function utf16le(text) {
    const bytes = new Uint8Array(2 + text.length * 2);
    bytes[0] = 0xff;
    bytes[1] = 0xfe;
    for (let i = 0; i < text.length; i++) {
      const unit = text.charCodeAt(i);
      bytes[2 + 2 * i] = unit & 0xff;
      bytes[3 + 2 * i] = unit >> 8;
    }
    return bytes;
  }

  function baseDocument(inCount) {
    return {
      exitCode: 0, inCount, outCount: 0, alert: '', log: '', skippedCards: [], source: null,
      droppedProperties: [], pictograms: null, report: null,
    };
  }

  const kSlice = 1000;

  // The source as the read function gives it, a slice at a time, slowly
  // when it starts by asking to be.
  function readAll(size, read) {
    const source = new Uint8Array(size);
    const slice = malloc(kSlice);
    const started = Date.now();
    let slowMs = 0;
    for (let at = 0; at < size;) {
      const got = functions[read](at, slice, kSlice);
      if (got <= 0) throw new Error('read failed');
      source.set(heap.subarray(slice, slice + got), at);
      if (at === 0 && /^X-FAKE-SLOW-READ/.test(new TextDecoder().decode(source.subarray(0, got)))) slowMs = 3000;
      at += got;
      const until = started + slowMs * at / size;
      while (Date.now() < until) { /* a slow disk */ }
    }
    return source;
  }

  // An output handed over in blocks through keep: its blocks' numbers.
  function keepAll(bytes, keep) {
    const blocks = [];
    const block = malloc(kSlice);
    for (let at = 0; at < bytes.length; at += kSlice) {
      const part = bytes.subarray(at, at + kSlice);
      heap.set(part, block);
      blocks.push(functions[keep](block, part.length));
    }
    return blocks;
  }

  let outOfMemory = false;
  module._vcw_convert = function (size, target, carrier, read, keep) {
    const text = new TextDecoder().decode(readAll(size, read));
    outOfMemory = /^X-FAKE-OUT-OF-MEMORY/m.test(text);
    if (outOfMemory || /^X-FAKE-ABORT/m.test(text)) throw new Error('abort');
    const cards = text.match(/^BEGIN:VCARD[\s\S]*?^END:VCARD\s*$/gim) || [];
    tellProgress(text, cards, target);
    const doc = baseDocument(cards.length);
    const outputs = [];
    if (/^X-FAKE-ENCODING/m.test(text)) {
      doc.exitCode = 1;
      doc.alert = '変換元ファイルの文字コードに対応していません。';
      doc.log = '変換処理に失敗しました。\n\n';
    } else if (cards.length === 0) {
      doc.log = '出力対象データが1件もありませんでした。\n\n';
    } else {
      const kept = [];
      const skipped = [];
      cards.forEach((card, i) => {
        if (/^VERSION:5\.0/m.test(card)) {
          const name = (card.match(/^FN[^:]*:(.*)$/m) || [, ''])[1].trim();
          skipped.push('  ' + (i + 1) + '件目「' + name + '」\u3000対応していないバージョンです（VERSION:5.0）');
        } else {
          kept.push(card.replace(/\r?\n/g, '\r\n').replace(/(\r\n)*$/, '\r\n'));
        }
      });
      const dropped = new Map();
      for (const card of kept) {
        for (const m of card.matchAll(/^(X-[A-Z0-9-]+)[;:]/gim)) {
          dropped.set(m[1].toUpperCase(), (dropped.get(m[1].toUpperCase()) || 0) + 1);
        }
      }
      doc.outCount = kept.length;
      doc.log = '変換が完了しました。\n入力データ：' + cards.length + '件、\u3000出力データ：' + kept.length + '件\n\n';
      doc.skippedCards = skipped;
      doc.droppedProperties = [...dropped].map(([name, count]) => ({name, count}));
      if (skipped.length > 0 || dropped.size > 0) {
        const what = target === 1 ? '書き出さなかった項目' : 'iPhone が取り込まない項目';
        let report = '【変換レポート】書き出さなかったカード ' + skipped.length + '件／' + what + ' ' + dropped.size + '件\n';
        if (skipped.length > 0) report += '書き出さなかったカード：\n' + skipped.join('\n') + '\n';
        if (dropped.size > 0) {
          report += 'ファイル全体：\n  ' + what + '（書き出していません）：' +
              [...dropped].map(([name, count]) => name + ' ' + count + '件').join('、') + '\n';
        }
        doc.report = report + '\n';
      } else {
        doc.report = '';
      }
      if (target === 1) {
        doc.target = 'icloud';
        doc.icloud = {photosScaled: [], photosLeftOut: [], files: []};
        if (kept.length > 3) {
          for (let i = 0; i * 3 < kept.length; i++) {
            const name = 'PC→iCloud-' + (i + 1) + '.vcf';
            outputs.push({name, bytes: utf16le(kept.slice(i * 3, i * 3 + 3).join(''))});
            doc.icloud.files.push({path: name, cards: Math.min(3, kept.length - i * 3)});
          }
        } else {
          outputs.push({name: 'PC→iCloud.vcf', bytes: utf16le(kept.join(''))});
        }
      } else {
        outputs.push({name: 'PC→iPhone.vcf', bytes: utf16le(kept.join(''))});
      }
    }
    void carrier;
    result = {
      json: allocString(JSON.stringify(doc, null, 2)),
      report: allocString(doc.report || ''),
      outputs: outputs.map((o) => ({name: allocString(o.name), blocks: keepAll(o.bytes, keep), size: o.bytes.length})),
    };
    return doc.exitCode;
  };
  // Walks the cards as the engine would, busy for three seconds in all
  // when the source asks to be slow; the byte counts are the text's.
  function tellProgress(text, cards, target) {
    const slowMs = /^X-FAKE-SLOW/m.test(text) ? 3000 : 0;
    const started = Date.now();
    let last = started;
    let read = 0;
    const tell = (step, card, force) => {
      if (!progress) return;
      const now = Date.now();
      if (!force && now - last < progressInterval) return;
      last = now;
      progress(step, read, text.length, card, Math.max(card - 1, 0));
    };
    tell(0, 0, false);
    cards.forEach((card, i) => {
      if (target === 1 && /^PHOTO[;:]/m.test(card)) tell(2, i + 1, true);
      const until = started + slowMs * (i + 1) / cards.length;
      while (Date.now() < until) { /* a long conversion */ }
      read = Math.min(text.indexOf(card, read) + card.length, text.length);
      tell(1, i + 1, false);
    });
    if (text.length > 0) {
      read = text.length;
      progress && progress(1, read, text.length, cards.length, cards.length);
    }
  }

  module._vcw_json = () => result.json;
  module._vcw_report_text = () => result.report;
  module._vcw_output_count = () => result.outputs.length;
  module._vcw_output_name = (i) => result.outputs[i].name;
  module._vcw_output_size = (i) => result.outputs[i].size;
  module._vcw_output_block_count = (i) => result.outputs[i].blocks.length;
  module._vcw_output_block = (i, j) => result.outputs[i].blocks[j];
  module._vcw_release = () => { result = null; top = 8; };
  module._vcw_out_of_memory = () => (outOfMemory ? 1 : 0);

  module.ccall = function (name, returnType, argTypes, args) {
    return module['_' + name].apply(null, args || []);
  };
  module.cwrap = function (name) {
    return function () { return module['_' + name].apply(null, arguments); };
  };
  void options;
  return Promise.resolve(module);
};
